#include "copy_run.h"
#include "copy_worker.h"
#include "media_access.h"
#include "smb_client.h"
#include "test_peers.h"
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <csignal>
#include <cstring>
#include <sys/stat.h>

namespace {

QStringList leftovers(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (f.contains(QStringLiteral(".vorlune-copy-"))) found << f;
    }
    return found;
}

QByteArray pattern(qint64 size, char seed) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(seed + (i * 131) % 251);
    return data;
}

// smbd with a writable destination share "ziel", a read-only medium "musik" (Netz 1) and
// a writable medium "quelle" (Netz 2); local media under VORLUNE_MEDIA_ROOTS.
class CopyShares : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dirs = new QTemporaryDir;
        const QString d = dirs->path();
        for (const char* sub : {"ziel", "musik", "quelle"})
            QDir().mkpath(d + u'/' + QLatin1String(sub));
        user = QString::fromLocal8Bit(qgetenv("USER"));
        if (user.isEmpty()) user = QStringLiteral("root");
        samba = new SambaPeer;
        whyNot = new QString(samba->start({{"ziel", d + "/ziel", true},
                                           {"musik", d + "/musik", false},
                                           {"quelle", d + "/quelle", true}},
                                          user, QStringLiteral("Sesam0ffne")));
    }
    static void TearDownTestSuite() {
        delete samba;
        delete dirs;
        delete whyNot;
    }
    void SetUp() override {
        if (!whyNot->isEmpty()) GTEST_SKIP() << "smbd cannot serve: " << whyNot->toStdString();
        ASSERT_TRUE(temp.isValid());
        // Each test starts from empty shares.
        for (const char* sub : {"ziel", "musik", "quelle"}) {
            QDir share(dirs->path() + u'/' + QLatin1String(sub));
            for (const QFileInfo& e :
                 share.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
                if (e.isDir())
                    QDir(e.filePath()).removeRecursively();
                else
                    QFile::remove(e.filePath());
            }
        }
        options.tempDir = temp.filePath(QStringLiteral("tmp"));
        QDir().mkpath(options.tempDir);
        options.smbPort = samba->port();
        options.shareUser = user;
        options.smbTimeoutMs = 5000;
        setup.pathTemplate = QStringLiteral("\\\\127.0.0.1\\ziel\\%C\\%A\\%T%E");
        setup.playlistFile = QStringLiteral("\\\\127.0.0.1\\ziel\\listen\\liste.m3u");
    }
    void TearDown() override { qunsetenv("VORLUNE_MEDIA_ROOTS"); }

    static QString share(const char* name) { return dirs->path() + u'/' + QLatin1String(name); }

    QString addMedium(const QString& label, const QString& root = {}) {
        const QString r =
            root.isEmpty() ? temp.filePath(QStringLiteral("medium%1").arg(roots.size())) : root;
        QDir().mkpath(r);
        writeFile(r + u'/' + label + QStringLiteral(".id"), "MEDIATYPE::USB\r\n");
        roots << r;
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(roots.join(u':')));
        return r;
    }

    bool runToEnd(CopyRun& run, const QStringList& titles) {
        QSignalSpy finished(&run, &CopyRun::finished);
        EXPECT_TRUE(run.start(titles, setup));
        EXPECT_TRUE(finished.wait(30000));
        EXPECT_FALSE(run.isRunning());
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    static QTemporaryDir* dirs;
    static SambaPeer* samba;
    static QString user;
    static QString* whyNot;
    QTemporaryDir temp;
    QStringList roots;
    MediaAccess::Options options;
    ScriptedPrompts prompts;
    CopyRun::Setup setup;
};
QTemporaryDir* CopyShares::dirs = nullptr;
SambaPeer* CopyShares::samba = nullptr;
QString CopyShares::user;
QString* CopyShares::whyNot = nullptr;

