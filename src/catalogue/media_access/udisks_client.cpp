#include "udisks_client.h"

#include "media_log.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>

#include <algorithm>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kUserCallTimeoutMs = 120000; // the policy may ask the user for a password

QString bytesToPath(QByteArray bytes) {
    while (bytes.endsWith('\0'))
        bytes.chop(1);
    return QString::fromLocal8Bit(bytes);
}

QString objectPath(const QVariant& v) {
    if (v.canConvert<QDBusObjectPath>()) return v.value<QDBusObjectPath>().path();
    return v.toString();
}

QStringList mountPointsOf(const QVariant& v) {
    QStringList out;
    if (v.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QByteArray bytes;
            arg >> bytes;
            const QString p = bytesToPath(bytes);
            if (!p.isEmpty()) out << QDir::cleanPath(p);
        }
        arg.endArray();
    } else {
        for (const QVariant& item : v.toList()) {
            const QString p = bytesToPath(item.toByteArray());
            if (!p.isEmpty()) out << QDir::cleanPath(p);
        }
    }
    return out;
}

QVariantMap variantMap(const QVariant& v) {
    if (v.userType() == qMetaTypeId<QDBusArgument>()) return qdbus_cast<QVariantMap>(v);
    return v.toMap();
}

QHash<QString, QVariantMap> readInterfaces(const QDBusArgument& arg) {
    QHash<QString, QVariantMap> out;
    arg.beginMap();
    while (!arg.atEnd()) {
        QString name;
        QVariantMap props;
        arg.beginMapEntry();
        arg >> name >> props;
        arg.endMapEntry();
        out.insert(name, props);
    }
    arg.endMap();
    return out;
}

bool optical(const QVariantMap& props) {
    if (props.value(QStringLiteral("Optical")).toBool()) return true;
    const auto starts = [](const QString& s) { return s.startsWith(u"optical"); };
    if (starts(props.value(QStringLiteral("Media")).toString())) return true;
    const QStringList compat = props.value(QStringLiteral("MediaCompatibility")).toStringList();
    return std::any_of(compat.begin(), compat.end(), starts);
}

} // namespace

UDisksDrive::Kind UDisksDrive::kind() const {
    if (optical) return Optical;
    if (removable || connectionBus == u"usb" || connectionBus == u"sdio") return Stick;
    return Fixed;
}

QString UDisksVolume::kindText(UDisksDrive::Kind kind, qint64 size) {
    switch (kind) {
    case UDisksDrive::Optical:
        if (size > 0 && size <= 900LL * 1000 * 1000) return QStringLiteral("CD");
        if (size > 0 && size <= 9LL * 1000 * 1000 * 1000) return QStringLiteral("DVD");
        return size > 0 ? QStringLiteral("BD") : QStringLiteral("CD/DVD");
    case UDisksDrive::Stick:
        return QStringLiteral("USB-Stick");
    case UDisksDrive::Fixed:
        break;
    }
    return QStringLiteral("Festplatte");
}

UDisksClient::UDisksClient(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    if (!bus_.isConnected()) {
        qCInfo(lcMedia, "no system bus: media are found through the mount table");
        return;
    }
    bus_.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesAdded"), this,
                 SLOT(onInterfacesAdded(QDBusMessage)));
    bus_.connect(kService, kRoot, kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                 SLOT(onInterfacesRemoved(QDBusMessage)));
    // Every object's property changes: an empty path matches them all.
    bus_.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(onPropertiesChanged(QDBusMessage)));
    auto* watcher =
        new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &UDisksClient::onNameOwnerChanged);
    requestObjects();
}

UDisksClient::~UDisksClient() = default;

QDBusConnection UDisksClient::systemBus() {
    // A connection of our own, made again when the last one failed: the bus may have
    // come up since.
    const QString name = QStringLiteral("vorlune-system-bus");
    {
        QDBusConnection existing(name);
        if (existing.isConnected()) return existing;
    }
    QDBusConnection::disconnectFromBus(name);
    // Read here, not by libdbus, which reads it only once per process.
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.isEmpty()) return QDBusConnection::connectToBus(address, name);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}

