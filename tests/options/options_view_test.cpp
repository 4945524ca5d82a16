// The options dialog's window side on a fake view: the core's settings and command
// table, the real dialog, no main window. The streaming server and the copy profiles are
// stood in for by recorders of what the dialog asks of them.
#include "app_core.h"
#include "commands.h"
#include "options_dialog.h"
#include "options_integration.h"
#include "options_view.h"
#include "settings_store.h"
#include "test_env.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct FakeOptionsView : OptionsView {
    QWidget window_;
    QList<QMessageBox::StandardButton> answers;
    QStringList questions;
    QString destination = QStringLiteral("/musik/<Interpret>");
    QString playlist = QStringLiteral("/musik/liste.m3u");
    QStringList playlists{QStringLiteral("/musik/liste.m3u")};
    std::optional<quicksearch::SearchOptions> searchOptions;
    int searchHistory = 3;
    QStringList hidden{QStringLiteral("Streaming")};
    QList<std::pair<QString, bool>> panels;
    bool released = false;

    QWidget* window() override { return &window_; }
    QMessageBox::StandardButton ask(QMessageBox::Icon, const QString& text,
                                    QMessageBox::StandardButtons) override {
        questions.append(text);
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }
    QString destinationTemplate() const override { return destination; }
    QString playlistFile() const override { return playlist; }
    QStringList playlistHistory() const override { return playlists; }
    void addPlaylistToHistory(const QString& file) override {
        if (!playlists.contains(file)) playlists.prepend(file);
    }
    void clearPlaylistHistory() override { playlists.clear(); }
    void setSearchOptions(const quicksearch::SearchOptions& options) override {
        searchOptions = options;
    }
    int searchHistoryCount() const override { return searchHistory; }
    void clearSearchHistory() override { searchHistory = 0; }
    QStringList hiddenPanels() const override { return hidden; }
    void setPanelShown(const QString& group, bool shown) override { panels.append({group, shown}); }
    void releaseRegistry() override { released = true; }
    bool registryReleased() const override { return released; }
};

struct RecordingStreaming : OptionsStreamingTarget {
    QList<AudioDevice> list;
    bool running = false;
    bool encoderLoaded = true;
    QList<bool> applied;
    QList<AudioDevice> devices() const override { return list; }
    bool started() const override { return running; }
    bool applyLive(bool startStop) override {
        applied.append(startStop);
        return encoderLoaded;
    }
};

struct RecordingProfiles : OptionsProfiles {
    int changed = 0;
    void profilesChanged() override { ++changed; }
};

class OptionsOnFakeView : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
        AppCore::Environment e;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        core = std::make_unique<AppCore>(e);
        options = std::make_unique<OptionsIntegration>(*core, view, streaming, profiles);
    }
    void TearDown() override {
        if (options) options->dialog()->close();
        options.reset();
        core.reset();
    }

    IsolatedEnvironment env;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<AppCore> core;
    FakeOptionsView view;
    RecordingStreaming streaming;
    RecordingProfiles profiles;
    std::unique_ptr<OptionsIntegration> options;
};

TEST_F(OptionsOnFakeView, TheDialogBelongsToTheViewsWindowAndOpensOnEveryPage) {
    TForm5* dialog = options->dialog();
    EXPECT_EQ(dialog->parentWidget(), &view.window_);
    EXPECT_EQ(options->encoderSearch()->parentWidget(), &view.window_);
    EXPECT_TRUE(core->commands().names().contains(QLatin1String(cmd::Options)));
    for (const int page : {optionspages::Profiles, optionspages::Sounds, optionspages::Search,
                           optionspages::Commands, optionspages::Streaming, optionspages::Misc}) {
        options->open(page);
        EXPECT_TRUE(dialog->isVisible()) << page;
        EXPECT_EQ(dialog->currentPage(), page);
    }
}

