#include "app_settings.h"
#include "collection_views.h"
#include "command_panel.h"
#include "control_server.h"
#include "desktop_integration.h"
#include "index_file.h"
#include "main_window.h"
#include "media_access.h"
#include "playback_widgets.h"
#include "player.h"
#include "player_integration.h"
#include "settings_store.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "test_env.h"
#include "test_support.h"
#include "title_list_model.h"
#include "tree_node.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QTreeView>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

const QString kPlaying = QStringLiteral(" wird wiedergegeben...");

// A window over a catalogue with one medium "Musik" whose titles are real MP3 files in
// a media root, played by libmpv without sound or picture.
class PlaybackWindowTest : public ::testing::Test {
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

    // Writes the index file and the MP3 files; returns the title lines.
    QStringList writeMedium(const QList<std::pair<QString, int>>& titles) {
        QStringList lines{QStringLiteral("BEGIN::HDD"), QStringLiteral("LABEL::Musik"),
                          QStringLiteral("Musik:\\Ordner\\")};
        QStringList out;
        for (const auto& [name, ms] : titles) {
            EXPECT_FALSE(playbacktest::makeMp3(media, QStringLiteral("Ordner/") + name + ".mp3", ms)
                             .isEmpty())
                << "lame is needed";
            out.append(QStringLiteral("Musik:\\Ordner\\") + name + QStringLiteral(".mp3"));
        }
        lines += out;
        QString error;
        EXPECT_TRUE(
            indexfile::writeIndexFile(catalogue + QStringLiteral("/Musik.cd"), lines, &error))
            << error.toStdString();
        return out;
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
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

    // Shows the folder "Ordner" of the medium.
    static void showFolder(TForm1& w) {
        TreeNode* folder = findNode(w.collection().node(Collection::MediaList), "Ordner");
        ASSERT_NE(folder, nullptr);
        w.views()->selectNode(folder);
    }

    static int rowOf(TForm1& w, const QString& line) {
        for (int r = 0; r < w.views()->itemCount(); ++r)
            if (w.views()->listModel()->lineAt(r) == line) return r;
        return -1;
    }

    // A click on a list row as the user makes it (selects it, refreshes the commands).
    static void clickRow(TForm1& w, int row, bool twice = false) {
        QAbstractItemView* list = w.views()->list();
        const QRect rect = list->visualRect(w.views()->listModel()->index(row, 0));
        ASSERT_TRUE(rect.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    static QString playing(const QString& name) {
        return QLatin1Char('"') + name + QLatin1Char('"') + kPlaying;
    }
    static bool waitStatus(TForm1& w, const QString& text, int ms = 8000) {
        return waitFor([&] { return w.statusText->text() == text; }, ms);
    }
    static Player& player(TForm1& w) { return w.playback()->player(); }
    static QAction* item(TForm1& w, const char* name) { return w.action(QLatin1String(name)); }

    IsolatedEnvironment env;
    QString media;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
};

TEST_F(PlaybackWindowTest, DoubleClickPlaysPausesAndStopsWithButtonsMenusAndStatus) {
    const QStringList lines = writeMedium(
        {{QStringLiteral("Beatles - Yesterday"), 6000}, {QStringLiteral("Zweiter"), 2000}});
    auto w = shownAndLoaded();
    CommandPanel* c = w->commands;
    // Nothing selected: nothing to play.
    EXPECT_FALSE(c->play->isEnabled());
    EXPECT_FALSE(item(*w, "Play1")->isEnabled());
    EXPECT_FALSE(c->seeker->isEnabled());
    EXPECT_EQ(c->seekpos->text(), QStringLiteral("0:00:00/0:00:00"));
    EXPECT_TRUE(item(*w, "Lautstrke1")->isEnabled());
    EXPECT_TRUE(c->vol_btn->isEnabled());

    showFolder(*w);
    const int row = rowOf(*w, lines[0]);
    ASSERT_GE(row, 0);
    clickRow(*w, row);
    EXPECT_TRUE(c->play->isEnabled());
    EXPECT_TRUE(item(*w, "Play1")->isEnabled());
    EXPECT_TRUE(item(*w, "Wiedergabe3")->isEnabled());
    // Items follow their commands: enabled only where a command is there to act.
    const std::pair<const char*, const char*> bound[] = {{"Eigenschaften2", "properties"},
                                                         {"Merken1", "remember"},
                                                         {"Allesmarkieren1", "selectall"}};
    for (const auto& [name, command] : bound)
        EXPECT_EQ(item(*w, name)->isEnabled(), w->commandTable().isEnabled(QLatin1String(command)))
            << name;
    EXPECT_TRUE(item(*w, "Allesmarkieren1")->isEnabled());

    clickRow(*w, row, true);
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("Beatles - Yesterday"))))
        << w->statusText->text().toStdString();
    EXPECT_TRUE(player(*w).isTimerActive());
    EXPECT_EQ(player(*w).currentLine(), lines[0]);
    EXPECT_EQ(w->playback()->streamTitle(), QStringLiteral("Beatles - Yesterday"));
    // One title: no previous or next, no shuffle; repeat may be switched on.
    EXPECT_TRUE(c->pause->isEnabled());
    EXPECT_TRUE(c->stop->isEnabled());
    EXPECT_TRUE(item(*w, "Pause1")->isEnabled());
    EXPECT_TRUE(item(*w, "Stop1")->isEnabled());
    EXPECT_FALSE(c->prev->isEnabled());
    EXPECT_FALSE(c->next->isEnabled());
    EXPECT_FALSE(item(*w, "NchsterTitel1")->isEnabled());
    EXPECT_TRUE(c->rept->isEnabled());
    EXPECT_TRUE(item(*w, "Wiederholen1")->isEnabled());
    EXPECT_FALSE(c->shuf->isEnabled());
    EXPECT_FALSE(item(*w, "Zufllig1")->isEnabled());
    EXPECT_TRUE(c->seeker->isEnabled());
    EXPECT_EQ(c->seeker->maximum(), 6);
    EXPECT_FALSE(w->ProgressBar1->isVisible());

