#include "media_access.h"
#include "media_access_titles.h"
#include "player.h"
#include "test_support.h"
#include "title_lists.h"
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>
#include <atomic>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using playbacktest::readFile;

namespace {

using playbacktest::CancellingPrompts;

// The insert-medium dialog as the user meets it: it waits (a nested event loop) until the
// medium turns up, the wait is given up elsewhere, or the user cancels after a while.
// `meanwhile` runs once the dialog is open: what the user does elsewhere.
class DialogPrompts : public MediaPrompts {
public:
    QStringList asked;
    std::function<void()> meanwhile;
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString& label, MediumWait& wait) override {
        asked << label;
        if (!wait.start(label)) return {};
        QEventLoop loop;
        bool found = false;
        QObject::connect(&wait, &MediumWait::found, &loop, [&] {
            found = true;
            loop.quit();
        });
        QObject::connect(&wait, &MediumWait::cancelled, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &loop, [this] {
            if (meanwhile) std::exchange(meanwhile, nullptr)();
        });
        QTimer::singleShot(3000, &loop, &QEventLoop::quit); // the user gives up
        if (wait.isActive()) loop.exec();
        QObject::disconnect(&wait, nullptr, &loop, nullptr);
        if (wait.isActive()) wait.cancel();
        return found ? wait.foundRoot() : QString();
    }
};

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(temp.isValid());
        qputenv("VORLUNE_MEDIA_ROOTS", root.path().toUtf8());
        ASSERT_TRUE(playbacktest::writeFile(root.filePath(QStringLiteral("Music.id")),
                                            "MEDIATYPE::HDD\r\n"));
        build(&prompts);
    }
    // Media access, title access and player over the given user.
    void build(MediaPrompts* user) {
        player.reset();
        titles.reset();
        media.reset();
        MediaAccess::Options options;
        options.tempDir = temp.path();
        media = std::make_unique<MediaAccess>(options, user);
        titles = std::make_unique<MediaAccessTitles>(media.get());
        Player::Options playerOptions;
        playerOptions.tempDir = temp.path();
        playerOptions.device.audioOutput = QStringLiteral("null");
        playerOptions.device.videoOutput = QStringLiteral("null");
        playerOptions.tickMs = 100;
        player = std::make_unique<Player>(playerOptions, titles.get());
        titles->connectPlayer(player.get());
        player->setTitleLists(&lists);
        player->setSelectionProvider([this] { return selection; });
        player->setListSelection(true);
        player->setToday([] { return QDate(2026, 12, 8); });
    }
    void TearDown() override {
        player.reset();
        qunsetenv("VORLUNE_MEDIA_ROOTS");
    }

    // A title on the medium "Music": its title line, with a real MP3 of `ms` behind it.
    QString title(const QString& name, int ms = 3000) {
        const QString file = playbacktest::makeMp3(root.path(), QStringLiteral("dir/") + name, ms);
        EXPECT_FALSE(file.isEmpty()) << "lame is needed";
        return QStringLiteral("Music:\\dir\\") + name;
    }
    QString fileOf(const QString& line) { return MediaAccess::titleFilePath(root.path(), line); }
    bool waitStarted(QSignalSpy& spy, int count, int ms = 8000) {
        return QTest::qWaitFor([&] { return spy.count() >= count; }, ms);
    }
    QString dataJs() { return QString::fromLatin1(readFile(player->dataJsPath())); }
    bool stopped() { return !player->isTimerActive() && player->currentFile().isEmpty(); }

    QTemporaryDir root;
    QTemporaryDir temp;
    CancellingPrompts prompts;
    TitleLists lists;
    QStringList selection;
    std::unique_ptr<MediaAccess> media;
    std::unique_ptr<MediaAccessTitles> titles;
    std::unique_ptr<Player> player;
};

} // namespace

