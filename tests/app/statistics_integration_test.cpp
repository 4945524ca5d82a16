// The statistics window in the main window: its commands, a title's properties on a real
// MP3 made by lame (playing and not playing), the streaming button and its menu.
#include "app_core.h"
#include "collection_views.h"
#include "index_file.h"
#include "main_window.h"
#include "player.h"
#include "player_integration.h"
#include "settings_store.h"
#include "statistics_integration.h"
#include "statistics_texts.h"
#include "streaming_integration.h"
#include "test_env.h"
#include "test_support.h"
#include "title_list_model.h"
#include "tree_node.h"
#include "version_info.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

class StatisticsIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        media = env.path(QStringLiteral("media"));
        QDir().mkpath(media);
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(media));
        ASSERT_TRUE(
            playbacktest::writeFile(media + QStringLiteral("/Musik.id"), "MEDIATYPE::HDD\r\n"));
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }
    void TearDown() override {
        for (const char* name :
             {"VORLUNE_AUDIO_OUTPUT", "VORLUNE_VIDEO_OUTPUT", "VORLUNE_MEDIA_ROOTS"})
            qunsetenv(name);
    }

    QString writeMedium(const QString& name, int ms) {
        const QString file =
            playbacktest::makeMp3(media, QStringLiteral("Ordner/") + name + ".mp3", ms);
        EXPECT_FALSE(file.isEmpty()) << "lame is needed";
        const QString line = QStringLiteral("Musik:\\Ordner\\") + name + QStringLiteral(".mp3");
        QString error;
        EXPECT_TRUE(
            indexfile::writeIndexFile(catalogue + QStringLiteral("/Musik.cd"),
                                      {QStringLiteral("BEGIN::HDD"), QStringLiteral("LABEL::Musik"),
                                       QStringLiteral("Musik:\\Ordner\\"), line},
                                      &error));
        return line;
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                messages << text;
                return QMessageBox::Ok;
            });
        bool done = false;
        const auto c = QObject::connect(w.get(), &TForm1::loadFinished, [&done] { done = true; });
        w->show();
        EXPECT_TRUE(waitFor([&] { return done; }));
        QObject::disconnect(c);
        return w;
    }

    static TreeNode* findNode(TreeNode* node, const QString& caption) {
        if (node->text == caption) return node;
        for (int i = 0; i < node->childCount(); ++i)
            if (TreeNode* found = findNode(node->child(i), caption)) return found;
        return nullptr;
    }

    // Selects the title in the list as a click does.
    static void selectTitle(TForm1& w, const QString& line, bool play = false) {
        TreeNode* folder = findNode(w.collection().node(Collection::MediaList), "Ordner");
        ASSERT_NE(folder, nullptr);
        w.views()->selectNode(folder);
        int row = -1;
        for (int r = 0; r < w.views()->itemCount(); ++r)
            if (w.views()->listModel()->lineAt(r) == line) row = r;
        ASSERT_GE(row, 0);
        QAbstractItemView* list = w.views()->list();
        const QRect rect = list->visualRect(w.views()->listModel()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        if (play) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    // Runs a command that shows the window modally; `check` runs while it shows.
    static void runShowing(TForm1& w, const char* command,
                           const std::function<void(TForm4&)>& check) {
        TForm4* f = w.statistics()->Form4();
        bool seen = false;
        auto* poll = new QTimer;
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, [&, poll, f] {
            if (!f->isVisible()) return;
            poll->stop();
            poll->deleteLater();
            seen = true;
            check(*f);
            f->accept();
        });
        poll->start();
        EXPECT_TRUE(w.commandTable().run(QLatin1String(command))) << command;
        EXPECT_TRUE(seen) << command;
        if (!seen) delete poll;
    }

    IsolatedEnvironment env;
    QString media;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
    QStringList messages;
};

