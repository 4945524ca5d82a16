#pragma once

#include "control_channel.h"

#include <QHash>
#include <QList>
#include <QObject>

class QLocalServer;
class QLocalSocket;
class QTimer;

// What the control messages act on; the main window implements it.
class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    // Command 0: restore, raise and activate the window; focus the quick-search field.
    virtual void bringToFront() = 0;
    // Commands 1 to 5 (play, pause, stop, previous, next): whether that button is enabled.
    virtual bool commandEnabled(int code) const = 0;
    virtual void runCommand(int code) = 0;
    // "Medien werden neu geladen...", clear, load all media.
    virtual void reloadMedia() = 0;
};

// Applies one message. Returns whether it counted as handled: the handle matched (and,
// for MP3CTRL, whatever the code held).
bool dispatchControlMessage(const control::Message& message, qint64 ownHandle,
                            ControlTarget& target);

// The listening side of the control channel: greets each client with the handle, reads
// one bounded line per client within a time-out, answers "OK" or "IGNORED" and hands
// the message on.
class ControlServer : public QObject {
    Q_OBJECT
public:
    explicit ControlServer(ControlTarget* target, QObject* parent = nullptr);
    ~ControlServer() override;

    static constexpr int kMaxLine = 256;
    static constexpr int kMaxClients = 32;
    static constexpr int kTimeoutMs = 5000;

    // Listens at `path` (control::socketPath() by default), replacing a stale socket.
    bool listen(const QString& path = QString());
    qint64 handle() const { return handle_; }
    // The target may come after listen(): messages that arrive before it wait for it.
    void setTarget(ControlTarget* target);
    void setHandle(qint64 handle) { handle_ = handle; }
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }

signals:
    void messageHandled(int kind, qint64 code);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    ControlTarget* target_;
    QLocalServer* server_;
    qint64 handle_;
    int timeoutMs_ = kTimeoutMs;
    QHash<QLocalSocket*, QByteArray> buffers_;
    QList<control::Message> waiting_;
};
