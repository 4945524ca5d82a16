#include "web_client.h"

#include "version_info.h"

#include <QFile>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace webclient {

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    const size_t n = size * count;
    noteHeaderLine(*static_cast<Replies*>(user), QByteArrayView(data, qsizetype(n)));
    return n;
}

size_t discardBody(char*, size_t size, size_t count, void* user) {
    auto* total = static_cast<qint64*>(user);
    *total += qint64(size * count);
    // A check needs no more than the start of the answer.
    if (*total > 4 * 1024 * 1024) return 0;
    return size * count;
}

CurlHandle newHandle(const QByteArray& url, const Credentials& login, const Timeouts& t,
                     char* errorBuffer) {
    globalInit();
    CurlHandle h(curl_easy_init());
    if (!h) return h;
    CURL* c = h.get();
    static const QByteArray agent = userAgent();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(t.connectSeconds));
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp,ftps");
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 0L); // plain passive mode
    const QByteArray user = login.user.toUtf8();
    const QByteArray password = login.password.toUtf8();
    if (!login.user.isEmpty() || !login.password.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    }
    errorBuffer[0] = 0;
    return h;
}

// A check that is given up on ends at the library's next progress call.
int checkAbort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* abort = static_cast<const std::atomic<bool>*>(user);
    return abort && abort->load() ? 1 : 0;
}

void watchAbort(CURL* c, const std::atomic<bool>* abort) {
    if (!abort) return;
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, checkAbort);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));
}

QString errorText(CURLcode code, const char* errorBuffer) {
    const QString detail = QString::fromUtf8(errorBuffer).trimmed();
    return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
}

} // namespace

void noteHeaderLine(Replies& replies, QByteArrayView data) {
    const QByteArray line = data.first(qMin<qsizetype>(data.size(), 1024)).trimmed().toByteArray();
    if (line.startsWith("HTTP/")) {
        // "HTTP/1.1 401 Unauthorized": the text after the code.
        const QList<QByteArray> parts = line.split(' ');
        replies.statusText = parts.size() > 2
                                 ? line.mid(parts[0].size() + parts[1].size() + 2).trimmed()
                                 : QByteArray();
        if (replies.statusText.isEmpty() && parts.size() > 1)
            replies.statusText = parts[1].trimmed();
    }
    if (!line.isEmpty()) replies.lastLine = line;
}

bool isFtpUrl(QStringView url) {
    return url.startsWith(u"ftp://", Qt::CaseInsensitive);
}
bool isHttpUrl(QStringView url) {
    return url.startsWith(u"http://", Qt::CaseInsensitive) ||
           url.startsWith(u"https://", Qt::CaseInsensitive);
}

QByteArray encodeUrl(QStringView url) {
    const bool ftp = isFtpUrl(url);
    const QByteArray bytes = url.toUtf8();
    QByteArray out;
    out.reserve(bytes.size() * 3 / 2);
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool encode = b >= 128 || b <= 32 || b == '*' || b == '#' || b == '%' || b == '<' ||
                            b == '>' || (ftp && b == '?');
        if (encode) {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 15]);
        } else {
            out.append(char(b));
        }
    }
    return out;
}

QByteArray userAgent() {
    return "Vorlune, Version " + MyVersionInfo::current().VersionString.toUtf8();
}

ProbeResult probeFtp(const QString& url, const Credentials& login, const Timeouts& t,
                     const std::atomic<bool>* abort) {
    ProbeResult result;
    // A URL ending in "/" makes the library change into that folder and stop there.
    QString folder = url;
    if (!folder.endsWith(u'/')) folder += u'/';
    char errorBuffer[CURL_ERROR_SIZE];
    CurlHandle h = newHandle(encodeUrl(folder), login, t, errorBuffer);
    if (!h) {
        result.error = QStringLiteral("libcurl ist nicht verfügbar.");
        return result;
    }
    Replies replies;
    curl_easy_setopt(h.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, long(t.probeSeconds));
    curl_easy_setopt(h.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h.get(), CURLOPT_HEADERDATA, &replies);
    watchAbort(h.get(), abort);
    const CURLcode code = curl_easy_perform(h.get());
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &result.code);
    if (code == CURLE_LOGIN_DENIED || result.code == 530) {
        result.refused = true;
        result.error = replies.lastLine.isEmpty() ? errorText(code, errorBuffer)
                                                  : QString::fromUtf8(replies.lastLine);
    } else if (code != CURLE_OK) {
        result.error = errorText(code, errorBuffer);
    }
    return result;
}

