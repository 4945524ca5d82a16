#include "collection.h"
#include "media_access.h"
#include "test_peers.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QByteArray innuendo = QByteArray("ID3") + QByteArray(70000, 'i');
const QByteArray umlaut = QByteArray(5000, 'u');

// An HTTP server and an FTP server over the same folder, one HTTP server behind a password.
class WebMedia : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(www.isValid() && temp.isValid());
        ASSERT_TRUE(writeFile(www.path() + "/musik/Queen/01 Innuendo.mp3", innuendo));
        ASSERT_TRUE(writeFile(www.path() + "/musik/Bands/AC#DC & \xC3\x96.mp3", umlaut));
        ASSERT_TRUE(open.start("http_server.py", {www.path(), www.path() + "/open.log", "", ""}));
        ASSERT_TRUE(locked.start("http_server.py",
                                 {www.path(), www.path() + "/locked.log", "hans", "geheim"}));
        options.tempDir = temp.path();
        options.timeouts.connectSeconds = 5;
        options.timeouts.probeSeconds = 10;
        options.timeouts.stallSeconds = 5;
    }

    QString openUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(open.port());
    }
    QString lockedUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(locked.port());
    }
    QStringList requests(const char* log) const {
        return QString::fromUtf8(readFile(www.path() + u'/' + QLatin1StringView(log)))
            .split(u'\n', Qt::SkipEmptyParts);
    }

    // Fetches a title and waits for the answer: the local file, or empty.
    QString fetch(MediaAccess& access, const QString& path, QString* error = nullptr) {
        QSignalSpy done(&access, &MediaAccess::titleFetched);
        const MediaAccess::FetchAnswer answer = access.FetchTitleFile(path);
        if (!answer.pending) return answer.localFile;
        EXPECT_TRUE(access.isDownloading());
        EXPECT_EQ(access.downloadPath(), path);
        if (!done.wait(20000)) return QStringLiteral("<timeout>");
        EXPECT_FALSE(access.isDownloading());
        EXPECT_EQ(access.expectedSize(), 0);
        if (error) *error = done.at(0).at(2).toString();
        return done.at(0).at(1).toString();
    }

    QTemporaryDir www, temp;
    PythonPeer open, locked;
    ScriptedPrompts prompts;
    MediaAccess::Options options;
};

TEST_F(WebMedia, OpenServerConnectsOnceAndServesTitlesFromTheCache) {
    MediaAccess access(options, &prompts);
    access.ConnectWebMedium("Web 1", openUrl());
    EXPECT_TRUE(prompts.warnings.isEmpty()) << prompts.warnings.join("|").toStdString();
    EXPECT_TRUE(prompts.captions.isEmpty());
    ASSERT_EQ(access.connections().count(), 1);
    const ConnectionEntry entry = access.connections().entries().first();
    EXPECT_EQ(entry.icon, 14);
    EXPECT_EQ(entry.resource, openUrl());
    EXPECT_EQ(entry.label, "Web 1");
    EXPECT_EQ(entry.drive, temp.path() + "/VORLUNEWWW-1");
    EXPECT_EQ(readFile(entry.drive + "/Web 1.id").trimmed(), "MEDIATYPE::WWW");
    ASSERT_EQ(access.webDrives().size(), 1);
    EXPECT_EQ(access.webDrives().first().label, "Web 1");

    // A second load names the same URL: nothing new.
    access.ConnectWebMedium("Web 1", openUrl());
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_EQ(requests("open.log"), QStringList{"/musik/"});

    const QString root = access.locateMedium("Web 1");
    EXPECT_EQ(root, entry.drive);
    EXPECT_EQ(access.lastFoundType(), 8);

    const QString path = access.titleFilePath(root, "Web 1:\\Bands\\AC#DC & \xC3\x96.mp3");
    EXPECT_EQ(access.sourceUrl(path), openUrl() + "Bands/AC#DC & \xC3\x96.mp3");
    EXPECT_EQ(access.TitleFolderPath(path), openUrl() + "Bands/");
    const QString local = fetch(access, path);
    ASSERT_FALSE(local.isEmpty());
    EXPECT_TRUE(local.startsWith(root + "/"));
    EXPECT_TRUE(local.endsWith(".mp3"));
    EXPECT_EQ(readFile(local), umlaut);
    EXPECT_EQ(requests("open.log").last(), "/musik/Bands/AC%23DC%20&%20%C3%96.mp3");

    // The second play uses the cached copy.
    const MediaAccess::FetchAnswer again = access.FetchTitleFile(path);
    EXPECT_FALSE(again.pending);
    EXPECT_EQ(again.localFile, local);
    EXPECT_EQ(requests("open.log").size(), 2);

    const QString other =
        fetch(access, access.titleFilePath(root, "Web 1:\\Queen\\01 Innuendo.mp3"));
    EXPECT_EQ(readFile(other), innuendo);
    EXPECT_NE(other, local);

    EXPECT_TRUE(access.DisconnectAll(true));
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_FALSE(QFileInfo::exists(local));
    EXPECT_EQ(access.connections().count(), 0);
    EXPECT_TRUE(access.webDrives().isEmpty());
}

