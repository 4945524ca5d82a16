#include "app_core.h"
#include "commands.h"
#include "control_server.h"
#include "media_access.h"
#include "player.h"
#include "test_support.h"
#include "title_lists.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

TEST(CommandTable, RulesGateRunsAndOnlyChangesAreAnnounced) {
    CommandTable table;
    QSignalSpy changed(&table, &CommandTable::enabledChanged);
    bool allowed = false;
    QStringList ran;
    table.add(
        QStringLiteral("Next"), [&](const QString& a) { ran << QStringLiteral("next:") + a; },
        [&] { return allowed; });
    table.add(QStringLiteral("free"), [&](const QString&) { ran << QStringLiteral("free"); });
    EXPECT_EQ(changed.count(), 1); // only "free" came in enabled

    struct Case {
        const char* name;
        bool allow;
        bool expectRan;
    } cases[] = {
        {"next", false, false},   {"NEXT", true, true}, {"free", false, true},
        {"missing", true, false}, {"", true, false},
    };
    for (const Case& c : cases) {
        allowed = c.allow;
        EXPECT_EQ(table.isEnabled(QLatin1String(c.name)), c.expectRan) << c.name;
        EXPECT_EQ(table.run(QLatin1String(c.name), QStringLiteral("2")), c.expectRan) << c.name;
    }
    EXPECT_EQ(ran, (QStringList{"next:2", "free"}));

    // refresh() announces a rule's change once, under the lower-case name.
    allowed = true;
    table.refresh();
    changed.clear();
    allowed = false;
    table.refresh();
    table.refresh();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toString(), "next");
    EXPECT_FALSE(changed.at(0).at(1).toBool());

    // Removing an enabled command announces it disabled; replacing keeps one entry.
    changed.clear();
    table.remove(QStringLiteral("FREE"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_FALSE(table.isEnabled(QStringLiteral("free")));
    table.add(QStringLiteral("next"), [](const QString&) {});
    EXPECT_EQ(table.names(), QStringList{"next"});
    EXPECT_TRUE(table.isEnabled(QStringLiteral("next")));
}

TEST(CommandTable, HandlersMayChangeTheTableWhileRunning) {
    CommandTable table;
    int count = 0;
    table.add(QStringLiteral("once"), [&](const QString&) {
        ++count;
        table.remove(QStringLiteral("once"));
        table.add(QStringLiteral("later"), [&](const QString&) { ++count; });
    });
    EXPECT_TRUE(table.run(QStringLiteral("once")));
    EXPECT_FALSE(table.run(QStringLiteral("once")));
    EXPECT_TRUE(table.run(QStringLiteral("later")));
    EXPECT_EQ(count, 2);
}

TEST(CommandTable, ArgumentsForSkipCountsAndSwitches) {
    const std::pair<const char*, int> skips[] = {{"", 1},  {"3", 3},  {" 12 ", 12}, {"abc", 1},
                                                 {"0", 1}, {"-2", 1}, {"2x", 1}};
    for (const auto& [text, n] : skips)
        EXPECT_EQ(CommandTable::skipCount(QLatin1String(text)), n) << text;
    const std::tuple<const char*, bool, bool> flags[] = {
        {"1", false, true},    {"YES", false, true}, {"on", false, true},
        {"true", false, true}, {"0", true, false},   {"No", true, false},
        {"off", true, false},  {"", true, true},     {"maybe", false, false}};
    for (const auto& [text, fallback, result] : flags)
        EXPECT_EQ(CommandTable::flag(QLatin1String(text), fallback), result) << text;
}

using playbacktest::CancellingPrompts;

// The core with its own player on libmpv (no sound output): control codes and commands
// act exactly while the transport buttons would be enabled. No widget is built.
class CoreCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(temp.isValid());
        qputenv("VORLUNE_MEDIA_ROOTS", root.path().toUtf8());
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        ASSERT_TRUE(playbacktest::writeFile(root.filePath(QStringLiteral("Music.id")),
                                            "MEDIATYPE::HDD\r\n"));
        AppCore::Environment env;
        env.tempDir = temp.path();
        env.dataDir = temp.path();
        core = std::make_unique<AppCore>(env);
        core->setMediaPrompts(&prompts);
        player = &core->player();
        player->setSelectionProvider([this] { return selection; });
        core->setSelectedCount([this] { return int(selection.size()); });
    }
    void TearDown() override {
        core.reset();
        for (const char* name :
             {"VORLUNE_MEDIA_ROOTS", "VORLUNE_AUDIO_OUTPUT", "VORLUNE_VIDEO_OUTPUT"})
            qunsetenv(name);
    }
    QString title(const QString& name, int ms = 3000) {
        EXPECT_FALSE(
            playbacktest::makeMp3(root.path(), QStringLiteral("dir/") + name, ms).isEmpty());
        return QStringLiteral("Music:\\dir\\") + name;
    }
    // The enabled state of codes 1 to 5, as the control socket sees it.
    QString codes() const {
        QString out;
        for (int code = 1; code <= 5; ++code)
            out += core->commandEnabled(code) ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    }

    QTemporaryDir root, temp;
    CancellingPrompts prompts;
    QStringList selection;
    std::unique_ptr<AppCore> core;
    Player* player = nullptr;
};

