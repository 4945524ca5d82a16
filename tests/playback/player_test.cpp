#include "media_access.h"
#include "media_access_titles.h"
#include "player.h"
#include "test_support.h"
#include "title_lists.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using playbacktest::readFile;

namespace {

// The user in front of the insert-medium dialog: gives up at once.
class CancellingPrompts : public MediaPrompts {
public:
    QStringList asked;
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString& label, MediumWait&) override {
        asked << label;
        return {};
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
        MediaAccess::Options options;
        options.tempDir = temp.path();
        media = std::make_unique<MediaAccess>(options, &prompts);
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
    EXPECT_EQ(player->statusText(), "Wiedergabe von \"\" wurde gestoppt.");

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
