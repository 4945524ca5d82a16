#include "url_import.h"

#include "index_file.h"
#include "merge_import.h"
#include "text_codec.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <curl/curl.h>

#include <mutex>

namespace urlimport {

namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

struct Download {
    QByteArray body;
    bool tooLarge = false;
    QByteArray statusLine; // of the last response, redirects included
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* d = static_cast<Download*>(user);
    const size_t n = size * count;
    if (qint64(d->body.size()) + qint64(n) > kMaxDownload) {
        d->tooLarge = true;
        return 0; // aborts the transfer
    }
    d->body.append(data, qsizetype(n));
    return n;
}

size_t readHeader(char* data, size_t size, size_t count, void* user) {
    auto* d = static_cast<Download*>(user);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, qsizetype(std::min<size_t>(n, 512))).trimmed();
    if (line.startsWith("HTTP/")) d->statusLine = line;
    return n;
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A name component that is safe as a file name in the data folder, or empty.
QString safeComponent(const QString& name) {
    QString last = name;
    const qsizetype cut =
        std::max(last.lastIndexOf(QLatin1Char('/')), last.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) last = last.mid(cut + 1);
    QString cleaned;
    cleaned.reserve(last.size());
    for (const QChar c : last)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f) cleaned.append(c);
    const qsizetype dot = cleaned.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) cleaned.truncate(dot);
    cleaned = cleaned.trimmed();
    // No hidden files, and nothing longer than a file name may be.
    if (cleaned.isEmpty() || cleaned.startsWith(QLatin1Char('.')) || cleaned.toUtf8().size() > 240)
        return {};
    return cleaned;
}

} // namespace

QString decodeArgument(const QString& argument) {
    QByteArray bytes;
    // Work on the argument's UTF-8 bytes so that characters outside ASCII survive.
    const QByteArray utf8 = argument.toUtf8();
    bytes.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '+') {
            bytes.append(' ');
        } else if (c == '%') {
            const int hi = i + 1 < utf8.size() ? hexValue(QLatin1Char(utf8[i + 1])) : -1;
            const int lo = i + 2 < utf8.size() ? hexValue(QLatin1Char(utf8[i + 2])) : -1;
            if (hi >= 0 && lo >= 0 && (hi | lo) != 0) bytes.append(char(hi * 16 + lo));
            i += std::min<qsizetype>(2, utf8.size() - 1 - i);
        } else {
            bytes.append(c);
        }
    }
    return textcodec::decodeIndexText(bytes);
}

ParsedUrl parseUrl(const QString& url) {
    ParsedUrl p;
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon <= 0) return p;
    p.scheme = url.left(colon);
    QString rest = url.mid(colon + 1);
    if (rest.startsWith(QLatin1String("//"))) {
        rest = rest.mid(2);
        qsizetype slash = rest.indexOf(QLatin1Char('/'));
        QString authority = slash < 0 ? rest : rest.left(slash);
        rest = slash < 0 ? QString() : rest.mid(slash);
        const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) authority = authority.mid(at + 1);
        const qsizetype portColon = authority.lastIndexOf(QLatin1Char(':'));
        if (portColon >= 0 && !authority.endsWith(QLatin1Char(']'))) {
            bool ok = false;
            const int port = authority.mid(portColon + 1).toInt(&ok);
            if (ok && port > 0 && port < 65536) p.port = port;
            authority.truncate(portColon);
        }
        p.host = authority;
    }
    // Query and fragment are not part of the document.
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (end >= 0) rest.truncate(end);
    if (!rest.startsWith(QLatin1Char('/'))) rest.prepend(QLatin1Char('/'));
    const qsizetype last = rest.lastIndexOf(QLatin1Char('/'));
    p.path = rest.left(last + 1);
    p.document = rest.mid(last + 1);
    return p;
}

bool isImportArgument(const QString& argument) {
    return parseUrl(decodeArgument(argument))
               .scheme.compare(QLatin1String("vorlune"), Qt::CaseInsensitive) == 0;
}