TEST_F(CoreCommandsTest, ControlCodesFollowTheTransportRules) {
    const QStringList lines = {title(QStringLiteral("A.mp3")), title(QStringLiteral("B.mp3")),
                               title(QStringLiteral("C.mp3"))};
    // Nothing selected, nothing playing: every code is ignored.
    core->runCommand(2);
    core->runCommand(5);
    EXPECT_FALSE(player->isPlaying());

    selection = lines;
    player->setListSelection(true);
    EXPECT_TRUE(core->commandEnabled(1));
    QSignalSpy started(player, &Player::titleStarted);
    core->runCommand(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.count() >= 1; }, 8000));
    EXPECT_EQ(player->currentLine(), lines[0]);
    EXPECT_EQ(codes().mid(1), "1101"); // pause, stop, next; no previous at the first title

    // "next" with a skip count, then "prev" back by one, through the table by name.
    ASSERT_TRUE(core->commands().run(QLatin1String(cmd::Next), QStringLiteral("2")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentLine() == lines[2]; }, 8000));
    EXPECT_FALSE(core->commands().isEnabled(QLatin1String(cmd::Next)));
    EXPECT_FALSE(core->commands().run(QLatin1String(cmd::Next)));
    ASSERT_TRUE(core->commands().run(QLatin1String(cmd::Prev)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentLine() == lines[1]; }, 8000));

    // Repeat and shuffle take switches or toggle.
    ASSERT_TRUE(core->commands().run(QLatin1String(cmd::Repeat), QStringLiteral("yes")));
    EXPECT_TRUE(player->playlist().repeat());
    ASSERT_TRUE(core->commands().run(QLatin1String(cmd::Repeat)));
    EXPECT_FALSE(player->playlist().repeat());

    core->runCommand(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !player->isPlaying(); }, 4000));
    EXPECT_FALSE(core->commandEnabled(3));
    EXPECT_FALSE(core->commandEnabled(2));
}

TEST_F(CoreCommandsTest, EnabledChangesReachBoundControlsAsSignals) {
    selection = {title(QStringLiteral("A.mp3"))};
    player->setListSelection(true);
    QSignalSpy changed(&core->commands(), &CommandTable::enabledChanged);
    QSignalSpy started(player, &Player::titleStarted);
    core->commands().run(QLatin1String(cmd::PlaySelection));
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.count() >= 1; }, 8000));
    bool pauseOn = false;
    for (const auto& args : changed)
        if (args.at(0).toString() == QLatin1String(cmd::Pause)) pauseOn = args.at(1).toBool();
    EXPECT_TRUE(pauseOn);
    // The control socket's raise and reload have no handler without a window: ignored.
    core->bringToFront();
    core->reloadMedia();
    EXPECT_FALSE(core->commands().contains(QLatin1String(cmd::Raise)));
}

// Sends one control line from another thread, as another process would; the reply.
QByteArray sendLine(const QString& path, const QByteArray& line) {
    QFuture<QByteArray> f = QtConcurrent::run([=] {
        QLocalSocket s;
        s.connectToServer(path);
        if (!s.waitForConnected(3000)) return QByteArray();
        QByteArray greeting;
        while (!greeting.contains('\n') && s.waitForReadyRead(3000))
            greeting += s.readAll();
        s.write(line);
        s.waitForBytesWritten(3000);
        QByteArray reply;
        while (s.state() == QLocalSocket::ConnectedState && s.waitForReadyRead(3000))
            reply += s.readAll();
        return reply + s.readAll();
    });
    while (!f.isFinished())
        QTest::qWait(5);
    return f.result();
}

