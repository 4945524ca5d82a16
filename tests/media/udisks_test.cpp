#include "fake_udisks.h"
#include "media_access.h"
#include "media_dialogs.h"
#include "test_peers.h"
#include "udisks_client.h"
#include "udisks_media.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Readable lists in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Runs the event loop until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(10);
    }
    return true;
}

class UDisks : public ::testing::Test {
protected:
    void SetUp() override {
        FakeUDisks& f = fake();
        ASSERT_TRUE(f.error().isEmpty()) << f.error().toStdString();
        f.reset();
        ASSERT_TRUE(temp.isValid() && media.isValid());
        // No other roots than the mount table: the volumes come from the fake.
        qunsetenv("VORLUNE_MEDIA_ROOTS");
    }

    static FakeUDisks& fake() { return FakeUDisks::instance(); }

    std::unique_ptr<UDisksClient> client() {
        auto c = std::make_unique<UDisksClient>(fake().connect(QStringLiteral("udisks-test")));
        EXPECT_TRUE(waitUntil([&] { return c->isAvailable(); }));
        return c;
    }

    // A folder standing for a volume's file system, with the label's identification file
    // when `holds` names one.
    QString volumeFolder(const QString& name, const QString& holds = QString()) {
        const QString folder = media.path() + u'/' + name;
        QDir().mkpath(folder);
        if (!holds.isEmpty())
            writeFile(folder + u'/' + holds + QStringLiteral(".id"), "MEDIATYPE::USB");
        return folder;
    }

    MediaAccess::Options options() const {
        MediaAccess::Options o;
        o.tempDir = temp.path();
        return o;
    }

    // The insert-medium wait of `access` for a label, as the dialog runs it: `during` runs
    // once the wait is on; the found root, or empty when it ran out of time.
    QString waitFor(MediaAccess& access, const QString& label, const std::function<void()>& during,
                    int timeoutMs = 5000) {
        QString root;
        prompts.onWait = [&](const QString& l, MediumWait& wait) {
            wait.setInterval(3600 * 1000); // no polling: only media events find it
            EXPECT_TRUE(wait.start(l));
            QEventLoop loop;
            QObject::connect(&wait, &MediumWait::found, &loop, [&](const QString& r) {
                root = r;
                loop.quit();
            });
            QObject::connect(&wait, &MediumWait::cancelled, &loop, &QEventLoop::quit);
            QObject::connect(&wait, &MediumWait::notice, &loop, [&](const QString& text) {
                if (!text.isEmpty()) notices << text;
            });
            if (during) QTimer::singleShot(0, &loop, during);
            QTimer::singleShot(timeoutMs, &wait, &MediumWait::cancel);
            loop.exec();
            return root;
        };
        return access.FindMediumDrive(label);
    }

    QTemporaryDir temp, media;
    ScriptedPrompts prompts;
    QStringList notices;
};

TEST_F(UDisks, ClientFollowsVolumesDrivesAndMounts) {
    struct Case {
        const char* name;
        const char* drive;
        const char* kind;
        qint64 size;
        bool removable;
        const char* kindText;
        int typeIndex;
    };
    const Case cases[] = {
        {"sdb1", "stick", "usb", 16'000'000'000LL, true, "USB-Stick", 2},
        {"sr0", "dvd", "optical", 4'700'000'000LL, true, "DVD", 4},
        {"sr1", "cd", "optical", 700'000'000LL, true, "CD", 4},
        {"sda1", "disk", "fixed", 500'000'000'000LL, false, "Festplatte", 5},
    };
    auto c = client();
    QSignalSpy added(c.get(), &UDisksClient::volumeAdded);
    for (const Case& k : cases)
        fake().addVolume(k.name, k.drive, k.kind, QStringLiteral("L ") + k.name, k.size,
                         volumeFolder(k.name));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 4; }));
    EXPECT_EQ(added.size(), 4);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const UDisksVolume* v =
            c->volume(QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + k.name);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->label, QStringLiteral("L ") + k.name);
        EXPECT_EQ(v->size, k.size);
        EXPECT_EQ(v->device, QStringLiteral("/dev/") + k.name);
        EXPECT_FALSE(v->isMounted());
        EXPECT_EQ(c->isRemovable(*v), k.removable);
        const UDisksDrive* d = c->drive(v->drive);
        ASSERT_TRUE(d);
        EXPECT_EQ(UDisksVolume::kindText(d->kind(), v->size), k.kindText);
        EXPECT_EQ(udisksmedia::mediumTypeFor(d->kind()).index, k.typeIndex);
        EXPECT_EQ(d->ejectable, k.removable);
    }
    EXPECT_EQ(c->removableVolumes().size(), 3);

    // The desktop mounts one: its mount point is a root at once; then it goes.
    fake().setMounted("sdb1", true);
    ASSERT_TRUE(waitUntil([&] { return !c->mountPoints().isEmpty(); }));
    EXPECT_EQ(c->mountPoints(), QStringList{volumeFolder("sdb1")});
    EXPECT_EQ(c->volumeMountedAt(volumeFolder("sdb1") + u'/')->label, "L sdb1");
    EXPECT_FALSE(c->isOwnMount(c->volumeMountedAt(volumeFolder("sdb1"))->path));
    QSignalSpy removed(c.get(), &UDisksClient::volumeRemoved);
    fake().removeVolume("sdb1");
    ASSERT_TRUE(waitUntil([&] { return removed.size() == 1; }));
    EXPECT_TRUE(c->mountPoints().isEmpty());
    EXPECT_EQ(c->volumes().size(), 3);

    // A client started later reads what is there from the object manager.
    auto late = std::make_unique<UDisksClient>(fake().connect(QStringLiteral("late")));
    ASSERT_TRUE(waitUntil([&] { return late->isAvailable(); }));
    EXPECT_EQ(late->volumes().size(), 3);
    EXPECT_TRUE(late->drive(late->volumes().first().drive));
}

