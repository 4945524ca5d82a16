#include "app_core.h"
#include "app_settings.h"
#include "command_panel.h"
#include "main_window.h"
#include "player.h"
#include "player_integration.h"
#include "pulse_capture.h"
#include "pulse_server.h"
#include "settings_store.h"
#include "statistics_integration.h"
#include "statistics_window.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "test_env.h"
#include "test_support.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using appsettings::kStreamingKey;

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0)) return 0;
    return probe.serverPort();
}

bool portFree(quint16 port) {
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, port);
}

// Seconds of a 440 Hz tone as MP3, made by Debian's lame; false when that fails.
bool makeMp3(const QString& path, int seconds) {
    QByteArray pcm(seconds * 44100 * 4, Qt::Uninitialized);
    auto* s = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < seconds * 44100; ++i)
        s[2 * i] = s[2 * i + 1] = qint16(8000 * std::sin(2 * M_PI * 440 * i / 44100.0));
    QProcess lame;
    lame.start(QStringLiteral("lame"),
               {QStringLiteral("--quiet"), QStringLiteral("-r"), QStringLiteral("-s"),
                QStringLiteral("44.1"), QStringLiteral("--bitwidth"), QStringLiteral("16"),
                QStringLiteral("--signed"), QStringLiteral("--little-endian"), QStringLiteral("-"),
                path});
    if (!lame.waitForStarted(5000)) return false;
    lame.write(pcm);
    lame.closeWriteChannel();
    return lame.waitForFinished(30000) && lame.exitCode() == 0 && QFile::exists(path);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A main window on an empty catalogue with its own settings store.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }

    std::unique_ptr<TForm1> makeWindow() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
            return QMessageBox::Ok;
        });
        return w;
    }

    // Shown, and the streaming settings checked against the devices.
    std::unique_ptr<TForm1> shownAndChecked() {
        auto w = makeWindow();
        w->show();
        EXPECT_TRUE(waitFor([&] { return w->streaming()->started(); }, 10000));
        return w;
    }

    IsolatedEnvironment env;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
};

// The same with a private sound server whose null sink's monitor is the recording device.
class StreamingWindow : public WindowFixture {
protected:
    static void SetUpTestSuite() {
        pulse = new PulseServer;
        if (!pulse->start()) {
            skipReason = pulse->why();
            return;
        }
        const QList<AudioDevice> devices = PulseCapture::listDevices();
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].name == QLatin1String("vtest.monitor")) monitorIndex = i;
        if (monitorIndex < 0) skipReason = QStringLiteral("the null sink has no monitor source");
    }
    static void TearDownTestSuite() {
        delete pulse;
        pulse = nullptr;
    }
    void SetUp() override {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << "PulseAudio cannot start: " << skipReason.toStdString();
        WindowFixture::SetUp();
        port = freePort();
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        for (const char* name :
             {"VORLUNE_MEDIA_ROOTS", "VORLUNE_AUDIO_OUTPUT", "VORLUNE_VIDEO_OUTPUT"})
            qunsetenv(name);
    }

    // Streaming on, from the null sink's monitor, 128 kbps CBR, logging to the default file.
    void enableStreaming() {
        store->writeBool(kStreamingKey, QStringLiteral("Enabled"), true);
        store->writeText(kStreamingKey, QStringLiteral("Encoder"), QStringLiteral(LAME_LIBRARY));
        store->writeText(kStreamingKey, QStringLiteral("StationID"), QStringLiteral("Radio Test"));
        store->writeBool(kStreamingKey, QStringLiteral("Logging"), true);
        store->writeInteger(kStreamingKey, QStringLiteral("StreamPort"), port);
        store->writeInteger(kStreamingKey, QStringLiteral("Device"), monitorIndex);
        store->writeText(kStreamingKey, QStringLiteral("DeviceName"),
                         QStringLiteral("vtest.monitor"));
        store->writeInteger(kStreamingKey, QStringLiteral("VBRMethod"), 0);
    }
    QString logPath() const { return env.dataDir() + QStringLiteral("/vorlune.streaming.log"); }

    static PulseServer* pulse;
    static QString skipReason;
    static int monitorIndex;
    quint16 port = 0;
};
PulseServer* StreamingWindow::pulse = nullptr;
QString StreamingWindow::skipReason;
int StreamingWindow::monitorIndex = -1;