TEST_F(WebMedia, PasswordPromptUntilTheServerAcceptsAndDownloadsUseTheLogin) {
    MediaAccess access(options, &prompts);
    prompts.logins = {{true, "hans", "falsch"}, {true, "hans", "geheim"}};
    access.ConnectWebMedium("Web 2", lockedUrl());
    EXPECT_TRUE(prompts.warnings.isEmpty()) << prompts.warnings.join("|").toStdString();
    EXPECT_EQ(prompts.captions, (QStringList{"Web 2", "Web 2"}));
    EXPECT_EQ(prompts.withUserField, (QList<bool>{true, true}));
    ASSERT_EQ(access.connections().count(), 1);
    EXPECT_EQ(access.connections().entries().first().user, "hans");
    EXPECT_EQ(access.connections().entries().first().password, "geheim");

    const QString root = access.locateMedium("Web 2");
    const QString local =
        fetch(access, access.titleFilePath(root, "Web 2:\\Queen\\01 Innuendo.mp3"));
    EXPECT_EQ(readFile(local), innuendo);
}

TEST_F(WebMedia, CancelledPromptWarnsAndTheMediumStaysUnconnected) {
    MediaAccess access(options, &prompts);
    prompts.logins = {{false, {}, {}}};
    access.ConnectWebMedium("Web 3", lockedUrl());
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_EQ(prompts.warnings.first(),
              "Fehler beim Verbinden: Unauthorized\n\r\n\rEs konnte keine Verbindung mit \"" +
                  lockedUrl() + "\" hergestellt werden.\n\r\"Web 3\" wird nicht verfügbar sein.");
    EXPECT_EQ(access.connections().count(), 0);
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // A server that is not there: the client's error, one warning.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString deadUrl = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    access.ConnectWebMedium("Web 4", deadUrl);
    ASSERT_EQ(prompts.warnings.size(), 2);
    EXPECT_TRUE(prompts.warnings.last().startsWith("Fehler beim Verbinden: "));
    EXPECT_TRUE(prompts.warnings.last().endsWith("\"Web 4\" wird nicht verfügbar sein."));
    EXPECT_EQ(prompts.captions.size(), 1);

    // 404 on the medium's URL: its status text, no prompt.
    access.ConnectWebMedium("Web 5", openUrl() + "fehlt/");
    ASSERT_EQ(prompts.warnings.size(), 3);
    EXPECT_TRUE(prompts.warnings.last().startsWith("Fehler beim Verbinden: Not Found\n\r"));
    EXPECT_EQ(prompts.captions.size(), 1);
    EXPECT_EQ(access.connections().count(), 0);
}