TEST_F(StatisticsIntegrationTest, PropertiesOfATitleNotPlayingAndPlaying) {
    const QString line = writeMedium(QStringLiteral("Beatles - Yesterday"), 6000);
    const QString file = media + QStringLiteral("/Ordner/Beatles - Yesterday.mp3");
    auto w = shownAndLoaded();
    EXPECT_FALSE(w->action(QStringLiteral("Eigenschaften2"))->isEnabled());
    selectTitle(*w, line);
    ASSERT_TRUE(w->action(QStringLiteral("Eigenschaften2"))->isEnabled());
    EXPECT_FALSE(w->commandTable().isEnabled(QLatin1String(cmd::PlayingProperties)));

    const QFileInfo info(file);
    const QString exact = QLocale().toString(info.size()) + QStringLiteral(" Byte");
    struct Case {
        bool readOnly;
    };
    for (const Case c : {Case{false}, Case{true}}) {
        QFile::setPermissions(file,
                              c.readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
        runShowing(*w, cmd::Properties, [&](TForm4& f) {
            EXPECT_EQ(f.windowTitle(), QStringLiteral("Eigenschaften von Beatles - Yesterday"));
            EXPECT_EQ(f.pages()->currentIndex(), int(statpages::Properties));
            EXPECT_TRUE(f.pages()->isTabVisible(statpages::Properties));
            // The frame scan and the hidden player measure off the GUI thread.
            ASSERT_TRUE(waitFor([&] { return !f.measuring(); }, 15000));
            EXPECT_EQ(f.propertyField(TForm4::Name)->text(), QStringLiteral("Beatles - Yesterday"));
            EXPECT_TRUE(
                f.propertyField(TForm4::Type)->text().startsWith(QStringLiteral("MP3   (")));
            EXPECT_FALSE(
                f.propertyField(TForm4::Type)->text().contains(QStringLiteral("Unregistriert")));
            EXPECT_EQ(f.propertyField(TForm4::Place)->text(), media + QStringLiteral("/Ordner/"));
            const QString size = f.propertyField(TForm4::Size)->text();
            EXPECT_TRUE(size.contains(exact + QStringLiteral(", 0:00:06, "))) << size.toStdString();
            EXPECT_TRUE(size.endsWith(QStringLiteral(" kbps)"))) << size.toStdString();
            EXPECT_EQ(f.propertyField(TForm4::Changed)->text(),
                      stattexts::dateTimeText(info.lastModified()));
            EXPECT_EQ(f.attributeBox(0)->isChecked(), c.readOnly);
            EXPECT_FALSE(f.attributeBox(1)->isChecked());
            EXPECT_FALSE(f.attributeBox(2)->isChecked());
            EXPECT_TRUE(f.attributeBox(0)->isVisible());
            EXPECT_FALSE(f.attributeBox(0)->isEnabled());
        });
    }
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);

    // Playing: the length is the player's.
    selectTitle(*w, line, true);
    Player& player = w->playback()->player();
    ASSERT_TRUE(waitFor([&] { return player.isTimerActive() && player.titleLength() > 0; }, 10000));
    ASSERT_TRUE(waitFor(
        [&] { return w->commandTable().isEnabled(QLatin1String(cmd::PlayingProperties)); }, 3000));
    const qint64 length = player.titleLength();
    runShowing(*w, cmd::PlayingProperties, [&](TForm4& f) {
        EXPECT_FALSE(f.measuring());
        EXPECT_EQ(f.propertyField(TForm4::Size)->text(),
                  stattexts::sizeText(
                      info.size(),
                      stattexts::lengthExtra(length, stattexts::bitRateOf(info.size(), length))));
    });
    w->commandTable().run(QLatin1String(cmd::Stop));
    EXPECT_TRUE(waitFor(
        [&] { return !w->commandTable().isEnabled(QLatin1String(cmd::PlayingProperties)); }, 3000));
}