TEST_F(OptionsOnFakeView, StreamingIsOfferedOnlyWhenTheServerRunsWithADevice) {
    const AudioDevice device{QStringLiteral("vtest.monitor"), QStringLiteral("Test"), true};
    const struct {
        bool started;
        QList<AudioDevice> devices;
        bool canEnable;
    } cases[] = {
        {false, {}, false}, {true, {}, false}, {false, {device}, false}, {true, {device}, true}};
    for (const auto& c : cases) {
        streaming.running = c.started;
        streaming.list = c.devices;
        EXPECT_EQ(options->streamingCanEnable(), c.canEnable) << c.started << c.devices.size();
        EXPECT_EQ(options->devices().size(), c.devices.size());
    }
    // Applying goes to the server with the start flag and answers whether the encoder loaded.
    for (const bool startStop : {true, false}) {
        streaming.encoderLoaded = !startStop;
        EXPECT_EQ(options->applyStreaming(startStop), !startStop);
        EXPECT_EQ(streaming.applied.last(), startStop);
    }
    // A device list that arrives while the streaming page is open shows at once.
    streaming.running = true;
    streaming.list = {};
    options->open(optionspages::Streaming);
    ASSERT_EQ(options->dialog()->dbStreamDevice->count(), 0);
    streaming.list = {device};
    options->streamingApplied();
    EXPECT_EQ(options->dialog()->dbStreamDevice->count(), 1);
}

TEST_F(OptionsOnFakeView, SearchValuesReachTheQuickSearchField) {
    const optionspages::SearchValues cases[] = {
        {},
        {true, false, true, 120, false, true, 3, false},
        {false, true, false, 5, true, false, 7, true},
    };
    for (const auto& v : cases) {
        view.searchOptions.reset();
        options->applySearchOptions(v);
        ASSERT_TRUE(view.searchOptions);
        const quicksearch::SearchOptions& o = *view.searchOptions;
        EXPECT_EQ(o.nomedia, v.nomedia);
        EXPECT_EQ(o.nopads, v.nopads);
        EXPECT_EQ(o.reslimit, v.reslimit);
        EXPECT_EQ(o.reslimitcnt, v.reslimitcnt);
        EXPECT_EQ(o.minln, v.minln);
        EXPECT_EQ(o.minlncnt, v.minlncnt);
        EXPECT_EQ(o.nosyntax, v.nosyntax);
        EXPECT_EQ(o.noballoon, v.noballoon);
    }
}

TEST_F(OptionsOnFakeView, ClearedHistoriesLeaveTheViewAndTheSettings) {
    appsettings::Settings& s = core->settings();
    s.quickSearchMru = {"Beatles", "Queen"};
    s.playlistMru = {"/musik/liste.m3u"};
    EXPECT_EQ(options->searchHistoryCount(), 3);
    options->clearSearchHistory();
    EXPECT_EQ(options->searchHistoryCount(), 0);
    EXPECT_TRUE(s.quickSearchMru.isEmpty());
    EXPECT_EQ(s.playlistMru.size(), 1); // the other history stays

    options->addPlaylistToHistory("/musik/neu.m3u");
    EXPECT_EQ(options->playlistHistory(), QStringList({"/musik/neu.m3u", "/musik/liste.m3u"}));
    options->clearPlaylistHistory();
    EXPECT_TRUE(options->playlistHistory().isEmpty());
    EXPECT_TRUE(s.playlistMru.isEmpty());
}

TEST_F(OptionsOnFakeView, TheHostAnswersFromTheCoreAndForwardsToTheView) {
    EXPECT_EQ(options->store(), store.get());
    EXPECT_EQ(&options->settings(), &core->settings());
    EXPECT_EQ(options->dataDir(), env.dataDir());
    // No executable in the environment: the running program.
    EXPECT_EQ(options->executable(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(options->destinationTemplate(), view.destination);
    EXPECT_EQ(options->playlistFile(), view.playlist);
    EXPECT_EQ(options->hiddenPanels(), view.hidden);
    options->setPanelShown("Streaming", true);
    ASSERT_EQ(view.panels.size(), 1);
    EXPECT_EQ(view.panels.first(), std::make_pair(QStringLiteral("Streaming"), true));
    view.answers = {QMessageBox::No};
    EXPECT_EQ(options->ask(QMessageBox::Question, "Wirklich?", QMessageBox::Yes | QMessageBox::No),
              QMessageBox::No);
    EXPECT_EQ(view.questions, QStringList{"Wirklich?"});
    options->profilesChanged();
    EXPECT_EQ(profiles.changed, 1);
    EXPECT_FALSE(options->registryReleased());
    options->releaseRegistry();
    EXPECT_TRUE(options->registryReleased());
}

} // namespace
