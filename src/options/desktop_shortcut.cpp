#include "desktop_shortcut.h"

#include "atomic_file.h"
#include "desktop_integration.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace desktopshortcut {

QString desktopFolder() {
    // Qt reads $XDG_CONFIG_HOME/user-dirs.dirs as xdg-user-dir does, without a child.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty()) folder = QDir::homePath() + QStringLiteral("/Desktop");
    return folder;
}

QString entryText(const QString& executable, const QString& icon) {
    QString iconValue = icon;
    iconValue.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlune\n"
                          "Comment=Startet die Vorlune.\n"
                          "Exec=") +
           desktopintegration::execValue(executable) + QStringLiteral("\nIcon=") + iconValue +
           QStringLiteral("\nTerminal=false\n"
                          "Categories=AudioVideo;Audio;Player;\n");
}

bool create(const QString& folder, const QString& executable, const QString& icon, QString* path,
            QString* error) {
    const QString file = QDir(folder).filePath(QStringLiteral("vorlune.desktop"));
    if (path) *path = file;
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden.").arg(folder);
        return false;
    }
    // Executable: file managers start desktop files only then.
    if (!atomicfile::write(file, entryText(executable, icon).toUtf8(), error, {.mode = 0755}))
        return false;
    // GNOME's file manager starts desktop files only when they are marked trusted.
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (!gio.isEmpty())
        QProcess::startDetached(gio, {QStringLiteral("set"), file,
                                      QStringLiteral("metadata::trusted"), QStringLiteral("true")});
    return true;
}

} // namespace desktopshortcut