    // The tick moves the label and the slider.
    // Generous: the sanitizer build may be compiling beside the tests.
    ASSERT_TRUE(waitFor([&] { return c->seeker->value() >= 1; }, 12000));
    EXPECT_TRUE(c->seekpos->text().endsWith(QStringLiteral("/0:00:06")))
        << c->seekpos->text().toStdString();
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("runtime/data.js"))));

    // F8 pauses: menu check, button down, status; again resumes.
    item(*w, "Pause1")->trigger();
    EXPECT_TRUE(item(*w, "Pause1")->isChecked());
    EXPECT_TRUE(c->pause->isChecked());
    EXPECT_FALSE(c->seeker->isEnabled());
    EXPECT_EQ(c->pause->toolTip(), QStringLiteral("Fortsetzen"));
    EXPECT_EQ(w->statusText->text(),
              QStringLiteral("Wiedergabe von \"Beatles - Yesterday\" wurde unterbrochen. "
                             "Pause-Button nochmals klicken, um fortzusetzen."));
    EXPECT_EQ(w->playback()->streamTitle(), QStringLiteral("Beatles - Yesterday [PAUSE]"));
    EXPECT_FALSE(player(*w).isTimerActive());
    c->pause->click();
    EXPECT_FALSE(item(*w, "Pause1")->isChecked());
    EXPECT_TRUE(player(*w).isTimerActive());
    EXPECT_EQ(w->statusText->text(), playing(QStringLiteral("Beatles - Yesterday")));

    // F9 stops.
    item(*w, "Stop1")->trigger();
    EXPECT_EQ(w->statusText->text(),
              QStringLiteral("Wiedergabe von \"Beatles - Yesterday\" wurde gestoppt."));
    EXPECT_FALSE(c->pause->isEnabled());
    EXPECT_FALSE(c->stop->isEnabled());
    EXPECT_FALSE(item(*w, "Stop1")->isEnabled());
    EXPECT_FALSE(c->rept->isEnabled());
    EXPECT_FALSE(c->seeker->isEnabled());
    EXPECT_EQ(c->seekpos->text(), QStringLiteral("0:00:00/0:00:00"));
    EXPECT_TRUE(c->play->isEnabled()); // the selection is still there
    EXPECT_FALSE(player(*w).isTimerActive());
    EXPECT_EQ(w->playback()->streamTitle(), QStringLiteral("Beatles - Yesterday [STOP]"));
}