TEST_F(UDisks, MediumIsFoundTheMomentItsVolumeIsMounted) {
    auto c = client();
    MediaAccess access(options(), &prompts);
    access.setVolumeClient(c.get());
    // The policy refuses us; the desktop mounts it a little later.
    QElapsedTimer clock;
    qint64 mountedAt = 0;
    const QString root = waitFor(access, "Rock 1", [&] {
        fake().addVolume("sdb1", "stick", "usb", "Rock 1", 1'000'000,
                         volumeFolder("sdb1", "Rock 1"));
        fake().refuseMount("sdb1", "Nicht erlaubt");
        QTimer::singleShot(500, [&] {
            clock.start();
            mountedAt = 1;
            fake().setMounted("sdb1", true);
        });
    });
    EXPECT_EQ(root, volumeFolder("sdb1"));
    ASSERT_EQ(mountedAt, 1);
    EXPECT_LT(clock.elapsed(), 1000); // no polling ran: the event found it
    EXPECT_EQ(access.lastFoundType(), 3);
    // Our own try was refused and said so; the desktop's mount is not ours to undo.
    EXPECT_TRUE(fake().events().contains("mount sdb1"));
    ASSERT_FALSE(notices.isEmpty());
    EXPECT_TRUE(notices.last().contains("„Rock 1“ konnte nicht eingebunden werden"));
    EXPECT_TRUE(notices.last().contains("Nicht erlaubt"));
    EXPECT_FALSE(c->isOwnMount(c->volumeMountedAt(root)->path));
}

TEST_F(UDisks, MountOnRequestChoosesTheVolumeOfTheLabelAmongSeveral) {
    auto c = client();
    // Similar labels; only the exact one holds the file, and it is listed last.
    fake().addVolume("sdb1", "stick1", "usb", "Rock", 1000, volumeFolder("sdb1"));
    fake().addVolume("sdc1", "stick2", "usb", "Rock 10", 1000, volumeFolder("sdc1"));
    fake().addVolume("sdd1", "stick3", "usb", "rock 1", 1000, volumeFolder("sdd1"));
    fake().addVolume("sde1", "stick4", "usb", "Rock 1", 1000, volumeFolder("sde1", "Rock 1"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 4; }));
    MediaAccess access(options(), &prompts);
    access.setVolumeClient(c.get());
    EXPECT_EQ(waitFor(access, "Rock 1", nullptr), volumeFolder("sde1"));
    EXPECT_EQ(fake().events(), QStringList{"mount sde1"});
    // Ours once the Mount answer is in; the mount event may come before it.
    EXPECT_TRUE(
        waitUntil([&] { return c->isOwnMount("/org/freedesktop/UDisks2/block_devices/sde1"); }));

    // No volume of the label: the others are tried one after another, each unmounted
    // again unless it holds the file.
    fake().reset();
    ASSERT_TRUE(waitUntil([&] { return c->volumes().isEmpty(); }));
    fake().addVolume("sdf1", "stick5", "usb", "Urlaub", 1000, volumeFolder("sdf1"));
    fake().addVolume("sdg1", "stick6", "usb", "", 1000, volumeFolder("sdg1", "Pop"));
    fake().addVolume("sda1", "disk", "fixed", "System", 1000, volumeFolder("sda1", "Pop"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 3; }));
    EXPECT_EQ(waitFor(access, "Pop", nullptr), volumeFolder("sdg1"));
    EXPECT_EQ(fake().events(), (QStringList{"mount sdf1", "unmount sdf1", "mount sdg1"}));
    // The system's own disk was never touched.
}