TEST_F(WebMedia, FailedOrTruncatedDownloadsAreNeitherCachedNorReportedComplete) {
    MediaAccess access(options, &prompts);
    access.ConnectWebMedium("Web 1", openUrl());
    const QString root = access.locateMedium("Web 1");
    QSignalSpy status(&access, &MediaAccess::statusMessage);

    for (const char* line : {"Web 1:\\truncated.mp3", "Web 1:\\Queen\\fehlt.mp3"}) {
        const QString path = access.titleFilePath(root, QString::fromUtf8(line));
        QString error;
        EXPECT_TRUE(fetch(access, path, &error).isEmpty()) << line;
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(status.last().at(0).toString().startsWith("Herunterladen fehlgeschlagen: "));
        EXPECT_TRUE(access.cachedFile(path).isEmpty());
        // Only the identification file is left in the web folder.
        EXPECT_EQ(QDir(root).entryList(QDir::Files), QStringList{"Web 1.id"});
        // Asking again downloads again.
        EXPECT_TRUE(access.FetchTitleFile(path).pending);
        QSignalSpy done(&access, &MediaAccess::titleFetched);
        ASSERT_TRUE(done.wait(20000));
    }
}

TEST_F(WebMedia, ClosingAsksWhileAFolderIsInUse) {
    MediaAccess access(options, &prompts);
    access.ConnectWebMedium("Web 1", openUrl());
    const QString root = access.locateMedium("Web 1");
    const QString local =
        fetch(access, access.titleFilePath(root, "Web 1:\\Queen\\01 Innuendo.mp3"));
    ASSERT_FALSE(local.isEmpty());

    QFile player(local); // the player still holds the title
    ASSERT_TRUE(player.open(QIODevice::ReadOnly));
    prompts.confirmations = {false};
    EXPECT_FALSE(access.DisconnectAll(true));
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(prompts.questions.first(),
              "Auf \"Web 1\" wird noch zugegriffen!\n\rDas Programm trotz möglichen "
              "Datenverlustes schließen?");
    // Kept and still usable.
    EXPECT_TRUE(QFileInfo::exists(local));
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_EQ(access.FetchTitleFile(access.titleFilePath(root, "Web 1:\\Queen\\01 Innuendo.mp3"))
                  .localFile,
              local);

    // Closing refused earlier in the same run: no second question.
    EXPECT_FALSE(access.DisconnectAll(false));
    EXPECT_EQ(prompts.questions.size(), 1);

    prompts.confirmations = {true};
    EXPECT_TRUE(access.DisconnectAll(true));
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(root));
    EXPECT_EQ(access.connections().count(), 0);
    player.close();
}

TEST_F(WebMedia, ClosingDuringADownloadStopsIt) {
    MediaAccess access(options, &prompts);
    access.ConnectWebMedium("Web 1", openUrl());
    const QString root = access.locateMedium("Web 1");
    const QString path = access.titleFilePath(root, "Web 1:\\slow.mp3");
    QSignalSpy progress(&access, &MediaAccess::downloadProgress);
    QSignalSpy done(&access, &MediaAccess::titleFetched);
    ASSERT_TRUE(access.FetchTitleFile(path).pending);
    // Until the first status text with time and speed.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& args : progress)
                if (!args.at(2).toString().isEmpty()) return true;
            return false;
        },
        10000));
    QString text;
    for (const auto& args : progress)
        if (!args.at(2).toString().isEmpty()) text = args.at(2).toString();
    EXPECT_TRUE(QRegularExpression(
                    R"(^Datei herunterladen\.\.\. \(noch \d+:\d\d bei [\d.,]+ (Byte|kB|MB)/s\)$)")
                    .match(text)
                    .hasMatch())
        << text.toStdString();
    EXPECT_EQ(progress.last().at(1).toLongLong(), 400 * 1024); // the announced length

    prompts.confirmations = {true};
    EXPECT_TRUE(access.DisconnectAll(true));
    EXPECT_EQ(prompts.questions.size(), 1); // the download held a file in the folder
    EXPECT_FALSE(QFileInfo::exists(root));
    ASSERT_TRUE(done.wait(10000));
    EXPECT_TRUE(done.first().at(1).toString().isEmpty());
    EXPECT_FALSE(access.isDownloading());
}

