#include "smb_client.h"

#include <QFile>
#include <QMutexLocker>
#include <QRandomGenerator>

#include <libsmbclient.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace smbshare {

QString urlFromUnc(QStringView unc) {
    QString path = unc.toString();
    while (path.startsWith(u'\\') || path.startsWith(u'/'))
        path.remove(0, 1);
    while (path.endsWith(u'\\') || path.endsWith(u'/'))
        path.chop(1);
    path.replace(u'\\', u'/');
    return QStringLiteral("smb://") + path;
}

int errorCodeFromErrno(int error) {
    switch (error) {
    case 0:
        return 0;
    case EACCES:
    case EPERM:
        // A refused login and a share closed to this user look alike to the client.
        return 86;
    case ENOENT:
    case ENODEV:
        return 67;
    case ENOTDIR:
        return 66;
    case EINVAL:
        return 1200;
    case ENETUNREACH:
    case ENETDOWN:
        return 1222;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ETIMEDOUT:
    case ECONNRESET:
        return 1203;
    default:
        return -1;
    }
}

QString errorName(int code, const QString& drive) {
    switch (code) {
    case 5:
        return QStringLiteral("ERROR_ACCESS_DENIED");
    case 66:
        return QStringLiteral("ERROR_BAD_DEV_TYPE");
    case 67:
        return QStringLiteral("ERROR_BAD_NET_NAME");
    case 85:
        return QStringLiteral("ERROR_ALREADY_ASSIGNED");
    case 86:
        return QStringLiteral("ERROR_INVALID_PASSWORD");
    case 1200:
        return QStringLiteral("ERROR_BAD_DEVICE");
    case 1202:
        return QStringLiteral("ERROR_DEVICE_ALREADY_REMEMBERED");
    case 1203:
        return QStringLiteral("ERROR_NO_NET_OR_BAD_PATH");
    case 1205:
        return QStringLiteral("ERROR_CANNOT_OPEN_PROFILE");
    case 1206:
        return QStringLiteral("ERROR_BAD_PROFILE");
    case 1208:
        return QStringLiteral("ERROR_EXTENDED_ERROR");
    case 1222:
        return QStringLiteral("ERROR_NO_NETWORK");
    default:
        return u'"' + drive + u'"';
    }
}

} // namespace smbshare

namespace {

// The library decodes "%" escapes and reads "?" as the start of options.
QByteArray requestUrl(const QString& url) {
    QByteArray out;
    for (char c : url.toUtf8()) {
        if (c == '%')
            out += "%25";
        else if (c == '?')
            out += "%3F";
        else
            out += c;
    }
    return out;
}

QString shareKey(const QString& server, const QString& share) {
    return (server + u'/' + share).toCaseFolded();
}

void copyField(char* target, int length, const QString& value) {
    if (length <= 0) return;
    const QByteArray bytes = value.toUtf8();
    const int n = qMin(int(bytes.size()), length - 1);
    std::memcpy(target, bytes.constData(), size_t(n));
    target[n] = 0;
}

} // namespace

void SmbCredentials::set(const QString& server, const QString& share, const QString& user,
                         const QString& password) {
    QMutexLocker lock(&mutex_);
    byShare_.insert(shareKey(server, share), {user, password});
}

bool SmbCredentials::get(const QString& server, const QString& share, QString* user,
                         QString* password) const {
    QMutexLocker lock(&mutex_);
    auto it = byShare_.constFind(shareKey(server, share));
    if (it == byShare_.constEnd()) {
        // Requests on the server itself (share lists) use any known login for it.
        const QString prefix = (server + u'/').toCaseFolded();
        for (auto i = byShare_.constBegin(); i != byShare_.constEnd(); ++i)
            if (share.isEmpty() && i.key().startsWith(prefix)) {
                it = i;
                break;
            }
        if (it == byShare_.constEnd()) return false;
    }
    *user = it->first;
    *password = it->second;
    return true;
}

