#include "media_access.h"
#include "media_dialogs.h"

#include <QLabel>
#include "smb_client.h"
#include "test_peers.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ShareErrors, LibraryErrorsMapToTheDesignedNames) {
    using namespace smbshare;
    EXPECT_EQ(urlFromUnc(u"\\\\nas\\mp3\\"), "smb://nas/mp3");
    EXPECT_EQ(urlFromUnc(u"\\\\nas\\mp3\\Rock"), "smb://nas/mp3/Rock");
    EXPECT_EQ(errorName(errorCodeFromErrno(EACCES), "smb://a/b"), "ERROR_INVALID_PASSWORD");
    EXPECT_EQ(errorName(errorCodeFromErrno(EPERM), "smb://a/b"), "ERROR_INVALID_PASSWORD");
    EXPECT_EQ(errorName(errorCodeFromErrno(ENOENT), "smb://a/b"), "ERROR_BAD_NET_NAME");
    EXPECT_EQ(errorName(errorCodeFromErrno(ENODEV), "smb://a/b"), "ERROR_BAD_NET_NAME");
    EXPECT_EQ(errorName(errorCodeFromErrno(ENOTDIR), "smb://a/b"), "ERROR_BAD_DEV_TYPE");
    EXPECT_EQ(errorName(errorCodeFromErrno(EINVAL), "smb://a/b"), "ERROR_BAD_DEVICE");
    EXPECT_EQ(errorName(errorCodeFromErrno(ECONNREFUSED), "smb://a/b"), "ERROR_NO_NET_OR_BAD_PATH");
    EXPECT_EQ(errorName(errorCodeFromErrno(ETIMEDOUT), "smb://a/b"), "ERROR_NO_NET_OR_BAD_PATH");
    EXPECT_EQ(errorName(errorCodeFromErrno(ENETUNREACH), "smb://a/b"), "ERROR_NO_NETWORK");
    EXPECT_EQ(errorName(errorCodeFromErrno(ENOMEM), "smb://a/b"), "\"smb://a/b\"");
    for (int code : {5, 85, 1202, 1205, 1206, 1208})
        EXPECT_TRUE(errorName(code, "x").startsWith("ERROR_")) << code;
}

// smbd serving one share for one user with a password.
class Shares : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        writeFile(folder->path() + "/Netz 1.id", "MEDIATYPE::LAN\r\n");
        writeFile(folder->path() + "/Rock/100% Hits & \xC3\x96.mp3", QByteArray(300000, 'r'));
        samba = new SambaPeer;
        user = QString::fromLocal8Bit(qgetenv("USER"));
        if (user.isEmpty()) user = "root";
        whyNot = new QString(samba->start(folder->path(), user, "Sesam0ffne"));
    }
    static void TearDownTestSuite() {
        delete samba;
        delete folder;
        delete whyNot;
    }
    void SetUp() override {
        if (!whyNot->isEmpty()) GTEST_SKIP() << "smbd cannot serve: " << whyNot->toStdString();
        ASSERT_TRUE(temp.isValid());
        options.tempDir = temp.path();
        options.smbPort = samba->port();
        options.shareUser = user;
        options.smbTimeoutMs = 5000;
    }

    static QTemporaryDir* folder;
    static SambaPeer* samba;
    static QString user;
    static QString* whyNot;
    QTemporaryDir temp;
    ScriptedPrompts prompts;
    MediaAccess::Options options;
};
QTemporaryDir* Shares::folder = nullptr;
SambaPeer* Shares::samba = nullptr;
QString Shares::user;
QString* Shares::whyNot = nullptr;

TEST_F(Shares, PasswordPromptWithoutUserFieldThenTitlesAreFetched) {
    MediaAccess access(options, &prompts);
    prompts.logins = {{true, "", "Sesam0ffne"}};
    access.ConnectShare("Netz 1", "\\\\127.0.0.1\\musik");
    EXPECT_TRUE(prompts.warnings.isEmpty()) << prompts.warnings.join("|").toStdString();
    EXPECT_EQ(prompts.captions, QStringList{"Netz 1"});
    EXPECT_EQ(prompts.withUserField, QList<bool>{false});
    ASSERT_EQ(access.connections().count(), 1);
    const ConnectionEntry entry = access.connections().entries().first();
    EXPECT_EQ(entry.icon, 13);
    EXPECT_EQ(entry.drive, "smb://127.0.0.1/musik");
    ASSERT_EQ(access.netDrives().size(), 1);
    EXPECT_EQ(access.netDrives().first().name, "Netz 1");

    // A second medium on the same share: connected once, no further prompt.
    access.ConnectShare("Netz 2", "\\\\127.0.0.1\\MUSIK");
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_EQ(prompts.captions.size(), 1);

    // The share is asked by the wait's first pass, off this thread.
    prompts.onWait = [](const QString& label, MediumWait& wait) {
        QSignalSpy found(&wait, &MediumWait::found);
        QSignalSpy missed(&wait, &MediumWait::firstRoundMissed);
        EXPECT_TRUE(wait.start(label));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !found.isEmpty() || !missed.isEmpty(); }, 10000));
        if (wait.isActive()) wait.cancel();
        return wait.foundRoot();
    };
    EXPECT_EQ(access.FindMediumDrive("Netz 1"), "smb://127.0.0.1/musik");
    EXPECT_EQ(access.lastFoundType(), 7);
    EXPECT_TRUE(access.FindMediumDrive("Netz 9").isEmpty());
    EXPECT_EQ(prompts.waits, 2);
    const QString path =
        access.titleFilePath(entry.drive, "Netz 1:\\Rock\\100% Hits & \xC3\x96.mp3");
    EXPECT_EQ(path, "smb://127.0.0.1/musik/Rock/100% Hits & \xC3\x96.mp3");
    EXPECT_EQ(access.TitleFolderPath(path), "smb://127.0.0.1/musik/Rock/");
    QSignalSpy done(&access, &MediaAccess::titleFetched);
    ASSERT_TRUE(access.FetchTitleFile(path).pending);
    ASSERT_TRUE(done.wait(20000));
    const QString local = done.first().at(1).toString();
    ASSERT_FALSE(local.isEmpty()) << done.first().at(2).toString().toStdString();
    EXPECT_EQ(readFile(local), QByteArray(300000, 'r'));
    EXPECT_EQ(access.FetchTitleFile(path).localFile, local);

    // A title that is not on the share fails and is not cached.
    done.clear();
    const QString missing = access.titleFilePath(entry.drive, "Netz 1:\\Rock\\fehlt.mp3");
    ASSERT_TRUE(access.FetchTitleFile(missing).pending);
    ASSERT_TRUE(done.wait(20000));
    EXPECT_TRUE(done.first().at(1).toString().isEmpty());
    EXPECT_TRUE(access.cachedFile(missing).isEmpty());

    EXPECT_TRUE(access.DisconnectAll(true));
    EXPECT_FALSE(QFileInfo::exists(local));
    EXPECT_EQ(access.connections().count(), 0);
    EXPECT_TRUE(access.netDrives().isEmpty());
}

