#include "collection_views.h"
#include "commands.h"
#include "index_file.h"
#include "main_window.h"
#include "player.h"
#include "player_integration.h"
#include "quick_search.h"
#include "remote_integration.h"
#include "settings_store.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "test_env.h"
#include "test_support.h"

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kService = QStringLiteral("org.vorlune.vorlune");
const QString kInterface = QStringLiteral("org.vorlune.vorlune.Topic");

// A client of its own on the session bus, so that every call really crosses the daemon.
// Calls are asynchronous: the service answers from this thread's event loop.
class BusClient : public QObject {
    Q_OBJECT
public:
    BusClient()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("remote-test-client"))) {
        bus_.connect(kService, QStringLiteral("/PLAYER"), kInterface, QStringLiteral("Changed"),
                     this, SLOT(onChanged(QString, QString)));
        const QString mpris = QStringLiteral("org.mpris.MediaPlayer2.vorlune");
        const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
        bus_.connect(mpris, path, QStringLiteral("org.mpris.MediaPlayer2.Player"),
                     QStringLiteral("Seeked"), this, SLOT(onSeeked(qlonglong)));
        bus_.connect(mpris, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                     QStringLiteral("PropertiesChanged"), this,
                     SLOT(onProperties(QString, QVariantMap, QStringList)));
    }
    ~BusClient() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("remote-test-client"));
    }

    QDBusMessage call(const QString& topic, const QString& method, const QVariantList& args) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(kService, QLatin1Char('/') + topic, kInterface, method);
        m.setArguments(args);
        QDBusPendingCall pending = bus_.asyncCall(m);
        EXPECT_TRUE(waitFor([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    // The reply text, or the error name in angle brackets.
    QString request(const QString& topic, const QString& item) {
        const QDBusMessage r = call(topic, QStringLiteral("Request"), {item});
        return r.type() == QDBusMessage::ReplyMessage ? r.arguments().value(0).toString()
                                                      : QLatin1Char('<') + r.errorName() + '>';
    }
    QString poke(const QString& item, const QString& value) {
        const QDBusMessage r =
            call(QStringLiteral("PLAYER"), QStringLiteral("Poke"), {item, value});
        return r.type() == QDBusMessage::ReplyMessage ? QString() : r.errorName();
    }
    // PokeChecked's reason (empty: taken), or the error name in angle brackets.
    QString pokeChecked(const QString& item, const QString& value) {
        const QDBusMessage r =
            call(QStringLiteral("PLAYER"), QStringLiteral("PokeChecked"), {item, value});
        return r.type() == QDBusMessage::ReplyMessage ? r.arguments().value(0).toString()
                                                      : QLatin1Char('<') + r.errorName() + '>';
    }

    QStringList changed;                     // "ITEM=value" of Changed
    QList<qlonglong> seeked;                 // Seeked positions
    QStringList properties;                  // "Name=value" of PropertiesChanged
    QList<QPair<QString, QString>> metadata; // (track id, title) of announced Metadata

private slots:
    void onChanged(const QString& item, const QString& value) { changed << item + '=' + value; }
    void onSeeked(qlonglong position) { seeked << position; }
    void onProperties(const QString&, const QVariantMap& values, const QStringList&) {
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            properties << it.key() + '=' + it.value().toString();
            if (it.key() != QLatin1String("Metadata")) continue;
            const auto m = qdbus_cast<QVariantMap>(it.value().value<QDBusArgument>());
            metadata << qMakePair(qdbus_cast<QDBusObjectPath>(m.value("mpris:trackid")).path(),
                                  m.value("xesam:title").toString());
        }
    }

private:
    QDBusConnection bus_;
};

// `playerctl -p vorlune <args>`, run without blocking the event loop the service needs.
QString playerctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("playerctl"),
            QStringList{QStringLiteral("-p"), QStringLiteral("vorlune")} + args);
    EXPECT_TRUE(waitFor([&] { return p.state() == QProcess::NotRunning; }, 10000))
        << args.join(' ').toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class RemoteWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VORLUNE_AUDIO_OUTPUT", "null");
        qputenv("VORLUNE_VIDEO_OUTPUT", "null");
        media = env.path(QStringLiteral("media"));
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(media);
        QDir().mkpath(catalogue);
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(media));
        ASSERT_TRUE(playbacktest::writeFile(media + "/Musik.id", "MEDIATYPE::HDD\r\n"));
        QStringList lines{QStringLiteral("BEGIN::HDD"), QStringLiteral("LABEL::Musik"),
                          QStringLiteral("Musik:\\Ordner\\")};
        for (const char* name : {"Band - Song", "Intro"}) {
            ASSERT_FALSE(
                playbacktest::makeMp3(media, QStringLiteral("Ordner/%1.mp3").arg(name), 8000)
                    .isEmpty());
            lines << QStringLiteral("Musik:\\Ordner\\%1.mp3").arg(name);
        }
        ASSERT_TRUE(indexfile::writeIndexFile(catalogue + "/Musik.cd", lines, nullptr));
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));

        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
            return QMessageBox::Ok;
        });
        bool loaded = false;
        QObject::connect(w.get(), &TForm1::loadFinished, [&loaded] { loaded = true; });
        w->show();
        ASSERT_TRUE(waitFor([&] { return loaded; }));
        ASSERT_TRUE(w->remote()->topics().isRegistered());
    }
    void TearDown() override {
        w.reset();
        for (const char* name :
             {"VORLUNE_AUDIO_OUTPUT", "VORLUNE_VIDEO_OUTPUT", "VORLUNE_MEDIA_ROOTS"})
            qunsetenv(name);
    }

    Player& player() { return w->playback()->player(); }
    CommandTable& table() { return w->commandTable(); }
    // Shows the folder with both titles, all selected.
    void selectFolder() {
        ASSERT_TRUE(w->quickSearch());
        w->quickSearch()->setText(QStringLiteral("Ordner"));
        w->quickSearch()->run();
        ASSERT_TRUE(waitFor([&] { return !w->quickSearch()->searching(); }));
        ASSERT_EQ(w->views()->itemCount(), 2);
        ASSERT_TRUE(table().run(QLatin1String(cmd::SelectAll)));
    }
    void playFolder() {
        selectFolder();
        ASSERT_TRUE(table().run(QLatin1String(cmd::Play)));
        ASSERT_TRUE(waitFor(
            [&] { return client.request("PLAYER", "TRACKSTATUS") == "playing\r\n"; }, 10000));
    }

    IsolatedEnvironment env;
    QString media;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<TForm1> w;
    BusClient client;
};

