#pragma once

#include <QString>

// The desktop entry that makes vorlune the handler of "vorlune:" links.
namespace desktopintegration {

// The entry's text for an executable path (quoted as desktop entries require).
QString desktopEntryText(const QString& executable);

// Writes "vorlune.desktop" into `applicationsDir` when its content differs, atomically.
// Errors are returned, not reported: the program works without the scheme.
bool registerUrlScheme(const QString& executable, const QString& applicationsDir);

// Removes the entry again (registry cleaning).
bool unregisterUrlScheme(const QString& applicationsDir);

} // namespace desktopintegration