SmbSession::SmbSession(SmbCredentials* credentials, quint16 port, int timeoutMs)
    : credentials_(credentials), port_(port), timeoutMs_(timeoutMs) {}

SmbSession::~SmbSession() {
    if (context_) smbc_free_context(context_, 1);
}

void SmbSession::authenticate(SMBCCTX* context, const char* server, const char* share, char*, int,
                              char* user, int userLength, char* password, int passwordLength) {
    auto* self = static_cast<SmbSession*>(smbc_getOptionUserData(context));
    QString u, p;
    if (self &&
        self->credentials_->get(QString::fromUtf8(server), QString::fromUtf8(share), &u, &p)) {
        copyField(user, userLength, u);
        copyField(password, passwordLength, p);
    }
}

bool SmbSession::ensure() {
    if (context_) return true;
    context_ = smbc_new_context();
    if (!context_) return false;
    smbc_setDebug(context_, 0);
    smbc_setTimeout(context_, timeoutMs_);
    smbc_setOptionUserData(context_, this);
    smbc_setFunctionAuthDataWithContext(context_, &SmbSession::authenticate);
    smbc_setOptionNoAutoAnonymousLogin(context_, true);
    smbc_setOptionUseKerberos(context_, false);
    smbc_setOptionFallbackAfterKerberos(context_, true);
    if (port_) smbc_setPort(context_, port_);
    if (!smbc_init_context(context_)) {
        smbc_free_context(context_, 0);
        context_ = nullptr;
        return false;
    }
    return true;
}

int SmbSession::openShare(const QString& url) {
    if (!ensure()) return ENODEV;
    const QByteArray target = requestUrl(url.endsWith(u'/') ? url : url + u'/');
    errno = 0;
    SMBCFILE* dir = smbc_getFunctionOpendir(context_)(context_, target.constData());
    if (!dir) return errno ? errno : EIO;
    smbc_getFunctionClosedir(context_)(context_, dir);
    return 0;
}

int SmbSession::statError(const QString& url) {
    if (!ensure()) return ENODEV;
    struct stat st;
    errno = 0;
    if (smbc_getFunctionStat(context_)(context_, requestUrl(url).constData(), &st) == 0) return 0;
    return errno ? errno : EIO;
}

QByteArray SmbSession::readSmall(const QString& url, qint64 maxBytes) {
    QByteArray data;
    if (!ensure()) return data;
    SMBCFILE* f =
        smbc_getFunctionOpen(context_)(context_, requestUrl(url).constData(), O_RDONLY, 0);
    if (!f) return data;
    char buffer[16384];
    while (data.size() < maxBytes) {
        const ssize_t n = smbc_getFunctionRead(context_)(context_, f, buffer, sizeof buffer);
        if (n <= 0) break;
        data.append(buffer, qsizetype(qMin<qint64>(n, maxBytes - data.size())));
    }
    smbc_getFunctionClose(context_)(context_, f);
    return data;
}

webclient::TransferResult SmbSession::download(const QString& url, const QString& localPath,
                                               const webclient::ProgressFn& progress) {
    webclient::TransferResult result;
    QFile file(localPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.error = file.errorString();
        return result;
    }
    if (!ensure()) {
        result.error = QStringLiteral("libsmbclient kann nicht gestartet werden.");
        return result;
    }
    errno = 0;
    SMBCFILE* f =
        smbc_getFunctionOpen(context_)(context_, requestUrl(url).constData(), O_RDONLY, 0);
    if (!f) {
        result.error = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
        return result;
    }
    struct stat st;
    if (smbc_getFunctionFstat(context_)(context_, f, &st) == 0) result.expected = st.st_size;
    auto buffer = std::make_unique<char[]>(256 * 1024);
    bool failed = false;
    for (;;) {
        errno = 0;
        const ssize_t n = smbc_getFunctionRead(context_)(context_, f, buffer.get(), 256 * 1024);
        if (n < 0) {
            result.error = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
            failed = true;
            break;
        }
        if (n == 0) break;
        if (file.write(buffer.get(), n) != n) {
            result.error = file.errorString();
            failed = true;
            break;
        }
        result.bytes += n;
        if (progress && !progress(result.bytes, result.expected)) {
            result.cancelled = true;
            result.error = QStringLiteral("abgebrochen");
            failed = true;
            break;
        }
    }
    smbc_getFunctionClose(context_)(context_, f);
    if (!file.flush()) {
        failed = true;
        result.error = file.errorString();
    }
    file.close();
    if (!failed && result.expected >= 0 && result.bytes != result.expected) {
        failed = true;
        result.error =
            QStringLiteral("unvollständig (%1 von %2 Byte)").arg(result.bytes).arg(result.expected);
    }
    result.ok = !failed;
    return result;
}