void UDisksClient::requestObjects() {
    QDBusMessage msg =
        QDBusMessage::createMethodCall(kService, kRoot, kObjectManager, "GetManagedObjects");
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(msg), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            qCInfo(lcMedia, "UDisks2 not there (%s): media are found through the mount table",
                   qUtf8Printable(reply.errorName()));
            return;
        }
        volumes_.clear();
        drives_.clear();
        const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
        arg.beginMap();
        while (!arg.atEnd()) {
            QDBusObjectPath path;
            arg.beginMapEntry();
            arg >> path;
            const QHash<QString, QVariantMap> interfaces = readInterfaces(arg);
            arg.endMapEntry();
            applyInterfaces(path.path(), interfaces);
        }
        arg.endMap();
        const bool was = available_;
        available_ = true;
        if (!was) emit availableChanged(true);
        emit volumesChanged();
    });
}

void UDisksClient::onNameOwnerChanged(const QString&, const QString&, const QString& newOwner) {
    volumes_.clear();
    drives_.clear();
    own_.clear();
    if (available_) {
        available_ = false;
        emit availableChanged(false);
        emit volumesChanged();
    }
    if (!newOwner.isEmpty()) requestObjects();
}

void UDisksClient::applyInterfaces(const QString& path,
                                   const QHash<QString, QVariantMap>& interfaces) {
    for (auto it = interfaces.begin(); it != interfaces.end(); ++it)
        applyProperties(path, it.key(), it.value());
    if (interfaces.contains(kFilesystem) && volumes_.contains(path))
        volumes_[path].filesystem = true;
}

void UDisksClient::applyProperties(const QString& path, const QString& interface,
                                   const QVariantMap& props) {
    if (interface == kDrive) {
        UDisksDrive& d = drives_[path];
        d.path = path;
        if (props.contains(QStringLiteral("Removable")) ||
            props.contains(QStringLiteral("MediaRemovable")))
            d.removable = props.value(QStringLiteral("Removable"), d.removable).toBool() ||
                          props.value(QStringLiteral("MediaRemovable")).toBool();
        if (props.contains(QStringLiteral("Ejectable")))
            d.ejectable = props.value(QStringLiteral("Ejectable")).toBool();
        if (props.contains(QStringLiteral("ConnectionBus")))
            d.connectionBus = props.value(QStringLiteral("ConnectionBus")).toString();
        if (props.contains(QStringLiteral("Media")) ||
            props.contains(QStringLiteral("MediaCompatibility")) ||
            props.contains(QStringLiteral("Optical")))
            d.optical = d.optical || optical(props);
        return;
    }
    if (interface != kBlock && interface != kFilesystem) return;
    UDisksVolume& v = volumes_[path];
    v.path = path;
    if (interface == kBlock) {
        if (props.contains(QStringLiteral("Device")))
            v.device = bytesToPath(props.value(QStringLiteral("Device")).toByteArray());
        if (props.contains(QStringLiteral("IdLabel")))
            v.label = props.value(QStringLiteral("IdLabel")).toString();
        if (props.contains(QStringLiteral("Size")))
            v.size = qint64(props.value(QStringLiteral("Size")).toULongLong());
        if (props.contains(QStringLiteral("Drive")))
            v.drive = objectPath(props.value(QStringLiteral("Drive")));
        if (props.contains(QStringLiteral("HintIgnore")))
            v.hintIgnore = props.value(QStringLiteral("HintIgnore")).toBool();
        if (props.contains(QStringLiteral("HintSystem")))
            v.hintSystem = props.value(QStringLiteral("HintSystem")).toBool();
    } else {
        v.filesystem = true;
        if (props.contains(QStringLiteral("MountPoints"))) {
            v.mountPoints = mountPointsOf(props.value(QStringLiteral("MountPoints")));
            if (v.mountPoints.isEmpty()) own_.remove(path);
        }
    }
}

