#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private system bus (dbus-daemon with a configuration of its own) and the fake UDisks2
// service of fake_udisks.py on it. One per test program: the first use starts both and
// points DBUS_SYSTEM_BUS_ADDRESS at the bus.
class FakeUDisks {
public:
    static FakeUDisks& instance();
    ~FakeUDisks();

    // Empty when the bus and the service run, else why not.
    const QString& error() const { return error_; }
    QString address() const { return address_; }
    // A fresh connection to the bus for a client under test.
    QDBusConnection connect(const QString& name);

    // kind: "usb", "optical" or "fixed"; folder: the mount point Mount answers with.
    void addVolume(const QString& name, const QString& drive, const QString& kind,
                   const QString& label, qint64 size, const QString& folder);
    void removeVolume(const QString& name);
    void setMounted(const QString& name, bool on); // as the desktop does it
    void refuseMount(const QString& name, const QString& message);
    QStringList events();
    // No volumes, no events.
    void reset();

private:
    FakeUDisks();
    bool control(const QString& method, const QVariantList& args, QVariantList* out = nullptr);

    QTemporaryDir dir_;
    QProcess daemon_;
    QProcess service_;
    QString address_;
    QString error_;
};