class StreamingOff : public WindowFixture {};

} // namespace

TEST_F(StreamingWindow, ServesTheCaptureWithThePlayersTitlesUntilTheWindowCloses) {
    // A title on a medium in a plain folder, played by libmpv without sound.
    const QString media = env.path(QStringLiteral("media"));
    QDir().mkpath(media + QStringLiteral("/Ordner"));
    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(media));
    qputenv("VORLUNE_AUDIO_OUTPUT", "null");
    qputenv("VORLUNE_VIDEO_OUTPUT", "null");
    QFile id(media + QStringLiteral("/Musik.id"));
    ASSERT_TRUE(id.open(QIODevice::WriteOnly) && id.write("MEDIATYPE::HDD\r\n") > 0);
    id.close();
    if (!makeMp3(media + QStringLiteral("/Ordner/Künstler - Lied.mp3"), 30))
        GTEST_SKIP() << "lame cannot make the test title";
    const QString line = QStringLiteral("Musik:\\Ordner\\Künstler - Lied.mp3");

    enableStreaming();
    auto w = shownAndChecked();
    WStreamingServer& server = w->streaming()->server();
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.listeningPort(), port);
    EXPECT_EQ(server.serverSoftware(),
              QStringLiteral("Vorlune, Version ") + MyVersionInfo::current().VersionString);

    TestListener listener(port, icyRequest("User-Agent: Testhörer\r\nIcy-MetaData: 1\r\n"));
    ASSERT_TRUE(listener.waitHeader());
    EXPECT_EQ(listener.checker.statusLine(), "ICY 200 OK");
    EXPECT_EQ(listener.checker.headerValue("Server"), w->userAgent().toUtf8());
    EXPECT_EQ(listener.checker.headerValue("icy-name"), "Radio Test");
    EXPECT_EQ(listener.checker.headerValue("icy-br"), "128");
    EXPECT_EQ(listener.checker.metaInterval(), WStreamingServer::MetaInterval);

    // The player's titles reach the metadata, each change once.
    ASSERT_TRUE(listener.waitMetaBlocks(1));
    Player& player = w->playback()->player();
    player.playTitles({line});
    ASSERT_TRUE(waitFor([&] { return listener.checker.metadataTexts().size() == 1; }, 15000))
        << player.statusText().toStdString();
    player.pauseClick();
    ASSERT_TRUE(waitFor([&] { return listener.checker.metadataTexts().size() == 2; }, 15000));
    ASSERT_TRUE(listener.waitMetaBlocks(listener.checker.metaBlocks() + 2));
    const QStringList texts = listener.checker.metadataTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(
        texts[0].startsWith(QStringLiteral("StreamTitle='Künstler - Lied';StreamUrl='http://")))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("StreamTitle='Künstler - Lied [PAUSE]';")))
        << texts[1].toStdString();
    EXPECT_FALSE(listener.checker.corrupt()) << listener.checker.error().toStdString();
    EXPECT_GT(listener.checker.frames(), 40);
    EXPECT_EQ(listener.checker.sampleRate(), 44100);

    // The close request stops the server, closing shuts it down: the listener is let go
    // and the port is free again.
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(server.isActive());
    EXPECT_EQ(server.ClientCount(), 0);
    EXPECT_TRUE(waitFor([&] { return listener.closed; }));
    EXPECT_TRUE(portFree(port));

    const QByteArray log = readAll(logPath());
    EXPECT_TRUE(log.contains("Server Software is \"" + w->userAgent().toUtf8() + "\"."));
    EXPECT_TRUE(log.contains("INFO: User agent is \"Testhörer\"."));
    EXPECT_TRUE(log.contains("DISCONNECT: Client disconnected, 0 user(s) listening."));
    EXPECT_TRUE(log.trimmed().endsWith("=== SESSION STOP " + QByteArray(61, '=')));
    // Stopping at closing is no change of the setting.
    EXPECT_EQ(store->readBool(kStreamingKey, QStringLiteral("Enabled")), true);
}

