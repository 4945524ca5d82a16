#pragma once

#include <QString>

// The program's starter on the user's desktop: "vorlune.desktop" in the desktop folder,
// executable and marked trusted, as file managers want before they start it.
namespace desktopshortcut {

// The desktop folder of the user's XDG folders (user-dirs.dirs), else ~/Desktop.
QString desktopFolder();

// The entry's text: the program, its icon (a file path or a theme name) and the
// description "Startet die Vorlune.".
QString entryText(const QString& executable, const QString& icon);

// Writes "<folder>/vorlune.desktop" atomically with mode 0755 and asks gio (when there
// is one) to mark it trusted. False with a reason when the file cannot be written.
bool create(const QString& folder, const QString& executable, const QString& icon,
            QString* path = nullptr, QString* error = nullptr);

} // namespace desktopshortcut