TEST_F(RemoteWindowTest, ItemsBeforePlayingAndLookupErrors) {
    const std::pair<const char*, QString> expected[][2] = {
        {{"PLAYER", "TRACKSTATUS"}, {"", "stopped\r\n"}},
        {{"PLAYER", "trackstatus"}, {"", "stopped\r\n"}},
        {{"PLAYER", "TrackNum"}, {"", "none\r\n"}},
        {{"CURRENTTRACK", "REMAINING"}, {"", "-0:00:00\r\n"}},
        {{"CURRENTTRACK", "TRACKNAME"}, {"", ""}},
        {{"APPINFO", "EXENAME"}, {"", QCoreApplication::applicationFilePath() + "\r\n"}},
        {{"PLAYER", "NOSUCHITEM"}, {"", "<org.vorlune.vorlune.Error.UnknownItem>"}},
        {{"APPINFO", "TRACKSTATUS"}, {"", "<org.vorlune.vorlune.Error.UnknownItem>"}},
    };
    for (const auto& e : expected)
        EXPECT_EQ(client.request(e[0].first, e[0].second), e[1].second)
            << e[0].first << "/" << e[0].second.toStdString();
    EXPECT_EQ(client.poke("TRACKSTATUS", "playing"), "org.vorlune.vorlune.Error.ReadOnly");
    EXPECT_EQ(client.request("PLAYER", "TRACKSTATUS"), "stopped\r\n");
}