void UDisksClient::onInterfacesAdded(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const QString path = objectPath(args.at(0));
    const bool known = volumes_.contains(path);
    applyInterfaces(path, readInterfaces(args.at(1).value<QDBusArgument>()));
    if (!known && volumes_.contains(path)) emit volumeAdded(path);
    emit volumesChanged();
}

void UDisksClient::onInterfacesRemoved(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const QString path = objectPath(args.at(0));
    const QStringList gone = args.at(1).toStringList();
    if (gone.contains(kDrive)) drives_.remove(path);
    if (gone.contains(kBlock)) {
        own_.remove(path);
        if (volumes_.remove(path)) emit volumeRemoved(path);
    } else if (gone.contains(kFilesystem) && volumes_.contains(path)) {
        UDisksVolume& v = volumes_[path];
        v.filesystem = false;
        v.mountPoints.clear();
        own_.remove(path);
    }
    emit volumesChanged();
}

void UDisksClient::onPropertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const QString interface = args.at(0).toString();
    if (interface != kBlock && interface != kFilesystem && interface != kDrive) return;
    const QString path = message.path();
    if (interface != kDrive && !volumes_.contains(path)) return; // not announced yet
    applyProperties(path, interface, variantMap(args.at(1)));
    emit volumesChanged();
}

QList<UDisksVolume> UDisksClient::volumes() const {
    QList<UDisksVolume> out;
    for (const UDisksVolume& v : volumes_)
        if (v.filesystem) out << v;
    std::sort(out.begin(), out.end(),
              [](const UDisksVolume& a, const UDisksVolume& b) { return a.path < b.path; });
    return out;
}

const UDisksVolume* UDisksClient::volume(const QString& path) const {
    auto it = volumes_.constFind(path);
    return it == volumes_.cend() ? nullptr : &*it;
}

const UDisksDrive* UDisksClient::drive(const QString& path) const {
    auto it = drives_.constFind(path);
    return it == drives_.cend() ? nullptr : &*it;
}

const UDisksVolume* UDisksClient::volumeMountedAt(const QString& folder) const {
    const QString clean = QDir::cleanPath(folder);
    for (const UDisksVolume& v : volumes_)
        if (v.mountPoints.contains(clean)) return &v;
    return nullptr;
}

QStringList UDisksClient::mountPoints() const {
    QStringList out;
    for (const UDisksVolume& v : volumes())
        for (const QString& p : v.mountPoints)
            if (!out.contains(p)) out << p;
    return out;
}

bool UDisksClient::isRemovable(const UDisksVolume& v) const {
    if (!v.filesystem || v.hintIgnore) return false;
    const UDisksDrive* d = drive(v.drive);
    if (!d) return false;
    return d->removable || d->optical || d->kind() == UDisksDrive::Stick;
}

QList<UDisksVolume> UDisksClient::removableVolumes() const {
    QList<UDisksVolume> out;
    for (const UDisksVolume& v : volumes())
        if (isRemovable(v)) out << v;
    return out;
}

QList<UDisksVolume> UDisksClient::mountCandidates(const QString& label) const {
    QList<UDisksVolume> exact, folded, others;
    for (const UDisksVolume& v : volumes()) {
        if (v.isMounted() || v.hintIgnore || !v.filesystem) continue;
        if (!label.isEmpty() && v.label == label)
            exact << v;
        else if (!label.isEmpty() && v.label.compare(label, Qt::CaseInsensitive) == 0)
            folded << v;
        else if (isRemovable(v) && !v.hintSystem)
            others << v;
    }
    // Volumes of other labels only when none bears the medium's (an unlabelled stick).
    if (!exact.isEmpty() || !folded.isEmpty()) return exact + folded;
    return others;
}

QString UDisksClient::refusalText(const QString& errorName, const QString& message) {
    QString reason = message.trimmed();
    if (reason.isEmpty()) reason = errorName;
    if (errorName.startsWith(u"org.freedesktop.UDisks2.Error.NotAuthorized"))
        return QStringLiteral("keine Berechtigung (%1)").arg(reason);
    if (errorName == u"org.freedesktop.UDisks2.Error.DeviceBusy")
        return QStringLiteral("der Datenträger wird noch benutzt (%1)").arg(reason);
    return reason;
}

