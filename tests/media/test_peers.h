#pragma once

#include "media_prompts.h"
#include "medium_wait.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

// Real servers on loopback for the tests, each in its own process.
class PythonPeer {
public:
    ~PythonPeer() { stop(); }
    // Runs a script of the test folder; false when it does not report its port.
    bool start(const QString& script, const QStringList& args);
    void stop();
    quint16 port() const { return port_; }

private:
    QProcess process_;
    quint16 port_ = 0;
};

// smbd with one share for one user and password, on a spare port.
class SambaPeer {
public:
    ~SambaPeer() { stop(); }
    struct Share {
        QString name;
        QString folder;
        bool writable = false;
    };
    // Empty on success, else why smbd cannot serve. The one-folder form serves it
    // read-only as "musik".
    QString start(const QString& shareFolder, const QString& user, const QString& password);
    QString start(const QList<Share>& shares, const QString& user, const QString& password);
    void stop();
    quint16 port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

// Answers the media dialogs as a script says, and records what was asked.
class ScriptedPrompts : public MediaPrompts {
public:
    struct Login {
        bool ok = false;
        QString user;
        QString password;
    };
    QList<Login> logins; // answers in order; Cancel once they run out
    QList<bool> confirmations;
    std::function<QString(const QString&, MediumWait&)> onWait;

    QStringList captions;
    QList<bool> withUserField;
    QStringList warnings;
    QStringList questions;
    int waits = 0;

    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override;
    void warn(const QString& text) override { warnings << text; }
    bool confirm(const QString& text) override;
    QString waitForMedium(const QString& label, MediumWait& wait) override;
};

// Measures how late the event loop of the thread it lives on runs a 10 ms timer: the
// longest time the loop did not answer. Time the thread stood ready while other processes
// had the CPUs (the scheduler's own count) is the machine's load, not the loop's, and is
// left out; worstRawLagMs() keeps it in.
class LoopLagProbe {
public:
    LoopLagProbe();
    qint64 worstLagMs() const { return worst_; }
    qint64 worstRawLagMs() const { return worstRaw_; }
    int ticks() const { return ticks_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 lastQueuedNs_ = 0;
    qint64 worst_ = 0;
    qint64 worstRaw_ = 0;
    int ticks_ = 0;
};

// A TCP server on loopback that takes every connection and never says a word.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    // Listens on the port (0: any free one); false when it cannot.
    bool listen(quint16 port = 0);
    quint16 port() const { return port_; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

QString testDataDir();
bool writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);