TEST_F(UDisks, RefusalIsShownInTheDialog) {
    auto c = client();
    MediaAccess access(options(), &prompts);
    access.setVolumeClient(c.get());
    fake().addVolume("sdb1", "stick", "usb", "Rock 1", 1000, volumeFolder("sdb1", "Rock 1"));
    fake().refuseMount("sdb1", "Authentifizierung erforderlich");
    // Another stick is not tried while one bears the medium's label.
    fake().addVolume("sdc1", "other", "usb", "Urlaub", 1000, volumeFolder("sdc1", "Rock 1"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 2; }));
    TForm2 dialog;
    QString shown;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (dialog.notice->isVisible() && dialog.notice->text().contains("Authentifizierung")) {
            shown = dialog.notice->text();
            dialog.cancel_btn->click();
        }
    });
    poll.start();
    QTimer::singleShot(5000, &dialog, &QDialog::reject);
    EXPECT_TRUE(dialog.waitFor("Rock 1", access.mediumWait()).isEmpty());
    EXPECT_EQ(shown, "Der Datenträger „Rock 1“ konnte nicht eingebunden werden: keine "
                     "Berechtigung (Authentifizierung erforderlich)");
    EXPECT_EQ(fake().events(), QStringList{"mount sdb1"}); // tried once, not again and again
}

TEST_F(UDisks, MountedVolumeIsUnmountedAfterUseAndAtClosing) {
    auto c = client();
    MediaAccess access(options(), &prompts);
    access.setVolumeClient(c.get());
    access.volumeMounter()->setCheckInterval(50);
    fake().addVolume("sdb1", "stick", "usb", "Rock 1", 1000, volumeFolder("sdb1", "Rock 1"));
    ASSERT_TRUE(writeFile(volumeFolder("sdb1") + "/title.mp3", "x"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 1; }));

    // A title from it is open while it plays: it stays mounted; then it goes.
    QFile title(volumeFolder("sdb1") + "/title.mp3");
    EXPECT_EQ(waitFor(access, "Rock 1", [&] {}), volumeFolder("sdb1"));
    ASSERT_TRUE(title.open(QIODevice::ReadOnly));
    QTest::qWait(400);
    EXPECT_EQ(fake().events(), QStringList{"mount sdb1"});
    title.close();
    EXPECT_TRUE(waitUntil([&] { return fake().events().size() == 2; }));
    EXPECT_EQ(fake().events(), (QStringList{"mount sdb1", "unmount sdb1"}));
    EXPECT_TRUE(waitUntil([&] { return c->ownMounts().isEmpty() && c->mountPoints().isEmpty(); }));

    // Mounted again and still in use at closing: unmounted then.
    access.volumeMounter()->setCheckInterval(3600 * 1000);
    EXPECT_EQ(waitFor(access, "Rock 1", nullptr), volumeFolder("sdb1"));
    ASSERT_TRUE(title.open(QIODevice::ReadOnly));
    // The wait may end through the media event before the mount's own answer.
    ASSERT_TRUE(waitUntil([&] { return !c->ownMounts().isEmpty(); }));
    QSignalSpy done(access.volumeMounter(), &VolumeMounter::allUnmounted);
    title.close();
    EXPECT_TRUE(access.volumeMounter()->unmountAll());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(fake().events().mid(2), (QStringList{"mount sdb1", "unmount sdb1"}));
    // Nothing of ours left: nothing to ask, done at once.
    EXPECT_FALSE(access.volumeMounter()->unmountAll());
    EXPECT_EQ(done.size(), 2);

    // A volume the desktop mounted is never unmounted by us.
    fake().setMounted("sdb1", true);
    ASSERT_TRUE(waitUntil([&] { return !c->mountPoints().isEmpty(); }));
    EXPECT_FALSE(access.volumeMounter()->unmountAll());
    QTest::qWait(100);
    EXPECT_EQ(fake().events().size(), 4);
}

