// The player's window side on a fake view: the core's player (libmpv without sound
// output) on MP3 files made by lame, no main window.
#include "app_core.h"
#include "collection.h"
#include "commands.h"
#include "music_root_core.h"
#include "playback_widgets.h"
#include "player.h"
#include "player_integration.h"
#include "player_view.h"
#include "test_env.h"
#include "test_support.h"
#include "tree_node.h"
#include "view_build.h"

#include <QAction>
#include <QLabel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// Records what the player shows; the list selection and the shown node are set by the test.
struct FakePlayerView : PlayerView {
    QWidget window_;
    QLabel position;
    QStringList statusTexts;
    PlayerControls shown;
    bool repeat = false;
    bool shuffle = false;
    int controlsShown = 0;
    int timeMode = -1;
    QList<bool> tray;
    const TreeNode* node = nullptr;
    QStringList selection;
    ViewContext context;
    int rebuilt = 0;
    int playlistShown = 0;

    QWidget* window() override { return &window_; }
    QWidget* positionLabel() override { return &position; }
    void setStatusText(const QString& text) override { statusTexts.append(text); }
    void showControls(const PlayerControls& controls, bool r, bool s) override {
        shown = controls;
        repeat = r;
        shuffle = s;
        ++controlsShown;
    }
    void showTimeMode(int mode) override { timeMode = mode; }
    void showTrayDisplay(bool on) override { tray.append(on); }
    const TreeNode* currentNode() const override { return node; }
    QStringList selectedTitles() const override { return selection; }
    int selectedCount() const override { return int(selection.size()); }
    ViewContext& viewContext() override { return context; }
    void rebuildView() override { ++rebuilt; }
    void showPlaylist() override { ++playlistShown; }
};

class PlayerOnFakeView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(music.start(env));
        integration = std::make_unique<PlayerIntegration>(*core, view);
    }
    void TearDown() override {
        integration.reset();
        music.stop();
    }
    QString title(const QString& name, int ms) {
        EXPECT_FALSE(playbacktest::makeMp3(root.path(), "dir/" + name, ms).isEmpty());
        return "Music:\\dir\\" + name;
    }
    bool enabled(const char* command) const {
        return core->commands().isEnabled(QLatin1String(command));
    }

    IsolatedEnvironment env;
    MusicRootCore music;
    QTemporaryDir& root = music.root;
    std::unique_ptr<AppCore>& core = music.core;
    FakePlayerView view;
    std::unique_ptr<PlayerIntegration> integration;
};

TEST_F(PlayerOnFakeView, PlayFollowsTheViewsSelectionAndShownNode) {
    Collection& c = core->collection();
    ASSERT_NE(c.node(Collection::PlaylistNode), nullptr);
    ASSERT_NE(c.node(Collection::ChartsNode), nullptr);
    const struct {
        TreeNode* node;
        QStringList selection;
        bool play;
    } cases[] = {
        {nullptr, {}, false},
        {nullptr, {"Music:\\dir\\a.mp3"}, true},
        {c.node(Collection::MediaList), {"Music:\\dir\\a.mp3", "Music:\\dir\\b.mp3"}, true},
        {c.node(Collection::ChartsNode), {"Music:\\dir\\a.mp3"}, true},
        {c.node(Collection::PlaylistNode), {"Music:\\dir\\a.mp3"}, false},
        {c.node(Collection::PlaylistNode), {}, false},
    };
    for (const auto& k : cases) {
        view.node = k.node;
        view.selection = k.selection;
        integration->syncSelection();
        core->commands().refresh();
        EXPECT_EQ(enabled("play"), k.play)
            << (k.node ? k.node->text.toStdString() : "-") << " " << k.selection.size();
        EXPECT_EQ(view.shown.playEnabled, k.play);
    }
}

