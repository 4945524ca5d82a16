#include "control_server.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <utility>

bool dispatchControlMessage(const control::Message& message, qint64 ownHandle,
                            ControlTarget& target) {
    if (message.kind == control::Message::Invalid || message.handle < 0 ||
        message.handle != ownHandle)
        return false;
    if (message.kind == control::Message::Refresh) {
        target.reloadMedia();
        return true;
    }
    if (message.code == 0)
        target.bringToFront();
    else if (message.code >= 1 && message.code <= 5 && target.commandEnabled(int(message.code)))
        target.runCommand(int(message.code));
    return true;
}

ControlServer::ControlServer(ControlTarget* target, QObject* parent)
    : QObject(parent), target_(target), server_(new QLocalServer(this)),
      handle_(QCoreApplication::applicationPid()) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(kMaxClients);
    connect(server_, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
}

ControlServer::~ControlServer() {
    server_->close();
}

bool ControlServer::listen(const QString& path) {
    const QString name = path.isEmpty() ? control::socketPath() : path;
    // Only the holder of the instance lock gets here, so an existing socket is stale.
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

void ControlServer::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (buffers_.size() >= kMaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        buffers_.insert(socket, QByteArray());
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] { socket->abort(); });
        timer->start(timeoutMs_);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            buffers_.remove(socket);
            socket->deleteLater();
        });
        socket->write(control::greeting(handle_));
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void ControlServer::onReadyRead(QLocalSocket* socket) {
    auto it = buffers_.find(socket);
    if (it == buffers_.end()) return;
    QByteArray& buffer = *it;
    buffer += socket->read(kMaxLine + 1 - buffer.size());
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() > kMaxLine) {
            buffers_.erase(it);
            socket->abort();
        }
        return;
    }
    const control::Message message = control::parseMessage(buffer.left(end));
    buffers_.erase(it);
    socket->disconnect(this);
    // Answer first: the action may open a modal dialog.
    const bool matches = message.kind != control::Message::Invalid && message.handle >= 0 &&
                         message.handle == handle_;
    socket->write(matches ? "OK\n" : "IGNORED\n");
    socket->flush();
    socket->disconnectFromServer();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QLocalSocket::UnconnectedState) socket->deleteLater();
    if (!matches) return;
    if (!target_) {
        if (waiting_.size() < kMaxClients) waiting_.append(message);
        return;
    }
    if (dispatchControlMessage(message, handle_, *target_))
        emit messageHandled(int(message.kind), message.code);
}

void ControlServer::setTarget(ControlTarget* target) {
    target_ = target;
    if (!target_) return;
    const QList<control::Message> waiting = std::exchange(waiting_, {});
    for (const control::Message& message : waiting)
        if (dispatchControlMessage(message, handle_, *target_))
            emit messageHandled(int(message.kind), message.code);
}
