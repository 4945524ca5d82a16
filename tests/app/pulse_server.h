#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// A private PulseAudio daemon with one null sink "vtest", reachable only through its own
// socket; PULSE_SERVER points there while it lives.
class PulseServer {
public:
    bool start() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (exe.isEmpty() || !dir_.isValid()) {
            why_ = QStringLiteral("pulseaudio not installed");
            return false;
        }
        QDir(dir_.path()).mkpath(QStringLiteral("home"));
        QDir(dir_.path()).mkpath(QStringLiteral("rt"));
        QFile::setPermissions(dir_.filePath(QStringLiteral("rt")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        socket_ = dir_.filePath(QStringLiteral("rt/native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("rt")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir_.filePath(QStringLiteral("rt")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), dir_.filePath(QStringLiteral("home")));
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start(exe, {QStringLiteral("--daemonize=no"), QStringLiteral("--system=false"),
                          QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                          QStringLiteral("--disallow-exit"), QStringLiteral("--disable-shm=yes"),
                          QStringLiteral("--log-target=stderr"),
                          // The sink first: modules load in this order, so the sink is
                          // there once the socket is.
                          QStringLiteral("--load=module-null-sink sink_name=vtest rate=44100"),
                          QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 "
                                         "socket=") +
                              socket_});
        if (!proc_.waitForStarted(5000)) {
            why_ = QStringLiteral("pulseaudio does not start");
            return false;
        }
        const bool up = QTest::qWaitFor(
            [this] { return QFile::exists(socket_) || proc_.state() != QProcess::Running; }, 10000);
        if (!up || proc_.state() != QProcess::Running) {
            why_ = QStringLiteral("pulseaudio ended: ") + QString::fromLocal8Bit(proc_.readAll());
            return false;
        }
        oldServer_ = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(socket_));
        return true;
    }
    ~PulseServer() {
        if (proc_.state() == QProcess::Running) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000)) proc_.kill();
            proc_.waitForFinished(2000);
        }
        if (oldServer_.isEmpty())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", oldServer_);
    }
    QString why() const { return why_; }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString socket_, why_;
    QByteArray oldServer_;
};