TEST_F(PlaybackWindowTest, SelectionPlaysInOrderNextMovesOnAndTheListEndStops) {
    const QStringList lines = writeMedium({{QStringLiteral("A eins"), 2500},
                                           {QStringLiteral("B zwei"), 5000},
                                           {QStringLiteral("C drei"), 2000}});
    auto w = shownAndLoaded();
    CommandPanel* c = w->commands;
    showFolder(*w);
    clickRow(*w, 0);
    w->action(QStringLiteral("Allesmarkieren1"))->trigger();
    ASSERT_EQ(w->views()->selectedCount(), 3);
    // "&Play" (F6) with several selected titles plays them all.
    item(*w, "Play1")->trigger();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("A eins"))));
    EXPECT_FALSE(c->prev->isEnabled());
    EXPECT_TRUE(c->next->isEnabled());
    EXPECT_TRUE(c->shuf->isEnabled());
    EXPECT_EQ(w->collection().titleLists.list(TitleLists::Playlist), lines);

    // F7: the second title.
    item(*w, "NchsterTitel1")->trigger();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("B zwei"))));
    EXPECT_TRUE(c->prev->isEnabled());
    EXPECT_TRUE(item(*w, "VorherigerTitel1")->isEnabled());
    EXPECT_TRUE(c->next->isEnabled());
    // F5 goes back, F7 twice reaches the last one.
    c->prev->click();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("A eins"))));
    c->next->click();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("B zwei"))));
    c->next->click();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("C drei"))));
    EXPECT_FALSE(c->next->isEnabled());

    // The end of the last title without repeat stops and empties the playlist.
    ASSERT_TRUE(waitStatus(*w, QStringLiteral("Wiedergabe von \"C drei\" wurde gestoppt."), 10000))
        << w->statusText->text().toStdString();
    EXPECT_FALSE(c->stop->isEnabled());
    EXPECT_TRUE(w->collection().titleLists.list(TitleLists::Playlist).isEmpty());
}

TEST_F(PlaybackWindowTest, PlaylistViewShowsTheCurrentTitleAndDisablesPlay) {
    const QStringList lines =
        writeMedium({{QStringLiteral("Eins"), 6000}, {QStringLiteral("Zwei"), 6000}});
    auto w = shownAndLoaded();
    showFolder(*w);
    clickRow(*w, 0);
    w->action(QStringLiteral("Allesmarkieren1"))->trigger();
    w->commands->play->click();
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("Eins"))));

    // F11: the playlist with the playing title marked; play stays off whatever is selected.
    item(*w, "Wiedergabeliste1")->trigger();
    EXPECT_EQ(w->views()->currentNode(), w->collection().node(Collection::PlaylistNode));
    ASSERT_EQ(w->views()->itemCount(), 2);
    EXPECT_EQ(w->views()->listModel()->firstCurrentRow(), rowOf(*w, lines[0]));
    clickRow(*w, rowOf(*w, lines[1]));
    EXPECT_FALSE(w->commands->play->isEnabled());
    EXPECT_FALSE(item(*w, "Play1")->isEnabled());

    // A double click there jumps to that title; the view follows. The view's own status
    // text may come after the player's, so the player's announcement is what counts.
    QSignalSpy announced(&player(*w), &Player::statusTextChanged);
    clickRow(*w, rowOf(*w, lines[1]), true);
    ASSERT_TRUE(waitFor(
        [&] {
            return std::any_of(announced.cbegin(), announced.cend(), [](const auto& args) {
                return args.at(0).toString() == playing(QStringLiteral("Zwei"));
            });
        },
        8000))
        << w->statusText->text().toStdString();
    EXPECT_EQ(w->views()->listModel()->firstCurrentRow(), rowOf(*w, lines[1]));
    EXPECT_EQ(w->views()->context().currentLine, lines[1]);
    EXPECT_TRUE(w->commands->prev->isEnabled());

    // Stop empties the shown playlist.
    w->commands->stop->click();
    EXPECT_EQ(w->views()->itemCount(), 0);
}

