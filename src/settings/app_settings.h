#pragma once

#include "settings_keys.h"
#include "settings_store.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// The program's settings with their designed defaults, and their load from and save to
// the settings store in the designed orders.
namespace appsettings {

inline const QString kMainKey = QLatin1String(settingskeys::main::kPath);
inline const QString kStreamingKey = QLatin1String(settingskeys::streaming::kPath);
inline const QString kHiddenPanelsKey = QLatin1String(settingskeys::kHiddenPanels);
inline const QString kQuickSearchMruKey = QLatin1String(settingskeys::kQuickSearchMru);
inline const QString kPlaylistMruKey = QLatin1String(settingskeys::kPlaylistMru);
inline const QString kBrainMruKey = QLatin1String(settingskeys::kBrainMru);
inline const QString kChartsMruKey = QLatin1String(settingskeys::kChartsMru);
// Remembered searches kept, newest first.
constexpr int kQuickSearchMruLimit = 50;

// The command panel's groups in the options dialog's list order.
QStringList commandGroups();

enum ViewStyleBits { LargeIcons = 0, SmallIcons = 1, ListStyle = 2, Details = 3, WebViewBit = 4 };

struct MainSettings {
    int splitPos = 217;
    std::optional<int> winPosX, winPosY, winSizeX, winSizeY;
    bool winMaximized = false;
    int songsHistorySize = 5;
    int songsPlayed = 0;
    int chartsSize = 10;
    bool repeat = false;
    bool shuffle = false;
    bool commandPanel = true;
    bool searchPanel = true;
    bool destPanel = true;
    bool profilePanel = true;
    bool nameColumn = true;
    bool cdColumn = true;
    bool fullNameColumn = false;
    QString musicDir; // default: the user's music folder
    QString playlist;
    QString searchText;
    bool searchExcludeMedia = false;
    bool searchExcludePads = false;
    bool searchDisableBalloon = false;
    bool searchDisableHighlight = false;
    bool searchLimit = false;
    int searchLimitCount = 50;
    bool searchMinLength = false;
    int searchMinLengthCount = 3;
    int viewStyle = Details | WebViewBit;
    int copyMode = 0;
    int timeMode = 0;
    bool trayDisplay = true;

    int listViewStyle() const { return viewStyle & 3; }
    bool webView() const { return (viewStyle & WebViewBit) != 0; }
};

struct StreamingSettings {
    bool enabled = false;
    QString encoder;
    QString stationId;
    bool logging = false;
    QString logFile; // default: data folder + "/vorlune.streaming.log"
    int streamPort = 8000;
    std::optional<int> device;
    std::optional<QString> deviceName;
    int sampleRate = 7;
    int vbrMethod = 1;
    int bitRate = 11;
    int quality = 3;
    bool limitListeners = true;
    int maxListeners = 16;
    bool privateFlag = true; // the private bit of the MPEG frame headers
};

struct Settings {
    MainSettings main;
    StreamingSettings streaming;
    QStringList hiddenPanels;
    QStringList quickSearchMru;
    QStringList playlistMru;
    QStringList brainMru;                         // Merkzettel title lines
    QList<std::pair<QString, QString>> chartsMru; // title line, "count:date"

    // The designed state with the defaults that depend on this system.
    static Settings defaults(const QString& dataDir);
};

// Reads every value that exists; absent values (and values of another type) keep the
// defaults in `settings`.
void load(const SettingsStore& store, Settings& settings);

// Writes in the designed order. `winMaximized` set keeps the stored normal geometry.
// The search history is written anew in its order (at most kQuickSearchMruLimit names);
// the playlist box's key only gains names; the Merkzettel and the play history keys are
// written anew. History records without ":" get ":" and `today`
// in the locale's short date format.
void save(SettingsStore& store, const Settings& settings, const QDate& today = QDate::currentDate(),
          const QLocale& locale = QLocale());

// A stored window frame that lies on none of the `screens` (available areas) is moved
// onto `primary`, centred and no larger than it; one that shows enough of itself on
// some screen (100 by 50 pixels, or all of a smaller window) stays where it is.
QRect placeOnScreen(const QRect& frame, const QList<QRect>& screens, const QRect& primary);

// The keys that registry cleaning removes.
QStringList ownedKeys();

// Sound event names with their labels.
QList<std::pair<QString, QString>> soundEvents();

// Writes the event labels and the application's sound scheme (no sound files).
void registerSoundEvents(SettingsStore& store);

// Deletes everything the program wrote to the store.
void cleanStore(SettingsStore& store);

} // namespace appsettings
