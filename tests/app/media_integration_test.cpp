#include "commands.h"
#include "event_sounds.h"
#include "index_file.h"
#include "main_window.h"
#include "media_access.h"
#include "media_dialogs.h"
#include "settings_store.h"
#include "test_env.h"
#include "test_peers.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void writeWebMedium(const QString& path, const QString& label, const QString& url) {
    const QStringList lines{QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::") + label,
                            QStringLiteral("MEDIATYPE::WWW::") + url,
                            label + QStringLiteral(":\\Queen\\"),
                            label + QStringLiteral(":\\Queen\\01 Innuendo.mp3")};
    QString error;
    ASSERT_TRUE(indexfile::writeIndexFile(path, lines, &error)) << error.toStdString();
}

class MainWindowMedia : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(www.isValid());
        ASSERT_TRUE(writeFile(www.path() + "/musik/Queen/01 Innuendo.mp3", QByteArray(9000, 'i')));
        ASSERT_TRUE(open.start("http_server.py", {www.path(), www.path() + "/open.log", "", ""}));
        ASSERT_TRUE(locked.start("http_server.py",
                                 {www.path(), www.path() + "/locked.log", "hans", "geheim"}));
        catalogue = env.path(QStringLiteral("katalog"));
        temp = env.path(QStringLiteral("runtime/vorlune-test"));
        QDir().mkpath(catalogue);
        QDir().mkpath(temp);
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }

    QString openUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(open.port());
    }
    QString lockedUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(locked.port());
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = temp;
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook([this](QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) {
            boxes.append({icon, text});
            boxButtons.append(buttons);
            return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
        });
        QSignalSpy loaded(w.get(), &TForm1::loadFinished);
        w->show();
        EXPECT_TRUE(loaded.wait(30000));
        return w;
    }

    // Fetches a title through the window's media access; the local file or empty.
    QString fetch(TForm1& w, const QString& path) {
        QSignalSpy done(w.mediaAccess(), &MediaAccess::titleFetched);
        const MediaAccess::FetchAnswer answer = w.mediaAccess()->FetchTitleFile(path);
        if (!answer.pending) return answer.localFile;
        EXPECT_TRUE(done.wait(20000));
        return done.isEmpty() ? QString() : done.first().at(1).toString();
    }

    IsolatedEnvironment env;
    QTemporaryDir www;
    PythonPeer open, locked;
    QString catalogue, temp;
    std::unique_ptr<SettingsStore> store;
    QList<std::pair<QMessageBox::Icon, QString>> boxes;
    QList<QMessageBox::StandardButtons> boxButtons;
    QList<QMessageBox::StandardButton> answers;
};

TEST_F(MainWindowMedia, LoadingConnectsWebMediaThroughThePasswordPromptOnce) {
    writeWebMedium(catalogue + "/a.cd", "Web Eins", lockedUrl());
    writeWebMedium(catalogue + "/b.cd", "Web Zwei", lockedUrl());
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString dead = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    writeWebMedium(catalogue + "/c.cd", "Tot", dead);

    // The user answers the password prompt when it shows.
    QStringList prompted;
    QTimer answerer;
    TForm1* window = nullptr;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (!window || !window->Form6->isVisible()) return;
        prompted << window->Form6->windowTitle();
        EXPECT_FALSE(window->Form6->user_edit->isHidden());
        window->Form6->user_edit->setText("hans");
        window->Form6->password_edit->setText("geheim");
        window->Form6->ok_btn->click();
    });
    answerer.start(20);
    std::unique_ptr<TForm1> w;
    {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = temp;
        e.store = store.get();
        w = std::make_unique<TForm1>(e);
        window = w.get();
        w->setMessageBoxHook(
            [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons) {
                boxes.append({icon, text});
                return QMessageBox::Ok;
            });
        QSignalSpy loaded(w.get(), &TForm1::loadFinished);
        w->show();
        ASSERT_TRUE(loaded.wait(30000));
    }

    // The dialogs exist from the start, insert-medium dialog before the password prompt.
    ASSERT_TRUE(w->Form2 && w->Form6);
    const QList<QDialog*> dialogs = w->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    EXPECT_LT(dialogs.indexOf(w->Form2), dialogs.indexOf(w->Form6));
    EXPECT_EQ(w->Form2->windowTitle(), "Datenträger einlegen...");

    EXPECT_EQ(prompted, QStringList{"Web Eins"});
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().first, QMessageBox::Warning);
    EXPECT_TRUE(boxes.first().second.startsWith("Fehler beim Verbinden: "));
    EXPECT_TRUE(boxes.first().second.endsWith("\"Tot\" wird nicht verfügbar sein."));
    EXPECT_EQ(w->collection().mediaCount, 3);
    EXPECT_TRUE(w->statusText->text().endsWith(" 1 Netzlaufwerk(e) sind verbunden."))
        << w->statusText->text().toStdString();
    const QString root = w->mediaAccess()->locateMedium("Web Zwei");
    EXPECT_TRUE(root.isEmpty()); // only the first medium of a URL gets the web folder
    const QString webFolder = w->mediaAccess()->locateMedium("Web Eins");
    EXPECT_TRUE(webFolder.startsWith(temp + "/VORLUNEWWW-"));

    // Downloads use the login that succeeded.
    const QString local =
        fetch(*w, MediaAccess::titleFilePath(webFolder, "Web Eins:\\Queen\\01 Innuendo.mp3"));
    EXPECT_EQ(readFile(local), QByteArray(9000, 'i'));

    // A reload keeps the connection and asks nothing again.
    QSignalSpy reloaded(w.get(), &TForm1::loadFinished);
    ASSERT_TRUE(w->commandTable().run(QLatin1String(cmd::Reload)));
    ASSERT_TRUE(reloaded.wait(30000));
    EXPECT_EQ(prompted.size(), 1);
    EXPECT_EQ(boxes.size(), 2); // the dead medium, once for this load
    EXPECT_EQ(w->mediaAccess()->connections().count(), 1);
    EXPECT_TRUE(w->statusText->text().endsWith(" 1 Netzlaufwerk(e) sind verbunden."));

    // Closing with nothing in use asks nothing and takes the web folder away.
    EXPECT_TRUE(w->close());
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(webFolder));
    EXPECT_FALSE(QFileInfo::exists(local));
}