void UDisksClient::call(const QString& path, const QString& interface, const QString& method,
                        const QVariantList& args,
                        std::function<void(const QDBusMessage&, const QString&)> done) {
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, path, interface, method);
    msg.setArguments(args);
    msg.setInteractiveAuthorizationAllowed(true);
    ++pending_;
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(msg, kUserCallTimeoutMs), this);
    connect(w, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                --pending_;
                if (reply.type() == QDBusMessage::ErrorMessage)
                    done(reply, refusalText(reply.errorName(), reply.errorMessage()));
                else
                    done(reply, {});
                if (pending_ == 0) emit idle();
            });
}

void UDisksClient::mount(const QString& volumePath) {
    call(volumePath, kFilesystem, QStringLiteral("Mount"), {QVariantMap()},
         [this, volumePath](const QDBusMessage& reply, const QString& error) {
             if (!error.isEmpty()) {
                 qCInfo(lcMedia, "mounting %s refused: %s", qUtf8Printable(volumePath),
                        qUtf8Printable(error));
                 emit mountFailed(volumePath, error);
                 return;
             }
             const QString mountPoint = reply.arguments().isEmpty()
                                            ? QString()
                                            : QDir::cleanPath(reply.arguments().at(0).toString());
             own_.insert(volumePath);
             // The answer may come before the property change: the mount counts at once.
             auto it = volumes_.find(volumePath);
             if (it != volumes_.end() && !mountPoint.isEmpty() &&
                 !it->mountPoints.contains(mountPoint))
                 it->mountPoints << mountPoint;
             emit mounted(volumePath, mountPoint);
             emit volumesChanged();
         });
}

void UDisksClient::unmount(const QString& volumePath) {
    call(volumePath, kFilesystem, QStringLiteral("Unmount"), {QVariantMap()},
         [this, volumePath](const QDBusMessage&, const QString& error) {
             if (!error.isEmpty()) {
                 qCInfo(lcMedia, "unmounting %s refused: %s", qUtf8Printable(volumePath),
                        qUtf8Printable(error));
                 emit unmountFailed(volumePath, error);
                 return;
             }
             own_.remove(volumePath);
             auto it = volumes_.find(volumePath);
             if (it != volumes_.end()) it->mountPoints.clear();
             emit unmounted(volumePath);
             emit volumesChanged();
         });
}

void UDisksClient::eject(const QString& drivePath) {
    // Our own mounts on the drive go first; the eject follows the last of their answers.
    QStringList ours;
    for (const QString& p : std::as_const(own_))
        if (const UDisksVolume* v = volume(p); v && v->drive == drivePath) ours << p;
    if (ours.isEmpty()) {
        ejectNow(drivePath);
        return;
    }
    auto left = std::make_shared<int>(int(ours.size()));
    auto failed = std::make_shared<QString>();
    for (const QString& p : ours) {
        call(p, kFilesystem, QStringLiteral("Unmount"), {QVariantMap()},
             [this, p, left, failed, drivePath](const QDBusMessage&, const QString& error) {
                 if (error.isEmpty()) {
                     own_.remove(p);
                     auto it = volumes_.find(p);
                     if (it != volumes_.end()) it->mountPoints.clear();
                     emit unmounted(p);
                 } else if (failed->isEmpty()) {
                     *failed = error;
                 }
                 if (--*left > 0) return;
                 if (failed->isEmpty())
                     ejectNow(drivePath);
                 else
                     emit ejectFailed(drivePath, *failed);
             });
    }
}

void UDisksClient::ejectNow(const QString& drivePath) {
    call(drivePath, kDrive, QStringLiteral("Eject"), {QVariantMap()},
         [this, drivePath](const QDBusMessage&, const QString& error) {
             if (!error.isEmpty())
                 emit ejectFailed(drivePath, error);
             else
                 emit ejected(drivePath);
         });
}