TEST_F(RemoteWindowTest, StreamingItemsFollowServerAndOptions) {
    // The first showing applies the stored settings once the device list is in.
    ASSERT_TRUE(waitFor([&] { return w->streaming()->started(); }, 10000));
    WStreamingServer& server = w->streaming()->server();
    struct Case {
        bool enabled, limit;
        int max;
        quint16 port;
        const char* listeners;
    } cases[] = {{true, false, 7, 8123, "unlimited"},
                 {true, true, 7, 8124, "7"},
                 {false, true, 9, 8125, "unlimited"}};
    for (const Case& c : cases) {
        w->settings().streaming.enabled = c.enabled;
        w->settings().streaming.limitListeners = c.limit;
        StreamConfig config = server.config();
        config.MaxListeners = c.max;
        config.LimitListeners = c.limit;
        config.Port = c.port;
        config.VBRMethod = StreamMode::CBR;
        server.Configure(config);
        EXPECT_EQ(client.request("STREAMING", "MAXLISTENERS"), QString(c.listeners) + "\r\n");
        EXPECT_EQ(client.request("STREAMING", "port"), QString::number(c.port) + "\r\n");
        EXPECT_EQ(client.request("STREAMING", "VBRMODE"), "CBR\r\n");
        EXPECT_EQ(client.request("STREAMING", "STREAMSTATUS"), "offline\r\n");
    }
}

TEST_F(RemoteWindowTest, TitleSplitCommandsAndRepeatPokes) {
    // COMMAND "play" is no command, even with the play button enabled.
    selectFolder();
    ASSERT_TRUE(table().isEnabled(QLatin1String(cmd::Play)));
    EXPECT_EQ(client.poke("COMMAND", "play"), QString());
    QTest::qWait(500);
    EXPECT_EQ(client.request("PLAYER", "TRACKSTATUS"), "stopped\r\n");
    EXPECT_TRUE(client.changed.contains("COMMAND=play"));

    // NEXT moves on; both titles split as designed.
    playFolder();
    const QMap<QString, QStringList> split{{"Band - Song", {"Band", "Song"}},
                                           {"Intro", {"Intro", "Intro"}}};
    QSet<QString> seen;
    for (int step = 0; step < 2; ++step) {
        if (step == 1) {
            EXPECT_EQ(client.request("PLAYER", "TRACKNUM"), "1\r\n");
            EXPECT_EQ(client.poke("COMMAND", "next"), QString());
            ASSERT_TRUE(waitFor([&] { return client.request("PLAYER", "TRACKNUM") == "2\r\n"; }));
        }
        const QString name = client.request("CURRENTTRACK", "TRACKNAME").chopped(2);
        ASSERT_TRUE(split.contains(name)) << name.toStdString();
        seen << name;
        EXPECT_EQ(client.request("CURRENTTRACK", "ARTIST"), split[name][0] + "\r\n");
        EXPECT_EQ(client.request("CURRENTTRACK", "TITLE"), split[name][1] + "\r\n");
        EXPECT_EQ(client.request("CURRENTTRACK", "FILENAME"),
                  media + "/Ordner/" + name + ".mp3\r\n");
    }
    EXPECT_EQ(seen.size(), 2);

    // REPEATING: "yes" switches repeat on, "YES" again changes nothing, "no" switches off.
    const std::pair<const char*, bool> pokes[] = {
        {"yes", true}, {"YES", true}, {"maybe", true}, {"No", false}};
    for (const auto& [value, on] : pokes) {
        EXPECT_EQ(client.poke("REPEATING", value), QString());
        EXPECT_TRUE(waitFor([&, on = on] { return player().playlist().repeat() == on; })) << value;
        QTest::qWait(50);
        EXPECT_EQ(player().playlist().repeat(), on) << value;
    }
    EXPECT_EQ(client.request("PLAYER", "REPEATING"), "no\r\n");

    // Stopped, the buttons are disabled: a poke is set back to the state.
    EXPECT_EQ(client.poke("COMMAND", "STOP"), QString());
    ASSERT_TRUE(waitFor([&] { return client.request("PLAYER", "TRACKSTATUS") == "stopped\r\n"; }));
    EXPECT_EQ(client.poke("SHUFFLED", "yes"), QString());
    EXPECT_TRUE(waitFor([&] { return client.request("PLAYER", "SHUFFLED") == "no\r\n"; }));
    EXPECT_FALSE(player().playlist().shuffle());
    // PokeChecked answers why a poke is refused and leaves a refused value unstored;
    // what the table takes it stores and runs.
    const struct {
        const char* item;
        const char* value;
        const char* reasonNames; // empty: taken
    } checks[] = {
        {"COMMAND", "play", "play"},
        {"COMMAND", "stop", "stop"},
        {"SHUFFLED", "yes", "shuffle"},
        {"SEARCH", "Zeile\nzwei", "search"},
        {"TRACKSTATUS", "x", "<org.vorlune.vorlune.Error.ReadOnly>"},
        {"SEARCH", "Intro", ""},
    };
    for (const auto& c : checks) {
        const QString reason = client.pokeChecked(c.item, c.value);
        if (!*c.reasonNames) {
            EXPECT_EQ(reason, QString()) << c.item;
        } else if (*c.reasonNames == '<') {
            EXPECT_EQ(reason, QLatin1String(c.reasonNames));
        } else {
            EXPECT_TRUE(reason.contains(QLatin1String(c.reasonNames))) << reason.toStdString();
        }
    }
    EXPECT_EQ(client.request("PLAYER", "SHUFFLED"), "no\r\n");
    EXPECT_TRUE(waitFor([&] { return w->quickSearch()->text() == QStringLiteral("Intro"); }));
}

