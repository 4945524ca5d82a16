#include "media_access.h"
#include "media_roots.h"
#include "test_peers.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mediaroots;

TEST(MediaRootsTable, KeepsRealFileSystemsInTableOrder) {
    const QByteArray table = "sysfs /sys sysfs rw 0 0\n"
                             "/dev/sda2 / ext4 rw,relatime 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "tmpfs /run tmpfs rw 0 0\n"
                             "/dev/sr0 /media/cdrom0 iso9660 ro 0 0\n"
                             "/dev/sdb1 /media/USB\\040Stick vfat rw 0 0\n"
                             "/dev/sda2 / ext4 rw 0 0\n"
                             "broken\n";
    EXPECT_EQ(parseMountTable(table), (QStringList{"/", "/media/cdrom0", "/media/USB Stick"}));
    EXPECT_TRUE(mountRoots(QStringLiteral("/nonexistent/mounts")).isEmpty());
    EXPECT_TRUE(mountRoots().contains(QStringLiteral("/")));
}

TEST(MediaRootsTable, EnvironmentRootsComeLastAndWin) {
    qputenv("VORLUNE_MEDIA_ROOTS", "/srv/a/::/srv/b:/");
    const QStringList env = environmentRoots();
    EXPECT_EQ(env, (QStringList{"/srv/a", "/srv/b", "/"}));
    const QStringList all = localRoots();
    ASSERT_GE(all.size(), 3);
    EXPECT_EQ(all.mid(all.size() - 3), env); // "/" moved behind the mounts
    EXPECT_EQ(all.count("/"), 1);
    qunsetenv("VORLUNE_MEDIA_ROOTS");
}

TEST(MediaRootsPaths, TitleLinesMapOntoRoots) {
    EXPECT_EQ(titleFilePath(u"/media/cd", u"Rock 1:\\Queen\\01 Innuendo.mp3"),
              "/media/cd/Queen/01 Innuendo.mp3");
    EXPECT_EQ(titleFilePath(u"/media/cd/", u"Rock 1:\\a.mp3"), "/media/cd/a.mp3");
    EXPECT_EQ(titleFilePath(u"smb://nas/mp3", u"Net:\\A\\B\\c.ogg"), "smb://nas/mp3/A/B/c.ogg");
    // Only the first ":" separates the label.
    EXPECT_EQ(titleFilePath(u"/r", u"L:\\x:y\\z.mp3"), "/r/x:y/z.mp3");
    EXPECT_EQ(idFilePath(u"/media/cd/", u"Rock 1"), "/media/cd/Rock 1.id");
}

TEST(MediaRootsPaths, IdentificationFileTypes) {
    EXPECT_EQ(foundTypeFromIdLines({}), 1);
    EXPECT_EQ(foundTypeFromIdLines({"irgendwas"}), 1);
    EXPECT_EQ(foundTypeFromIdLines({"mediatype::cdr"}), 5);
    EXPECT_EQ(foundTypeFromIdLines({"MEDIATYPE::DSK", "x", "MEDIATYPE::WWW"}), 8); // last wins
    EXPECT_EQ(foundTypeFromIdLines({"MEDIATYPE::HDD", "MEDIATYPE::XYZ"}), 6);      // unknown: kept
    EXPECT_EQ(foundTypeFromIdLines({"MEDIATYPE::USB::extra"}), 3);
    EXPECT_EQ(foundTypeFromIdLines({" MEDIATYPE::RAM"}), 1);
}

// Two plain folders as media roots.
class MediaRootsFolders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.isValid() && b.isValid() && temp.isValid());
        qputenv("VORLUNE_MEDIA_ROOTS", (a.path() + u':' + b.path()).toUtf8());
    }
    void TearDown() override { qunsetenv("VORLUNE_MEDIA_ROOTS"); }
    MediaAccess::Options options() const {
        MediaAccess::Options o;
        o.tempDir = temp.path();
        return o;
    }

    QTemporaryDir a, b, temp;
    ScriptedPrompts prompts;
};