TEST_F(CopyShares, TitlesAndPlaylistAreWrittenOntoTheShare) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    const QString mp3 = playbacktest::makeMp3(rock + QStringLiteral("/Queen"),
                                              QStringLiteral("Queen - Innuendo.mp3"), 3000);
    ASSERT_FALSE(mp3.isEmpty());
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Song?.ogg"), pattern(5000, 1)));
    // The playlist already on the share is read and extended.
    ASSERT_TRUE(writeFile(share("ziel") + QStringLiteral("/listen/liste.m3u"),
                          "#EXTM3U\n#EXTINF:5,Alt\n/alt.mp3\n"));
    prompts.logins = {{true, "", "Sesam0ffne"}};
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock 1:\\Song?.ogg"),
                               QStringLiteral("Rock 1:\\Queen\\Queen - Innuendo.mp3")}));
    // One password prompt for the share, without a user name field.
    EXPECT_EQ(prompts.captions, QStringList{"\\\\127.0.0.1\\ziel"});
    EXPECT_EQ(prompts.withUserField, QList<bool>{false});
    EXPECT_TRUE(prompts.warnings.isEmpty());
    const QString z = share("ziel");
    EXPECT_EQ(readFile(z + QStringLiteral("/Rock 1/Queen/Innuendo.mp3")), readFile(mp3));
    EXPECT_EQ(readFile(z + QStringLiteral("/Rock 1/Song_/Song_.ogg")), pattern(5000, 1));
    EXPECT_TRUE(QFile::exists(mp3)); // copied, not moved
    EXPECT_EQ(QString::fromUtf8(readFile(z + QStringLiteral("/listen/liste.m3u")))
                  .split(u'\n', Qt::SkipEmptyParts),
              QStringList({"#EXTM3U", "#EXTINF:5,Alt", "/alt.mp3", "#EXTINF:3,Queen - Innuendo",
                           "smb://127.0.0.1/ziel/Rock 1/Queen/Innuendo.mp3", "#EXTINF:,Song?",
                           "smb://127.0.0.1/ziel/Rock 1/Song_/Song_.ogg"}));
    EXPECT_TRUE(leftovers(z).isEmpty());

    // The share's free space reaches the insufficient-space dialog without it waiting.
    const CopyRun::FreeSpaceFn query = run.spaceQuery();
    EXPECT_TRUE(QTest::qWaitFor([&] { return query("\\\\127.0.0.1\\ziel\\Rock 1") > 0; }, 10000));
}

TEST_F(CopyShares, RefusedLoginCancelsAndFailedCopiesLeaveNoPartialFile) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/A.ogg"), pattern(70000, 2)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/B.ogg"), pattern(9000, 4)));
    setup.pathTemplate = QStringLiteral("\\\\127.0.0.1\\ziel\\%F");
    {
        // The user cancels the password prompt: the run ends, with the media layer's warning.
        MediaAccess access(options, &prompts);
        CopyRun run(&access);
        QStringList status;
        QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
        EXPECT_FALSE(runToEnd(run, {QStringLiteral("Rock 1:\\A.ogg")}));
        ASSERT_EQ(prompts.warnings.size(), 1);
        EXPECT_TRUE(prompts.warnings.first().startsWith(
            "Fehler beim Verbinden: ERROR_INVALID_PASSWORD\n\r"))
            << prompts.warnings.first().toStdString();
        // The final status says why.
        EXPECT_EQ(status.last(), "Der Kopiervorgang wurde abgebrochen. Keine Anmeldung an "
                                 "\"\\\\127.0.0.1\\ziel\".");
        EXPECT_FALSE(run.failure().isEmpty());
        EXPECT_FALSE(QFile::exists(share("ziel") + QStringLiteral("/A.ogg")));
    }
    // B's name is taken by a folder on the share: the copy fails, is tried again, and no
    // partial file stays; A is moved.
    QDir().mkpath(share("ziel") + QStringLiteral("/B.ogg/drin"));
    setup.mode = CopyRun::Move;
    prompts.logins = {{true, "", "Sesam0ffne"}};
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    run.setRetryDelay(1000);
    QSignalSpy failed(&run, &CopyRun::copyFailed);
    QSignalSpy finished(&run, &CopyRun::finished);
    ASSERT_TRUE(
        run.start({QStringLiteral("Rock 1:\\B.ogg"), QStringLiteral("Rock 1:\\A.ogg")}, setup));
    ASSERT_TRUE(failed.wait(20000));
    ASSERT_TRUE(failed.wait(10000)); // tried again
    EXPECT_EQ(run.queue().front(), "Rock 1:\\B.ogg");
    EXPECT_FALSE(run.failure().isEmpty());
    run.cancel();
    ASSERT_TRUE(finished.size() == 1 || finished.wait(10000));
    EXPECT_EQ(readFile(share("ziel") + QStringLiteral("/A.ogg")), pattern(70000, 2));
    EXPECT_FALSE(QFile::exists(rock + QStringLiteral("/A.ogg")));
    EXPECT_EQ(readFile(rock + QStringLiteral("/B.ogg")), pattern(9000, 4));
    EXPECT_TRUE(QFileInfo(share("ziel") + QStringLiteral("/B.ogg")).isDir());
    EXPECT_TRUE(leftovers(share("ziel")).isEmpty());
    // The playlist on the share has the moved title.
    EXPECT_EQ(readFile(share("ziel") + QStringLiteral("/listen/liste.m3u")),
              "#EXTM3U\n#EXTINF:,A\nsmb://127.0.0.1/ziel/A.ogg\n");
}