TEST_F(PlayerTest, StartTickPauseResumeSeekAndStop) {
    const QString line = title(QStringLiteral("Beatles - Yesterday.mp3"), 4000);
    selection = {line};
    QSignalSpy started(player.get(), &Player::titleStarted);
    QSignalSpy stream(player.get(), &Player::streamTitleChanged);
    QSignalSpy status(player.get(), &Player::statusTextChanged);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    // The scan ran with its status text before the title started.
    EXPECT_EQ(status.first().first().toString(), "Länge des Titels ermitteln...");

    const PlayerControls& c = player->controls();
    EXPECT_TRUE(c.pauseEnabled);
    EXPECT_TRUE(c.stopEnabled);
    EXPECT_TRUE(c.seekerEnabled);
    EXPECT_TRUE(c.reptEnabled);
    EXPECT_FALSE(c.shufEnabled); // one title
    EXPECT_FALSE(c.prevEnabled);
    EXPECT_FALSE(c.nextEnabled);
    EXPECT_EQ(c.seekerMax, 4);
    EXPECT_NEAR(double(player->titleLength()), 4000.0, 80.0);
    EXPECT_EQ(player->scanBitRate(), 128);
    EXPECT_EQ(player->statusText(), "\"Beatles - Yesterday\" wird wiedergegeben...");
    EXPECT_EQ(player->currentLine(), line);
    EXPECT_EQ(player->currentFile(), fileOf(line));
    EXPECT_EQ(stream.last().first().toString(), "Beatles - Yesterday");
    RemoteItems& remote = player->remoteItems();
    EXPECT_EQ(remote.value("TRACKNAME"), "Beatles - Yesterday");
    EXPECT_EQ(remote.value("ARTIST"), "Beatles");
    EXPECT_EQ(remote.value("TITLE"), "Yesterday");
    EXPECT_EQ(remote.value("TRACKNUM"), "1");
    EXPECT_EQ(remote.value("TOTALTRACKS"), "1");
    EXPECT_EQ(remote.value("FILENAME"), fileOf(line));
    EXPECT_EQ(remote.value("TRACKSTATUS"), "playing");
    EXPECT_EQ(lists.list(TitleLists::Playlist), QStringList{line});
    EXPECT_EQ(lists.list(TitleLists::Charts), QStringList{line});
    EXPECT_EQ(player->history().value(line),
              "1:" + QLocale().toString(QDate(2026, 12, 8), QLocale::ShortFormat));
    EXPECT_EQ(player->history().songsPlayed(), 1);

    // Ticks move the position and write the tick writer's lines.
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->device().position() >= 600; }, 4000));
    QTest::qWait(150);
    EXPECT_TRUE(dataJs().startsWith("status    = \"playing\";\r\nartist    = \"Beatles\";\r\n"));
    EXPECT_TRUE(c.seekposText.endsWith("/0:00:04")) << qPrintable(c.seekposText);
    EXPECT_EQ(c.clockText, remote.value("POSITION"));
    EXPECT_TRUE(c.clockShown);
    EXPECT_EQ(c.clockHint, "Beatles - Yesterday");

    // Pause: the device and the tick stand still.
    player->pauseClick();
    EXPECT_FALSE(player->isTimerActive());
    EXPECT_EQ(player->device().mode(), MediaDevice::Paused);
    EXPECT_TRUE(c.pauseDown);
    EXPECT_TRUE(c.pauseChecked);
    EXPECT_EQ(c.pauseHint, "Fortsetzen");
    EXPECT_FALSE(c.seekerEnabled);
    EXPECT_TRUE(c.clockGrey);
    EXPECT_EQ(player->statusText(), "Wiedergabe von \"Beatles - Yesterday\" wurde unterbrochen. "
                                    "Pause-Button nochmals klicken, um fortzusetzen.");
    EXPECT_EQ(stream.last().first().toString(), "Beatles - Yesterday [PAUSE]");
    EXPECT_EQ(remote.value("TRACKSTATUS"), "paused");
    EXPECT_TRUE(dataJs().startsWith("status   = \"paused\";\r\n"));
    const qint64 held = player->device().position();
    QTest::qWait(400);
    EXPECT_NEAR(double(player->device().position()), double(held), 30.0);

    // Resume.
    player->pauseClick();
    EXPECT_TRUE(player->isTimerActive());
    EXPECT_EQ(player->device().mode(), MediaDevice::Playing);
    EXPECT_EQ(c.pauseHint, "Pause");
    EXPECT_TRUE(c.seekerEnabled);
    EXPECT_FALSE(c.clockGrey);
    EXPECT_EQ(remote.value("TRACKSTATUS"), "playing");
    EXPECT_EQ(stream.last().first().toString(), "Beatles - Yesterday");
    EXPECT_TRUE(dataJs().startsWith("status   = \"playing\";\r\n"));

    // Seek to 3 s; a slider value equal to the device's second does nothing.
    player->seekerChange(3);
    EXPECT_EQ(player->device().mode(), MediaDevice::Playing);
    EXPECT_NEAR(double(player->device().position()), 3000.0, 150.0);
    EXPECT_TRUE(dataJs().contains("position = 3;\r\nduration = 4;\r\n"));

    // Stop.
    player->stopClick();
    EXPECT_TRUE(stopped());
    EXPECT_EQ(player->device().mode(), MediaDevice::Stopped);
    EXPECT_EQ(player->statusText(), "Wiedergabe von \"Beatles - Yesterday\" wurde gestoppt.");
    EXPECT_EQ(stream.last().first().toString(), "Beatles - Yesterday [STOP]");
    EXPECT_TRUE(lists.list(TitleLists::Playlist).isEmpty());
    EXPECT_EQ(player->playlist().count(), 0);
    EXPECT_FALSE(c.pauseEnabled);
    EXPECT_FALSE(c.stopEnabled);
    EXPECT_FALSE(c.seekerEnabled);
    EXPECT_FALSE(c.reptEnabled);
    EXPECT_TRUE(c.playEnabled);
    EXPECT_FALSE(c.clockShown);
    EXPECT_EQ(c.clockText, "0:00:00");
    EXPECT_EQ(c.seekposText, "0:00:00/0:00:00");
    EXPECT_EQ(remote.value("TRACKNUM"), "none");
    EXPECT_EQ(remote.value("TOTALTRACKS"), "none");
    EXPECT_EQ(remote.value("TRACKSTATUS"), "stopped");
    EXPECT_EQ(remote.value("REMAINING"), "-0:00:00");
    EXPECT_TRUE(dataJs().startsWith("status   = \"stopped\";\r\nartist   = \"\";\r\n"));
}