TEST_F(RemoteWindowTest, SearchAndPlayAllPokes) {
    // A load, download or scan in progress shows the progress bar: SEARCH is ignored.
    TaskService& tasks = w->core().tasks();
    const tasks::Id job = tasks.start(tasks::Kind::Download, QStringLiteral("Laden"), false);
    EXPECT_FALSE(w->ProgressBar1->isHidden());
    EXPECT_EQ(client.poke("SEARCH", "Intro"), QString());
    QTest::qWait(300);
    EXPECT_NE(w->quickSearch()->text(), QStringLiteral("Intro"));
    EXPECT_EQ(client.request("PLAYER", "SEARCH"), "Intro\r\n");
    tasks.finish(job, true);
    EXPECT_TRUE(w->ProgressBar1->isHidden());

    EXPECT_EQ(client.poke("search", "Intro"), QString());
    ASSERT_TRUE(waitFor([&] { return w->quickSearch()->text() == QStringLiteral("Intro"); }));
    ASSERT_TRUE(waitFor([&] { return !w->quickSearch()->searching(); }));
    EXPECT_EQ(w->views()->itemCount(), 1);
    EXPECT_EQ(w->qs_text->lineEdit()->selectedText(), QStringLiteral("Intro"));
    EXPECT_EQ(player().playlist().count(), 0);

    EXPECT_EQ(client.poke("PLAYALL", "Band"), QString());
    ASSERT_TRUE(
        waitFor([&] { return client.request("PLAYER", "TRACKSTATUS") == "playing\r\n"; }, 10000));
    EXPECT_EQ(client.request("CURRENTTRACK", "TRACKNAME"), "Band - Song\r\n");
    EXPECT_EQ(client.request("PLAYER", "TOTALTRACKS"), "1\r\n");
    EXPECT_EQ(w->views()->currentNode(), w->collection().node(Collection::PlaylistNode));
}

TEST_F(RemoteWindowTest, MprisThroughPlayerctl) {
    EXPECT_EQ(playerctl({"status"}), "Stopped");
    selectFolder();
    playerctl({"play"});
    ASSERT_TRUE(waitFor([&] { return playerctl({"status"}) == "Playing"; }, 10000));
    EXPECT_TRUE(waitFor([&] { return client.properties.contains("PlaybackStatus=Playing"); }));
    EXPECT_TRUE(client.properties.contains("CanGoNext=true"));
    const QString first = client.request("CURRENTTRACK", "TRACKNAME").chopped(2);
    const QString format =
        "{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{xesam:url}}|{{mpris:length}}";
    QStringList m = playerctl({"metadata", "--format", format}).split('|');
    ASSERT_EQ(m.size(), 5);
    const QStringList parts = first.split(" - ");
    EXPECT_EQ(m[0], parts.last());
    EXPECT_EQ(m[1], parts.first());
    EXPECT_EQ(m[2], "Ordner");
    EXPECT_EQ(
        m[3],
        QUrl::fromLocalFile(media + "/Ordner/" + first + ".mp3").toString(QUrl::FullyEncoded));
    EXPECT_NEAR(m[4].toLongLong() / 1e6, 8.0, 0.5);

    playerctl({"next"});
    ASSERT_TRUE(waitFor([&] { return client.request("PLAYER", "TRACKNUM") == "2\r\n"; }));
    EXPECT_NE(playerctl({"metadata", "xesam:title"}), m[0]);

    const std::pair<QStringList, QString> steps[] = {{{"play-pause"}, "Paused"},
                                                     {{"play-pause"}, "Playing"},
                                                     {{"pause"}, "Paused"},
                                                     {{"play"}, "Playing"}};
    for (const auto& [args, status] : steps) {
        playerctl(args);
        EXPECT_TRUE(waitFor([&, want = status] { return playerctl({"status"}) == want; }))
            << status.toStdString();
    }
    playerctl({"loop", "Playlist"});
    EXPECT_TRUE(waitFor([&] { return player().playlist().repeat(); }));
    EXPECT_EQ(playerctl({"loop"}), "Playlist");
    playerctl({"shuffle", "On"});
    EXPECT_TRUE(waitFor([&] { return player().playlist().shuffle(); }));
    EXPECT_EQ(playerctl({"shuffle"}), "On");

    client.seeked.clear();
    playerctl({"position", "5"});
    EXPECT_TRUE(waitFor([&] { return !client.seeked.isEmpty(); }));
    EXPECT_EQ(client.seeked.value(0), 5000000);
    EXPECT_TRUE(waitFor([&] { return playerctl({"position"}).toDouble() >= 4.5; }));
    const double at = playerctl({"position"}).toDouble();
    EXPECT_LE(at, 8.0);

    playerctl({"stop"});
    EXPECT_TRUE(waitFor([&] { return playerctl({"status"}) == "Stopped"; }));
    EXPECT_EQ(client.request("PLAYER", "TRACKSTATUS"), "stopped\r\n");
}