TEST_F(CopyShares, UploadAbortedOrRefusedLeavesNothingUnderTheFinalName) {
    SmbCredentials credentials;
    credentials.set("127.0.0.1", "ziel", user, "Sesam0ffne");
    credentials.set("127.0.0.1", "musik", user, "Sesam0ffne");
    SmbSession session(&credentials, samba->port(), 5000);
    ASSERT_EQ(session.makeFolders("smb://127.0.0.1/ziel/neu/tief"), 0);
    ASSERT_TRUE(QFileInfo(share("ziel") + QStringLiteral("/neu/tief")).isDir());
    // The source is a pipe: the abort comes while the upload waits for more data. The
    // writer's last block finds the pipe closed.
    ::signal(SIGPIPE, SIG_IGN);
    const QString fifo = temp.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::atomic<bool> abort{false};
    std::thread writer([&] {
        QFile out(fifo);
        if (!out.open(QIODevice::WriteOnly)) return;
        out.write(pattern(1536 * 1024, 5));
        out.flush();
        abort = true;
        out.write(pattern(1024 * 1024, 6));
    });
    const SmbSession::Upload aborted =
        session.upload(fifo, "smb://127.0.0.1/ziel/neu/teil.mp3", &abort);
    writer.join();
    struct Case {
        const char* name;
        SmbSession::Upload result;
        bool aborted;
        bool failed;
    };
    const Case cases[] = {
        {"aborted", aborted, true, false},
        {"read-only share", session.uploadData("x", "smb://127.0.0.1/musik/x.mp3"), false, true},
        {"written", session.uploadData(pattern(3000, 7), "smb://127.0.0.1/ziel/neu/tief/ok.mp3"),
         false, false},
        {"replaced", session.uploadData(pattern(2000, 8), "smb://127.0.0.1/ziel/neu/tief/ok.mp3"),
         false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result.aborted, c.aborted) << c.name;
        EXPECT_EQ(c.result.error != 0, c.failed) << c.name << " " << std::strerror(c.result.error);
    }
    EXPECT_FALSE(QFile::exists(share("ziel") + QStringLiteral("/neu/teil.mp3")));
    EXPECT_FALSE(QFile::exists(share("musik") + QStringLiteral("/x.mp3")));
    EXPECT_EQ(readFile(share("ziel") + QStringLiteral("/neu/tief/ok.mp3")), pattern(2000, 8));
    EXPECT_TRUE(leftovers(dirs->path()).isEmpty())
        << leftovers(dirs->path()).join(' ').toStdString();
}

