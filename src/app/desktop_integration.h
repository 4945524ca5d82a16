#pragma once

#include <QString>
#include <QStringList>

// The desktop entry that makes vorlune the handler of "vorlune:" links.
namespace desktopintegration {

// The program's icon (SVG) in the resources, for windows and the tray.
QString iconResource();

// Where the icon goes in the hicolor theme of the data folder that holds
// `applicationsDir` (".../icons/hicolor/scalable/apps/vorlune.svg").
QString iconFilePath(const QString& applicationsDir);

// An executable path as the Exec key's value: quoted, then escaped as the format wants.
QString execValue(const QString& executable);

// The entry's text for an executable path (quoted as desktop entries require).
QString desktopEntryText(const QString& executable);

// The system's data folders: $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
QStringList systemDataDirs();

// The installed "applications/vorlune.desktop" in the first of `dataDirs` that has one,
// or an empty string.
QString installedEntry(const QStringList& dataDirs);

// Whether `executable` is the program installed beside `entry` (<prefix>/bin/vorlune for
// <prefix>/share/applications/vorlune.desktop).
bool isInstalledProgram(const QString& executable, const QString& entry);

// The hidden entry a build-folder run writes when an installed entry exists.
QString localEntryName();

// Makes `executable` the handler of "vorlune:" links for the user, without a second menu
// item beside an installed entry:
// - no installed entry: "vorlune.desktop" into `applicationsDir` and the icon into the
//   hicolor theme beside it, each when its content differs, atomically;
// - an installed entry of this program: nothing of ours is left in `applicationsDir`
//   (an entry there that we did not write counts as installed, as by a ~/.local prefix);
// - an installed entry of another program (a build-folder run): the hidden
//   `localEntryName()` instead.
// False, with the reason in `error`, when something could not be written; the caller
// reports it (the program works without the scheme).
bool registerUrlScheme(const QString& executable, const QString& applicationsDir,
                       const QStringList& dataDirs = systemDataDirs(), QString* error = nullptr);

// Removes our entries and the icon again (registry cleaning).
bool unregisterUrlScheme(const QString& applicationsDir);

} // namespace desktopintegration
