#include "control_channel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QList>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace control {

namespace {

constexpr qsizetype kMaxGreeting = 64;

// A folder that only this user can change: owned by us, no symbolic link, not writable
// by group or others.
bool isPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

bool sendLine(const QByteArray& verb, const QByteArray& tail, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    auto remaining = [&deadline] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    const qint64 locked = runningInstanceHandle();
    QLocalSocket socket;
    // A starting instance holds the lock before it listens: keep trying while it starts.
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(remaining())) break;
        socket.abort();
        if (locked < 0 || deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    auto lineFor = [&](qint64 handle) {
        QByteArray line = verb + ' ' + QByteArray::number(handle);
        if (!tail.isEmpty()) line += ' ' + tail;
        return line + '\n';
    };
    if (locked > 0) {
        // The handle is known from the lock file: the line waits in the socket until a
        // busy instance gets to it, even when this process has ended by then.
        socket.write(lineFor(locked));
        if (!socket.waitForBytesWritten(remaining())) return false;
        QByteArray answer;
        while (!answer.contains("OK") && !answer.contains("IGNORED") &&
               socket.waitForReadyRead(remaining()))
            answer += socket.read(kMaxGreeting * 2);
        socket.disconnectFromServer();
        return true;
    }
    QByteArray greet;
    while (!greet.contains('\n') && greet.size() < kMaxGreeting) {
        if (!socket.waitForReadyRead(remaining())) return false;
        greet += socket.read(kMaxGreeting - greet.size());
    }
    greet = greet.left(greet.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = greet.split(' ');
    if (parts.size() != 2 || parts[0] != "VORLUNE") return false;
    bool ok = false;
    const qint64 handle = parts[1].toLongLong(&ok);
    if (!ok) return false;
    socket.write(lineFor(handle));
    if (!socket.waitForBytesWritten(remaining())) return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace

QString runtimeDir() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && isPrivateFolder(xdg)) return QFile::decodeName(xdg);
    // A folder of our own below the temporary folder; one that someone else made or
    // can change is never used, so that no other user can hold or fake our lock.
    const QString dir = QDir::tempPath() + QStringLiteral("/vorlune-%1").arg(::geteuid());
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0) {
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            return {};
        if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) return {};
    }
    return dir;
}

QString socketPath() {
    const QString dir = runtimeDir();
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/vorlune.sock");
}
QString lockPath() {
    const QString dir = runtimeDir();
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/vorlune.lock");
}

qint64 runningInstanceHandle() {
    const QString path = lockPath();
    if (path.isEmpty()) return -1;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return -1;
    qint64 handle = -1;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        char buffer[32] = {};
        const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
        bool ok = false;
        const qint64 pid = n > 0 ? QByteArray(buffer, qsizetype(n)).trimmed().toLongLong(&ok) : 0;
        handle = ok && pid > 0 ? pid : 0;
    }
    ::close(fd);
    return handle;
}

Message parseMessage(const QByteArray& line) {
    Message m;
    const QList<QByteArray> parts = line.trimmed().split(' ');
    bool ok = false;
    if (parts.size() == 2 && parts[0] == "REFRESH") {
        m.handle = parts[1].toLongLong(&ok);
        if (ok) m.kind = Message::Refresh;
    } else if (parts.size() == 3 && parts[0] == "MP3CTRL") {
        bool okCode = false;
        m.handle = parts[1].toLongLong(&ok);
        m.code = parts[2].toLongLong(&okCode);
        if (ok && okCode) m.kind = Message::Mp3Ctrl;
    }
    if (m.kind == Message::Invalid) m.handle = -1;
    return m;
}

QByteArray greeting(qint64 handle) {
    return "VORLUNE " + QByteArray::number(handle) + '\n';
}

bool sendRefresh(int timeoutMs) {
    return sendLine("REFRESH", {}, timeoutMs);
}

bool sendMp3Ctrl(int code, int timeoutMs) {
    return sendLine("MP3CTRL", QByteArray::number(code), timeoutMs);
}

} // namespace control
