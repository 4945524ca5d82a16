#pragma once

#include "topic_items.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>

#include <array>

// What the program does for the remote-control topics.
class RemoteHandler {
public:
    virtual ~RemoteHandler() = default;
    // A client is about to read an item of `topic`: CURRENTTRACK, STREAMING and APPINFO
    // are brought up to date first.
    virtual void refresh(remote::Topic topic) = 0;
    // A poke, after the value was stored and announced. Runs from the event loop, after
    // the client's call was answered.
    virtual void poked(remote::Topic topic, const QString& item, const QString& value) = 0;
    // Why a poke would be refused (German), empty when it would be taken. Asked before
    // the poke is stored, while the client waits.
    virtual QString check(remote::Topic, const QString&, const QString&) { return {}; }
};

class RemoteService;

// One topic on the bus: the object "/<TOPIC>" with the interface below.
class RemoteTopicObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vorlune.vorlune.Topic")
public:
    RemoteTopicObject(RemoteService* service, remote::Topic topic);

public slots:
    // The item's lines, each followed by CR LF.
    QString Request(const QString& item);
    void Poke(const QString& item, const QString& value);
    // As Poke, answering why the command was refused (empty: taken). A refused poke is
    // not stored.
    QString PokeChecked(const QString& item, const QString& value);

signals:
    // A poked value (the program's own updates are not announced).
    void Changed(const QString& item, const QString& value);

private:
    bool knownItem(const QString& item);
    bool takesPokes(const QString& item);
    void store(const QString& item, const QString& value);

    RemoteService* service_;
    remote::Topic topic_;
};

// The session-bus service "org.vorlune.vorlune": one object per topic. Registered on
// construction, withdrawn on destruction. When another program holds the name, the
// objects stay unpublished, the failure is logged and everything else goes on.
class RemoteService : public QObject {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.vorlune.vorlune"); }

    RemoteService(TopicItems* items, RemoteHandler* handler,
                  const QDBusConnection& bus = QDBusConnection::sessionBus(),
                  QObject* parent = nullptr);
    ~RemoteService() override;

    bool isRegistered() const { return registered_; }
    TopicItems& items() { return *items_; }

private:
    friend class RemoteTopicObject;
    void runPoke(remote::Topic topic, const QString& item, const QString& value);
    void withdrawObjects();

    TopicItems* items_;
    RemoteHandler* handler_;
    QDBusConnection bus_;
    std::array<RemoteTopicObject*, 4> objects_{};
    bool registered_ = false;
};