TEST_F(PlayerTest, EndOfTitleGoesToTheNextAndTheEndOfTheListStopsOrWraps) {
    const QString a = title(QStringLiteral("A.mp3"), 3000);
    const QString b = title(QStringLiteral("B.mp3"), 3000);
    selection = {a, b};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    EXPECT_TRUE(player->controls().nextEnabled);
    EXPECT_FALSE(player->controls().prevEnabled);
    EXPECT_TRUE(player->controls().shufEnabled);
    player->seekerChange(2);
    ASSERT_TRUE(waitStarted(started, 2));
    EXPECT_EQ(started.last().first().toString(), b);
    EXPECT_EQ(player->remoteItems().value("TRACKNUM"), "2");
    EXPECT_TRUE(player->controls().prevEnabled);
    EXPECT_FALSE(player->controls().nextEnabled);
    // data.js lists A before B.
    QTest::qWait(150);
    EXPECT_TRUE(dataJs().contains("prevFiles = new Array(\r\n             \"A\" );\r\n"
                                  "nextFiles = new Array();\r\n"));

    // Repeat on: the end of B wraps to A.
    player->setRepeat(true);
    EXPECT_TRUE(player->controls().nextEnabled);
    EXPECT_EQ(player->remoteItems().value("REPEATING"), "yes");
    player->seekerChange(2);
    ASSERT_TRUE(waitStarted(started, 3));
    EXPECT_EQ(started.last().first().toString(), a);
    EXPECT_EQ(player->history().value(a).section(':', 0, 0), "2");

    // Repeat off again: A -> B -> stop.
    player->setRepeat(false);
    player->seekerChange(2);
    ASSERT_TRUE(waitStarted(started, 4));
    player->seekerChange(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped(); }, 5000));
    EXPECT_EQ(player->statusText(), "Wiedergabe von \"B\" wurde gestoppt.");
    EXPECT_EQ(player->history().songsPlayed(), 4);
}