TEST_F(WebMedia, FtpAnonymousAndWithLogin) {
    QTemporaryDir anon, home;
    ASSERT_TRUE(writeFile(anon.path() + "/pub/Rock/a b.mp3", innuendo));
    ASSERT_TRUE(writeFile(home.path() + "/privat/x.ogg", umlaut));
    PythonPeer ftp, closedFtp;
    ASSERT_TRUE(ftp.start("ftp_server.py", {home.path(), anon.path(), "ftpuser", "geheim"}));
    ASSERT_TRUE(closedFtp.start("ftp_server.py",
                                {home.path(), anon.path(), "ftpuser", "geheim", "noanon"}));
    MediaAccess access(options, &prompts);

    const QString anonUrl = QStringLiteral("ftp://127.0.0.1:%1/pub/").arg(ftp.port());
    access.ConnectWebMedium("FTP 1", anonUrl);
    EXPECT_TRUE(prompts.warnings.isEmpty()) << prompts.warnings.join("|").toStdString();
    EXPECT_TRUE(prompts.captions.isEmpty());
    ASSERT_EQ(access.connections().count(), 1);
    EXPECT_EQ(access.connections().entries().first().user, "anonymous");
    const QString root1 = access.locateMedium("FTP 1");
    const QString path1 = access.titleFilePath(root1, "FTP 1:\\Rock\\a b.mp3");
    EXPECT_EQ(access.TitleFolderPath(path1), anonUrl + "Rock/");
    const QString local1 = fetch(access, path1);
    EXPECT_EQ(readFile(local1), innuendo);
    EXPECT_EQ(access.FetchTitleFile(path1).localFile, local1);

    const QString userUrl = QStringLiteral("ftp://127.0.0.1:%1/privat/").arg(closedFtp.port());
    prompts.logins = {{true, "ftpuser", "falsch"}, {true, "ftpuser", "geheim"}};
    access.ConnectWebMedium("FTP 2", userUrl);
    EXPECT_TRUE(prompts.warnings.isEmpty()) << prompts.warnings.join("|").toStdString();
    EXPECT_EQ(prompts.captions, (QStringList{"FTP 2", "FTP 2"}));
    EXPECT_EQ(prompts.withUserField, (QList<bool>{true, true}));
    ASSERT_EQ(access.connections().count(), 2);
    EXPECT_EQ(access.connections().entries().last().user, "ftpuser");
    const QString root2 = access.locateMedium("FTP 2");
    EXPECT_EQ(readFile(fetch(access, access.titleFilePath(root2, "FTP 2:\\x.ogg"))), umlaut);

    // Cancel: the server's refusal in the warning.
    access.ConnectWebMedium("FTP 3",
                            QStringLiteral("ftp://127.0.0.1:%1/andere/").arg(closedFtp.port()));
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.first().startsWith("Fehler beim Verbinden: 530"))
        << prompts.warnings.first().toStdString();
    EXPECT_EQ(access.connections().count(), 2);

    // A folder that is not there is an error of its own, without a prompt.
    const int asked = int(prompts.captions.size());
    access.ConnectWebMedium("FTP 4", QStringLiteral("ftp://127.0.0.1:%1/fehlt/").arg(ftp.port()));
    EXPECT_EQ(prompts.warnings.size(), 2);
    EXPECT_EQ(prompts.captions.size(), asked);
}