TEST_F(UDisks, EjectUnmountsOurMountsFirstAndReportsRefusals) {
    auto c = client();
    fake().addVolume("sr0", "dvd", "optical", "Film", 4'000'000'000LL, volumeFolder("sr0"));
    fake().addVolume("sdb1", "stick", "usb", "Daten", 1000, volumeFolder("sdb1"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 2; }));
    const QString dvd = c->volume("/org/freedesktop/UDisks2/block_devices/sr0")->drive;
    const QString stick = c->volume("/org/freedesktop/UDisks2/block_devices/sdb1")->drive;

    QSignalSpy ejected(c.get(), &UDisksClient::ejected);
    QSignalSpy failed(c.get(), &UDisksClient::ejectFailed);
    c->mount("/org/freedesktop/UDisks2/block_devices/sr0");
    ASSERT_TRUE(waitUntil([&] { return !c->ownMounts().isEmpty(); }));
    c->eject(dvd);
    ASSERT_TRUE(ejected.wait(5000));
    EXPECT_EQ(ejected.first().first().toString(), dvd);
    EXPECT_EQ(fake().events(), (QStringList{"mount sr0", "unmount sr0", "eject dvd"}));
    EXPECT_TRUE(waitUntil([&] { return c->volumes().size() == 1; })); // the disc is out

    // What the desktop mounted stays; the drive refuses and says why.
    fake().setMounted("sdb1", true);
    ASSERT_TRUE(waitUntil([&] { return !c->mountPoints().isEmpty(); }));
    c->eject(stick);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed.first().at(1).toString().contains("eingehängt"));
    EXPECT_EQ(fake().events().mid(3), QStringList{"eject stick"});

    // The dialog's button ejects the drive the user picks; without drives it is off.
    TForm2 dialog;
    EXPECT_TRUE(dialog.eject_btn->isHidden());
    QList<TForm2::EjectTarget> targets;
    QStringList asked;
    dialog.setEjector([&] { return targets; }, [&](const QString& id) { asked << id; });
    EXPECT_FALSE(dialog.eject_btn->isHidden());
    EXPECT_FALSE(dialog.eject_btn->isEnabled());
    targets = {{stick, "Daten"}};
    dialog.refreshEject();
    ASSERT_TRUE(dialog.eject_btn->isEnabled());
    dialog.eject_btn->click();
    EXPECT_EQ(asked, QStringList{stick});
}

TEST_F(UDisks, NewMediumIsOfferedOnlyWhenNoIndexFileDescribesIt) {
    fake().addVolume("sdz1", "old", "usb", "Schon da", 1000, volumeFolder("sdz1"));
    fake().setMounted("sdz1", true);
    auto c = client();
    QStringList labels{"Rock 1", "Pop"};
    TaskService tasks;
    NewMediumWatcher watcher(c.get(), tasks, [&] { return labels; });
    QList<NewMediumWatcher::Offer> offers;
    QStringList withdrawn;
    QObject::connect(&watcher, &NewMediumWatcher::offered,
                     [&](const NewMediumWatcher::Offer& o) { offers << o; });
    QObject::connect(&watcher, &NewMediumWatcher::withdrawn,
                     [&](const QString& v) { withdrawn << v; });

    struct Case {
        const char* name;
        const char* kind;
        const char* label;
        const char* idFile; // on the volume
        bool offered;
    };
    const Case cases[] = {
        {"sdb1", "usb", "Urlaub 2026", nullptr, true},
        {"sdc1", "usb", "pop", nullptr, false},    // a medium of that label exists
        {"sdd1", "usb", "STICK", "Rock 1", false}, // holds a known identification file
        {"sde1", "usb", "Neu", "Unbekannt", true}, // its file names no medium
        {"sr0", "optical", "Filme", nullptr, true},
        {"sda2", "fixed", "Daten", nullptr, false}, // not removable
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        offers.clear();
        fake().addVolume(k.name, QStringLiteral("d") + k.name, k.kind, k.label, 1'000'000,
                         volumeFolder(k.name, k.idFile ? QString(k.idFile) : QString()));
        ASSERT_TRUE(waitUntil([&] {
            return c->volume(QStringLiteral("/org/freedesktop/UDisks2/"
                                            "block_devices/") +
                             k.name);
        }));
        QTest::qWait(50);
        EXPECT_TRUE(offers.isEmpty()); // not mounted: nothing to offer
        fake().setMounted(k.name, true);
        if (k.offered) {
            ASSERT_TRUE(waitUntil([&] { return offers.size() == 1; }));
            EXPECT_EQ(offers.first().label, k.label);
            EXPECT_EQ(offers.first().folder, volumeFolder(k.name));
        } else {
            QTest::qWait(300);
            EXPECT_TRUE(offers.isEmpty());
        }
    }
    // The one mounted at the start was never offered; an offered one that is unmounted
    // withdraws the offer.
    fake().setMounted("sr0", false);
    ASSERT_TRUE(waitUntil([&] { return !withdrawn.isEmpty(); }));
    EXPECT_EQ(withdrawn, QStringList{"/org/freedesktop/UDisks2/block_devices/sr0"});

    // What the offer starts the wizard with, and how the wizard reads the type back.
    const auto args = udisksmedia::wizardArguments(
        "/media/x", "Filme", udisksmedia::mediumTypeFor(UDisksDrive::Optical).code);
    EXPECT_EQ(args, (QStringList{"--folder", "/media/x", "--label", "Filme", "--type", "CDR"}));
    for (auto kind : {UDisksDrive::Optical, UDisksDrive::Stick, UDisksDrive::Fixed}) {
        const auto type = udisksmedia::mediumTypeFor(kind);
        EXPECT_EQ(udisksmedia::typeIndexForCode(type.code), type.index);
    }
    EXPECT_EQ(udisksmedia::typeIndexForCode("XYZ"), -1);
}