TEST_F(PlayerTest, FileRemovedWhilePlayingMovesOnOrStops) {
    const QString a = title(QStringLiteral("A.mp3"), 5000);
    const QString b = title(QStringLiteral("B.mp3"), 5000);
    selection = {a, b};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    ASSERT_TRUE(QFile::remove(fileOf(a)));
    ASSERT_TRUE(waitStarted(started, 2, 3000));
    EXPECT_EQ(started.last().first().toString(), b);
    ASSERT_TRUE(QFile::remove(fileOf(b)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped(); }, 3000));
    EXPECT_EQ(player->playlist().count(), 0);
}

TEST_F(PlayerTest, MissingMediumStopsSkipsOrLetsThePreviousTitleContinue) {
    // Alone in the list: the dialog is cancelled and nothing plays.
    selection = {QStringLiteral("Absent:\\x\\Gone.mp3")};
    player->playClick();
    EXPECT_EQ(prompts.asked, QStringList{"Absent"});
    EXPECT_TRUE(stopped());
    EXPECT_EQ(player->statusText(),
              "\"Gone\" kann nicht wiedergegeben werden (Datenträger \"Absent\" nicht gefunden).");

    // While a title plays, a new list whose only medium is missing leaves it playing.
    const QString a = title(QStringLiteral("A.mp3"), 5000);
    selection = {a};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    selection = {QStringLiteral("Absent:\\x\\Gone.mp3")};
    player->playClick();
    EXPECT_TRUE(player->isTimerActive());
    EXPECT_EQ(player->device().mode(), MediaDevice::Playing);
    EXPECT_EQ(player->deviceFile(), fileOf(a));

    // With the insert-medium dialog busy elsewhere, missing titles are skipped.
    ASSERT_TRUE(media->mediumWait().start(QStringLiteral("Elsewhere")));
    const QString b = title(QStringLiteral("B.mp3"), 5000);
    selection = {QStringLiteral("Absent:\\x\\Gone.mp3"), QStringLiteral("Absent:\\x\\Too.mp3"), b};
    prompts.asked.clear();
    player->playClick();
    media->mediumWait().cancel();
    ASSERT_TRUE(waitStarted(started, 2));
    EXPECT_EQ(started.last().first().toString(), b);
    EXPECT_TRUE(prompts.asked.isEmpty());
    EXPECT_EQ(player->playlist().position(), 2);

    // Cancelled with titles left: playback stops.
    selection = {QStringLiteral("Absent:\\x\\Gone.mp3"), a};
    player->playClick();
    EXPECT_TRUE(stopped());
}

TEST_F(PlayerTest, TogglesAndJumpsInThePlaylistView) {
    const QString a = title(QStringLiteral("Queen - A.mp3"), 5000);
    const QString b = title(QStringLiteral("B.mp3"), 5000);
    const QString c = title(QStringLiteral("C.mp3"), 5000);
    selection = {a, b, c};
    QSignalSpy started(player.get(), &Player::titleStarted);
    QSignalSpy refresh(player.get(), &Player::webRefreshRequested);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    player->setShownView(Player::ShownView::Playlist);
    EXPECT_FALSE(player->controls().playEnabled);

    // Toggling shuffle keeps the position; data.js is rewritten at once.
    QFile::remove(player->dataJsPath());
    player->setShuffle(true);
    EXPECT_EQ(player->playlist().position(), 0);
    EXPECT_EQ(player->remoteItems().value("SHUFFLED"), "yes");
    EXPECT_TRUE(dataJs().contains("shuffle   = true;"));
    EXPECT_GE(refresh.count(), 1);

    // While paused a toggle writes the paused lines, and the pause holds.
    player->pauseClick();
    player->setRepeat(true);
    EXPECT_TRUE(dataJs().startsWith("status   = \"paused\";"));
    EXPECT_TRUE(dataJs().contains("repeat    = true\r\n"));
    EXPECT_EQ(player->device().mode(), MediaDevice::Paused);
    player->pauseClick();
    EXPECT_EQ(player->device().mode(), MediaDevice::Playing);

    // A double click in the playlist view plays the clicked title, found by its line.
    player->listDblClick(c.toUpper());
    ASSERT_TRUE(waitStarted(started, 2));
    EXPECT_EQ(started.last().first().toString(), c);
    EXPECT_EQ(player->playlistCurrentIndex(), 2);
    EXPECT_EQ(player->playlist().count(), 3);

    // Previous and next by skip count.
    const int position = player->playlist().position();
    player->prevClick(1);
    ASSERT_TRUE(waitStarted(started, 3));
    EXPECT_EQ(player->playlist().position(), (position + 2) % 3);

    // Stopped: a toggle writes the stopped lines and the stopped remote values.
    player->stopClick();
    player->setRepeat(false);
    EXPECT_TRUE(dataJs().startsWith("status   = \"stopped\";"));
    EXPECT_FALSE(player->controls().prevEnabled);
    EXPECT_FALSE(player->controls().nextEnabled);
    EXPECT_EQ(player->remoteItems().value("TRACKSTATUS"), "stopped");
}