TEST_F(MainWindowMedia, CloseRequestAsksWhileAWebFolderIsInUse) {
    writeWebMedium(catalogue + "/a.cd", "Web Offen", openUrl());
    auto w = shownAndLoaded();
    ASSERT_EQ(w->mediaAccess()->connections().count(), 1);
    const QString webFolder = w->mediaAccess()->locateMedium("Web Offen");
    const QString local =
        fetch(*w, MediaAccess::titleFilePath(webFolder, "Web Offen:\\Queen\\01 Innuendo.mp3"));
    ASSERT_FALSE(local.isEmpty());
    QFile player(local); // as the player holds it
    ASSERT_TRUE(player.open(QIODevice::ReadOnly));

    const QString question = QStringLiteral("Auf \"Web Offen\" wird noch zugegriffen!\n\r"
                                            "Das Programm trotz möglichen Datenverlustes "
                                            "schließen?");
    boxes.clear();
    answers = {QMessageBox::No};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().second, question);
    EXPECT_EQ(boxButtons.last(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(w->statusText->text(), "Netzlaufwerke werden getrennt...");
    // Still open and still connected: the title can be fetched again from the cache.
    EXPECT_TRUE(QFileInfo::exists(local));
    EXPECT_EQ(w->mediaAccess()->connections().count(), 1);
    EXPECT_TRUE(store->valueNames("Software\\Vorlune").isEmpty()); // nothing saved yet

    answers = {QMessageBox::Yes};
    EXPECT_TRUE(w->close());
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes.last().second, question);
    EXPECT_FALSE(QFileInfo::exists(webFolder));
    EXPECT_EQ(w->mediaAccess()->connections().count(), 0);
}

TEST_F(MainWindowMedia, DownloadProgressAndFailureReachTheStatusBar) {
    writeWebMedium(catalogue + "/a.cd", "Web Offen", openUrl());
    auto w = shownAndLoaded();
    const QString webFolder = w->mediaAccess()->locateMedium("Web Offen");
    ASSERT_FALSE(webFolder.isEmpty());

    // 400 kB at about 100 kB/s: texts every half second while the window's loop runs.
    QStringList texts;
    int lastMaximum = 0; // the announced length replaces the expected size
    bool downloadingSeen = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (texts.isEmpty() || texts.last() != w->statusText->text())
            texts << w->statusText->text();
        if (w->ProgressBar1->isVisible()) lastMaximum = w->ProgressBar1->maximum();
        downloadingSeen = downloadingSeen || w->isDownloading();
    });
    watcher.start(20);
    QSignalSpy done(w->mediaAccess(), &MediaAccess::titleFetched);
    EXPECT_TRUE(w->mediaAccess()->FetchTitleFile(webFolder + "/slow.bin").pending);
    EXPECT_TRUE(w->isDownloading());
    EXPECT_TRUE(w->ProgressBar1->isVisible());
    EXPECT_EQ(w->statusText->text(), "Datei herunterladen...");
    ASSERT_TRUE(done.wait(20000));
    watcher.stop();
    EXPECT_TRUE(done.first().at(2).toString().isEmpty())
        << done.first().at(2).toString().toStdString();
    EXPECT_TRUE(downloadingSeen);
    EXPECT_EQ(lastMaximum, 400 * 1024);
    const QRegularExpression running(
        QStringLiteral("^Datei herunterladen\\.\\.\\. \\(noch 0:0\\d bei \\d+[.,]\\d kB/s\\)$"));
    int matching = 0;
    for (const QString& text : texts)
        if (running.match(text).hasMatch()) ++matching;
    EXPECT_GE(matching, 3) << texts.join(" | ").toStdString();
    EXPECT_FALSE(w->isDownloading());
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_TRUE(w->statusText->text().isEmpty());

    // A download cut short says so and is not kept.
    QSignalSpy failed(w->mediaAccess(), &MediaAccess::titleFetched);
    const QString truncated = webFolder + "/truncated.mp3";
    EXPECT_TRUE(w->mediaAccess()->FetchTitleFile(truncated).pending);
    ASSERT_TRUE(failed.wait(20000));
    EXPECT_TRUE(failed.first().at(1).toString().isEmpty());
    EXPECT_TRUE(w->statusText->text().startsWith("Herunterladen fehlgeschlagen: "))
        << w->statusText->text().toStdString();
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_TRUE(w->mediaAccess()->cachedFile(truncated).isEmpty());
}

