#include "test_peers.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QString testDataDir() {
    return QStringLiteral(MEDIA_TEST_DIR);
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {
// Nanoseconds the calling thread has spent ready to run but waiting for a CPU (0 when the
// kernel does not say).
qint64 runQueueWaitNs() {
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().split(' ').value(1).toLongLong();
}
} // namespace

LoopLagProbe::LoopLagProbe() {
    timer_.setInterval(10);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const qint64 now = clock_.elapsed();
        const qint64 queued = runQueueWaitNs();
        const qint64 raw = now - last_ - timer_.interval();
        worstRaw_ = std::max(worstRaw_, raw);
        worst_ = std::max(worst_, raw - (queued - lastQueuedNs_) / 1000000);
        last_ = now;
        lastQueuedNs_ = queued;
        ++ticks_;
    });
    lastQueuedNs_ = runQueueWaitNs();
    clock_.start();
    timer_.start();
}

SilentServer::SilentServer() = default;

SilentServer::~SilentServer() {
    if (fd_ >= 0) ::close(fd_);
}

bool SilentServer::listen(quint16 port) {
    // The kernel completes the handshakes of the backlog; nothing ever reads or answers.
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 64) != 0)
        return false;
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return true;
}

bool PythonPeer::start(const QString& script, const QStringList& args) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral("/usr/bin/python3"),
                   QStringList{testDataDir() + u'/' + script} + args);
    if (!process_.waitForStarted(5000)) return false;
    if (!QTest::qWaitFor([this] { return process_.canReadLine(); }, 10000)) return false;
    port_ = quint16(process_.readLine().trimmed().toUInt());
    return port_ != 0;
}

void PythonPeer::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(3000);
}

QString SambaPeer::start(const QString& shareFolder, const QString& user, const QString& password) {
    return start(QList<Share>{{QStringLiteral("musik"), shareFolder, false}}, user, password);
}

QString SambaPeer::start(const QList<Share>& shares, const QString& user, const QString& password) {
    const QString smbd = QStandardPaths::findExecutable("smbd", {"/usr/sbin", "/usr/bin"});
    const QString smbpasswd =
        QStandardPaths::findExecutable("smbpasswd", {"/usr/bin", "/usr/sbin"});
    if (smbd.isEmpty() || smbpasswd.isEmpty()) return QStringLiteral("smbd is not installed");
    if (!dir_.isValid()) return QStringLiteral("no temporary folder");
    const QString d = dir_.path();
    for (const char* sub : {"private", "lock", "state", "cache", "pid", "ncalrpc"})
        QDir().mkpath(d + u'/' + QLatin1StringView(sub));
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost)) return QStringLiteral("no free port");
        port_ = probe.serverPort();
    }
    const QString conf = d + QStringLiteral("/smb.conf");
    QString text =
        QString("[global]\n workgroup = TESTGRP\n netbios name = VLMEDIA\n"
                " smb ports = %2\n interfaces = lo\n bind interfaces only = yes\n"
                " private dir = %1/private\n lock directory = %1/lock\n"
                " state directory = %1/state\n cache directory = %1/cache\n"
                " pid directory = %1/pid\n ncalrpc dir = %1/ncalrpc\n"
                " log file = %1/log.smbd\n map to guest = never\n"
                " passdb backend = tdbsam:%1/private/passdb.tdb\n"
                " server role = standalone server\n load printers = no\n"
                " printcap name = /dev/null\n disable spoolss = yes\n disable netbios = yes\n")
            .arg(d)
            .arg(port_);
    for (const Share& share : shares)
        text += QString("[%1]\n path = %2\n valid users = %3\n guest ok = no\n read only = %4\n")
                    .arg(share.name, share.folder, user,
                         share.writable ? QStringLiteral("no") : QStringLiteral("yes"));
    if (!writeFile(conf, text.toUtf8())) return QStringLiteral("cannot write smb.conf");
    QProcess passwd;
    passwd.start(smbpasswd, {"-c", conf, "-a", "-s", user});
    passwd.waitForStarted(5000);
    passwd.write((password + u'\n' + password + u'\n').toUtf8());
    passwd.closeWriteChannel();
    if (!passwd.waitForFinished(10000) || passwd.exitCode() != 0)
        return QStringLiteral("smbpasswd failed: ") + QString::fromLocal8Bit(passwd.readAll());
    // In a process group of its own: smbd signals its whole group when it ends.
    process_.start(smbd, {"--foreground", "-s", conf});
    if (!process_.waitForStarted(5000)) return QStringLiteral("smbd cannot be started");
    const bool listening = QTest::qWaitFor(
        [this] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port_);
            return s.waitForConnected(200);
        },
        15000);
    if (!listening)
        return QStringLiteral("smbd does not listen: ") +
               QString::fromLocal8Bit(readFile(d + "/log.smbd"));
    return {};
}

void SambaPeer::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(2000);
}

bool ScriptedPrompts::askPassword(const QString& caption, bool withUserName, QString& user,
                                  QString& password) {
    captions << caption;
    withUserField << withUserName;
    if (logins.isEmpty()) return false;
    const Login answer = logins.takeFirst();
    if (!answer.ok) return false;
    if (withUserName) user = answer.user;
    password = answer.password;
    return true;
}

bool ScriptedPrompts::confirm(const QString& text) {
    questions << text;
    return confirmations.isEmpty() ? false : confirmations.takeFirst();
}

QString ScriptedPrompts::waitForMedium(const QString& label, MediumWait& wait) {
    ++waits;
    return onWait ? onWait(label, wait) : QString();
}
