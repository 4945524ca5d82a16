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

bool registerUrlScheme(const QString& executable, const QString& applicationsDir, QString* error) {
    QFile icon(iconResource());
    const bool iconDone = icon.open(QIODevice::ReadOnly) &&
                          writeIfChanged(iconFilePath(applicationsDir), icon.readAll(), error);
    const QString path = applicationsDir + QStringLiteral("/vorlune.desktop");
    const QByteArray text = desktopEntryText(executable).toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.read(text.size() + 1) == text)
        return iconDone;
    existing.close();
    if (!writeIfChanged(path, text, error)) return false;
    const QString updater =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!updater.isEmpty()) QProcess::startDetached(updater, {applicationsDir});
    return iconDone;
}

bool unregisterUrlScheme(const QString& applicationsDir) {
    const QString path = applicationsDir + QStringLiteral("/vorlune.desktop");
    const QString icon = iconFilePath(applicationsDir);
    const bool iconGone = !QFile::exists(icon) || QFile::remove(icon);
    return (!QFile::exists(path) || QFile::remove(path)) && iconGone;
}

} // namespace desktopintegration