TEST_F(PlayerOnFakeView, AnActivatedTitlePlaysAndTheViewFollowsTheTransport) {
    const QString line = title("Lied.mp3", 4000);
    view.selection = {line};
    QSignalSpy streamTitle(integration.get(), &PlayerIntegration::streamTitleChanged);
    integration->titleActivated(line);
    ASSERT_TRUE(waitFor([&] { return core->player().isTimerActive(); }, 8000));
    EXPECT_TRUE(view.shown.pauseEnabled);
    EXPECT_TRUE(view.shown.stopEnabled);
    EXPECT_TRUE(view.shown.seekerEnabled);
    EXPECT_TRUE(enabled("seek"));
    EXPECT_FALSE(view.statusTexts.isEmpty());
    EXPECT_FALSE(streamTitle.isEmpty());
    EXPECT_EQ(view.context.currentLine, line);

    // The released slider seeks through the table; a stop ends it.
    integration->seekTo(2);
    EXPECT_TRUE(waitFor([&] { return view.shown.seekerPos >= 2; }, 4000));
    ASSERT_EQ(core->commands().run(QLatin1String(cmd::Stop), {}, commandcatalogue::Menu).status,
              CommandResult::Ran);
    EXPECT_TRUE(waitFor([&] { return !view.shown.stopEnabled; }, 4000));
    EXPECT_FALSE(enabled("seek"));
    EXPECT_TRUE(integration->streamTitle().endsWith(" [STOP]"))
        << integration->streamTitle().toStdString();
}

TEST_F(PlayerOnFakeView, TimeModeAndTrayDisplayActAsOneInBothMenus) {
    PlaybackWidgets& w = integration->widgets();
    QAction* elapsed = w.item(QStringLiteral("AktuelleZeit1"));
    QAction* remaining = w.item(QStringLiteral("VerbleibendeZeit1"));
    QAction* clockTray = w.item(QStringLiteral("TrayAnzeige1"));
    // From the main menu (through the integration) and from the clock menu.
    integration->setTimeMode(1);
    EXPECT_EQ(core->player().timeMode(), 1);
    EXPECT_EQ(view.timeMode, 1);
    EXPECT_TRUE(remaining->isChecked());
    elapsed->trigger();
    EXPECT_EQ(core->player().timeMode(), 0);
    EXPECT_EQ(view.timeMode, 0);

    for (const bool start : {false, true}) {
        // The main menu's item (through the integration) sets the clock menu's ...
        integration->setTrayDisplay(start);
        EXPECT_EQ(core->player().trayDisplay(), start);
        EXPECT_EQ(clockTray->isChecked(), start);
        EXPECT_EQ(view.tray.last(), start);
        // ... and the clock menu's item the main menu's.
        view.tray.clear();
        clockTray->setChecked(!start);
        EXPECT_EQ(core->player().trayDisplay(), !start);
        ASSERT_FALSE(view.tray.isEmpty());
        EXPECT_EQ(view.tray.last(), !start);
    }
}

TEST_F(PlayerOnFakeView, CommandsAndSettingsGoThroughTheCoreAndTheView) {
    EXPECT_EQ(
        core->commands().run(QLatin1String(cmd::ShowPlaylist), {}, commandcatalogue::Web).status,
        CommandResult::Ran);
    EXPECT_EQ(view.playlistShown, 1);
    for (const int percent : {0, 37, 100}) {
        ASSERT_EQ(core->commands()
                      .run(QLatin1String(cmd::SetVolume), QString::number(percent),
                           commandcatalogue::Mpris)
                      .status,
                  CommandResult::Ran);
        EXPECT_EQ(core->player().device().volume(), percent);
    }

    // The history and the modes go into the settings and come back from them.
    appsettings::Settings in;
    in.chartsMru = {{"Music:\\dir\\a.mp3", "3:20260101"}, {"Music:\\dir\\b.mp3", "1:20260102"}};
    in.main.songsPlayed = 4;
    in.main.timeMode = 1;
    in.main.trayDisplay = true;
    integration->applySettings(in);
    EXPECT_EQ(view.timeMode, 1);
    EXPECT_EQ(core->chartsRecords().value("Music:\\dir\\a.mp3"), "3:20260101");
    EXPECT_EQ(core->chartsRecords().size(), 2);
    EXPECT_EQ(view.context.songsPlayed, 4);
    EXPECT_EQ(view.context.chartValues, QStringList({"3:20260101", "1:20260102"}));
    appsettings::Settings out;
    integration->collectSettings(out);
    EXPECT_EQ(out.chartsMru, in.chartsMru);
    EXPECT_EQ(out.main.songsPlayed, 4);
    EXPECT_EQ(out.main.timeMode, 1);
    EXPECT_TRUE(out.main.trayDisplay);
}

} // namespace