TEST_F(StatisticsIntegrationTest, StatisticsInformationConnectionsAndListenerCommands) {
    writeMedium(QStringLiteral("Titel"), 1000);
    auto w = shownAndLoaded();
    runShowing(*w, cmd::Statistics, [&](TForm4& f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Statistik"));
        EXPECT_EQ(f.pages()->currentIndex(), int(statpages::Statistics));
        EXPECT_FALSE(f.pages()->isTabVisible(statpages::Properties));
        EXPECT_FALSE(f.pages()->isTabVisible(statpages::Connections));
        EXPECT_FALSE(f.pages()->isTabVisible(statpages::Listeners));
        EXPECT_EQ(f.statisticsField(0)->text(), QStringLiteral("1 Medien"));
        EXPECT_EQ(f.statisticsField(2)->text(), QStringLiteral("1 Titel"));
        EXPECT_TRUE(f.statisticsField(3)->text().endsWith(QStringLiteral(" Bytes")));
        ASSERT_EQ(f.mediumList()->count(), 2);
        f.mediumList()->setCurrentIndex(1);
        EXPECT_TRUE(f.mediumText()->text().startsWith(QStringLiteral("Laufwerk ") + media + " ("))
            << f.mediumText()->text().toStdString();
        EXPECT_TRUE(f.mediumText()->text().endsWith(QStringLiteral(" MByte)")));
        f.mediumList()->setCurrentIndex(0);
        EXPECT_EQ(f.mediumText()->text(), QStringLiteral("Medium aus der Liste wählen..."));
    });
    runShowing(*w, cmd::About, [&](TForm4& f) {
        EXPECT_EQ(f.pages()->currentIndex(), int(statpages::Information));
    });
    // Without connections and streaming: messages instead of the window.
    w->commandTable().run(QLatin1String(cmd::Connections));
    w->commandTable().run(QLatin1String(cmd::Listeners));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], QStringLiteral("Es bestehen keine Verbindungen zu Netzlaufwerken."));
    EXPECT_TRUE(
        messages[1].startsWith(QStringLiteral("Das Audio-Streaming wurde nicht aktiviert.\n")));

    // The streaming button: "&Einrichten" while streaming is off; the settings entry
    // and "S&treaming..." open the options dialog on its streaming page.
    StatisticsIntegration* s = w->statistics();
    QApplication::processEvents();
    EXPECT_EQ(s->streamingButton()->text(), QStringLiteral("Einric&hten"));
    EXPECT_FALSE(s->listenerCounter()->isVisible());
    EXPECT_FALSE(s->listenersItem()->isEnabled());
    EXPECT_EQ(s->streamingMenu()->defaultAction(), s->settingsItem());
    QStringList pages;
    w->commandTable().add(QLatin1String(cmd::Options),
                          [&pages](const QString& page) { pages << page; });
    EXPECT_TRUE(s->settingsItem()->isEnabled());
    EXPECT_TRUE(w->action(QStringLiteral("Streaming1"))->isEnabled());
    s->streamingButton()->click();
    w->action(QStringLiteral("Streaming1"))->trigger();
    EXPECT_EQ(pages, QStringList({QStringLiteral("4"), QStringLiteral("4")}));

    // Streaming switched on by the options: a refresh of the table is enough.
    w->settings().streaming.enabled = true;
    w->commandTable().refresh();
    ASSERT_TRUE(waitFor(
        [&] { return s->streamingButton()->text() == QStringLiteral("Beoba&chten"); }, 2000));
    EXPECT_TRUE(s->listenerCounter()->isVisible());
    EXPECT_TRUE(s->listenersItem()->isEnabled());
    EXPECT_EQ(s->streamingMenu()->defaultAction(), s->listenersItem());
    // The button now runs "&Zuhörer...": the server is not running, so the message shows.
    s->streamingButton()->click();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[2].startsWith(QStringLiteral("Das Audio-Streaming")));
    // Pressed look.
    const QMargins normal = s->listenerCounter()->contentsMargins();
    QTest::mousePress(s->streamingButton(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(s->listenerCounter()->contentsMargins().left(), normal.left() + 1);
    EXPECT_EQ(s->listenerCounter()->contentsMargins().top(), normal.top() + 1);
    QTest::mouseRelease(s->streamingButton(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(s->listenerCounter()->contentsMargins(), normal);
}

// The statistics on a core without a window: the view records what the window would show.
struct FakeStatisticsView : StatisticsView {
    struct Panel {
        bool enabled = false;
        QString text, toolTip;
    };
    QWidget parent;
    QWidget* statusWidget = nullptr;
    QPushButton panelButton;
    Panel panel;
    QStringList selected;
    QStringList asked;

    QWidget* dialogParent() override { return &parent; }
    void addStatusWidget(QWidget* widget) override { statusWidget = widget; }
    QAbstractButton* panelStreamingButton() override { return &panelButton; }
    void showPanelStreaming(bool enabled, const QString& text, const QString& toolTip) override {
        panel = {enabled, text, toolTip};
    }
    QStringList selectedTitles() const override { return selected; }
    int listedEntries() const override { return int(selected.size()); }
    QMessageBox::StandardButton ask(QMessageBox::Icon, const QString& text,
                                    QMessageBox::StandardButtons) override {
        asked << text;
        return QMessageBox::Ok;
    }
};

struct FakeStreamingStatus : StreamingStatus {
    QString why;
    QString problem() const override { return why; }
};

class StatisticsOnCore : public StatisticsIntegrationTest {
protected:
    void SetUp() override {
        StatisticsIntegrationTest::SetUp();
        AppCore::Environment e;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        core = std::make_unique<AppCore>(e);
        // The window's part of the state: it has been shown.
        core->commands().addStateSource(&stateOwner, [](UiState& s) { s.windowShown = true; });
        stats = std::make_unique<StatisticsIntegration>(
            core->commands(), core->settings(), core->streamingServer(), streaming, core->player(),
            core->media(), core->collectionPtr(), MyVersionInfo::current(), core->tasks(), view);
    }
    void TearDown() override {
        stats.reset();
        core.reset();
        StatisticsIntegrationTest::TearDown();
    }

    QObject stateOwner;
    FakeStatisticsView view;
    FakeStreamingStatus streaming;
    std::unique_ptr<AppCore> core;
    std::unique_ptr<StatisticsIntegration> stats;
};

TEST_F(StatisticsOnCore, StreamingControlsAndButtonsFollowSettingsAndProblem) {
    ASSERT_NE(view.statusWidget, nullptr);
    EXPECT_TRUE(view.statusWidget->isAncestorOf(stats->streamingButton()));
    const struct {
        bool enabled, optionsThere;
        const char* problem;
        bool listeners; // the button watches the stream, else it sets it up
        bool panelEnabled;
        const char* panelText;
        QStringList clicked; // what a click on the panel button runs
    } cases[] = {
        {false, false, "", false, false, "offline", {}},
        {false, true, "", false, true, "offline", {"options:4"}},
        {true, false, "", true, true, "offline", {"ask"}},
        {true, true, "Port belegt", true, true, "offline: Port belegt", {"ask"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.enabled << c.optionsThere << c.problem);
        QStringList ran;
        if (c.optionsThere)
            core->commands().add(QLatin1String(cmd::Options),
                                 [&ran](const QString& page) { ran << "options:" + page; });
        else
            core->commands().remove(QLatin1String(cmd::Options));
        core->settings().streaming.enabled = c.enabled;
        streaming.why = QLatin1String(c.problem);
        stats->updateStreamingControls();
        EXPECT_EQ(stats->streamingButton()->text(),
                  c.listeners ? QStringLiteral("Beoba&chten") : QStringLiteral("Einric&hten"));
        EXPECT_EQ(stats->listenerCounter()->isHidden(), !c.listeners);
        EXPECT_EQ(stats->streamingMenu()->defaultAction(),
                  c.listeners ? stats->listenersItem() : stats->settingsItem());
        EXPECT_EQ(view.panel.enabled, c.panelEnabled);
        EXPECT_EQ(view.panel.text, QLatin1String(c.panelText));
        EXPECT_EQ(view.panel.toolTip, QLatin1String(c.problem));

        view.asked.clear();
        view.panelButton.click();
        for (int i = 0; i < view.asked.size(); ++i)
            ran << "ask";
        EXPECT_EQ(ran, c.clicked);
    }
}

TEST_F(StatisticsOnCore, CommandsOpenTheWindowOrSayWhyNot) {
    const QString line = writeMedium(QStringLiteral("Band - Lied"), 2000);
    const struct {
        const char* command;
        QString argument;
        bool shows;
        int asked;
    } cases[] = {
        {cmd::Statistics, {}, true, 0},        {cmd::About, {}, true, 0},
        {cmd::Connections, {}, false, 1},      {cmd::Listeners, {}, false, 1},
        {cmd::TitleProperties, line, true, 0}, {cmd::TitleProperties, {}, false, 0},
    };
    TForm4* form = stats->Form4();
    ASSERT_EQ(form->parentWidget(), &view.parent);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        view.asked.clear();
        bool seen = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!form->isVisible()) return;
            poll.stop();
            seen = true;
            form->accept();
        });
        poll.start();
        EXPECT_TRUE(core->commands().run(QLatin1String(c.command), c.argument));
        EXPECT_EQ(seen, c.shows);
        EXPECT_EQ(view.asked.size(), c.asked);
    }
}

} // namespace
