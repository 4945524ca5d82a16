#include "control_channel.h"

#include <QDir>
#include <QList>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

namespace control {

namespace {

constexpr qsizetype kMaxGreeting = 64;

bool sendLine(const QByteArray& verb, const QByteArray& tail, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray greet;
    while (!greet.contains('\n') && greet.size() < kMaxGreeting) {
        if (!socket.waitForReadyRead(timeoutMs)) return false;
        greet += socket.read(kMaxGreeting - greet.size());
    }
    greet = greet.left(greet.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = greet.split(' ');
    if (parts.size() != 2 || parts[0] != "VORLUNE") return false;
    bool ok = false;
    const qint64 handle = parts[1].toLongLong(&ok);
    if (!ok) return false;
    QByteArray line = verb + ' ' + QByteArray::number(handle);
    if (!tail.isEmpty()) line += ' ' + tail;
    line += '\n';
    socket.write(line);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace

QString runtimeDir() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(QString::fromLocal8Bit(xdg)).exists())
        return QString::fromLocal8Bit(xdg);
    const QString dir = QStringLiteral("/tmp/vorlune-%1").arg(::getuid());
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0) {
        struct stat st {};
        // Refuse a folder that someone else owns or that others can enter.
        if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            return QDir::tempPath();
        if ((st.st_mode & 077) != 0) ::chmod(native.constData(), 0700);
    }
    return dir;
}

QString socketPath() {
    return runtimeDir() + QStringLiteral("/vorlune.sock");
}
QString lockPath() {
    return runtimeDir() + QStringLiteral("/vorlune.lock");
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