TEST_F(MediaRootsFolders, LaterRootWinsAndSetsTheFoundType) {
    MediaAccess access(options(), &prompts);
    EXPECT_TRUE(access.locateMedium("Rock 1").isEmpty());
    ASSERT_TRUE(writeFile(a.path() + "/Rock 1.id", "MEDIATYPE::CDR\r\n"));
    EXPECT_EQ(access.locateMedium("Rock 1"), a.path());
    EXPECT_EQ(access.lastFoundType(), 5);
    ASSERT_TRUE(writeFile(b.path() + "/Rock 1.id", ""));
    EXPECT_EQ(access.FindMediumDrive("Rock 1"), b.path());
    EXPECT_EQ(access.lastFoundType(), 1);
    EXPECT_EQ(prompts.waits, 0);
    EXPECT_EQ(access.titleFilePath(b.path(), "Rock 1:\\Queen\\x.mp3"), b.path() + "/Queen/x.mp3");
    EXPECT_EQ(access.TitleFolderPath(b.path() + "/Queen/x.mp3"), b.path() + "/Queen/");
    const auto answer = access.FetchTitleFile(b.path() + "/Queen/x.mp3");
    EXPECT_FALSE(answer.pending);
    EXPECT_EQ(answer.localFile, b.path() + "/Queen/x.mp3");
}

TEST_F(MediaRootsFolders, WaitNoticesAMediumThatAppearsAndCancelReturnsEmpty) {
    MediaAccess access(options(), &prompts);
    QTemporaryDir later;
    // The user cancels the first dialog; in the second one a new root with the medium
    // appears while it waits, as a medium that is mounted.
    int round = 0;
    bool nestedRefused = true;
    prompts.onWait = [&](const QString& label, MediumWait& wait) {
        EXPECT_TRUE(wait.start(label));
        EXPECT_FALSE(wait.start(label)); // one wait at a time
        // A second search while the dialog is open gets no dialog of its own.
        nestedRefused = access.FindMediumDrive(label).isEmpty();
        QEventLoop loop;
        QString root;
        QObject::connect(&wait, &MediumWait::found, &loop, [&](const QString& r) {
            root = r;
            loop.quit();
        });
        QObject::connect(&wait, &MediumWait::cancelled, &loop, &QEventLoop::quit);
        if (round++ == 0) {
            QTimer::singleShot(300, &wait, &MediumWait::cancel);
        } else {
            QTimer::singleShot(300, [&] {
                writeFile(later.path() + "/Pop.id", "MEDIATYPE::USB");
                qputenv("VORLUNE_MEDIA_ROOTS",
                        (a.path() + u':' + b.path() + u':' + later.path()).toUtf8());
            });
        }
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        return root;
    };
    EXPECT_TRUE(access.FindMediumDrive("Pop").isEmpty());
    EXPECT_EQ(prompts.waits, 1);
    EXPECT_TRUE(nestedRefused);
    EXPECT_FALSE(access.mediumWait().isActive());
    EXPECT_EQ(access.lastFoundType(), 0);

    EXPECT_EQ(access.FindMediumDrive("Pop"), later.path());
    EXPECT_EQ(prompts.waits, 2);
    EXPECT_EQ(access.lastFoundType(), 3);
    EXPECT_FALSE(access.mediumWait().isActive());
}

TEST_F(MediaRootsFolders, WaitTestsOneRootPerTick) {
    QStringList probed;
    MediumWait wait(
        [&] {
            return QStringList{"r1", "r2", "r3"};
        },
        [&](const QString& root, const QString&) {
            probed << root;
            return root == "r3" && probed.size() > 4 ? 7 : -1;
        });
    wait.setInterval(5);
    QSignalSpy found(&wait, &MediumWait::found);
    ASSERT_TRUE(wait.start("X"));
    ASSERT_TRUE(found.wait(5000));
    EXPECT_EQ(probed, (QStringList{"r1", "r2", "r3", "r1", "r2", "r3"}));
    EXPECT_EQ(found.at(0).at(0).toString(), "r3");
    EXPECT_EQ(found.at(0).at(1).toInt(), 7);
    EXPECT_EQ(wait.foundRoot(), "r3");
    EXPECT_FALSE(wait.isActive());
    EXPECT_TRUE(wait.start("Y")); // free again after a find
    wait.cancel();
    EXPECT_FALSE(wait.isActive());
}