TEST_F(CoreCommandsTest, ControlSocketDrivesTheCoresOwnPlayerWithoutAWindow) {
    const QString line = title(QStringLiteral("Long.mp3"), 20000);
    ControlServer server(core.get());
    server.setHandle(4711);
    const QString path = temp.filePath(QStringLiteral("ctl.sock"));
    ASSERT_TRUE(server.listen(path));
    QSignalSpy handled(&server, &ControlServer::messageHandled);

    // Nothing is selected yet: play and pause are answered but do nothing.
    for (const char* code : {"1", "2"}) {
        EXPECT_EQ(sendLine(path, QByteArray("MP3CTRL 4711 ") + code + "\n"), "OK\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !handled.isEmpty(); }, 3000));
        handled.clear();
        EXPECT_FALSE(player->isPlaying()) << code;
    }

    selection = {line};
    player->setListSelection(true);
    struct Step {
        int code;
        std::function<bool()> reached;
        const char* what;
    } steps[] = {
        // libmpv really plays: the position moves on.
        {1, [&] { return player->currentLine() == line && player->device().position() > 300; },
         "play"},
        {2, [&] { return player->controls().pauseDown; }, "pause"},
        {2, [&] { return !player->controls().pauseDown && player->isPlaying(); }, "resume"},
        {3, [&] { return !player->isPlaying() && !player->isTimerActive(); }, "stop"},
        {3, [&] { return !player->isPlaying(); }, "stop when stopped"},
    };
    for (const Step& step : steps) {
        const QByteArray message = "MP3CTRL 4711 " + QByteArray::number(step.code) + "\n";
        EXPECT_EQ(sendLine(path, message), "OK\n") << step.what;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !handled.isEmpty(); }, 3000)) << step.what;
        handled.clear();
        EXPECT_TRUE(QTest::qWaitFor(step.reached, 10000)) << step.what;
    }
    EXPECT_EQ(codes(), "10000"); // stopped with a selection: only play
}

TEST_F(CoreCommandsTest, MediaQuestionsGoToThePromptsSetElseNobodyIsAsked) {
    // A medium that is nowhere: media access asks for it, and giving up ends the start.
    selection = {QStringLiteral("Fehlt:\\dir\\A.mp3")};
    player->setListSelection(true);
    const std::pair<bool, QStringList> cases[] = {{true, {"Fehlt"}}, {false, {}}};
    for (const auto& [withPrompts, asked] : cases) {
        prompts.asked.clear();
        core->setMediaPrompts(withPrompts ? &prompts : nullptr);
        QSignalSpy finished(player, &Player::startFinished);
        ASSERT_TRUE(core->commands().run(QLatin1String(cmd::PlaySelection))) << withPrompts;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 8000)) << withPrompts;
        EXPECT_EQ(prompts.asked, asked) << withPrompts;
        EXPECT_FALSE(player->isPlaying()) << withPrompts;
    }
}

// In a process of its own (other tests play): the core starts without the player's and the
// shares' libraries, and playing a title opens the player's.
TEST(AppCoreMediaDeathTest, StartsWithoutThePlayerAndShareLibraries) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto mapped = [](const char* name) {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
    };
    const auto run = [&] {
        QTemporaryDir temp;
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        AppCore::Environment env;
        env.tempDir = temp.path();
        env.dataDir = temp.path();
        AppCore core(env);
        QTest::qWait(50);
        int failed = 0;
        for (const char* name : {"libmpv.so", "libsmbclient.so"})
            if (mapped(name)) failed |= 1;
        const QString mp3 = playbacktest::makeMp3(temp.path(), QStringLiteral("a.mp3"), 500);
        if (!core.player().device().open(mp3)) failed |= 2;
        if (!mapped("libmpv.so")) failed |= 4;
        std::fflush(nullptr);
        std::_Exit(failed);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

TEST(AppCoreMedia, FetchedTitlesGoToTheRunsTempFolderElseToOneOfTheCoresOwn) {
    QTemporaryDir given;
    ASSERT_TRUE(given.isValid());
    for (const QString& tempDir : {given.path(), QString()}) {
        AppCore::Environment env;
        env.tempDir = tempDir;
        QString used;
        {
            AppCore core(env);
            used = core.mediaTempDir();
            EXPECT_FALSE(used.isEmpty());
            EXPECT_TRUE(QDir(used).exists()) << used.toStdString();
            if (!tempDir.isEmpty()) {
                EXPECT_EQ(used, tempDir);
            }
        }
        // The core's own folder goes with it; the run's stays for its owner.
        EXPECT_EQ(QDir(used).exists(), !tempDir.isEmpty()) << used.toStdString();
    }
}

} // namespace
