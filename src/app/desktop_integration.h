#pragma once

#include <QString>

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

// Writes "vorlune.desktop" into `applicationsDir` and the icon into the hicolor theme
// beside it, each when its content differs, atomically. False, with the reason in
// `error`, when either could not be written.
bool registerUrlScheme(const QString& executable, const QString& applicationsDir,
                       QString* error = nullptr);

// Removes the entry and the icon again (registry cleaning).
bool unregisterUrlScheme(const QString& applicationsDir);

} // namespace desktopintegration
