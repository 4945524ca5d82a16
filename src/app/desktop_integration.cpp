#include "desktop_integration.h"

#include "atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

static void initIconResource() {
    Q_INIT_RESOURCE(app_icon);
}

namespace desktopintegration {

namespace {

bool failed(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

// Writes `data` to `path` unless it already holds exactly that.
bool writeIfChanged(const QString& path, const QByteArray& data, QString* error) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.read(data.size() + 1) == data) return true;
    existing.close();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return failed(error, QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden.")
                                 .arg(QDir::toNativeSeparators(folder)));
    QString reason;
    if (atomicfile::write(path, data, &reason)) return true;
    return failed(error, QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2")
                             .arg(QDir::toNativeSeparators(path), reason));
}

QString quoteExec(const QString& path) {
    QString quoted;
    quoted.reserve(path.size() + 2);
    quoted.append(QLatin1Char('"'));
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted.append(QLatin1Char('\\'));
        if (c == QLatin1Char('%')) quoted.append(QLatin1Char('%'));
        quoted.append(c);
    }
    quoted.append(QLatin1Char('"'));
    return quoted;
}

// Our own entry without its Exec line, to tell it from one the user or a package wrote.
QByteArray withoutExec(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    lines.removeIf([](const QByteArray& line) { return line.startsWith("Exec="); });
    return lines.join('\n');
}

bool isOwnEntry(const QString& path, const QByteArray& ownText) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && withoutExec(file.readAll()) == withoutExec(ownText);
}

// Removes `path` when it is an entry of ours; `changed` tells whether it did.
bool removeIfOwn(const QString& path, const QByteArray& ownText, bool* changed) {
    if (!QFile::exists(path) || !isOwnEntry(path, ownText)) return true;
    if (!QFile::remove(path)) return false;
    *changed = true;
    return true;
}

// Writes `data` to `path` unless it holds that already; `changed` tells whether it did.
bool writeEntry(const QString& path, const QByteArray& data, bool* changed, QString* error) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == data) return true;
    existing.close();
    if (!writeIfChanged(path, data, error)) return false;
    *changed = true;
    return true;
}

void updateDatabase(const QString& applicationsDir) {
    const QString updater =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!updater.isEmpty()) QProcess::startDetached(updater, {applicationsDir});
}

QString localEntryText(const QString& executable) {
    return desktopEntryText(executable) + QStringLiteral("NoDisplay=true\n");
}

// The value escaping of the desktop entry format, applied after the Exec quoting.
QString escapeValue(const QString& value) {
    QString out = value;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return out;
}

} // namespace

QString execValue(const QString& executable) {
    return escapeValue(quoteExec(executable));
}

QString iconResource() {
    static const bool loaded = (initIconResource(), true);
    Q_UNUSED(loaded);
    return QStringLiteral(":/icons/vorlune.svg");
}

QString iconFilePath(const QString& applicationsDir) {
    return QDir::cleanPath(applicationsDir +
                           QStringLiteral("/../icons/hicolor/scalable/apps/vorlune.svg"));
}

QString desktopEntryText(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlune\n"
                          "Comment=Musik- und Videosammlung\n"
                          "Exec=") +
           execValue(executable) +
           QStringLiteral(" %u\n"
                          "Icon=vorlune\n"
                          "Terminal=false\n"
                          "Categories=AudioVideo;Audio;Player;\n"
                          "MimeType=x-scheme-handler/vorlune;\n");
}

QStringList systemDataDirs() {
    QStringList dirs;
    for (const QString& dir :
         qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (dir.startsWith(QLatin1Char('/'))) dirs << dir;
    if (dirs.isEmpty()) dirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    return dirs;
}

QString installedEntry(const QStringList& dataDirs) {
    for (const QString& dir : dataDirs) {
        const QString entry = dir + QStringLiteral("/applications/vorlune.desktop");
        if (QFileInfo(entry).isFile()) return entry;
    }
    return {};
}

bool isInstalledProgram(const QString& executable, const QString& entry) {
    if (entry.isEmpty()) return false;
    const QString beside = QFileInfo(entry).absolutePath() + QStringLiteral("/../../bin/vorlune");
    const QString program = QFileInfo(beside).canonicalFilePath();
    return !program.isEmpty() && program == QFileInfo(executable).canonicalFilePath();
}

QString localEntryName() {
    return QStringLiteral("vorlune-local.desktop");
}

bool registerUrlScheme(const QString& executable, const QString& applicationsDir,
                       const QStringList& dataDirs, QString* error) {
    if (!QDir().mkpath(applicationsDir))
        return failed(error, QStringLiteral("Der Ordner \"%1\" kann nicht angelegt werden.")
                                 .arg(QDir::toNativeSeparators(applicationsDir)));
    const QString userEntry = applicationsDir + QStringLiteral("/vorlune.desktop");
    const QString localEntry = applicationsDir + QLatin1Char('/') + localEntryName();
    const QByteArray userText = desktopEntryText(executable).toUtf8();
    const QByteArray localText = localEntryText(executable).toUtf8();
    QString installed = installedEntry(dataDirs);
    // One not written by us in the user's own folder was installed there (prefix ~/.local).
    if (installed.isEmpty() && QFile::exists(userEntry) && !isOwnEntry(userEntry, userText))
        installed = userEntry;
    bool changed = false;
    bool done = true;
    if (installed.isEmpty()) {
        QFile icon(iconResource());
        done = icon.open(QIODevice::ReadOnly) &&
               writeIfChanged(iconFilePath(applicationsDir), icon.readAll(), error);
        done = removeIfOwn(localEntry, localText, &changed) && done;
        done = writeEntry(userEntry, userText, &changed, error) && done;
    } else {
        // Ours under the installed entry's name would hide it.
        done = removeIfOwn(userEntry, userText, &changed);
        if (isInstalledProgram(executable, installed))
            done = removeIfOwn(localEntry, localText, &changed) && done;
        else
            done = writeEntry(localEntry, localText, &changed, error) && done;
    }
    if (changed) updateDatabase(applicationsDir);
    return done;
}

bool unregisterUrlScheme(const QString& applicationsDir) {
    // Only ours: an entry installed into the user's folder stays.
    const QByteArray own = desktopEntryText(QString()).toUtf8();
    const QString icon = iconFilePath(applicationsDir);
    bool changed = false;
    const bool iconGone = !QFile::exists(icon) || QFile::remove(icon);
    const bool entryGone =
        removeIfOwn(applicationsDir + QStringLiteral("/vorlune.desktop"), own, &changed);
    const bool localGone = removeIfOwn(applicationsDir + QLatin1Char('/') + localEntryName(),
                                       localEntryText(QString()).toUtf8(), &changed);
    return entryGone && localGone && iconGone;
}

} // namespace desktopintegration