TEST_F(StreamingWindow, SettingsThatDoNotFitTheSystemSwitchStreamingOff) {
    // An encoder file that is gone.
    enableStreaming();
    store->writeText(kStreamingKey, QStringLiteral("Encoder"),
                     env.path(QStringLiteral("gone/libmp3lame.so.0")));
    {
        auto w = shownAndChecked();
        EXPECT_TRUE(w->streaming()->check().encoderMissing);
        EXPECT_FALSE(w->streaming()->server().isActive());
        EXPECT_TRUE(portFree(port));
        w->close();
    }
    EXPECT_EQ(store->readBool(kStreamingKey, QStringLiteral("Enabled")), false);
    EXPECT_EQ(store->readText(kStreamingKey, QStringLiteral("DeviceName")),
              QStringLiteral("vtest.monitor"));

    // A device that is no longer at its index: the first device is chosen instead.
    enableStreaming();
    store->writeText(kStreamingKey, QStringLiteral("DeviceName"), QStringLiteral("usb.mic"));
    {
        auto w = shownAndChecked();
        EXPECT_TRUE(w->streaming()->check().deviceNotFound);
        EXPECT_FALSE(w->streaming()->server().isActive());
        ASSERT_FALSE(w->streaming()->devices().isEmpty());
        w->close();
        EXPECT_EQ(store->readInteger(kStreamingKey, QStringLiteral("Device")), 0);
        EXPECT_EQ(store->readText(kStreamingKey, QStringLiteral("DeviceName")),
                  w->streaming()->devices().first().name);
    }
    EXPECT_EQ(store->readBool(kStreamingKey, QStringLiteral("Enabled")), false);
    EXPECT_FALSE(QFile::exists(logPath()));
}

TEST_F(StreamingWindow, ClosedBeforeTheDeviceListArrivesNeverStarts) {
    enableStreaming();
    auto w = makeWindow();
    w->show();
    EXPECT_TRUE(w->close());
    QTest::qWait(500);
    EXPECT_FALSE(w->streaming()->started());
    EXPECT_FALSE(w->streaming()->server().isActive());
    EXPECT_TRUE(portFree(port));
    // The stored setting is untouched by the unfinished check.
    EXPECT_EQ(store->readBool(kStreamingKey, QStringLiteral("Enabled")), true);
}

// Without a sound server and without a "Streaming" key nothing listens.
TEST_F(StreamingOff, WithoutSettingsOrSoundServer) {
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(env.path(QStringLiteral("no-pulse"))));
    auto w = shownAndChecked();
    qunsetenv("PULSE_SERVER");
    EXPECT_TRUE(w->streaming()->devices().isEmpty());
    EXPECT_FALSE(w->streaming()->check().canEnable);
    EXPECT_FALSE(w->settings().streaming.enabled);
    EXPECT_FALSE(w->streaming()->server().isActive());
    EXPECT_EQ(w->streaming()->server().listeningPort(), 0);
    w->close();
    EXPECT_FALSE(QFile::exists(env.dataDir() + QStringLiteral("/vorlune.streaming.log")));
}

TEST(StreamingRelaySettings, ReadFromTheRelayKeyWithDefaults) {
    IsolatedEnvironment env;
    SettingsStore store(env.path(QStringLiteral("config/registry.json")));
    const QString key = kStreamingKey + QStringLiteral("\\Relay");
    RelaySettings r = StreamingIntegration::readRelaySettings(store);
    EXPECT_FALSE(r.Enabled);
    EXPECT_EQ(r.User, "source");
    EXPECT_EQ(r.Port, 8000);
    store.writeBool(key, QStringLiteral("Enabled"), true);
    store.writeText(key, QStringLiteral("Host"), QStringLiteral("radio.example"));
    store.writeInteger(key, QStringLiteral("Port"), 8443);
    store.writeText(key, QStringLiteral("Mount"), QStringLiteral("live"));
    store.writeText(key, QStringLiteral("User"), QString());
    store.writeText(key, QStringLiteral("Password"), QStringLiteral("geheim"));
    store.writeBool(key, QStringLiteral("TLS"), true);
    r = StreamingIntegration::readRelaySettings(store);
    EXPECT_TRUE(r.Enabled);
    EXPECT_EQ(r.Host, "radio.example");
    EXPECT_EQ(r.Port, 8443);
    EXPECT_EQ(r.Mount, "/live"); // a mount always begins with a slash
    EXPECT_EQ(r.User, "source"); // an empty user is the default one
    EXPECT_EQ(r.Password, "geheim");
    EXPECT_TRUE(r.TLS);
    store.writeInteger(key, QStringLiteral("Port"), 70000);
    EXPECT_FALSE(StreamingIntegration::readRelaySettings(store).Enabled);
}