TEST_F(PlayerTest, NonMp3TitlesUseTheDeviceLengthAndTheirOwnSize) {
    // An MP3 under another extension: no frame scan, the device measures it.
    const QString line = title(QStringLiteral("Clip.mpga"), 2000);
    selection = {line};
    QSignalSpy started(player.get(), &Player::titleStarted);
    QSignalSpy status(player.get(), &Player::statusTextChanged);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    for (const auto& args : status)
        EXPECT_NE(args.first().toString(), "Länge des Titels ermitteln...");
    EXPECT_NEAR(double(player->titleLength()), 2000.0, 100.0);
    EXPECT_EQ(player->fileSize(), QFileInfo(fileOf(line)).size());
    EXPECT_EQ(player->scanBitRate(), 0);
}

TEST_F(PlayerTest, BlockingWorkInTheSharedPoolDoesNotHoldUpAStart) {
    const QString line = title(QStringLiteral("Waiting.mp3"), 2000);
    selection = {line};
    // Every thread of the shared pool busy with work that blocks (as device listings
    // and medium probes do) until the title has started or the wait gives up.
    std::atomic_bool release{false};
    QThreadPool* shared = QThreadPool::globalInstance();
    for (int i = 0; i < shared->maxThreadCount(); ++i)
        shared->start([&release] {
            QDeadlineTimer limit(10000);
            while (!release && !limit.hasExpired())
                QThread::msleep(10);
        });
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    const bool ok = waitStarted(started, 1, 5000);
    release = true;
    shared->waitForDone();
    EXPECT_TRUE(ok) << player->statusText().toStdString();
}

TEST_F(PlayerTest, StopDuringTheScanAbandonsTheStart) {
    const QString line = title(QStringLiteral("Long.mp3"), 3000);
    // A large file whose scan takes a moment.
    QFile big(fileOf(line));
    ASSERT_TRUE(big.open(QIODevice::Append));
    ASSERT_TRUE(big.write(QByteArray(64 * 1024 * 1024, '\0')) > 0);
    big.close();
    selection = {line};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    EXPECT_TRUE(player->isStarting());
    player->stopClick();
    QTest::qWait(300);
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(player->isStarting());
    EXPECT_FALSE(player->controls().progressVisible);
}

TEST_F(PlayerTest, WebTitlesAreFetchedBeforeTheyPlay) {
    QTemporaryDir www;
    ASSERT_TRUE(!playbacktest::makeMp3(www.path(), QStringLiteral("musik/Queen/Innuendo.mp3"), 3000)
                     .isEmpty());
    QProcess server;
    server.setWorkingDirectory(www.path());
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                  QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("0")});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray banner;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            banner += server.readAll();
            return banner.contains("port ");
        },
        10000));
    const int port = banner.mid(banner.indexOf("port ") + 5).split(' ').first().toInt();
    ASSERT_GT(port, 0);
    media->ConnectWebMedium(QStringLiteral("Web 1"),
                            QStringLiteral("http://127.0.0.1:%1/musik/").arg(port));
    ASSERT_EQ(media->webDrives().size(), 1);

    const QString line = QStringLiteral("Web 1:\\Queen\\Innuendo.mp3");
    selection = {line};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    EXPECT_TRUE(player->isStarting());
    EXPECT_TRUE(media->isDownloading());
    // Play commands wait while the download runs.
    selection = {title(QStringLiteral("Local.mp3"))};
    player->playClick();
    EXPECT_EQ(player->playlist().titles(), QStringList{line});
    ASSERT_TRUE(waitStarted(started, 1, 20000));
    EXPECT_EQ(started.last().first().toString(), line);
    EXPECT_EQ(player->currentFile(), media->webDrives().first().drive + "/Queen/Innuendo.mp3");
    EXPECT_NE(player->deviceFile(), player->currentFile());
    EXPECT_TRUE(QFileInfo::exists(player->deviceFile()));
    EXPECT_EQ(player->remoteItems().value("FILENAME"), player->deviceFile());
    EXPECT_EQ(player->scanBitRate(), 128);
    player->stopClick();
    server.kill();
    server.waitForFinished(3000);
}

