#include "app_core.h"
#include "commands.h"
#include "remote_integration.h"
#include "streaming_server.h"
#include "test_env.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Remote control on the core alone: a fake list instead of the window, the core's table
// with recording handlers for the commands the window would bring.
namespace {

using remote::Topic;

struct FakeRemoteView : RemoteView {
    int entries = 0;
    int listedEntries() const override { return entries; }
    // When set, a search is shown only when the test says so (showSearch()).
    bool deferSearch = false;
    std::vector<std::function<void()>> waiting;
    void whenSearchShown(QObject*, std::function<void()> then) override {
        if (deferSearch)
            waiting.push_back(std::move(then));
        else
            then();
    }
    void showSearch() {
        for (auto& then : std::exchange(waiting, {}))
            then();
    }
};

class RemoteIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        AppCore::Environment e;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        core = std::make_unique<AppCore>(e);
        CommandTable& table = core->commands();
        for (const char* name : {cmd::Search, cmd::SelectAll, cmd::Play, cmd::ShowPlaylist,
                                 cmd::Raise, cmd::Stop, cmd::Repeat, cmd::Shuffle})
            table.add(QLatin1String(name), [this, name](const QString& argument) {
                ran << QLatin1String(name) + QLatin1Char(':') + argument;
            });
        // After the player's own part: the state each case asks for.
        table.addStateSource(&stateOwner, [this](UiState& s) {
            s.viewsExist = true;
            s.searchReady = true;
            s.busy = busy;
            s.listItems = view.entries;
            s.selected = view.entries;
            s.node = uistate::NodeKind::Other;
            s.transport.selection = view.entries > 0;
            s.transport.begun = stopEnabled;
            s.transport.session = playlistPlays;
            s.transport.titles = playlistPlays ? 2 : 0;
        });
        remote = std::make_unique<RemoteIntegration>(table, core->player(), core->settings(),
                                                     core->streamingServer(), view);
    }
    void TearDown() override {
        remote.reset();
        core.reset();
        qunsetenv("VORLUNE_AUDIO_OUTPUT");
        qunsetenv("VORLUNE_VIDEO_OUTPUT");
    }

    IsolatedEnvironment env;
    std::unique_ptr<AppCore> core;
    FakeRemoteView view;
    QObject stateOwner;
    bool busy = false;
    bool stopEnabled = false;
    bool playlistPlays = false;
    QStringList ran;
    std::unique_ptr<RemoteIntegration> remote;
};

TEST_F(RemoteIntegrationTest, PokesRunTheirCommandsWithinTheRules) {
    const struct {
        const char* item;
        const char* value;
        int entries;
        bool busy, stop, playlist;
        QStringList ran;
        bool refused; // check() gives a reason
    } cases[] = {
        {"COMMAND", "stop", 0, false, true, false, {"stop:"}, false},
        {"COMMAND", "Stop", 0, false, false, false, {}, true},
        {"COMMAND", "play", 2, false, true, false, {}, true}, // no poke command
        {"SEARCH", "Band", 0, false, false, false, {"search:Band", "raise:"}, false},
        {"SEARCH", "Band", 0, true, false, false, {}, true},
        {"PLAYALL",
         "Band",
         2,
         false,
         false,
         false,
         {"search:Band", "selectall:", "play:", "showplaylist:"},
         false},
        {"PLAYALL", "Band", 0, false, false, false, {"search:Band"}, false},
        {"PLAYALL", "Band", 2, true, false, false, {}, true},
        {"REPEATING", "YES", 0, false, false, true, {"repeat:1"}, false},
        {"REPEATING", "no", 0, false, false, true, {}, false}, // already off
        {"REPEATING", "YES", 0, false, false, false, {}, true},
        {"SHUFFLED", "yes", 0, false, false, true, {"shuffle:1"}, false},
    };
    RemoteHandler& handler = *remote;
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2, %3 entries, busy %4, stop %5, playlist %6")
                         .arg(c.item, c.value)
                         .arg(c.entries)
                         .arg(c.busy)
                         .arg(c.stop)
                         .arg(c.playlist)
                         .toStdString());
        view.entries = c.entries;
        busy = c.busy;
        stopEnabled = c.stop;
        playlistPlays = c.playlist;
        ran.clear();
        const QString item = QLatin1String(c.item), value = QLatin1String(c.value);
        EXPECT_EQ(handler.check(Topic::Player, item, value).isEmpty(), !c.refused);
        // The service stores a poke before it hands it on.
        remote->items().set(Topic::Player, item, value);
        handler.poked(Topic::Player, item, value);
        EXPECT_EQ(ran, c.ran);
    }
    // Other topics take no pokes.
    ran.clear();
    handler.poked(Topic::Streaming, QStringLiteral("COMMAND"), QStringLiteral("stop"));
    EXPECT_TRUE(ran.isEmpty());
}

// The search runs on a worker: what follows it waits until its result is shown.
TEST_F(RemoteIntegrationTest, SearchPokesGoOnOnceTheResultIsShown) {
    const struct {
        const char* item;
        int entries; // shown by the search
        QStringList before, after;
    } cases[] = {
        {"SEARCH", 0, {"search:Band"}, {"search:Band", "raise:"}},
        {"PLAYALL", 0, {"search:Band"}, {"search:Band"}},
        {"PLAYALL", 3, {"search:Band"}, {"search:Band", "selectall:", "play:", "showplaylist:"}},
    };
    RemoteHandler& handler = *remote;
    view.deferSearch = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        ran.clear();
        view.entries = 0; // the list before the search
        const QString item = QLatin1String(c.item), value = QStringLiteral("Band");
        remote->items().set(Topic::Player, item, value);
        handler.poked(Topic::Player, item, value);
        EXPECT_EQ(ran, c.before);
        view.entries = c.entries;
        view.showSearch();
        EXPECT_EQ(ran, c.after);
    }
}

TEST_F(RemoteIntegrationTest, StreamingItemsComeFromTheServerAndTheSettings) {
    const struct {
        bool enabled, limit;
        int max;
        quint16 port;
        StreamMode mode;
        const char *listeners, *vbr;
    } cases[] = {{true, false, 7, 8123, StreamMode::CBR, "unlimited", "CBR"},
                 {true, true, 7, 8124, StreamMode::ABR, "7", "VBR-ABR"},
                 {false, true, 9, 8125, StreamMode::VBR, "unlimited", "VBR"}};
    WStreamingServer& server = core->streamingServer();
    for (const auto& c : cases) {
        core->settings().streaming.enabled = c.enabled;
        core->settings().streaming.limitListeners = c.limit;
        StreamConfig config = server.config();
        config.MaxListeners = c.max;
        config.LimitListeners = c.limit;
        config.Port = c.port;
        config.VBRMethod = c.mode;
        server.Configure(config);
        static_cast<RemoteHandler&>(*remote).refresh(Topic::Streaming);
        const TopicItems& items = remote->items();
        EXPECT_EQ(items.value(Topic::Streaming, QStringLiteral("MAXLISTENERS")),
                  QLatin1String(c.listeners));
        EXPECT_EQ(items.value(Topic::Streaming, QStringLiteral("PORT")), QString::number(c.port));
        EXPECT_EQ(items.value(Topic::Streaming, QStringLiteral("VBRMODE")), QLatin1String(c.vbr));
        EXPECT_EQ(items.value(Topic::Streaming, QStringLiteral("STREAMSTATUS")), "offline");
    }
}

} // namespace