ProbeResult probeHttp(const QString& url, const Credentials& login, const Timeouts& t,
                      const std::atomic<bool>* abort) {
    ProbeResult result;
    char errorBuffer[CURL_ERROR_SIZE];
    CurlHandle h = newHandle(encodeUrl(url), login, t, errorBuffer);
    if (!h) {
        result.error = QStringLiteral("libcurl ist nicht verfügbar.");
        return result;
    }
    Replies replies;
    qint64 received = 0;
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Accept: text/html, */*"));
    curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, long(t.probeSeconds));
    curl_easy_setopt(h.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h.get(), CURLOPT_HEADERDATA, &replies);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &received);
    watchAbort(h.get(), abort);
    const CURLcode code = curl_easy_perform(h.get());
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &result.code);
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && result.code > 0)) {
        result.error = errorText(code, errorBuffer);
        return result;
    }
    if (result.code < 201) return result;
    result.error = QString::fromUtf8(replies.statusText);
    if (result.error.isEmpty()) result.error = QString::number(result.code);
    result.refused = result.code == 401;
    return result;
}

namespace {

struct DownloadState {
    QFile* file = nullptr;
    qint64 bytes = 0;
    bool writeFailed = false;
    const ProgressFn* progress = nullptr;
    CURL* handle = nullptr;
    bool cancelled = false;
};

size_t writeToFile(char* data, size_t size, size_t count, void* user) {
    auto* s = static_cast<DownloadState*>(user);
    const qint64 n = qint64(size * count);
    if (s->file->write(data, n) != n) {
        s->writeFailed = true;
        return 0;
    }
    s->bytes += n;
    return size_t(n);
}

int onProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) {
    auto* s = static_cast<DownloadState*>(user);
    if (!s->progress || !*s->progress) return 0;
    if (!(*s->progress)(qint64(dlNow), dlTotal > 0 ? qint64(dlTotal) : -1)) {
        s->cancelled = true;
        return 1;
    }
    return 0;
}

} // namespace

TransferResult download(const QString& url, const Credentials& login, const QString& localPath,
                        const ProgressFn& progress, const Timeouts& t) {
    TransferResult result;
    QFile file(localPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.error = file.errorString();
        return result;
    }
    char errorBuffer[CURL_ERROR_SIZE];
    CurlHandle h = newHandle(encodeUrl(url), login, t, errorBuffer);
    if (!h) {
        result.error = QStringLiteral("libcurl ist nicht verfügbar.");
        return result;
    }
    DownloadState state;
    state.file = &file;
    state.progress = &progress;
    state.handle = h.get();
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Accept: text/html, */*"));
    if (isHttpUrl(url)) curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h.get(), CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h.get(), CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h.get(), CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h.get(), CURLOPT_LOW_SPEED_TIME, long(t.stallSeconds));
    const CURLcode code = curl_easy_perform(h.get());
    curl_off_t length = -1;
    curl_easy_getinfo(h.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    result.expected = length >= 0 ? qint64(length) : -1;
    result.bytes = state.bytes;
    if (!file.flush()) state.writeFailed = true;
    file.close();
    if (state.cancelled) {
        result.cancelled = true;
        result.error = QStringLiteral("abgebrochen");
    } else if (state.writeFailed) {
        result.error = file.errorString();
    } else if (code != CURLE_OK) {
        result.error = errorText(code, errorBuffer);
    } else if (result.expected >= 0 && result.bytes != result.expected) {
        result.error =
            QStringLiteral("unvollständig (%1 von %2 Byte)").arg(result.bytes).arg(result.expected);
    } else {
        result.ok = true;
    }
    return result;
}

QString removeFtpFile(const QString& url, const Credentials& login, const Timeouts& t) {
    if (!isFtpUrl(url)) return QStringLiteral("keine FTP-Adresse");
    // The path as written after the host; the command takes it as it is, so no line breaks.
    const qsizetype slash = url.indexOf(u'/', 6);
    const QString path = slash < 0 ? QString() : url.mid(slash + 1);
    if (path.isEmpty() || path.endsWith(u'/') || path.contains(u'\r') || path.contains(u'\n'))
        return QStringLiteral("ungültiger Pfad");
    char errorBuffer[CURL_ERROR_SIZE];
    CurlHandle h = newHandle(encodeUrl(url.left(slash + 1)), login, t, errorBuffer);
    if (!h) return QStringLiteral("libcurl ist nicht verfügbar.");
    const QByteArray command = "DELE " + path.toUtf8();
    std::unique_ptr<curl_slist, SlistDeleter> quote(
        curl_slist_append(nullptr, command.constData()));
    Replies replies;
    curl_easy_setopt(h.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h.get(), CURLOPT_QUOTE, quote.get());
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, long(t.probeSeconds));
    curl_easy_setopt(h.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h.get(), CURLOPT_HEADERDATA, &replies);
    const CURLcode code = curl_easy_perform(h.get());
    if (code == CURLE_OK) return {};
    return code == CURLE_QUOTE_ERROR && !replies.lastLine.isEmpty()
               ? QString::fromUtf8(replies.lastLine).trimmed()
               : errorText(code, errorBuffer);
}

} // namespace webclient
