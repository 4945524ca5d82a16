// FTP folder listings as jobs of the task service, against a real server on loopback.
#include "folder_listing.h"
#include "task_service.h"
#include "test_peers.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

TEST(FolderListing, ListsAFolderOrReportsWhyNot) {
    QTemporaryDir anon, home, temp;
    ASSERT_TRUE(writeFile(anon.path() + "/pub/Rock/a b.mp3", "x"));
    ASSERT_TRUE(writeFile(anon.path() + "/pub/Rock/Zweite Seite.ogg", "y"));
    ASSERT_TRUE(writeFile(home.path() + "/privat/x.ogg", "z"));
    PythonPeer ftp, closedFtp;
    ASSERT_TRUE(ftp.start("ftp_server.py", {home.path(), anon.path(), "ftpuser", "geheim"}));
    ASSERT_TRUE(closedFtp.start("ftp_server.py",
                                {home.path(), anon.path(), "ftpuser", "geheim", "noanon"}));
    SilentServer silent;
    ASSERT_TRUE(silent.listen());
    const auto at = [](quint16 port, const char* folder) {
        return QStringLiteral("ftp://127.0.0.1:%1/%2").arg(port).arg(QLatin1String(folder));
    };
    const QString reading = QStringLiteral("Fehler beim Lesen des Ordners: ");
    const struct {
        const char* name;
        QString folder;
        webclient::Credentials login;
        QString tempDir;
        int cancelAfterMs; // -1: never
        QStringList names; // in the listing
        QString errorStart;
        bool cancelled;
    } cases[] = {
        {"anonymous",
         at(ftp.port(), "pub/Rock/"),
         {"anonymous", "a@b"},
         temp.path(),
         -1,
         {"a b.mp3", "Zweite Seite.ogg"},
         {},
         false},
        {"with login",
         at(closedFtp.port(), "privat/"),
         {"ftpuser", "geheim"},
         temp.path(),
         -1,
         {"x.ogg"},
         {},
         false},
        {"login refused",
         at(closedFtp.port(), "privat/"),
         {"ftpuser", "falsch"},
         temp.path(),
         -1,
         {},
         reading,
         false},
        {"no such folder",
         at(ftp.port(), "fehlt/"),
         {"anonymous", "a@b"},
         temp.path(),
         -1,
         {},
         reading,
         false},
        {"no temporary folder",
         at(ftp.port(), "pub/Rock/"),
         {"anonymous", "a@b"},
         temp.filePath("fehlt/auch"),
         -1,
         {},
         QStringLiteral("Die Liste kann nicht abgelegt werden."),
         false},
        {"server silent, cancelled",
         at(silent.port(), "pub/"),
         {"anonymous", "a@b"},
         temp.path(),
         300,
         {},
         reading,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService tasks;
        QList<bool> finishedOk;
        QStringList messages;
        QObject::connect(&tasks, &TaskService::finished, &tasks,
                         [&](tasks::Id, bool ok, const QString& message) {
                             finishedOk << ok;
                             messages << message;
                         });
        TaskOutcome<QByteArray> got;
        bool done = false;
        bool onGuiThread = false;
        webclient::Timeouts timeouts;
        timeouts.connectSeconds = 20;
        timeouts.stallSeconds = 20;
        const tasks::Id id = tasks.run(
            tasks::Kind::Lookup, QStringLiteral("Ordner auflisten"), true,
            [folder = c.folder, login = c.login, dir = c.tempDir,
             timeouts](const TaskControl& control) {
                return folderlisting::fetch(folder, login, dir, control, timeouts);
            },
            &tasks,
            [&](TaskOutcome<QByteArray> o) {
                got = std::move(o);
                done = true;
                onGuiThread = QThread::currentThread() == qApp->thread();
            });
        QElapsedTimer clock;
        clock.start();
        if (c.cancelAfterMs >= 0) {
            QTest::qWait(c.cancelAfterMs);
            EXPECT_TRUE(tasks.cancel(id));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
        EXPECT_TRUE(onGuiThread);
        EXPECT_EQ(got.cancelled, c.cancelled);
        if (c.cancelled) {
            EXPECT_LT(clock.elapsed(), 5000); // long before any time-out
        }
        EXPECT_EQ(got.ok, c.errorStart.isEmpty());
        EXPECT_TRUE(got.error.startsWith(c.errorStart)) << got.error.toStdString();
        if (!c.errorStart.isEmpty()) {
            EXPECT_TRUE(got.value.isEmpty());
        }
        for (const QString& name : c.names)
            EXPECT_TRUE(got.value.contains(name.toUtf8())) << name.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finishedOk.size() == 1; }, 3000));
        EXPECT_EQ(finishedOk[0], got.ok);
        EXPECT_EQ(messages[0], got.error);
    }
}