TEST_F(PlaybackWindowTest, PlaysAreCountedIntoTheChartsAndKeptThroughTheSettings) {
    const QStringList lines = writeMedium({{QStringLiteral("Hit"), 4000}});
    const QString today = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    store->writeInteger(appsettings::kMainKey, QStringLiteral("SongsPlayed"), 7);
    store->writeInteger(appsettings::kMainKey, QStringLiteral("TimeMode"), 1);
    {
        auto w = shownAndLoaded();
        // The stored time mode reaches the player and both menus.
        EXPECT_EQ(player(*w).timeMode(), 1);
        EXPECT_TRUE(
            w->playback()->widgets().item(QStringLiteral("VerbleibendeZeit1"))->isChecked());
        showFolder(*w);
        clickRow(*w, 0, true);
        ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("Hit"))));
        ASSERT_TRUE(waitFor([&] { return w->commands->seeker->value() >= 1; }, 12000));
        EXPECT_TRUE(w->commands->seekpos->text().startsWith(QLatin1Char('-')))
            << w->commands->seekpos->text().toStdString();
        EXPECT_EQ(w->collection().titleLists.list(TitleLists::Charts), lines);
        // The charts view counts it.
        w->views()->selectFixedNode(Collection::ChartsNode);
        EXPECT_EQ(w->views()->itemCount(), 1);
        EXPECT_EQ(w->views()->statusText(), QStringLiteral("1 Titel"));
        EXPECT_EQ(w->views()->context().songsPlayed, 8);
        // The clock menu switches the main menu back to the elapsed time.
        w->playback()->widgets().item(QStringLiteral("AktuelleZeit1"))->trigger();
        EXPECT_TRUE(item(*w, "AktuelleZeit1")->isChecked());
        EXPECT_EQ(player(*w).timeMode(), 0);
        w->close();
    }
    EXPECT_EQ(store->readText(appsettings::kChartsMruKey, lines[0]), QStringLiteral("1:") + today);
    EXPECT_EQ(store->readInteger(appsettings::kMainKey, QStringLiteral("SongsPlayed")), 8);
    EXPECT_EQ(store->readInteger(appsettings::kMainKey, QStringLiteral("TimeMode")), 0);

    // The next run starts from the stored history and counts on.
    auto w = shownAndLoaded();
    EXPECT_EQ(player(*w).history().value(lines[0]), QStringLiteral("1:") + today);
    w->views()->selectFixedNode(Collection::ChartsNode);
    ASSERT_EQ(w->views()->itemCount(), 1);
    clickRow(*w, 0, true);
    // The charts view is rebuilt as the title starts, and shows its own status text.
    ASSERT_TRUE(waitFor([&] { return player(*w).isTimerActive(); }, 8000));
    EXPECT_EQ(w->statusText->text(), QStringLiteral("1 Titel"));
    EXPECT_EQ(player(*w).history().value(lines[0]), QStringLiteral("2:") + today);
    EXPECT_EQ(w->chartsRecords.value(lines[0]), QStringLiteral("2:") + today);
    EXPECT_EQ(w->collection().titleLists.list(TitleLists::Charts), lines);
    w->close();
    EXPECT_EQ(store->readText(appsettings::kChartsMruKey, lines[0]), QStringLiteral("2:") + today);
    EXPECT_EQ(store->readInteger(appsettings::kMainKey, QStringLiteral("SongsPlayed")), 9);
}

TEST_F(PlaybackWindowTest, ControlChannelPlayWorksOnlyWhilePlayIsEnabled) {
    writeMedium({{QStringLiteral("Fern"), 4000}});
    auto w = shownAndLoaded();
    ControlServer server(&w->core());
    ASSERT_TRUE(server.listen());
    auto send = [](int code) {
        QFuture<bool> f = QtConcurrent::run([code] { return control::sendMp3Ctrl(code, 3000); });
        while (!f.isFinished())
            QTest::qWait(5);
        return f.result();
    };

    // Nothing selected: the play button is off and the command changes nothing.
    ASSERT_TRUE(send(1));
    QTest::qWait(300);
    EXPECT_FALSE(player(*w).isStarting());
    EXPECT_TRUE(player(*w).currentLine().isEmpty());
    EXPECT_FALSE(player(*w).isTimerActive());

    showFolder(*w);
    clickRow(*w, 0);
    ASSERT_TRUE(w->commands->play->isEnabled());
    ASSERT_TRUE(send(1));
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("Fern"))));
    // 2 pauses, 3 stops.
    ASSERT_TRUE(send(2));
    ASSERT_TRUE(waitFor([&] { return !player(*w).isTimerActive(); }));
    EXPECT_TRUE(item(*w, "Pause1")->isChecked());
    ASSERT_TRUE(send(3));
    ASSERT_TRUE(waitStatus(*w, QStringLiteral("Wiedergabe von \"Fern\" wurde gestoppt.")));
    EXPECT_FALSE(item(*w, "Pause1")->isChecked());
}

TEST_F(PlaybackWindowTest, MediaTakenDownStopsAPlayingTitleAndLeavesAResting) {
    writeMedium({{QStringLiteral("Lang"), 6000}});
    auto w = shownAndLoaded();
    // At rest: the status text stays.
    w->setStatusText(QStringLiteral("Netzlaufwerke werden getrennt..."));
    emit w->mediaAccess()->stopPlayerRequested();
    EXPECT_EQ(w->statusText->text(), QStringLiteral("Netzlaufwerke werden getrennt..."));

    showFolder(*w);
    clickRow(*w, 0, true);
    ASSERT_TRUE(waitStatus(*w, playing(QStringLiteral("Lang"))));
    emit w->mediaAccess()->stopPlayerRequested();
    EXPECT_EQ(w->statusText->text(), QStringLiteral("Wiedergabe von \"Lang\" wurde gestoppt."));
    EXPECT_FALSE(player(*w).isTimerActive());
    EXPECT_EQ(player(*w).device().mode(), MediaDevice::NotReady);
    EXPECT_FALSE(w->commands->stop->isEnabled());
}

} // namespace

