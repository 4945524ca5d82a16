#pragma once

#include "media_prompts.h"
#include "medium_wait.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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
    // Empty on success, else why smbd cannot serve.
    QString start(const QString& shareFolder, const QString& user, const QString& password);
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

QString testDataDir();
bool writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);