TEST_F(WebMedia, LoadingConnectsOnceAndWarnsOncePerMedium) {
    QTemporaryDir catalog;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString deadUrl = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    ASSERT_TRUE(writeFile(catalog.path() + "/web.cd",
                          ("BEGIN::CD\r\nLABEL::Netz\r\nMEDIATYPE::WWW::" + openUrl() +
                           "\r\nNetz:\\Queen\\\r\nNetz:\\Queen\\01 Innuendo.mp3\r\n")
                              .toUtf8()));
    ASSERT_TRUE(writeFile(catalog.path() + "/weg.cd",
                          ("BEGIN::CD\r\nLABEL::Weg\r\nMEDIATYPE::WWW::" + deadUrl +
                           "\r\nWeg:\\A\\\r\nWeg:\\A\\b.mp3\r\n")
                              .toUtf8()));
    MediaAccess access(options, &prompts);
    Collection collection;
    collection.CatalogDir = catalog.path() + "/";
    collection.setConnector(&access);

    LoadReport report = collection.LoadAllMedia();
    EXPECT_EQ(report.media, 2);
    EXPECT_EQ(report.titles, 2);
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.first().endsWith("\"Weg\" wird nicht verfügbar sein."));
    EXPECT_EQ(access.connectionCount(), 1);
    EXPECT_TRUE(
        collection.loadedStatusText(QLocale::c()).endsWith(" 1 Netzlaufwerk(e) sind verbunden."))
        << collection.loadedStatusText().toStdString();

    collection.ClearCollection();
    report = collection.LoadAllMedia();
    EXPECT_EQ(report.media, 2);
    EXPECT_EQ(access.connectionCount(), 1);
    EXPECT_EQ(requests("open.log"), QStringList{"/musik/"}); // connected once
    EXPECT_EQ(prompts.warnings.size(), 2); // the dead medium is tried again, one warning

    const QString root = access.FindMediumDrive("Netz");
    EXPECT_EQ(readFile(fetch(access, access.titleFilePath(root, "Netz:\\Queen\\01 Innuendo.mp3"))),
              innuendo);
}

// Every file below a folder, relative to it.
QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

TEST_F(WebMedia, HostileLabelsNeverNameAFileOutsideTheTempFolder) {
    // temp/run/tmp is the program's temp folder; temp/run/draussen lies beside it.
    const QString base = temp.path();
    options.tempDir = base + "/run/tmp";
    ASSERT_TRUE(QDir().mkpath(options.tempDir));
    ASSERT_TRUE(QDir().mkpath(base + "/run/draussen"));
    const QStringList outsideBefore = filesBelow(base + "/run/draussen");

    const QString hostile[] = {
        "../../draussen/x",
        "../../../run/draussen/y",
        "sub/../../../draussen/z",
        "..",
        ".",
        "a\\..\\..\\w",
        "/tmp/absolut",
        "",
        QString("nul") + QChar(0) + "x",
        "zeile\numbruch",
    };
    for (const QString& label : hostile) {
        SCOPED_TRACE(label.toStdString());
        ASSERT_TRUE(QDir().mkpath(base + "/run/tmp/VORLUNEWWW-1/sub"));
        MediaAccess access(options, &prompts);
        prompts.warnings.clear();
        access.ConnectWebMedium(label, openUrl());
        EXPECT_EQ(access.connections().count(), 0);
        ASSERT_EQ(prompts.warnings.size(), 1);
        EXPECT_TRUE(prompts.warnings.first().startsWith("Fehler beim Verbinden: "));
        EXPECT_EQ(filesBelow(base + "/run/draussen"), outsideBefore);
        EXPECT_TRUE(filesBelow(base + "/run/tmp").isEmpty())
            << filesBelow(base + "/run/tmp").join(" ").toStdString();
    }
    EXPECT_TRUE(filesBelow(base).isEmpty()) << filesBelow(base).join(" ").toStdString();
    // No request went out for a label that cannot be used.
    EXPECT_TRUE(requests("open.log").isEmpty());

    // Such a label is never found through a path outside a root either: its separators
    // become "-", so only "..-geheim.id" in a root's own folder names it.
    QTemporaryDir root;
    ASSERT_TRUE(QDir().mkpath(root.path() + "/medium"));
    ASSERT_TRUE(writeFile(root.path() + "/geheim.id", "MEDIATYPE::HDD"));
    qputenv("VORLUNE_MEDIA_ROOTS", (root.path() + "/medium").toUtf8());
    MediaAccess access(options, &prompts);
    EXPECT_TRUE(access.locateMedium("../geheim").isEmpty());
    EXPECT_TRUE(access.FindMediumDrive("../geheim").isEmpty()); // the user gives up
    EXPECT_EQ(prompts.waits, 1);
    ASSERT_TRUE(writeFile(root.path() + "/medium/..-geheim.id", "MEDIATYPE::HDD"));
    EXPECT_EQ(access.locateMedium("../geheim"), root.path() + "/medium");
    qunsetenv("VORLUNE_MEDIA_ROOTS");

    // Ordinary labels with dots and blanks still work.
    for (const QString& label : {QString("Rock 1"), QString("..Punkte.."), QString("a.b")}) {
        SCOPED_TRACE(label.toStdString());
        MediaAccess ok(options, &prompts);
        prompts.warnings.clear();
        ok.ConnectWebMedium(label, openUrl());
        EXPECT_TRUE(prompts.warnings.isEmpty());
        ASSERT_EQ(ok.connections().count(), 1);
        EXPECT_EQ(ok.locateMedium(label), ok.connections().entries().first().drive);
    }
}

} // namespace

