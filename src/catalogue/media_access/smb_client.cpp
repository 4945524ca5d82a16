#include "smb_client.h"

#include <QFile>
#include <QMutexLocker>

#include <libsmbclient.h>

#include <fcntl.h>
#include <sys/stat.h>

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