namespace {

// How much of an icon drawn at `size` is not transparent, 0..1.
double coverage(const QIcon& icon, int size) {
    const QImage image = icon.pixmap(size, size).toImage();
    if (image.isNull()) return 0;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 0;
    return double(opaque) / (image.width() * image.height());
}

TEST_F(PlaybackWindowTest, TheProgramIconIsOnItsWindowsTrayAndBesideItsDesktopEntry) {
    writeMedium({{QStringLiteral("Icon"), 4000}});
    auto w = shownAndLoaded();
    for (const int size : {16, 32, 64}) {
        SCOPED_TRACE(size);
        EXPECT_GT(coverage(w->windowIcon(), size), 0.3);
        EXPECT_GT(coverage(w->playback()->widgets().trayIcon()->icon(), size), 0.3);
    }

    // Installed into the hicolor theme of the data folder, named by the entry.
    const QString applications = env.path(QStringLiteral("share/applications"));
    const QString icon = env.path(QStringLiteral("share/icons/hicolor/scalable/apps/vorlune.svg"));
    EXPECT_EQ(desktopintegration::iconFilePath(applications), icon);
    ASSERT_TRUE(
        desktopintegration::registerUrlScheme(QStringLiteral("/opt/v/vorlune"), applications));
    QFile resource(desktopintegration::iconResource());
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    const QByteArray svg = resource.readAll();
    EXPECT_EQ(playbacktest::readFile(icon), svg);
    EXPECT_TRUE(playbacktest::readFile(applications + QStringLiteral("/vorlune.desktop"))
                    .contains("\nIcon=vorlune\n"));
    EXPECT_GT(coverage(QIcon(icon), 48), 0.3);
    // A damaged copy is replaced; the entry's removal takes the icon along.
    ASSERT_TRUE(playbacktest::writeFile(icon, "<svg"));
    ASSERT_TRUE(
        desktopintegration::registerUrlScheme(QStringLiteral("/opt/v/vorlune"), applications));
    EXPECT_EQ(playbacktest::readFile(icon), svg);
    EXPECT_TRUE(desktopintegration::unregisterUrlScheme(applications));
    EXPECT_FALSE(QFile::exists(icon));
    EXPECT_FALSE(QFile::exists(applications + QStringLiteral("/vorlune.desktop")));
}

// The window works on the core's player, media access and server; when it goes, the
// core keeps playing and answering control codes, and nothing it left behind is called.
TEST_F(PlaybackWindowTest, TheCoreKeepsItsPlayerWhenTheWindowGoes) {
    const QStringList lines = writeMedium({{QStringLiteral("Lang"), 20000}});
    TForm1::Environment e;
    e.catalogDir = catalogue;
    e.dataDir = env.dataDir();
    e.tempDir = env.path(QStringLiteral("runtime"));
    e.store = store.get();
    AppCore core(e);
    {
        TForm1 w(core);
        w.setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
            return QMessageBox::Ok;
        });
        bool loaded = false;
        QObject::connect(&w, &TForm1::loadFinished, [&loaded] { loaded = true; });
        w.show();
        ASSERT_TRUE(waitFor([&] { return loaded; }));
        EXPECT_EQ(&player(w), &core.player());
        EXPECT_EQ(w.mediaAccess(), &core.media());
        EXPECT_EQ(&w.streaming()->server(), &core.streamingServer());
        showFolder(w);
        clickRow(w, rowOf(w, lines[0]), true);
        ASSERT_TRUE(waitStatus(w, playing(QStringLiteral("Lang"))));
    }
    CommandTable& table = core.commands();
    const std::pair<const char*, bool> left[] = {
        {cmd::Volume, false}, {cmd::ShowPlaylist, false}, {cmd::Pause, true}, {cmd::Stop, true}};
    for (const auto& [name, kept] : left)
        EXPECT_EQ(table.isEnabled(QLatin1String(name)), kept) << name;
    EXPECT_TRUE(core.player().isPlaying());
    core.runCommand(3);
    EXPECT_TRUE(waitFor([&] { return !core.player().isPlaying(); }));

    // A missing medium: the window's dialog is gone, so nobody is asked and the start ends.
    QSignalSpy finished(&core.player(), &Player::startFinished);
    core.player().playTitles({QStringLiteral("Fehlt:\\Ordner\\X.mp3")});
    EXPECT_TRUE(waitFor([&] { return !finished.isEmpty(); }));
    EXPECT_FALSE(core.player().isPlaying());
}

} // namespace
