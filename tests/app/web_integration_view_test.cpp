// The web view's window side on a fake view: the core's command table and player
// (libmpv without sound output), no main window and no web engine.
#include "app_core.h"
#include "browser_commands.h"
#include "collection.h"
#include "commands.h"
#include "music_root_core.h"
#include "player.h"
#include "test_env.h"
#include "test_support.h"
#include "tree_node.h"
#include "web_integration.h"
#include "web_integration_view.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct FakeWebView : WebIntegrationView {
    QWidget panel;
    bool checked = false;
    QString status = QStringLiteral("Geladen.");
    QStringList statusTexts;
    QStringList calls; // "web", "list", "rebuild", "focus"
    QList<std::pair<TreeNode*, bool>> selected;
    const TreeNode* node = nullptr;
    QString key;

    bool webViewChecked() const override { return checked; }
    void setWebViewChecked(bool on) override { checked = on; }
    QString statusText() const override { return status; }
    void setStatusText(const QString& text) override { statusTexts.append(text); }
    QWidget* panelParent() override { return &panel; }
    void setWebPanel(QWidget*) override { calls.append("panel"); }
    void showWebPanel() override { calls.append("web"); }
    void showListPanel() override { calls.append("list"); }
    void rebuildView() override { calls.append("rebuild"); }
    const TreeNode* currentNode() const override { return node; }
    QString viewKey() const override { return key; }
    void selectNode(TreeNode* n, bool expand) override { selected.append({n, expand}); }
    void focusList() override { calls.append("focus"); }
};

struct RecordingTitles : WebTitleActions {
    QList<std::pair<QString, QStringList>> calls;
    void copyTitles(const QStringList& lines) override { calls.append({"copy", lines}); }
    void burn() override { calls.append({"burn", QStringList()}); }
    void rememberTitles(const QStringList& lines) override { calls.append({"remember", lines}); }
};

class WebOnFakeView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(music.start(env));
        // The copy mode as the copy integration would report it.
        core->commands().addStateSource(&stateOwner, [this](UiState& s) { s.copyMode = copyMode; });
        web = std::make_unique<WebIntegration>(*core, view, titles);
    }
    void TearDown() override {
        web.reset();
        music.stop();
    }

    IsolatedEnvironment env;
    MusicRootCore music;
    QTemporaryDir& root = music.root;
    QObject stateOwner;
    int copyMode = 0;
    std::unique_ptr<AppCore>& core = music.core;
    FakeWebView view;
    RecordingTitles titles;
    std::unique_ptr<WebIntegration> web;
};

TEST_F(WebOnFakeView, TitleLinksReachCopyingAndTheMerkzettel) {
    const QString a = "Music:\\dir\\A B.mp3";
    const QString b = "Music:\\dir\\C&D.mp3";
    const QString selection = browsercmd::escapeTitle(a) + "&" + browsercmd::escapeTitle(b);
    const struct {
        const char* word;
        int copyMode;
        const char* action;
        QStringList lines;
    } cases[] = {
        {"COPY", 0, "copy", {a, b}},   {"REMEMBER", 0, "remember", {a, b}}, {"BURN", 0, "burn", {}},
        {"ACTION", 0, "copy", {a, b}}, {"ACTION", 2, "burn", {}},
    };
    for (const auto& c : cases) {
        titles.calls.clear();
        copyMode = c.copyMode;
        web->run({QLatin1String(c.word), selection, false});
        ASSERT_EQ(titles.calls.size(), 1) << c.word;
        EXPECT_EQ(titles.calls.first().first, QLatin1String(c.action)) << c.word;
        EXPECT_EQ(titles.calls.first().second, c.lines) << c.word;
    }
}

TEST_F(WebOnFakeView, ListLinksSelectTheirNodes) {
    Collection& c = core->collection();
    const struct {
        const char* word;
        TreeNode* node;
        bool expand;
        bool listPanel;
    } cases[] = {
        {"ROOTLIST", c.root(), true, false},
        {"MEDIALIST", c.node(Collection::MediaList), true, false},
        {"ALPHALIST", c.node(Collection::AlphaList), true, false},
        {"BRAINLIST", c.node(Collection::MerkzettelNode), false, false},
        {"SHOWBRAINLIST", c.node(Collection::MerkzettelNode), false, true},
    };
    for (const auto& k : cases) {
        ASSERT_NE(k.node, nullptr) << k.word;
        view.selected.clear();
        view.calls.clear();
        web->run({QLatin1String(k.word), QString(), true});
        ASSERT_EQ(view.selected.size(), 1) << k.word;
        EXPECT_EQ(view.selected.first(), std::make_pair(k.node, k.expand)) << k.word;
        EXPECT_EQ(view.calls.contains("list"), k.listPanel) << k.word;
        EXPECT_TRUE(view.calls.contains("focus")) << k.word;
        // The view build runs after a link that asks for it.
        EXPECT_EQ(view.calls.last(), "rebuild") << k.word;
    }
}

TEST_F(WebOnFakeView, SwitchedOffTheListShowsAndAPlayLinkPlays) {
    view.checked = true;
    ASSERT_EQ(core->commands()
                  .run(QLatin1String(cmd::WebView), QStringLiteral("0"), commandcatalogue::Menu)
                  .status,
              CommandResult::Ran);
    EXPECT_FALSE(view.checked);
    EXPECT_EQ(view.calls, QStringList({"list", "rebuild"}));
    EXPECT_EQ(web->browser(), nullptr);
    // Switched off, a view build leaves the panels alone.
    view.calls.clear();
    web->viewBuilt();
    EXPECT_TRUE(view.calls.isEmpty());

    const QString line = "Music:\\dir\\Lied.mp3";
    ASSERT_FALSE(playbacktest::makeMp3(root.path(), "dir/Lied.mp3", 3000).isEmpty());
    web->run({QStringLiteral("PLAY"), browsercmd::escapeTitle(line), false});
    EXPECT_TRUE(waitFor([&] { return core->player().isPlaying(); }, 8000));
    EXPECT_EQ(core->player().currentLine(), line);
}

TEST_F(WebOnFakeView, TheFirstShowingTakesTheCheckMarkFromTheSettingsWithoutADisplay) {
    // The unit tests run offscreen: the engine is not started at the first showing.
    for (const bool wanted : {true, false}) {
        WebIntegration fresh(*core, view, titles);
        core->settings().main.viewStyle =
            appsettings::Details | (wanted ? appsettings::WebViewBit : 0);
        view.checked = !wanted;
        fresh.firstShowing();
        EXPECT_EQ(view.checked, wanted);
        EXPECT_EQ(fresh.browser(), nullptr);
        view.checked = !wanted;
        fresh.firstShowing(); // once only
        EXPECT_EQ(view.checked, !wanted);
    }
}

} // namespace
