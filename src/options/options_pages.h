#pragma once

#include "app_settings.h"

#include <QString>
#include <QStringList>

class SettingsStore;

// What the options dialog's pages read when they are entered and write when they are
// left, against the settings store and the program's settings.
namespace optionspages {

// The dialog's pages in their order.
enum Page { Profiles = 0, Sounds, Search, Commands, Streaming, Misc, Mail, PageCount };

// ---- "Klänge" ----

// The four events in the page's order, and where each one's sound file is kept.
QStringList soundEvents();
QString soundKey(const QString& event);
// The stored sound files, one per event (empty when none).
QStringList readSounds(const SettingsStore& store);
void writeSounds(SettingsStore& store, const QStringList& files);
// A field's sound can be played: its trimmed text names an existing file.
bool playable(const QString& field);

// ---- "Suche" ----

struct SearchValues {
    bool nomedia = false;
    bool nopads = false;
    bool reslimit = false;
    int reslimitcnt = 50;
    bool nosyntax = false;
    bool minln = false;
    int minlncnt = 3;
    bool noballoon = false;
    bool operator==(const SearchValues&) const = default;
};
constexpr int kMaxResultLimit = 10000;
constexpr int kMaxMinLength = 50;

SearchValues searchValues(const appsettings::MainSettings& main);
// Takes the values into the settings (counts kept within their ranges).
void applySearch(appsettings::MainSettings& main, const SearchValues& v);
// Writes the six switches and two counts (counts kept within their ranges) to the store
// and the settings.
void writeSearch(SettingsStore& store, appsettings::MainSettings& main, const SearchValues& v);

// ---- "Befehle" ----

// Each group that is not shown gets the value true named after it; a shown group's
// value is deleted.
void writeHiddenPanels(SettingsStore& store, const QStringList& hidden);

// ---- "Streaming" ----

QStringList sampleRateItems();
QStringList bitRateItems();
QStringList vbrMethodItems();
QStringList qualityItems();

// "Vorlune: Aktuelle Übertragung von " and the owner.
QString stationPreset(const QString& owner);

// The values the page leaves in the "Streaming" key (list positions as indexes).
void writeStreaming(SettingsStore& store, const appsettings::StreamingSettings& s);

// Which streaming controls are enabled and shown.
struct StreamingRules {
    bool controlsEnabled = false; // every control but the switch itself
    bool limitEnabled = false;    // the listener limit box and its label
    QString rateLabel;            // "&Bitrate:" or "&Qualität:"
    bool rateLabelVisible = false;
    bool bitRateVisible = false;
    bool qualityVisible = false;
    bool operator==(const StreamingRules&) const = default;
};
StreamingRules streamingRules(bool enabled, int vbrMethod, bool limitListeners);

// ---- "Sonstiges" ----

// Deletes a history key ("QuickSearchMRU", "PlaylistMRU").
void clearHistory(SettingsStore& store, const QString& key);

} // namespace optionspages
