#include "fake_udisks.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>

FakeUDisks& FakeUDisks::instance() {
    static FakeUDisks fake;
    return fake;
}

FakeUDisks::FakeUDisks() {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    const QString config = dir_.filePath(QStringLiteral("system.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return;
    }
    file.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>system</type><listen>unix:path=%1</listen>"
                   "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                   "<allow own=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow receive_sender=\"*\"/><allow send_type=\"method_call\"/>"
                   "<allow send_type=\"signal\"/></policy></busconfig>\n")
                   .arg(dir_.filePath(QStringLiteral("bus")))
                   .toUtf8());
    file.close();

    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                   QStringLiteral("--print-address")});
    if (!daemon_.waitForStarted(5000)) {
        error_ = QStringLiteral("dbus-daemon: ") + daemon_.errorString();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (!daemon_.canReadLine() && clock.elapsed() < 5000)
        daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) {
        error_ = QStringLiteral("dbus-daemon gave no address: ") +
                 QString::fromUtf8(daemon_.readAllStandardError());
        return;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
    // The program's system bus connection, made earlier without this bus, is made anew.
    QDBusConnection::disconnectFromBus(QStringLiteral("vorlune-system-bus"));

    service_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(FAKE_UDISKS_SCRIPT), address_});
    clock.restart();
    while (!service_.canReadLine() && clock.elapsed() < 10000 &&
           service_.state() != QProcess::NotRunning)
        service_.waitForReadyRead(100);
    if (service_.readLine().trimmed() != "READY")
        error_ = QStringLiteral("the fake UDisks2 service did not start");
}

FakeUDisks::~FakeUDisks() {
    for (QProcess* p : {&service_, &daemon_}) {
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(3000)) p->kill();
        p->waitForFinished(1000);
    }
}

QDBusConnection FakeUDisks::connect(const QString& name) {
    QDBusConnection::disconnectFromBus(name);
    return QDBusConnection::connectToBus(address_, name);
}

bool FakeUDisks::control(const QString& method, const QVariantList& args, QVariantList* out) {
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("fake-control"));
    QDBusMessage msg = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/control"),
        QStringLiteral("org.vorlune.test.FakeUDisks"), method);
    msg.setArguments(args);
    const QDBusMessage reply = bus.call(msg, QDBus::Block, 5000);
    if (out) *out = reply.arguments();
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("fake UDisks2 %s: %s", qUtf8Printable(method),
                 qUtf8Printable(reply.errorMessage()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

void FakeUDisks::addVolume(const QString& name, const QString& drive, const QString& kind,
                           const QString& label, qint64 size, const QString& folder) {
    control(QStringLiteral("AddVolume"),
            {name, drive, kind, label, QVariant::fromValue(qulonglong(size)), folder});
}

void FakeUDisks::removeVolume(const QString& name) {
    control(QStringLiteral("RemoveVolume"), {name});
}

void FakeUDisks::setMounted(const QString& name, bool on) {
    control(QStringLiteral("SetMounted"), {name, on});
}

void FakeUDisks::refuseMount(const QString& name, const QString& message) {
    control(QStringLiteral("RefuseMount"), {name, message});
}

QStringList FakeUDisks::events() {
    QVariantList out;
    control(QStringLiteral("Events"), {}, &out);
    return out.isEmpty() ? QStringList() : out.first().toStringList();
}

void FakeUDisks::reset() {
    control(QStringLiteral("Reset"), {});
}