TEST_F(MainWindowMedia, ClosingWhileTheLoaderWaitsForAConnectionDoesNotHang) {
    writeWebMedium(catalogue + "/a.cd", "Web Gesperrt", lockedUrl());
    TForm1::Environment e;
    e.catalogDir = catalogue;
    e.dataDir = env.dataDir();
    e.tempDir = temp;
    e.store = store.get();
    auto w = std::make_unique<TForm1>(e);
    w->setMessageBoxHook(
        [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons) {
            boxes.append({icon, text});
            return QMessageBox::Yes;
        });
    w->show(); // starts the load
    // The loader now waits for the GUI thread, which runs no event loop meanwhile.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->isLoading(); }, 1000));
    QThread::msleep(300);
    EXPECT_TRUE(w->close()); // waits for the loader: must not hang
    EXPECT_FALSE(w->isLoading());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w->Form6->isVisible());
    EXPECT_EQ(w->mediaAccess()->connections().count(), 0);
    EXPECT_TRUE(readFile(www.path() + "/locked.log").isEmpty());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(MainWindowMedia, ClosingDuringADownloadAsksAndStopsIt) {
    writeWebMedium(catalogue + "/a.cd", "Web Offen", openUrl());
    auto w = shownAndLoaded();
    const QString webFolder = w->mediaAccess()->locateMedium("Web Offen");
    ASSERT_FALSE(webFolder.isEmpty());
    QSignalSpy progress(w->mediaAccess(), &MediaAccess::downloadProgress);
    EXPECT_TRUE(w->mediaAccess()->FetchTitleFile(webFolder + "/slow.bin").pending);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress.size() >= 3; }, 10000));
    ASSERT_TRUE(w->isDownloading());

    // A reload meanwhile leaves the download's progress bar in place.
    QSignalSpy reloaded(w.get(), &TForm1::loadFinished);
    ASSERT_TRUE(w->commandTable().run(QLatin1String(cmd::Reload)));
    ASSERT_TRUE(reloaded.wait(10000));
    ASSERT_TRUE(w->isDownloading());
    EXPECT_TRUE(w->ProgressBar1->isVisible());
    EXPECT_EQ(w->ProgressBar1->maximum(), 400 * 1024);

    answers = {QMessageBox::No};
    EXPECT_FALSE(w->close());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first().second.startsWith("Auf \"Web Offen\" wird noch zugegriffen!"));
    EXPECT_TRUE(w->isVisible());

    answers = {QMessageBox::Yes};
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(w->close());
    EXPECT_LT(clock.elapsed(), 3000); // the download is stopped, not waited for
    EXPECT_FALSE(QFileInfo::exists(webFolder));
    EXPECT_TRUE(w->mediaAccess()->cachedFile(webFolder + "/slow.bin").isEmpty());
}

TEST(MediaEventSounds, ChosenFileOfAnEventOrNothing) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("registry.json"));
    const QString wave = dir.filePath("medium einlegen.wav");
    ASSERT_TRUE(writeFile(wave, "RIFF"));
    store.writeText("AppEvents\\Schemes\\Apps\\Vorlune\\VLWaitForMedia\\.Current", "",
                    "  " + wave + " ");
    store.writeText("AppEvents\\Schemes\\Apps\\Vorlune\\VLPasswordRequest\\.current", "",
                    dir.filePath("fehlt.wav"));
    EXPECT_EQ(EventSounds::soundFile(store, "VLWaitForMedia"), wave);
    EXPECT_TRUE(EventSounds::soundFile(store, "VLPasswordRequest").isEmpty());
    EXPECT_TRUE(EventSounds::soundFile(store, "VLInsufficientSpace").isEmpty());
    EventSounds sounds(&store);
    EXPECT_FALSE(sounds.play("VLPasswordRequest"));
    EXPECT_FALSE(sounds.play("VLFinishedCopying"));
}

} // namespace
