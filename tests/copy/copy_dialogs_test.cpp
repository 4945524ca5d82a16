#include "copy_dialogs.h"
#include "media_access.h"
#include "test_peers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace {

class CopyDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_TRUE(temp.isValid());
        root = temp.filePath(QStringLiteral("medium"));
        ASSERT_TRUE(writeFile(root + QStringLiteral("/Pop.id"), "MEDIATYPE::DSK\r\n"));
        ASSERT_TRUE(writeFile(root + QStringLiteral("/Abba - SOS.ogg"), QByteArray(4000, 'a')));
        ASSERT_TRUE(writeFile(root + QStringLiteral("/Zappa - Z.ogg"), QByteArray(10, 'z')));
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(root));
        options.tempDir = temp.filePath(QStringLiteral("tmp"));
        QDir().mkpath(options.tempDir);
        setup.pathTemplate = temp.filePath(QStringLiteral("ziel/%A/%T%E"));
        setup.playlistFile = temp.filePath(QStringLiteral("ziel/liste.m3u"));
    }
    void TearDown() override {
        qunsetenv("VORLUNE_MEDIA_ROOTS");
        QLocale::setDefault(QLocale::c());
    }

    QTemporaryDir temp;
    QString root;
    MediaAccess::Options options;
    ScriptedPrompts prompts;
    CopyRun::Setup setup;
};

TEST_F(CopyDialogs, SpaceDialogRetriesByItselfWhenSpaceAppears) {
    MediaAccess access(options, &prompts);
    QWidget main;
    TForm3 form(&access, &main);
    std::atomic<qint64> free{3000};
    form.run().setFreeSpaceFunction([&free](const QString&) { return free.load(); });
    QStringList sounds;
    form.setEventSound([&](const QString& e) { sounds << e; });
    QSignalSpy finished(&form.run(), &CopyRun::finished);

    ASSERT_TRUE(form.startRun(
        {QStringLiteral("Pop:\\Zappa - Z.ogg"), QStringLiteral("Pop:\\Abba - SOS.ogg")}, setup));
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_EQ(form.titlelist->count(), 2);
    EXPECT_EQ(form.titlelist->item(0)->text(), "Von Pop:  Abba - SOS");
    EXPECT_FALSE(form.startRun({QStringLiteral("Pop:\\x.ogg")}, setup));

    TForm8* space = form.spaceDialog();
    QTRY_VERIFY_WITH_TIMEOUT(space->isVisible(), 5000);
    EXPECT_EQ(space->nameValue->text(), "Abba - SOS");
    EXPECT_EQ(space->neededValue->text(), "3,9 kByte (4.000 Byte)");
    EXPECT_EQ(space->freeValue->text(), "2,9 kByte (3.000 Byte)");
    EXPECT_EQ(space->folderValue->text(), temp.filePath(QStringLiteral("ziel/Abba")));
    EXPECT_TRUE(sounds.contains("VLInsufficientSpace"));
    // The copy dialog stays responsive and shows the head meanwhile.
    QTRY_COMPARE_WITH_TIMEOUT(form.fnlabel->text(), QStringLiteral("SOS"), 1000);
    EXPECT_EQ(form.cdlabel->text(), "Pop");
    EXPECT_EQ(form.rest->text(), "Noch 2 Titel zu kopieren:");

    QTest::qWait(600); // still too small: the dialog waits
    EXPECT_TRUE(space->isVisible());
    free = 1'000'000;
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!space->isVisible(), 2000);
    EXPECT_LT(clock.elapsed(), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_TRUE(QFile::exists(temp.filePath(QStringLiteral("ziel/Abba/SOS.ogg"))));
    EXPECT_TRUE(QFile::exists(temp.filePath(QStringLiteral("ziel/Zappa/Z.ogg"))));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Gauge1->value(), 2);
    EXPECT_TRUE(sounds.contains("VLFinishedCopying"));
}

TEST_F(CopyDialogs, EscapeInEitherDialogCancelsTheRun) {
    MediaAccess access(options, &prompts);
    QWidget main;
    TForm3 form(&access, &main);
    form.run().setFreeSpaceFunction([](const QString&) { return qint64(0); });
    QSignalSpy finished(&form.run(), &CopyRun::finished);
    ASSERT_TRUE(form.startRun({QStringLiteral("Pop:\\Abba - SOS.ogg")}, setup));
    QTRY_VERIFY_WITH_TIMEOUT(form.spaceDialog()->isVisible(), 5000);
    QTest::keyClick(form.spaceDialog(), Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);

    // Escape in the copy dialog itself.
    form.run().setFreeSpaceFunction({});
    prompts.onWait = [&](const QString&, MediumWait&) {
        QTest::keyClick(&form, Qt::Key_Escape);
        return QString();
    };
    ASSERT_TRUE(form.startRun({QStringLiteral("Gone:\\x.ogg")}, setup));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
    EXPECT_FALSE(finished.last().first().toBool());
    EXPECT_FALSE(form.isVisible());
}

} // namespace