int SmbSession::makeFolders(const QString& url) {
    if (!ensure()) return ENODEV;
    // smb://server/share/a/b: the share exists; each folder below it is made in turn.
    const QString rest = url.mid(6);
    const QStringList parts = rest.split(u'/', Qt::SkipEmptyParts);
    if (parts.size() < 2) return EINVAL;
    QString path = QStringLiteral("smb://") + parts[0] + u'/' + parts[1];
    for (qsizetype i = 2; i < parts.size(); ++i) {
        path += u'/' + parts[i];
        const QByteArray target = requestUrl(path);
        struct stat st;
        errno = 0;
        if (smbc_getFunctionStat(context_)(context_, target.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return ENOTDIR;
            continue;
        }
        if (errno != ENOENT) return errno ? errno : EIO;
        errno = 0;
        if (smbc_getFunctionMkdir(context_)(context_, target.constData(), 0755) != 0 &&
            errno != EEXIST)
            return errno ? errno : EIO;
    }
    return 0;
}

int SmbSession::remove(const QString& url) {
    if (!ensure()) return ENODEV;
    errno = 0;
    if (smbc_getFunctionUnlink(context_)(context_, requestUrl(url).constData()) == 0) return 0;
    return errno ? errno : EIO;
}

int SmbSession::fileSize(const QString& url, qint64* size) {
    if (!ensure()) return ENODEV;
    struct stat st;
    errno = 0;
    if (smbc_getFunctionStat(context_)(context_, requestUrl(url).constData(), &st) != 0)
        return errno ? errno : EIO;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    *size = st.st_size;
    return 0;
}

int SmbSession::freeSpace(const QString& url, qint64* bytes) {
    if (!ensure()) return ENODEV;
    QByteArray target = requestUrl(url.endsWith(u'/') ? url : url + u'/');
    struct statvfs st;
    errno = 0;
    if (smbc_getFunctionStatVFS(context_)(context_, target.data(), &st) != 0)
        return errno ? errno : EIO;
    *bytes = qint64(st.f_bavail) * qint64(st.f_frsize ? st.f_frsize : st.f_bsize);
    return 0;
}

int SmbSession::readAll(const QString& url, QByteArray* data, qint64 maxBytes) {
    data->clear();
    if (!ensure()) return ENODEV;
    errno = 0;
    SMBCFILE* f =
        smbc_getFunctionOpen(context_)(context_, requestUrl(url).constData(), O_RDONLY, 0);
    if (!f) return errno ? errno : EIO;
    int error = 0;
    char buffer[65536];
    for (;;) {
        errno = 0;
        const ssize_t n = smbc_getFunctionRead(context_)(context_, f, buffer, sizeof buffer);
        if (n < 0) {
            error = errno ? errno : EIO;
            break;
        }
        if (n == 0) break;
        if (data->size() + n > maxBytes) {
            error = EFBIG;
            break;
        }
        data->append(buffer, qsizetype(n));
    }
    smbc_getFunctionClose(context_)(context_, f);
    if (error) data->clear();
    return error;
}

template <typename Source> SmbSession::Upload SmbSession::put(const QString& url, Source&& source) {
    Upload result;
    if (!ensure()) {
        result.error = ENODEV;
        return result;
    }
    const qsizetype slash = url.lastIndexOf(u'/');
    if (slash < 0 || slash + 1 >= url.size()) {
        result.error = EINVAL;
        return result;
    }
    const QString folder = url.left(slash + 1);
    QString temp;
    SMBCFILE* f = nullptr;
    for (int attempt = 0; attempt < 8 && !f; ++attempt) {
        temp = folder + QStringLiteral(".vorlune-copy-%1")
                            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        errno = 0;
        f = smbc_getFunctionOpen(context_)(context_, requestUrl(temp).constData(),
                                           O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (!f && errno != EEXIST) break;
    }
    if (!f) {
        result.error = errno ? errno : EIO;
        return result;
    }
    auto dropTemp = [&] {
        smbc_getFunctionUnlink(context_)(context_, requestUrl(temp).constData());
    };
    constexpr qint64 chunk = qint64(1) << 20;
    auto buffer = std::make_unique<char[]>(size_t(chunk));
    for (;;) {
        const qint64 n = source(buffer.get(), chunk);
        if (n < 0) {
            result.error = errno ? errno : EIO;
            if (errno == ECANCELED) {
                result.error = 0;
                result.aborted = true;
            }
            break;
        }
        if (n == 0) break;
        qint64 written = 0;
        while (written < n) {
            errno = 0;
            const ssize_t w = smbc_getFunctionWrite(context_)(context_, f, buffer.get() + written,
                                                              size_t(n - written));
            if (w <= 0) {
                result.error = errno ? errno : EIO;
                break;
            }
            written += w;
        }
        if (result.error) break;
        result.bytes += n;
    }
    errno = 0;
    const int closed = smbc_getFunctionClose(context_)(context_, f);
    if (!result.error && !result.aborted && closed != 0) result.error = errno ? errno : EIO;
    if (result.error || result.aborted) {
        dropTemp();
        return result;
    }
    // What arrived is checked before it takes the final name.
    qint64 size = -1;
    if (const int e = fileSize(temp, &size); e != 0 || size != result.bytes) {
        result.error = e ? e : EIO;
        dropTemp();
        return result;
    }
    const QByteArray from = requestUrl(temp);
    const QByteArray to = requestUrl(url);
    auto renameTo = [&] {
        errno = 0;
        return smbc_getFunctionRename(context_)(context_, from.constData(), context_,
                                                to.constData()) == 0;
    };
    if (!renameTo()) {
        // Servers that do not replace on rename: the old file goes only now.
        struct stat st;
        const bool taken = smbc_getFunctionStat(context_)(context_, to.constData(), &st) == 0;
        if (!taken || S_ISDIR(st.st_mode) ||
            smbc_getFunctionUnlink(context_)(context_, to.constData()) != 0 || !renameTo()) {
            result.error = errno ? errno : EIO;
            if (taken && S_ISDIR(st.st_mode)) result.error = EISDIR;
            dropTemp();
            return result;
        }
    }
    return result;
}

SmbSession::Upload SmbSession::upload(const QString& localPath, const QString& url,
                                      const std::atomic<bool>* abort,
                                      std::atomic<quint64>* activity) {
    QFile in(localPath);
    if (!in.open(QIODevice::ReadOnly)) {
        Upload result;
        result.error = errno ? errno : ENOENT;
        return result;
    }
    return put(url, [&](char* buffer, qint64 max) -> qint64 {
        if (abort && abort->load(std::memory_order_relaxed)) {
            errno = ECANCELED;
            return -1;
        }
        const qint64 n = in.read(buffer, max);
        if (n < 0) errno = EIO;
        if (activity) ++*activity;
        return n;
    });
}

SmbSession::Upload SmbSession::uploadData(const QByteArray& data, const QString& url) {
    qint64 at = 0;
    return put(url, [&](char* buffer, qint64 max) -> qint64 {
        const qint64 n = qMin(max, qint64(data.size()) - at);
        std::memcpy(buffer, data.constData() + at, size_t(n));
        at += n;
        return n;
    });
}