TEST_F(Shares, CancelledPromptAndUnknownShareWarn) {
    MediaAccess access(options, &prompts);
    prompts.logins = {{true, "", "falsch"}, {false, {}, {}}};
    access.ConnectShare("Netz 3", "\\\\127.0.0.1\\musik");
    EXPECT_EQ(prompts.withUserField, (QList<bool>{false, false}));
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_EQ(prompts.warnings.first(),
              "Fehler beim Verbinden: ERROR_INVALID_PASSWORD\n\r\n\rEs konnte keine Verbindung "
              "mit \"\\\\127.0.0.1\\musik\" hergestellt werden.\n\r\"Netz 3\" wird nicht "
              "verfügbar sein.");
    EXPECT_EQ(access.connections().count(), 0);

    prompts.logins = {{true, "", "Sesam0ffne"}};
    access.ConnectShare("Netz 4", "\\\\127.0.0.1\\gibtsnicht");
    ASSERT_EQ(prompts.warnings.size(), 2);
    EXPECT_TRUE(prompts.warnings.last().startsWith("Fehler beim Verbinden: ERROR_BAD_NET_NAME\n\r"))
        << prompts.warnings.last().toStdString();
    EXPECT_EQ(access.connections().count(), 0);
}

// Scripted answers, but the real insert-medium dialog.
class DialogWaitPrompts : public ScriptedPrompts {
public:
    TForm2 dialog;
    QString waitForMedium(const QString& label, MediumWait& wait) override {
        ++waits;
        return dialog.waitFor(label, wait);
    }
};

TEST(VanishingShare, WaitForAMediumKeepsTheGuiThreadAnswering) {
    QTemporaryDir folder, temp;
    ASSERT_TRUE(writeFile(folder.path() + "/Netz 1.id", "MEDIATYPE::LAN\r\n"));
    QString user = QString::fromLocal8Bit(qgetenv("USER"));
    if (user.isEmpty()) user = "root";
    auto samba = std::make_unique<SambaPeer>();
    const QString whyNot = samba->start(folder.path(), user, "Sesam0ffne");
    if (!whyNot.isEmpty()) GTEST_SKIP() << "smbd cannot serve: " << whyNot.toStdString();
    const quint16 port = samba->port();

    MediaAccess::Options options;
    options.tempDir = temp.path();
    options.smbPort = port;
    options.shareUser = user;
    options.smbTimeoutMs = 3000;
    DialogWaitPrompts prompts;
    MediaAccess access(options, &prompts);
    prompts.logins = {{true, "", "Sesam0ffne"}};
    access.ConnectShare("Netz 1", "\\\\127.0.0.1\\musik");
    ASSERT_EQ(access.connections().count(), 1);

    // Present: found on the share without the dialog showing.
    QStringList shown;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (prompts.dialog.isVisible()) shown << prompts.dialog.cdtitle->text();
    });
    watcher.start(5);
    EXPECT_EQ(access.FindMediumDrive("Netz 1"), "smb://127.0.0.1/musik");
    EXPECT_EQ(access.lastFoundType(), 7);
    EXPECT_TRUE(shown.isEmpty());

    // The server goes away; in its place one that takes connections and never answers.
    samba.reset();
    SilentServer silent;
    ASSERT_TRUE(silent.listen(port));

    for (const char* label : {"Netz 1", "Fehlt"}) {
        LoopLagProbe lag;
        QTimer::singleShot(1500, [&] {
            if (prompts.dialog.isVisible()) prompts.dialog.cancel_btn->click();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(access.FindMediumDrive(label).isEmpty()) << label;
        EXPECT_LT(clock.elapsed(), 2500) << label;
        EXPECT_LT(lag.worstLagMs(), 100)
            << label << ", with the waits for a CPU " << lag.worstRawLagMs() << " ms";
        EXPECT_FALSE(access.mediumWait().isActive());
    }
    // The dialog showed while the share did not answer, once per search.
    shown.removeDuplicates();
    EXPECT_EQ(shown, (QStringList{"Netz 1", "Fehlt"}));
}

} // namespace