// Downloads are jobs of the service set: one at a time, in the order they were asked for,
// each handed back on this thread; the bar is busy until the length is announced.
TEST_F(WebMedia, DownloadsAreJobsOfTheTaskServiceOneAfterAnother) {
    TaskService tasks;
    MediaAccess access(options, &prompts);
    access.setTaskService(&tasks);
    access.ConnectWebMedium("Web 1", openUrl());
    const QString root = access.locateMedium("Web 1");
    ASSERT_FALSE(root.isEmpty());
    QStringList events;
    QList<tasks::Bar> bars;
    int running = 0;
    int most = 0;
    QObject::connect(&tasks, &TaskService::started, &tasks, [&](tasks::Id, tasks::Kind kind) {
        EXPECT_EQ(kind, tasks::Kind::Download);
        events << "start";
        most = std::max(most, ++running);
    });
    QObject::connect(&tasks, &TaskService::finished, &tasks, [&](tasks::Id, bool ok) {
        events << (ok ? "ok" : "failed");
        --running;
    });
    QObject::connect(&tasks, &TaskService::barChanged, &tasks,
                     [&](const tasks::Bar& bar) { bars << bar; });
    QSignalSpy fetched(&access, &MediaAccess::titleFetched);
    const QStringList paths = {access.titleFilePath(root, "Web 1:\\Queen\\01 Innuendo.mp3"),
                               access.titleFilePath(root, "Web 1:\\Bands\\AC#DC & \xC3\x96.mp3"),
                               access.titleFilePath(root, "Web 1:\\fehlt.mp3")};
    for (const QString& path : paths)
        EXPECT_TRUE(access.FetchTitleFile(path).pending);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetched.size() == 3; }, 20000));
    const QList<QByteArray> contents = {innuendo, umlaut, QByteArray()};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fetched.at(i).at(0).toString(), paths[i]);
        const QString local = fetched.at(i).at(1).toString();
        EXPECT_EQ(local.isEmpty(), contents[i].isEmpty());
        if (!local.isEmpty()) {
            EXPECT_EQ(readFile(local), contents[i]);
        }
    }
    EXPECT_EQ(events, (QStringList{"start", "ok", "start", "ok", "start", "failed"}));
    EXPECT_EQ(most, 1);
    ASSERT_FALSE(bars.isEmpty());
    EXPECT_TRUE(bars.first().visible);
    // A busy bar until the length is announced.
    const auto known = std::find_if(bars.cbegin(), bars.cend(), [](const tasks::Bar& bar) {
        return bar.maximum == innuendo.size();
    });
    ASSERT_NE(known, bars.cend());
    EXPECT_TRUE(std::any_of(bars.cbegin(), known,
                            [](const tasks::Bar& bar) { return bar.visible && bar.maximum == 0; }));
    EXPECT_TRUE(std::any_of(known, bars.cend(), [](const tasks::Bar& bar) {
        return bar.maximum == innuendo.size() && bar.value == innuendo.size();
    }));
    EXPECT_FALSE(bars.last().visible);
    EXPECT_EQ(tasks.count(), 0);
}
