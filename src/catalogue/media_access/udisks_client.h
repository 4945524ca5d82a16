#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

// A drive as UDisks2 describes it.
struct UDisksDrive {
    enum Kind { Fixed, Stick, Optical };
    QString path; // object path
    bool removable = false;
    bool ejectable = false;
    bool optical = false;
    QString connectionBus; // "usb", "sdio", ...
    Kind kind() const;
};

// A block device that carries a file system.
struct UDisksVolume {
    QString path; // object path of the block device
    QString device;
    QString label;
    qint64 size = 0;
    QString drive; // object path of its drive, "/" when none
    bool hintIgnore = false;
    bool hintSystem = false;
    bool filesystem = false;
    QStringList mountPoints;

    bool isMounted() const { return !mountPoints.isEmpty(); }
    // The kind the user sees: "CD", "DVD", "BD" for optical media by their size,
    // "USB-Stick", "Festplatte".
    static QString kindText(UDisksDrive::Kind kind, qint64 size);
};

// The volumes and drives of the UDisks2 service on a bus, kept current through its
// ObjectManager and property signals. Every call to the service is asynchronous; the
// answers come as signals. Unavailable (no bus, no service): no volumes, and callers
// fall back on the mount table.
class UDisksClient : public QObject {
    Q_OBJECT
public:
    explicit UDisksClient(const QDBusConnection& bus, QObject* parent = nullptr);
    ~UDisksClient() override;

    // The system bus from DBUS_SYSTEM_BUS_ADDRESS or the default socket; may be
    // unconnected.
    static QDBusConnection systemBus();

    // True once the service answered with its objects.
    bool isAvailable() const { return available_; }

    QList<UDisksVolume> volumes() const;
    const UDisksVolume* volume(const QString& path) const;
    const UDisksDrive* drive(const QString& path) const;
    // The volume mounted at a folder, or null.
    const UDisksVolume* volumeMountedAt(const QString& folder) const;
    // Mount points of every volume, in object path order.
    QStringList mountPoints() const;

    // Volumes on removable drives (or optical ones), not hidden by the system.
    QList<UDisksVolume> removableVolumes() const;
    bool isRemovable(const UDisksVolume& v) const;

    // Unmounted volumes that may be mounted for the label: those whose label equals it
    // (exactly, then without regard to case); only when there is none, the other
    // removable ones.
    QList<UDisksVolume> mountCandidates(const QString& label) const;

    // Mounts as the calling user; the policy of the system decides.
    void mount(const QString& volumePath);
    void unmount(const QString& volumePath);
    // Unmounts what this client mounted on the drive, then ejects it.
    void eject(const QString& drivePath);

    // Volumes that this client mounted and that are still mounted.
    QSet<QString> ownMounts() const { return own_; }
    bool isOwnMount(const QString& volumePath) const { return own_.contains(volumePath); }
    int pendingCalls() const { return pending_; }

    // The reason of a refused call, as the user reads it.
    static QString refusalText(const QString& errorName, const QString& message);

signals:
    void availableChanged(bool available);
    // A volume appeared, went, or its mounts changed.
    void volumesChanged();
    void volumeAdded(const QString& path);
    void volumeRemoved(const QString& path);
    void mounted(const QString& volumePath, const QString& mountPoint);
    void mountFailed(const QString& volumePath, const QString& reason);
    void unmounted(const QString& volumePath);
    void unmountFailed(const QString& volumePath, const QString& reason);
    void ejected(const QString& drivePath);
    void ejectFailed(const QString& drivePath, const QString& reason);
    // Every call answered.
    void idle();

private slots:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void requestObjects();
    void applyInterfaces(const QString& path, const QHash<QString, QVariantMap>& interfaces);
    void applyProperties(const QString& path, const QString& interface, const QVariantMap& props);
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& args,
              std::function<void(const QDBusMessage& reply, const QString& error)> done);
    void ejectNow(const QString& drivePath);

    QDBusConnection bus_;
    bool available_ = false;
    QHash<QString, UDisksVolume> volumes_; // blocks, with or without a file system
    QHash<QString, UDisksDrive> drives_;
    QSet<QString> own_;
    int pending_ = 0;
};
