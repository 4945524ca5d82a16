// Media access's window side on a fake view: the core's media access with loopback web
// media, the real dialogs, no main window.
#include "app_core.h"
#include "collection_loader.h"
#include "index_file.h"
#include "media_access.h"
#include "media_dialogs.h"
#include "media_integration.h"
#include "media_view.h"
#include "settings_store.h"
#include "test_env.h"
#include "test_peers.h"

#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Records what media access shows and answers its questions from a queue (default: OK).
struct FakeMediaView : MediaView {
    struct Question {
        QMessageBox::Icon icon;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    QList<Question> questions;
    QList<QMessageBox::StandardButton> answers;
    QStringList statusTexts;
    // The status bar as the task service drives it.
    QList<std::pair<int, int>> progress; // value, maximum
    QList<bool> visibility;
    QList<QWidget*> statusWidgets;
    QString medium;
    int ejectAsked = 0;
    int closed = 0;

    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override {
        questions.append({icon, text, buttons});
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }
    void setStatusText(const QString& text) override { statusTexts.append(text); }
    void addStatusWidget(QWidget* widget) override { statusWidgets.append(widget); }
    QString selectedMedium() const override { return medium; }
    bool askEject(const QPoint&) override {
        ++ejectAsked;
        return true;
    }
    void closeWindow() override { ++closed; }
};

class MediaOnFakeView : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(www.isValid());
        ASSERT_TRUE(writeFile(www.path() + "/musik/Queen/01 Innuendo.mp3", QByteArray(9000, 'i')));
        ASSERT_TRUE(peer.start("http_server.py", {www.path(), www.path() + "/open.log", "", ""}));
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        const QString url = QStringLiteral("http://127.0.0.1:%1/musik/").arg(peer.port());
        QString error;
        ASSERT_TRUE(
            indexfile::writeIndexFile(catalogue + "/a.cd",
                                      {"BEGIN::CD", "LABEL::Web Offen", "MEDIATYPE::WWW::" + url,
                                       "Web Offen:\\Queen\\", "Web Offen:\\Queen\\01 Innuendo.mp3"},
                                      &error))
            << error.toStdString();
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
        AppCore::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        core = std::make_unique<AppCore>(e);
        QObject::connect(&core->tasks(), &TaskService::barChanged, &core->tasks(),
                         [this, shown = false](const tasks::Bar& bar) mutable {
                             if (bar.visible) view.progress.append({bar.value, bar.maximum});
                             if (bar.visible != shown) view.visibility.append(bar.visible);
                             shown = bar.visible;
                         });
        media = std::make_unique<MediaIntegration>(*core, view, insertMedium, password);
    }
    void TearDown() override {
        media.reset();
        core.reset();
    }

    // Loads the catalogue through the core: the web medium is connected on the way.
    QString loadedWebFolder() {
        QSignalSpy loaded(&core->loader(), &CollectionLoader::loaded);
        core->loader().start(catalogue);
        EXPECT_TRUE(loaded.wait(30000));
        EXPECT_FALSE(core->tasks().isBusy());
        view.progress.clear(); // the load's own
        view.visibility.clear();
        return core->media().locateMedium("Web Offen");
    }

    QString fetch(const QString& path) {
        QSignalSpy done(&core->media(), &MediaAccess::titleFetched);
        const MediaAccess::FetchAnswer answer = core->media().FetchTitleFile(path);
        if (!answer.pending) return answer.localFile;
        EXPECT_TRUE(done.wait(20000));
        return done.isEmpty() ? QString() : done.first().at(1).toString();
    }

    IsolatedEnvironment env;
    QTemporaryDir www;
    PythonPeer peer;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<AppCore> core;
    FakeMediaView view;
    TForm2 insertMedium;
    TForm6 password;
    std::unique_ptr<MediaIntegration> media;
};

TEST_F(MediaOnFakeView, ADownloadShowsItsProgressAndHidesTheBarWhenDone) {
    // The offer label went to the view's status bar, hidden.
    ASSERT_EQ(view.statusWidgets.size(), 1);
    EXPECT_TRUE(view.statusWidgets.first()->isHidden());

    const QString folder = loadedWebFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(view.progress.isEmpty()); // nothing downloads: the end of the load shows nothing
    const QString local =
        fetch(MediaAccess::titleFilePath(folder, "Web Offen:\\Queen\\01 Innuendo.mp3"));
    EXPECT_EQ(readFile(local), QByteArray(9000, 'i'));

    ASSERT_FALSE(view.progress.isEmpty());
    // Started at zero; the announced length replaced the expected size.
    EXPECT_EQ(view.progress.first().first, 0);
    EXPECT_EQ(view.progress.last(), std::make_pair(9000, 9000));
    for (const auto& [value, maximum] : view.progress) {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, maximum);
    }
    // Shown when it started, hidden when the title was there.
    ASSERT_GE(view.visibility.size(), 2);
    EXPECT_TRUE(view.visibility.first());
    EXPECT_FALSE(view.visibility.last());
    EXPECT_TRUE(view.statusTexts.contains("Datei herunterladen..."));
}

TEST_F(MediaOnFakeView, TheCloseRequestAsksTheViewWhileAWebFolderIsInUse) {
    const QString folder = loadedWebFolder();
    ASSERT_FALSE(folder.isEmpty());
    const QString local =
        fetch(MediaAccess::titleFilePath(folder, "Web Offen:\\Queen\\01 Innuendo.mp3"));
    ASSERT_FALSE(local.isEmpty());
    QFile held(local); // as the player holds it
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));

    const struct {
        QMessageBox::StandardButton answer;
        bool closes;
        int connections;
    } cases[] = {{QMessageBox::No, false, 1}, {QMessageBox::Yes, true, 0}};
    for (const auto& c : cases) {
        view.questions.clear();
        view.answers = {c.answer};
        EXPECT_EQ(media->closeRequest(), c.closes);
        ASSERT_EQ(view.questions.size(), 1);
        EXPECT_EQ(view.questions.first().icon, QMessageBox::Question);
        EXPECT_EQ(view.questions.first().buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_TRUE(view.questions.first().text.startsWith("Auf \"Web Offen\" wird noch"));
        EXPECT_EQ(core->media().connections().count(), c.connections);
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(view.closed, 0); // nothing was unmounted: the window need not be closed again
}

TEST_F(MediaOnFakeView, TheTreeMenuOffersEjectOnlyForAMediumInAnEjectableDrive) {
    // No volume service on the test's bus: no medium is in an ejectable drive.
    for (const QString& medium : {QString(), QStringLiteral("Web Offen")}) {
        view.medium = medium;
        media->showTreeMenu(QPoint(10, 10));
        EXPECT_EQ(view.ejectAsked, 0) << medium.toStdString();
    }
}

TEST_F(MediaOnFakeView, GoingAwayLeavesTheCoreWithoutPromptsOrConnector) {
    QPointer<QWidget> offer = view.statusWidgets.value(0);
    ASSERT_TRUE(offer);
    media.reset();
    EXPECT_FALSE(offer); // the offer label went with it
    // A load now connects nothing and asks nobody: the web medium stays unconnected.
    QSignalSpy loaded(&core->loader(), &CollectionLoader::loaded);
    core->loader().start(catalogue);
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_TRUE(view.questions.isEmpty());
    EXPECT_EQ(core->media().connections().count(), 0);
}

} // namespace
