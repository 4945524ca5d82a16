#include "remote_service.h"

#include "remote_log.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <utility>

using remote::Topic;

namespace {

const QString kUnknownItem = QStringLiteral("org.vorlune.vorlune.Error.UnknownItem");
const QString kReadOnly = QStringLiteral("org.vorlune.vorlune.Error.ReadOnly");

} // namespace

RemoteTopicObject::RemoteTopicObject(RemoteService* service, Topic topic)
    : QObject(service), service_(service), topic_(topic) {}

bool RemoteTopicObject::knownItem(const QString& item) {
    if (service_->items().contains(topic_, item)) return true;
    sendErrorReply(kUnknownItem,
                   QStringLiteral("%1 has no item \"%2\"").arg(remote::topicName(topic_), item));
    return false;
}

QString RemoteTopicObject::Request(const QString& item) {
    if (!knownItem(item)) return {};
    if (topic_ != Topic::Player) service_->handler_->refresh(topic_);
    return remote::requestText(service_->items().value(topic_, item));
}

bool RemoteTopicObject::takesPokes(const QString& item) {
    if (!knownItem(item)) return false;
    if (TopicItems::acceptsPokes(topic_, item)) return true;
    sendErrorReply(
        kReadOnly,
        QStringLiteral("%1/%2 takes no pokes").arg(remote::topicName(topic_), item.toUpper()));
    return false;
}

void RemoteTopicObject::store(const QString& item, const QString& value) {
    const QString name = item.toUpper();
    service_->items().set(topic_, name, value);
    emit Changed(name, value);
    // The action may open dialogs or run a search: the client has its answer first.
    QPointer<RemoteService> service(service_);
    QMetaObject::invokeMethod(
        service_,
        [service, topic = topic_, name, value] {
            if (service) service->runPoke(topic, name, value);
        },
        Qt::QueuedConnection);
}

void RemoteTopicObject::Poke(const QString& item, const QString& value) {
    if (takesPokes(item)) store(item, value);
}

QString RemoteTopicObject::PokeChecked(const QString& item, const QString& value) {
    if (!takesPokes(item)) return {};
    const QString reason =
        service_->handler_ ? service_->handler_->check(topic_, item.toUpper(), value) : QString();
    if (reason.isEmpty()) store(item, value);
    return reason;
}

RemoteService::RemoteService(TopicItems* items, RemoteHandler* handler, const QDBusConnection& bus,
                             QObject* parent)
    : QObject(parent), items_(items), handler_(handler), bus_(bus) {
    if (!bus_.isConnected()) {
        qCInfo(lcRemote) << "no session bus:" << bus_.lastError().message();
        return;
    }
    // Objects first: a client that sees the name appear finds them at once.
    for (Topic topic : remote::kTopics) {
        auto* object = new RemoteTopicObject(this, topic);
        if (bus_.registerObject(QLatin1Char('/') + remote::topicName(topic), object,
                                QDBusConnection::ExportAllSlots |
                                    QDBusConnection::ExportAllSignals))
            objects_[std::size_t(topic)] = object;
    }
    QDBusConnectionInterface* daemon = bus_.interface();
    const auto reply =
        daemon ? daemon->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement)
               : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        registered_ = true;
        return;
    }
    qCInfo(lcRemote) << "the name" << serviceName()
                     << "is taken (another instance?); the topics are not published";
    withdrawObjects();
}

void RemoteService::withdrawObjects() {
    for (Topic topic : remote::kTopics)
        if (std::exchange(objects_[std::size_t(topic)], nullptr))
            bus_.unregisterObject(QLatin1Char('/') + remote::topicName(topic));
}

RemoteService::~RemoteService() {
    withdrawObjects();
    if (registered_) bus_.unregisterService(serviceName());
}

void RemoteService::runPoke(Topic topic, const QString& item, const QString& value) {
    if (handler_) handler_->poked(topic, item, value);
}