TEST_F(UDisks, WithoutSystemBusTheMountTableAndFoldersAreWatched) {
    // A bus that is not there: no volumes, no mounts, and the wait polls as before.
    UDisksClient none(QDBusConnection::connectToBus(QStringLiteral("unix:path=") + temp.path() +
                                                        QStringLiteral("/no-bus"),
                                                    QStringLiteral("no-bus")));
    QTest::qWait(100);
    EXPECT_FALSE(none.isAvailable());
    EXPECT_TRUE(none.volumes().isEmpty());
    EXPECT_TRUE(none.mountCandidates("Rock 1").isEmpty());

    QTemporaryDir folder;
    qputenv("VORLUNE_MEDIA_ROOTS", folder.path().toUtf8());
    MediaAccess access(options(), &prompts);
    access.setVolumeClient(&none);
    QString root;
    prompts.onWait = [&](const QString& l, MediumWait& wait) {
        wait.setInterval(5);
        EXPECT_TRUE(wait.start(l));
        QEventLoop loop;
        QObject::connect(&wait, &MediumWait::found, &loop, [&](const QString& r) {
            root = r;
            loop.quit();
        });
        QTimer::singleShot(200, [&] { writeFile(folder.path() + "/Rock 1.id", ""); });
        QTimer::singleShot(10000, &wait, &MediumWait::cancel);
        QObject::connect(&wait, &MediumWait::cancelled, &loop, &QEventLoop::quit);
        loop.exec();
        return root;
    };
    EXPECT_EQ(access.FindMediumDrive("Rock 1"), folder.path());
    qunsetenv("VORLUNE_MEDIA_ROOTS");
}

} // namespace

// A second volume is mounted and tested while the test of the first still hangs (a disc
// that does not spin up): the mounter waits for both when it goes, since both use what
// its probe function holds.
TEST_F(UDisks, TheMounterWaitsForEveryTestOfAVolumeItStarted) {
    auto c = client();
    fake().addVolume("sdb1", "stick1", "usb", "Urlaub", 1000, volumeFolder("sdb1"));
    ASSERT_TRUE(waitUntil([&] { return c->volumes().size() == 1; }));
    std::atomic_int started{0};
    std::atomic_int inside{0};
    std::atomic_bool release{false};
    auto probe = [&](const QString& root, const QString&) {
        ++started;
        ++inside;
        // The first volume's test hangs until it is let go; the second's answers.
        while (root == volumeFolder("sdb1") && !release.load())
            QThread::msleep(1);
        QThread::msleep(20);
        --inside;
        return -1;
    };
    MediumWait wait([] { return QStringList(); }, probe);
    wait.setInterval(3600 * 1000);
    auto mounter = std::make_unique<VolumeMounter>(c.get(), &wait, probe,
                                                   [](const QString&) { return false; });
    ASSERT_TRUE(wait.start("Pop"));
    ASSERT_TRUE(waitUntil([&] { return started.load() == 1; }));
    fake().addVolume("sdc1", "stick2", "usb", "Ferien", 1000, volumeFolder("sdc1"));
    ASSERT_TRUE(waitUntil([&] { return started.load() == 2 && inside.load() == 1; }));
    std::thread letGo([&] {
        QThread::msleep(300);
        release = true;
    });
    mounter.reset();
    EXPECT_EQ(inside.load(), 0); // neither test still runs
    letGo.join();
    wait.cancel();
}