TEST_F(PlayerTest, UnplayableFilesAreSkippedAndAListOfThemStops) {
    ASSERT_TRUE(playbacktest::writeFile(root.filePath(QStringLiteral("dir/Bad.mp3")),
                                        QByteArray(5000, 'x')));
    const QString bad = QStringLiteral("Music:\\dir\\Bad.mp3");
    const QString good = title(QStringLiteral("Good.mp3"));
    selection = {bad, good};
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    EXPECT_EQ(started.last().first().toString(), good);
    // Counted only what played.
    EXPECT_TRUE(player->history().value(bad).isEmpty());

    selection = {bad};
    player->stopClick();
    player->playClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped() && !player->isStarting(); }, 5000));
    EXPECT_EQ(started.count(), 1);
}

// A web medium on a loopback server whose titles under "Slow" take 3 s to answer.
class WebPlayerTest : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        ASSERT_TRUE(www.isValid());
        ASSERT_TRUE(QDir().mkpath(www.filePath(QStringLiteral("musik"))));
        server = std::make_unique<playbacktest::WebServer>(www.path());
        ASSERT_TRUE(server->isRunning());
        media->ConnectWebMedium(QStringLiteral("Web 1"), server->url(QStringLiteral("musik/")));
        ASSERT_EQ(media->webDrives().size(), 1);
    }
    void TearDown() override {
        player.reset();
        server.reset();
        PlayerTest::TearDown();
    }
    QString webTitle(const QString& name, int ms) {
        EXPECT_FALSE(
            playbacktest::makeMp3(www.path(), QStringLiteral("musik/") + name, ms).isEmpty());
        return QStringLiteral("Web 1:\\") + QString(name).replace(u'/', u'\\');
    }

    QTemporaryDir www;
    std::unique_ptr<playbacktest::WebServer> server;
};

TEST_F(WebPlayerTest, ASlowWebTitleHoldsTheListUntilItPlays) {
    const QString a = title(QStringLiteral("A.mp3"), 1500);
    const QString w = webTitle(QStringLiteral("Slow/W.mp3"), 1500);
    const QString c = title(QStringLiteral("C.mp3"), 1000);
    selection = {a, w, c};
    QSignalSpy started(player.get(), &Player::titleStarted);
    QStringList positions; // the playlist position as each title starts playing
    QObject::connect(player.get(), &Player::titleStarted, player.get(),
                     [&] { positions << QString::number(player->playlist().position()); });
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 3, 20000)) << started.count();
    QStringList order;
    for (const auto& args : started)
        order << args.first().toString();
    EXPECT_EQ(order, (QStringList{a, w, c}));
    EXPECT_EQ(positions, (QStringList{"0", "1", "2"}));
    // Nothing ran ahead while the web title was fetched.
    EXPECT_EQ(player->history().value(c).section(':', 0, 0), "1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped(); }, 5000));
    EXPECT_EQ(started.count(), 3);
}

TEST_F(WebPlayerTest, ClosingAfterAWebTitleFindsItsFileReleased) {
    const QString w = webTitle(QStringLiteral("W.mp3"), 5000);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        if (round > 0)
            media->ConnectWebMedium(QStringLiteral("Web 1"), server->url(QStringLiteral("musik/")));
        ASSERT_EQ(media->webDrives().size(), 1);
        selection = {w};
        QSignalSpy started(player.get(), &Player::titleStarted);
        player->playClick();
        ASSERT_TRUE(waitStarted(started, 1, 10000));
        const QString folder = media->webDrives().first().drive;
        ASSERT_TRUE(MediaAccess::folderInUse(folder));
        // No question (the user would refuse): the player is stopped and its file closed
        // before the folder is checked.
        EXPECT_TRUE(media->DisconnectAll(true));
        EXPECT_EQ(prompts.confirmed, 0);
        EXPECT_FALSE(QFileInfo::exists(folder));
        EXPECT_FALSE(player->isTimerActive());
        EXPECT_TRUE(media->webDrives().isEmpty());
    }
}