QString labelOf(const QStringList& lines) {
    qsizetype i = 0;
    while (i < lines.size() && lines[i].compare(indexfile::kMarker, Qt::CaseInsensitive) != 0)
        ++i;
    for (; i < lines.size(); ++i)
        if (lines[i].startsWith(QLatin1String("LABEL::"), Qt::CaseInsensitive))
            return lines[i].mid(7);
    return {};
}

QString targetFileName(const QString& name, const QString& fallback) {
    QString base = safeComponent(name);
    if (base.isEmpty()) base = safeComponent(fallback);
    if (base.isEmpty()) base = QStringLiteral("index");
    return base + QStringLiteral(".cd");
}

HttpResult httpGet(const QString& url, const QString& userAgent, int timeoutSeconds) {
    initCurlOnce();
    HttpResult result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("Der HTTP-Client konnte nicht angelegt werden.");
        return result;
    }
    Download download;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray agent = userAgent.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(std::min(timeoutSeconds, 20)));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(timeoutSeconds));
    // A server that stalls for 20 s is given up.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 20L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxDownload));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &download);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode code = curl_easy_perform(curl);
    if (download.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.error = QStringLiteral("Die Datei ist größer als 64 MiB.");
    } else if (code != CURLE_OK) {
        result.error = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        result.body = std::move(download.body);
        // An answer outside 2xx is a protocol error; its status line is the message.
        if (result.status < 200 || result.status > 299) {
            result.error = QString::fromLatin1(download.statusLine);
            if (result.error.isEmpty())
                result.error = QStringLiteral("HTTP-Status %1").arg(result.status);
        }
    }
    curl_easy_cleanup(curl);
    return result;
}

QString warningText(const QString& error, const QString& document, const QString& host) {
    QString flat = error;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return QStringLiteral("Fehler beim Verbinden: ") + flat + QStringLiteral("\n\r\n\r\"") +
           document + QStringLiteral("\" konnte nicht von \"") + host +
           QStringLiteral("\" heruntergeladen werden.");
}

Result run(const QString& argument, const QString& dataDir, const QString& userAgent,
           int timeoutSeconds) {
    Result r;
    const ParsedUrl url = parseUrl(decodeArgument(argument));
    if (url.scheme.compare(QLatin1String("vorlune"), Qt::CaseInsensitive) != 0) return r;
    r.attempted = true;
    const QString document = url.document.isEmpty() ? QStringLiteral("index.cd") : url.document;

    QUrl http;
    http.setScheme(QStringLiteral("http"));
    http.setHost(url.host, QUrl::StrictMode);
    if (url.port > 0) http.setPort(url.port);
    http.setPath(url.path + document, QUrl::DecodedMode);
    QString error;
    HttpResult response;
    if (url.host.isEmpty() || !http.isValid() || http.host().isEmpty()) {
        error = QStringLiteral("Ungültige Adresse.");
    } else {
        response = httpGet(QString::fromLatin1(http.toEncoded()), userAgent, timeoutSeconds);
        error = response.error;
    }

    if (error.isEmpty() && response.status == 200) {
        const QStringList lines = textcodec::splitLines(textcodec::decodeIndexText(response.body));
        const QString label = labelOf(lines);
        r.target = dataDir + QLatin1Char('/') +
                   targetFileName(label.isEmpty() ? document : label, document);
        QStringList out = lines;
        QString localError;
        if (QFileInfo::exists(r.target) || QFileInfo(r.target).isSymLink()) {
            // An old copy that cannot be read is kept: its change marks would be lost.
            QStringList old;
            if (indexfile::readIndexFile(r.target, old, &localError))
                out.append(MergeImportedIndex(lines, old));
        }
        if (localError.isEmpty() && indexfile::writeIndexFile(r.target, out, &localError))
            r.imported = true;
        if (!localError.isEmpty()) {
            // The download worked: this is no connection fault.
            r.error = localError;
            r.warning = localError + QStringLiteral("\n\r\n\r\"") + document +
                        QStringLiteral("\" wurde nicht importiert.");
            return r;
        }
    }
    if (!error.isEmpty()) {
        r.error = error;
        r.warning = warningText(error, document, url.host);
    }
    return r;
}

} // namespace urlimport