TEST_F(CopyShares, MoveDeletesTheSourceOnlyWhereTheMediumAllows) {
    QTemporaryDir www;
    ASSERT_TRUE(writeFile(www.path() + QStringLiteral("/musik/Web.ogg"), pattern(4000, 3)));
    PythonPeer http;
    ASSERT_TRUE(http.start(QStringLiteral("http_server.py"),
                           {www.path(), www.path() + QStringLiteral("/get.log"), "", ""}));
    // FTP media: one that lets anonymous users delete, one that does not.
    QTemporaryDir ftpRo, ftpRw;
    ASSERT_TRUE(writeFile(ftpRo.path() + QStringLiteral("/alben/F1.ogg"), pattern(4500, 5)));
    ASSERT_TRUE(writeFile(ftpRw.path() + QStringLiteral("/alben/100% F2.ogg"), pattern(4600, 6)));
    PythonPeer ftp1, ftp2;
    ASSERT_TRUE(ftp1.start(QStringLiteral("ftp_server.py"),
                           {ftpRo.path(), ftpRo.path(), "hans", "geheim"}));
    ASSERT_TRUE(ftp2.start(QStringLiteral("ftp_server.py"),
                           {ftpRw.path(), ftpRw.path(), "hans", "geheim", "delete"}));
    const QString local = addMedium(QStringLiteral("Lokal"));
    ASSERT_TRUE(writeFile(local + QStringLiteral("/L.ogg"), pattern(6000, 1)));
    // A medium whose folder is the destination share itself.
    addMedium(QStringLiteral("Selbst"), share("ziel"));
    ASSERT_TRUE(writeFile(share("ziel") + QStringLiteral("/S.ogg"), pattern(3000, 9)));
    writeFile(share("musik") + QStringLiteral("/Netz 1.id"), "MEDIATYPE::LAN\r\n");
    ASSERT_TRUE(writeFile(share("musik") + QStringLiteral("/R.ogg"), pattern(5000, 2)));
    writeFile(share("quelle") + QStringLiteral("/Netz 2.id"), "MEDIATYPE::LAN\r\n");
    ASSERT_TRUE(writeFile(share("quelle") + QStringLiteral("/W.ogg"), pattern(7000, 4)));

    const QString dest = temp.filePath(QStringLiteral("ziel"));
    const struct {
        const char* title;
        QString pathTemplate;
        QString source; // where the original lies
        QString copy;   // where the copy must be
        bool sourceGoes;
        const char* keptText; // in the note about a source that stays; null: none
    } cases[] = {
        {"Lokal:\\L.ogg", "\\\\127.0.0.1\\ziel\\%F", local + "/L.ogg", share("ziel") + "/L.ogg",
         true, nullptr},
        {"Netz 1:\\R.ogg", dest + "/%F", share("musik") + "/R.ogg", dest + "/R.ogg", false,
         "\"Netz 1\""},
        {"Netz 2:\\W.ogg", dest + "/%F", share("quelle") + "/W.ogg", dest + "/W.ogg", true,
         nullptr},
        {"Web 1:\\Web.ogg", dest + "/%F", www.path() + "/musik/Web.ogg", dest + "/Web.ogg", false,
         "Website"},
        {"Ftp 1:\\F1.ogg", dest + "/%F", ftpRo.path() + "/alben/F1.ogg", dest + "/F1.ogg", false,
         "\"Ftp 1\": 550"},
        {"Ftp 2:\\100% F2.ogg", dest + "/%F", ftpRw.path() + "/alben/100% F2.ogg",
         dest + "/100% F2.ogg", true, nullptr},
        // Copied onto itself through the share: skipped, never deleted.
        {"Selbst:\\S.ogg", "\\\\127.0.0.1\\ziel\\%F", share("ziel") + "/S.ogg",
         share("ziel") + "/S.ogg", false, nullptr},
    };
    setup.mode = CopyRun::Move;
    setup.playlistFile.clear();
    // With shares connected every medium is looked for by the wait, off this thread.
    prompts.onWait = [](const QString& label, MediumWait& wait) {
        QSignalSpy found(&wait, &MediumWait::found);
        QSignalSpy missed(&wait, &MediumWait::firstRoundMissed);
        EXPECT_TRUE(wait.start(label));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !found.isEmpty() || !missed.isEmpty(); }, 10000));
        if (wait.isActive()) wait.cancel();
        return wait.foundRoot();
    };
    int round = 0;
    for (const auto& c : cases) {
        // Each round connects its media afresh, with web folders of its own.
        options.tempDir = temp.filePath(QStringLiteral("tmp%1").arg(++round));
        QDir().mkpath(options.tempDir);
        const QByteArray original = readFile(c.source);
        ASSERT_FALSE(original.isEmpty()) << c.title;
        prompts.logins = {{true, "", "Sesam0ffne"}, {true, "", "Sesam0ffne"}};
        MediaAccess access(options, &prompts);
        access.ConnectShare(QStringLiteral("Netz 1"), QStringLiteral("\\\\127.0.0.1\\musik"));
        access.ConnectShare(QStringLiteral("Netz 2"), QStringLiteral("\\\\127.0.0.1\\quelle"));
        access.ConnectWebMedium(QStringLiteral("Web 1"),
                                QStringLiteral("http://127.0.0.1:%1/musik/").arg(http.port()));
        access.ConnectWebMedium(QStringLiteral("Ftp 1"),
                                QStringLiteral("ftp://127.0.0.1:%1/alben/").arg(ftp1.port()));
        access.ConnectWebMedium(QStringLiteral("Ftp 2"),
                                QStringLiteral("ftp://127.0.0.1:%1/alben/").arg(ftp2.port()));
        ASSERT_EQ(access.connections().count(), 5) << prompts.warnings.join('|').toStdString();
        setup.pathTemplate = c.pathTemplate;
        CopyRun run(&access);
        QStringList status;
        QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
        EXPECT_TRUE(runToEnd(run, {QString::fromUtf8(c.title)})) << c.title;
        EXPECT_EQ(readFile(c.copy), original) << c.title;
        EXPECT_EQ(QFile::exists(c.source), !c.sourceGoes) << c.title;
        if (!c.sourceGoes) {
            EXPECT_EQ(readFile(c.source), original) << c.title;
        }
        if (c.keptText) {
            ASSERT_EQ(run.keptSources().size(), 1) << c.title;
            EXPECT_TRUE(run.keptSources().first().contains(QLatin1String(c.keptText)))
                << run.keptSources().first().toStdString();
        } else {
            EXPECT_TRUE(run.keptSources().isEmpty()) << c.title;
        }
        EXPECT_TRUE(leftovers(dirs->path()).isEmpty()) << c.title;
        EXPECT_TRUE(leftovers(dest).isEmpty()) << c.title;
    }
}

} // namespace