TEST_F(WebPlayerTest, TitlesThatCannotBePlayedSayWhy) {
    ASSERT_TRUE(playbacktest::writeFile(root.filePath(QStringLiteral("dir/Bad.mp3")),
                                        QByteArray(5000, 'x')));
    ASSERT_TRUE(playbacktest::writeFile(root.filePath(QStringLiteral("dir/Broken.ogg")),
                                        QByteArray(3000, '\0')));
    struct Case {
        QString line;
        QString status;
    } cases[] = {
        {"Music:\\dir\\Bad.mp3", "\"Bad\" kann nicht wiedergegeben werden ("},
        {"Music:\\dir\\Broken.ogg", "\"Broken\" kann nicht wiedergegeben werden ("},
        {"Web 1:\\Missing.mp3", "\"Missing\" konnte nicht heruntergeladen werden ("},
        {"Absent:\\x\\Gone.mp3",
         "\"Gone\" kann nicht wiedergegeben werden (Datenträger \"Absent\" nicht gefunden)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        QSignalSpy status(player.get(), &Player::statusTextChanged);
        selection = {c.line};
        player->playClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !player->isStarting() && stopped(); }, 8000));
        QTest::qWait(50);
        EXPECT_TRUE(player->statusText().startsWith(c.status))
            << player->statusText().toStdString();
        for (const auto& args : status)
            EXPECT_FALSE(args.first().toString().contains("\"\""))
                << args.first().toString().toStdString();
    }
}

TEST_F(PlayerTest, NextAndPreviousFromAPausedTitleStartAfreshUnpaused) {
    const QString a = title(QStringLiteral("A.mp3"), 6000);
    const QString b = title(QStringLiteral("B.mp3"), 3000);
    for (const bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "next" : "previous");
        selection = {a, b};
        QSignalSpy started(player.get(), &Player::titleStarted);
        player->playClick();
        ASSERT_TRUE(waitStarted(started, 1));
        if (!forward) {
            player->nextClick();
            ASSERT_TRUE(waitStarted(started, 2));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return player->controls().seekerPos >= 1; }, 4000));
        player->pauseClick();
        ASSERT_TRUE(player->controls().pauseChecked);
        const QString from = player->displayName();

        // Everything shown for the new title belongs to it, from the first moment on.
        struct Shown {
            QString name, clock, seekpos;
            int pos, max;
        };
        QList<Shown> shown;
        auto c = QObject::connect(player.get(), &Player::controlsChanged, player.get(), [&] {
            const PlayerControls& s = player->controls();
            shown.append(
                {player->displayName(), s.clockText, s.seekposText, s.seekerPos, s.seekerMax});
        });
        const int before = started.count();
        forward ? player->nextClick() : player->prevClick();
        ASSERT_TRUE(waitStarted(started, before + 1));
        QObject::disconnect(c);
        const QString to = player->displayName();
        ASSERT_NE(to, from);
        for (const Shown& s : shown) {
            if (s.name != to) continue;
            EXPECT_EQ(s.pos, 0);
            EXPECT_EQ(s.clock, "0:00:00");
            EXPECT_EQ(s.seekpos, "0:00:00/0:00:00");
        }
        const PlayerControls& now = player->controls();
        EXPECT_FALSE(now.pauseChecked);
        EXPECT_FALSE(now.pauseDown);
        EXPECT_EQ(now.pauseHint, "Pause");
        EXPECT_FALSE(now.clockGrey);
        EXPECT_EQ(player->device().mode(), MediaDevice::Playing);
        EXPECT_EQ(now.seekerMax, to == "A" ? 6 : 3);
        player->stopClick();
    }
}