// PLAYALL leaves the playlist shown with nothing selected, so the play button is off:
// a playing title must still be controllable, and title changes are no seeks.
TEST_F(RemoteWindowTest, MprisAfterPlayAllAndTitleChanges) {
    EXPECT_EQ(client.poke("PLAYALL", "Ordner"), QString());
    ASSERT_TRUE(waitFor([&] { return playerctl({"status"}) == "Playing"; }, 10000));
    ASSERT_FALSE(table().isEnabled(QLatin1String(cmd::Play)));
    const QString first = client.request("CURRENTTRACK", "TITLE").chopped(2);
    EXPECT_EQ(playerctl({"metadata", "xesam:title"}), first);
    for (const char* status : {"Paused", "Playing"}) {
        playerctl({"play-pause"});
        EXPECT_TRUE(waitFor([&] { return playerctl({"status"}) == status; })) << status;
    }

    // Two seconds into the title, then on to the next one.
    ASSERT_TRUE(waitFor([&] { return client.request("CURRENTTRACK", "POSITION") >= "0:00:02\r\n"; },
                        10000));
    client.seeked.clear();
    playerctl({"next"});
    ASSERT_TRUE(waitFor([&] { return client.request("PLAYER", "TRACKNUM") == "2\r\n"; }));
    const QString second = client.request("CURRENTTRACK", "TITLE").chopped(2);
    ASSERT_TRUE(waitFor(
        [&] { return !client.metadata.isEmpty() && client.metadata.last().second == second; }));
    QTest::qWait(1500); // a tick
    EXPECT_TRUE(client.seeked.isEmpty()) << client.seeked.value(0);
    // Every announced track id stands for one title.
    std::map<QString, QString> titleOf;
    for (const auto& [id, title] : client.metadata)
        EXPECT_EQ(titleOf.emplace(id, title).first->second, title) << id.toStdString();
    EXPECT_EQ(playerctl({"metadata", "xesam:title"}), second);
}

TEST_F(RemoteWindowTest, SecondInstanceLogsTakenNamesAndGoesOn) {
    IsolatedEnvironment other;
    QDir().mkpath(other.path("katalog"));
    QProcess second;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("QT_LOGGING_RULES", "vorlune.remote.info=true");
    e.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(e);
    second.start(QStringLiteral(VORLUNE_EXE), {other.path("katalog")});
    ASSERT_TRUE(second.waitForStarted());
    QByteArray log;
    EXPECT_TRUE(waitFor(
        [&] {
            log += second.readAllStandardError();
            return log.contains("org.mpris.MediaPlayer2.vorlune") &&
                   log.contains("org.vorlune.vorlune");
        },
        15000))
        << log.toStdString();
    QTest::qWait(200);
    EXPECT_EQ(second.state(), QProcess::Running);
    second.terminate();
    EXPECT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
    // The first instance still answers.
    EXPECT_EQ(client.request("PLAYER", "TRACKSTATUS"), "stopped\r\n");
    EXPECT_EQ(playerctl({"status"}), "Stopped");
}

} // namespace

#include "remote_window_test.moc"