// The command panel's "Streaming" group follows the server like the status bar button, and
// a port another program holds is shown there, in the status bar and in the log.
TEST_F(StreamingWindow, CommandPanelFollowsTheServerAndNamesAPortInUse) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, port));
    enableStreaming();
    auto w = shownAndChecked();
    WStreamingServer& server = w->streaming()->server();
    EXPECT_FALSE(server.isActive());
    CommandPanel* panel = w->commands;
    QToolButton* statusButton = w->statistics()->streamingButton();
    EXPECT_NE(panel->strm_btn->objectName(), statusButton->objectName());
    EXPECT_EQ(w->findChildren<QAbstractButton*>(statusButton->objectName()).size(), 1);
    const QString portText = QStringLiteral("Port %1").arg(port);
    ASSERT_TRUE(waitFor([&] { return panel->strm_status->text().contains(portText); }));
    EXPECT_TRUE(w->statusBar()->currentMessage().contains(portText))
        << w->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(readAll(logPath()).contains(portText.toUtf8()));
    EXPECT_TRUE(panel->strm_btn->isEnabled());

    // The port comes free: applied again, the server runs and the panel counts listeners.
    other.close();
    w->streaming()->applyLive(true);
    ASSERT_TRUE(server.isActive());
    ASSERT_TRUE(waitFor([&] { return panel->strm_status->text().startsWith("online"); }));
    TestListener a(port, icyRequest(""));
    TestListener b(port, icyRequest(""));
    ASSERT_TRUE(a.waitHeader());
    ASSERT_TRUE(b.waitHeader());
    ASSERT_TRUE(waitFor([&] { return panel->strm_status->text().contains(" 2 "); }))
        << panel->strm_status->text().toStdString();
    EXPECT_TRUE(panel->strm_btn->isEnabled());

    // The panel's button opens the listener page as the status bar's does.
    bool opened = false;
    QTimer::singleShot(200, [&] {
        TForm4* form = w->statistics()->Form4();
        opened = form->isVisible() && form->pages()->currentIndex() == int(statpages::Listeners);
        form->reject();
    });
    panel->strm_btn->click();
    EXPECT_TRUE(opened);

    // Streaming off: offline, and the button leads to the settings.
    w->settings().streaming.enabled = false;
    w->streaming()->applyLive(true);
    ASSERT_TRUE(waitFor([&] { return panel->strm_status->text() == QStringLiteral("offline"); }));
    EXPECT_TRUE(panel->strm_btn->isEnabled());
}

namespace {

// The stream on a core without a window: the view only collects the status messages.
struct FakeStreamingView : StreamingView {
    QStringList messages;
    void showStatusMessage(const QString& text) override { messages << text; }
};

class StreamingOnCore : public StreamingWindow {};

} // namespace