TEST_F(PlayerTest, CommandsWhileTheInsertMediumDialogIsOpen) {
    DialogPrompts dialog;
    build(&dialog);
    const QString a = title(QStringLiteral("A.mp3"), 5000);
    const QString b = title(QStringLiteral("B.mp3"), 5000);
    const QString gone = QStringLiteral("Absent:\\x\\Gone.mp3");
    enum Command { Stop, StopAndMediumAppears, Next, Previous };
    struct Case {
        const char* name;
        QStringList list;
        Command command;
        QString playsAfter; // empty: stopped
    } cases[] = {
        {"stop", {a, gone}, Stop, {}},
        {"stop, then the medium turns up", {a, gone}, StopAndMediumAppears, {}},
        {"next", {gone, b}, Next, b},
        {"previous", {a, gone}, Previous, a},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(root.filePath(QStringLiteral("Absent.id")));
        selection = c.list;
        QSignalSpy started(player.get(), &Player::titleStarted);
        Command command = c.command;
        dialog.meanwhile = [&, command] {
            switch (command) {
            case Stop:
                player->stopClick();
                break;
            case StopAndMediumAppears:
                player->stopClick();
                playbacktest::writeFile(root.filePath(QStringLiteral("Absent.id")), "");
                break;
            case Next:
                player->nextClick();
                break;
            case Previous:
                player->prevClick();
                break;
            }
        };
        // The dialog opens for the missing title: at once, or when the first one is over.
        player->playClick();
        if (c.list.first() != gone) {
            ASSERT_TRUE(waitStarted(started, 1));
            player->nextClick();
        }
        EXPECT_FALSE(media->mediumWait().isActive());
        EXPECT_FALSE(bool(dialog.meanwhile)) << "the dialog did not open";
        if (c.playsAfter.isEmpty()) {
            EXPECT_TRUE(stopped());
            EXPECT_EQ(player->playlist().count(), 0);
            QTest::qWait(300);
            EXPECT_EQ(started.count(), c.list.first() == gone ? 0 : 1);
            EXPECT_EQ(player->device().mode(), MediaDevice::Stopped);
            EXPECT_EQ(player->statusText(), "Wiedergabe von \"A\" wurde gestoppt.");
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return player->isTimerActive(); }, 8000));
            EXPECT_EQ(started.last().first().toString(), c.playsAfter);
            EXPECT_EQ(player->currentLine(), c.playsAfter);
            EXPECT_EQ(player->playlistCurrentIndex(), c.list.indexOf(c.playsAfter));
            EXPECT_EQ(player->playlist().currentLine(), c.playsAfter);
            player->stopClick();
        }
    }
}

// Under shuffle TRACKNUM counts the titles of the play sequence (the play-order position
// + 1), while the title that plays is the playlist line the order names.
TEST_F(PlayerTest, TrackNumberUnderShuffleCountsThePlaySequence) {
    QStringList lines;
    for (const char* name : {"A.mp3", "B.mp3", "C.mp3", "D.mp3", "E.mp3"})
        lines << title(QString::fromLatin1(name), 4000);
    selection = lines;
    QSignalSpy started(player.get(), &Player::titleStarted);
    player->playClick();
    ASSERT_TRUE(waitStarted(started, 1));
    EXPECT_EQ(player->remoteItems().value("TRACKNUM"), "1");
    // A shuffled order that moves the titles after the first one.
    player->playlist().seed(7);
    const auto shuffledAfterFirst = [&] {
        const std::vector<int>& order = player->playlist().order();
        for (int k = 1; k < int(order.size()); ++k)
            if (order[k] != k) return true;
        return false;
    };
    for (int tries = 0; tries < 20 && !shuffledAfterFirst(); ++tries) {
        player->setShuffle(false);
        player->setShuffle(true);
    }
    ASSERT_TRUE(shuffledAfterFirst());
    ASSERT_EQ(player->playlist().position(), 0);
    const std::vector<int> order = player->playlist().order();
    const QStringList playlist = player->playlist().titles();
    for (int k = 1; k < int(order.size()); ++k) {
        SCOPED_TRACE(k);
        player->nextClick();
        ASSERT_TRUE(waitStarted(started, k + 1));
        EXPECT_EQ(started.last().first().toString(), playlist.at(order[k]));
        EXPECT_EQ(player->remoteItems().value("TRACKNUM"), QString::number(k + 1));
        EXPECT_EQ(player->remoteItems().value("TOTALTRACKS"), "5");
        EXPECT_EQ(player->playlistCurrentIndex(), order[k]);
    }
}
