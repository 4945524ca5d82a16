#include "copy_dialogs.h"
#include "file_copy.h"
#include "media_access.h"
#include "test_peers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return space->isVisible(); }, 5000));
    EXPECT_EQ(space->nameValue->text(), "Abba - SOS");
    EXPECT_EQ(space->neededValue->text(), "3,9 kByte (4.000 Byte)");
    EXPECT_EQ(space->freeValue->text(), "2,9 kByte (3.000 Byte)");
    EXPECT_EQ(space->folderValue->text(), temp.filePath(QStringLiteral("ziel/Abba")));
    EXPECT_TRUE(sounds.contains("VLInsufficientSpace"));
    // The copy dialog stays responsive and shows the head meanwhile.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form.fnlabel->text() == QStringLiteral("SOS"); }, 1000));
    EXPECT_EQ(form.cdlabel->text(), "Pop");
    EXPECT_EQ(form.rest->text(), "Noch 2 Titel zu kopieren:");

    QTest::qWait(600); // still too small: the dialog waits
    EXPECT_TRUE(space->isVisible());
    free = 1'000'000;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !space->isVisible(); }, 2000));
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 1; }, 10000));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.spaceDialog()->isVisible(); }, 5000));
    QTest::keyClick(form.spaceDialog(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 1; }, 5000));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 2; }, 5000));
    EXPECT_FALSE(finished.last().first().toBool());
    EXPECT_FALSE(form.isVisible());
}

// Whether a widget lies wholly on the screen.
bool onScreen(const QWidget* w) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect r(w->mapToGlobal(QPoint(0, 0)), w->size());
    return screen.contains(r);
}

// A 240-byte label and a 241-byte file name: both dialogs keep their size and buttons on
// the screen, the space dialog is centred over the main window the first time already,
// and the name that the destination cannot hold leaves the title out at once.
TEST_F(CopyDialogs, LongNamesKeepTheDialogsOnTheScreen) {
    const QString label(240, u'L');
    const QString name = QString(237, u'n') + QStringLiteral(".ogg");
    ASSERT_TRUE(writeFile(root + u'/' + label + QStringLiteral(".id"), "MEDIATYPE::USB\r\n"));
    ASSERT_TRUE(writeFile(root + u'/' + name, QByteArray(5000, 'n')));
    const QString title = label + QStringLiteral(":\\") + name;
    setup.pathTemplate = temp.filePath(QStringLiteral("ziel/%C/%T - %F"));
    MediaAccess access(options, &prompts);
    QWidget main;
    main.setGeometry(60, 40, 640, 480);
    main.show();
    TForm3 form(&access, &main);
    std::atomic<qint64> free{0};
    form.run().setFreeSpaceFunction([&free](const QString&) { return free.load(); });
    QSignalSpy finished(&form.run(), &CopyRun::finished);
    QSignalSpy failed(&form.run(), &CopyRun::copyFailed);

    ASSERT_TRUE(form.startRun({title}, setup));
    TForm8* space = form.spaceDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return space->isVisible(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.fnlabel->text().size() > 400; }, 2000));
    EXPECT_EQ(form.cdlabel->text(), label);
    EXPECT_EQ(space->nameValue->text(), QFileInfo(name).completeBaseName());
    for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.btn_cancel),
                       static_cast<QWidget*>(space), static_cast<QWidget*>(space->skip_btn),
                       static_cast<QWidget*>(space->cancel_btn)})
        EXPECT_TRUE(onScreen(w)) << w->objectName().toStdString();
    EXPECT_LE(form.width(), 640);
    EXPECT_LE(space->width(), 640);
    const QPoint offCentre = space->frameGeometry().center() - main.frameGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 6) << offCentre.x() << "," << offCentre.y();

    QTest::mouseClick(space->skip_btn, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 1; }, 5000));
    EXPECT_TRUE(form.run().notes().join(u'|').contains(QStringLiteral("Speicherplatz")));

    // With room enough the name itself fails: left out with its reason, never retried.
    free = qint64(1) << 40;
    ASSERT_TRUE(form.startRun({title}, setup));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 2; }, 5000));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(form.run().copiedCount(), 0);
    ASSERT_EQ(form.run().notes().size(), 1);
    EXPECT_TRUE(form.run().notes()[0].contains(filecopy::errorText(ENAMETOOLONG)))
        << form.run().notes()[0].toStdString();
}

// A copy that fails and would be tried again can be left out with "Überspringen"; the run
// then goes on and counts it.
TEST_F(CopyDialogs, FailedTitleCanBeSkipped) {
    // Abba's destination is taken by a folder: its copy fails again and again.
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("ziel/Abba/SOS.ogg/drin"))));
    MediaAccess access(options, &prompts);
    QWidget main;
    TForm3 form(&access, &main);
    QSignalSpy finished(&form.run(), &CopyRun::finished);
    QSignalSpy failed(&form.run(), &CopyRun::copyFailed);
    QStringList status;
    QObject::connect(&form.run(), &CopyRun::statusText, [&](const QString& s) { status << s; });
    ASSERT_TRUE(form.startRun(
        {QStringLiteral("Pop:\\Abba - SOS.ogg"), QStringLiteral("Pop:\\Zappa - Z.ogg")}, setup));
    ASSERT_TRUE(failed.wait(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.skip_btn->isVisible(); }, 1000));
    EXPECT_TRUE(form.errlabel->isVisible());
    EXPECT_EQ(form.errlabel->text(), failed.first().first().toString());
    QTest::mouseClick(form.skip_btn, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 1; }, 5000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_TRUE(QFile::exists(temp.filePath(QStringLiteral("ziel/Zappa/Z.ogg"))));
    EXPECT_TRUE(status.last().startsWith(QStringLiteral(
        "Kopieren der Titel in Zielordner abgeschlossen. (1 Titel kopiert, 1 übersprungen) "
        "Titel \"Abba - SOS\" übersprungen: ")))
        << status.last().toStdString();
    EXPECT_FALSE(form.run().canSkipFailed());
}

} // namespace
