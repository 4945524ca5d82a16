#pragma once

#include "settings_keys.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class SettingsStore;

// Copy profiles in the settings store: one sub key of "SOFTWARE\Vorlune\Profiles" per
// profile, the key's default value naming the active one.
namespace copyprofiles {

inline const QString kProfilesKey = QLatin1String(settingskeys::profile::kParent);
// Each glyph half is read up to this many bytes.
constexpr int kGlyphHalfLimit = 1200;
constexpr int kMaxProfiles = 64;

struct Profile {
    QString name;
    QString path;
    QString playlist;
    QString command;
    QString glyph;        // picture file the editor chose
    QByteArray glyphData; // the bitmap file, both halves joined; empty when none stored
    bool hasGlyphData = false;
};

// Profile names sorted without regard to case ("A", "b", "c"); creates the key.
QStringList profileNames(SettingsStore& store);

// A profile's values; absent values load empty.
Profile readProfile(const SettingsStore& store, const QString& name);

// Writes a profile under its trimmed name; the glyph data goes in two halves, the first
// holding floor(n / 2) bytes.
void writeProfile(SettingsStore& store, const Profile& profile);
void deleteProfile(SettingsStore& store, const QString& name);

QString activeProfileName(const SettingsStore& store);
void setActiveProfileName(SettingsStore& store, const QString& name);

// "<data folder>/<name>.glyph", or empty when the name cannot be a file name there.
QString glyphFilePath(const QString& dataDir, const QString& name);

} // namespace copyprofiles

// The program and its parameters of a command text.
struct CommandLine {
    QString program;    // the leading run up to the first blank outside double quotes,
                        // without the quotes
    QString parameters; // the rest, trimmed
    // The parameters split into arguments (double quotes group, as a shell would not).
    QStringList arguments() const;
};
CommandLine SplitCommandLine(const QString& text);
