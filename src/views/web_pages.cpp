#include "web_pages.h"

#include "atomic_file.h"
#include "collection.h"
#include "data_js.h"
#include "log_categories.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

static void initWebResources() {
    Q_INIT_RESOURCE(web_pages);
}

namespace webpages {
namespace {

// The engine takes a local file's type from its extension.
constexpr char kPageSuffix[] = ".html";

quint32 bootTicks() {
    return quint32(QDeadlineTimer::current(Qt::PreciseTimer).deadline());
}

QString withSlash(const QString& dir) {
    if (dir.isEmpty() || dir.endsWith(QLatin1Char('/'))) return dir;
    return dir + QLatin1Char('/');
}

QString htmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

QString substitute(QString text, const Placeholders& values) {
    QString jresource = values.resource;
    jresource.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    const std::pair<const char*, const QString*> table[] = {
        {"%VORLUNE%", &values.vorlune},
        {"%TEMP%", &values.temp},
        {"%RESOURCE%", &values.resource},
        {"%JRESOURCE%", &jresource},
    };
    for (const auto& [key, value] : table)
        text.replace(QLatin1String(key), *value, Qt::CaseInsensitive);
    return text;
}

QString loadTemplate(const QString& name) {
    initWebResources();
    QFile file(QStringLiteral(":/web/templates/") + name.toUpper());
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

QString errorPage(const QString& message) {
    return QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\">"
                          "<title>Vorlune</title></head><body style=\"font-family:sans-serif;"
                          "color:#247388;margin:16px\"><h3>Die Seite kann nicht angezeigt "
                          "werden.</h3><p>") +
           htmlEscaped(message) + QStringLiteral("</p></body></html>");
}

QString statsJs(const QString& medium, const MyMediaInfo& info) {
    const QString crlf = QStringLiteral("\r\n");
    auto line = [&](const char* key, const QString& value) {
        return QString::fromLatin1(key).leftJustified(10, QLatin1Char(' ')) + QStringLiteral("= ") +
               value + QLatin1Char(';') + crlf;
    };
    auto text = [](const QString& value) {
        return QLatin1Char('"') + datajs::escape(value) + QLatin1Char('"');
    };
    QString out;
    out += line("medium", text(medium));
    out += line("resource", text(info.Resource));
    out += line("author", text(info.Author));
    out += line("version", text(info.Version));
    out += line("comment", text(info.Comment));
    out += line("mediatype", QString::number(info.MediaType));
    out += line("folders", QString::number(info.FolderCount));
    out += line("files", QString::number(info.TitleCount));
    return out;
}

QString mediumQuery(const QString& currentFile, const QString& details) {
    const QString name =
        currentFile.isEmpty() ? QString() : QFileInfo(currentFile).completeBaseName();
    return QStringLiteral("?Playing=") + QString::fromLatin1(QUrl::toPercentEncoding(name)) +
           QStringLiteral("&FullName=") +
           QString::fromLatin1(QUrl::toPercentEncoding(currentFile)) + QLatin1Char('&') + details;
}

QByteArray basicAuthorization(const QString& user, const QString& password) {
    if (user.isEmpty() && password.isEmpty()) return QByteArray();
    return "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

PageWriter::PageWriter(QString tempDir, QString dataDir, QString resourceBase)
    : ticks(&bootTicks), temp_(std::move(tempDir)), data_(std::move(dataDir)),
      resource_(std::move(resourceBase)) {}

PageWriter::~PageWriter() = default;

Placeholders PageWriter::placeholders() const {
    return {withSlash(data_), withSlash(temp_), resource_};
}

QString PageWriter::pageName(quint32 ticks) {
    return QStringLiteral("%1").arg(ticks, 8, 16, QLatin1Char('0')).toUpper() +
           QLatin1String(kPageSuffix);
}

PageWriter::Result PageWriter::writePage(const QString& name) {
    const QString text = loadTemplate(name);
    if (text.isNull())
        return {QString(),
                QStringLiteral("Die Seitenvorlage \"%1\" fehlt im Programm.").arg(name.toLower())};
    return store(substitute(text, placeholders()));
}

PageWriter::Result PageWriter::writeHtml(const QString& html) {
    return store(html);
}

PageWriter::Result PageWriter::store(const QString& text) {
    const Result failed{QString(),
                        QStringLiteral("Der temporäre Ordner \"%1\" kann nicht beschrieben werden.")
                            .arg(QDir::toNativeSeparators(temp_))};
    if (temp_.isEmpty()) return failed;
    // Two pages within one millisecond take the next free name.
    quint32 tick = ticks ? ticks() : bootTicks();
    QString file = QDir(temp_).filePath(pageName(tick));
    while (QFileInfo::exists(file) || pages_.contains(file))
        file = QDir(temp_).filePath(pageName(++tick));
    QString reason;
    if (!atomicfile::write(file, text.toUtf8(), &reason, {.sync = false})) {
        qCWarning(lcWeb).noquote() << "page" << file << "not written:" << reason;
        return {QString(), failed.error + QLatin1Char(' ') + reason + QLatin1Char('.')};
    }
    pages_.append(file);
    return {file, QString()};
}

bool PageWriter::writeStats(const QString& medium, const MyMediaInfo& info, QString* reason) {
    if (temp_.isEmpty()) return false;
    return datajs::write(QDir(temp_).filePath(QStringLiteral("stats.js")), statsJs(medium, info),
                         reason);
}

void PageWriter::cleanup() {
    for (const QString& page : std::as_const(pages_))
        QFile::remove(page);
    pages_.clear();
    if (temp_.isEmpty()) return;
    for (const char* name : {"data.js", "stats.js"})
        QFile::remove(QDir(temp_).filePath(QLatin1String(name)));
}

} // namespace webpages