TEST_F(StreamingOnCore, StartsAsTheSettingsSayAndTellsWhyNot) {
    qputenv("VORLUNE_AUDIO_OUTPUT", "null");
    qputenv("VORLUNE_VIDEO_OUTPUT", "null");
    const struct {
        const char* name;
        bool encoderThere, portTaken;
        bool active, encoderMissing, problem, stillEnabled;
    } cases[] = {
        {"fits", true, false, true, false, false, true},
        {"encoder gone", false, false, false, true, false, false},
        {"port taken", true, true, false, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppCore::Environment e;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        AppCore core(e);
        appsettings::StreamingSettings& s = core.settings().streaming;
        s.enabled = true;
        s.encoder = c.encoderThere ? QStringLiteral(LAME_LIBRARY)
                                   : env.path(QStringLiteral("gone/libmp3lame.so.0"));
        s.stationId = QStringLiteral("Radio Test");
        s.streamPort = port;
        s.device = monitorIndex;
        s.deviceName = QStringLiteral("vtest.monitor");
        s.vbrMethod = 0;
        QTcpServer blocker;
        if (c.portTaken) {
            ASSERT_TRUE(blocker.listen(QHostAddress::Any, port));
        }

        FakeStreamingView view;
        StreamingIntegration streaming(core.streamingServer(), core.settings(), store.get(),
                                       core.tasks(), view);
        QSignalSpy applied(&streaming, &StreamingIntegration::applied);
        streaming.start();
        ASSERT_TRUE(waitFor([&] { return streaming.started(); }, 10000));
        ASSERT_EQ(applied.size(), 1);
        EXPECT_EQ(applied.first().first().toBool(), c.active);
        EXPECT_EQ(core.streamingServer().isActive(), c.active);
        EXPECT_EQ(streaming.check().encoderMissing, c.encoderMissing);
        EXPECT_EQ(s.enabled, c.stillEnabled);
        EXPECT_EQ(streaming.problem().isEmpty(), !c.problem);
        // The reason is shown as well.
        EXPECT_EQ(view.messages.contains(streaming.problem()), c.problem);

        // Switched off live: the server stops, and nothing is left to explain.
        s.enabled = false;
        streaming.applyLive(true);
        EXPECT_FALSE(core.streamingServer().isActive());
        EXPECT_TRUE(streaming.problem().isEmpty());
        EXPECT_EQ(applied.size(), 2);
        streaming.shutdown();
        EXPECT_TRUE(portFree(port) || c.portTaken);
    }
}

TEST_F(StreamingOnCore, TheDeviceListIsALookupOfTheCoresTaskService) {
    const struct {
        const char* name;
        bool soundServer;
        bool integrationStays; // else it goes before the list arrives
    } cases[] = {
        {"sound server", true, true},
        {"no sound server", false, true},
        {"gone before the answer", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool hadPulse = qEnvironmentVariableIsSet("PULSE_SERVER");
        const QByteArray oldPulse = qgetenv("PULSE_SERVER");
        if (!c.soundServer)
            qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(env.path("no-pulse")));
        AppCore::Environment e;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        AppCore core(e);
        QList<tasks::Kind> kinds;
        QList<tasks::Id> over;
        bool barShown = false;
        QObject::connect(&core.tasks(), &TaskService::started, &core.tasks(),
                         [&kinds](tasks::Id, tasks::Kind kind) { kinds << kind; });
        QObject::connect(&core.tasks(), &TaskService::finished, &core.tasks(),
                         [&over](tasks::Id id) { over << id; });
        QObject::connect(&core.tasks(), &TaskService::barChanged, &core.tasks(),
                         [&barShown](const tasks::Bar& b) { barShown = barShown || b.visible; });

        FakeStreamingView view;
        auto streaming = std::make_unique<StreamingIntegration>(
            core.streamingServer(), core.settings(), store.get(), core.tasks(), view);
        streaming->start();
        EXPECT_FALSE(streaming->started()); // the answer comes through the event loop
        EXPECT_EQ(kinds, QList<tasks::Kind>{tasks::Kind::Lookup});
        if (c.integrationStays) {
            ASSERT_TRUE(waitFor([&] { return streaming->started(); }, 10000));
            bool monitor = false;
            for (const AudioDevice& d : streaming->devices())
                monitor = monitor || d.name == QLatin1String("vtest.monitor");
            EXPECT_EQ(monitor, c.soundServer);
        } else {
            streaming.reset();
        }
        ASSERT_TRUE(waitFor([&] { return over.size() == 1; }, 10000));
        EXPECT_EQ(core.tasks().count(), 0);
        EXPECT_FALSE(barShown);
        if (streaming) streaming->shutdown();
        if (hadPulse)
            qputenv("PULSE_SERVER", oldPulse);
        else
            qunsetenv("PULSE_SERVER");
    }
}
