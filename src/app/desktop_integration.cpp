#include "desktop_integration.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace desktopintegration {

namespace {

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

QString desktopEntryText(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vorlune\n"
                          "Comment=Musik- und Videosammlung\n"
                          "Exec=") +
           escapeValue(quoteExec(executable)) +
           QStringLiteral(" %u\n"
                          "Terminal=false\n"
                          "Categories=AudioVideo;Audio;Player;\n"
                          "MimeType=x-scheme-handler/vorlune;\n");
}

bool registerUrlScheme(const QString& executable, const QString& applicationsDir) {
    if (!QDir().mkpath(applicationsDir)) return false;
    const QString path = applicationsDir + QStringLiteral("/vorlune.desktop");
    const QByteArray text = desktopEntryText(executable).toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text) return true;
    existing.close();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text);
    if (!file.commit()) return false;
    const QString updater =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!updater.isEmpty()) QProcess::startDetached(updater, {applicationsDir});
    return true;
}

bool unregisterUrlScheme(const QString& applicationsDir) {
    const QString path = applicationsDir + QStringLiteral("/vorlune.desktop");
    return !QFile::exists(path) || QFile::remove(path);
}

} // namespace desktopintegration
