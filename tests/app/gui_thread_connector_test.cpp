#include "collection_loader.h"
#include "gui_thread_connector.h"
#include "index_file.h"
#include "media_access.h"
#include "test_peers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <future>

namespace {

// Records on which thread each question came.
class ThreadRecordingPrompts : public ScriptedPrompts {
public:
    QList<QThread*> threads;
    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override {
        threads << QThread::currentThread();
        return ScriptedPrompts::askPassword(caption, withUserName, user, password);
    }
    void warn(const QString& text) override {
        threads << QThread::currentThread();
        ScriptedPrompts::warn(text);
    }
};

void writeMedium(const QString& path, const QString& label, const QString& mediaType) {
    QStringList lines{QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::") + label};
    if (!mediaType.isEmpty()) lines << QStringLiteral("MEDIATYPE::") + mediaType;
    lines << label + QStringLiteral(":\\Ordner\\") << label + QStringLiteral(":\\Ordner\\a.mp3");
    QString error;
    ASSERT_TRUE(indexfile::writeIndexFile(path, lines, &error)) << error.toStdString();
}

QString deadUrl() {
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost)) return {};
    return QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
}

class GuiThreadConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(www.isValid() && temp.isValid() && catalogue.isValid());
        ASSERT_TRUE(writeFile(www.path() + "/musik/a.mp3", "abc"));
        ASSERT_TRUE(open.start("http_server.py", {www.path(), www.path() + "/open.log", "", ""}));
        ASSERT_TRUE(locked.start("http_server.py",
                                 {www.path(), www.path() + "/locked.log", "hans", "geheim"}));
        options.tempDir = temp.path();
        options.timeouts.connectSeconds = 5;
        options.timeouts.probeSeconds = 10;
    }
    QString openUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(open.port());
    }
    QString lockedUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/musik/").arg(locked.port());
    }
    int requests(const char* log) const {
        return QString::fromUtf8(readFile(www.path() + u'/' + QLatin1StringView(log)))
            .split(u'\n', Qt::SkipEmptyParts)
            .size();
    }
    CollectionLoader::Result load(CollectionLoader& loader) {
        QSignalSpy loaded(&loader, &CollectionLoader::loaded);
        loader.start(catalogue.path());
        EXPECT_TRUE(loaded.wait(30000));
        CollectionLoader::Result r;
        if (loaded.isEmpty()) return r;
        r.collection = loaded.first().at(0).value<std::shared_ptr<Collection>>();
        r.report = loaded.first().at(1).value<LoadReport>();
        return r;
    }

    QTemporaryDir www, temp, catalogue;
    PythonPeer open, locked;
    ThreadRecordingPrompts prompts;
    MediaAccess::Options options;
};

TEST_F(GuiThreadConnectorTest, WorkerLoadConnectsOnTheGuiThreadOnceAcrossReloads) {
    const QString dead = deadUrl();
    ASSERT_FALSE(dead.isEmpty());
    writeMedium(catalogue.filePath("a.cd"), "Web Eins", "WWW::" + lockedUrl());
    writeMedium(catalogue.filePath("b.cd"), "Web Zwei", "WWW::" + lockedUrl());
    writeMedium(catalogue.filePath("c.cd"), "Tot", "WWW::" + dead);
    writeMedium(catalogue.filePath("d.cd"), "Hier", "CDR");

    MediaAccess access(options, &prompts);
    GuiThreadConnector connector(&access);
    CollectionLoader loader;
    loader.setConnector(&connector);
    prompts.logins = {{true, "hans", "geheim"}};

    const CollectionLoader::Result first = load(loader);
    ASSERT_TRUE(first.collection);
    // The same URL for two media: one prompt, for the first; the dead server: one warning.
    EXPECT_EQ(prompts.captions, QStringList{"Web Eins"});
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.first().startsWith("Fehler beim Verbinden: "));
    EXPECT_TRUE(prompts.warnings.first().contains("\"" + dead + "\" hergestellt werden."));
    EXPECT_TRUE(prompts.warnings.first().endsWith("\"Tot\" wird nicht verfügbar sein."));
    for (QThread* t : prompts.threads)
        EXPECT_EQ(t, QCoreApplication::instance()->thread());
    ASSERT_EQ(access.connections().count(), 1);
    EXPECT_EQ(access.connections().entries().first().label, "Web Eins");
    // Every medium loads, connected or not.
    EXPECT_EQ(first.collection->mediaCount, 4);
    EXPECT_TRUE(first.collection->loadedStatusText().endsWith(
        QStringLiteral(" 1 Netzlaufwerk(e) sind verbunden.")));
    const int probes = requests("locked.log");
    EXPECT_EQ(probes, 2); // refused, then accepted

    // A reload connects nothing again; the dead medium is tried again and warned once.
    const CollectionLoader::Result second = load(loader);
    ASSERT_TRUE(second.collection);
    EXPECT_EQ(prompts.captions.size(), 1);
    EXPECT_EQ(prompts.warnings.size(), 2);
    EXPECT_EQ(requests("locked.log"), probes);
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_TRUE(second.collection->loadedStatusText().endsWith(
        QStringLiteral(" 1 Netzlaufwerk(e) sind verbunden.")));
}

TEST_F(GuiThreadConnectorTest, CloseLetsAWaitingWorkerGoAndConnectsNothingMore) {
    MediaAccess access(options, &prompts);
    GuiThreadConnector connector(&access);

    // From the GUI thread the call goes straight through.
    connector.ConnectWebMedium("Web Offen", openUrl());
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_EQ(connector.connectionCount(), 1);

    // A worker's question is answered by the GUI thread's event loop.
    auto count = std::async(std::launch::async, [&] { return connector.connectionCount(); });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return count.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        5000));
    EXPECT_EQ(count.get(), 1);

    // A worker asks while the GUI thread does not run its event loop (as when it waits
    // for the loader at closing).
    auto blocked = std::async(std::launch::async,
                              [&] { connector.ConnectWebMedium("Web Gesperrt", lockedUrl()); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    connector.close();
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    QCoreApplication::processEvents(); // the call posted before closing runs now
    QCoreApplication::processEvents();
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_TRUE(prompts.captions.isEmpty());
    EXPECT_EQ(requests("locked.log"), 0);

    // Closed: neither a worker nor the GUI thread connects anything.
    auto later = std::async(std::launch::async,
                            [&] { connector.ConnectWebMedium("Web Gesperrt", lockedUrl()); });
    EXPECT_EQ(later.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    connector.ConnectShare("Netz", "\\\\127.0.0.1\\musik");
    EXPECT_EQ(access.connections().count(), 1);
    EXPECT_EQ(requests("locked.log"), 0);
    EXPECT_TRUE(prompts.warnings.isEmpty());
}

TEST_F(GuiThreadConnectorTest, StalledServersLeaveTheGuiThreadAnswering) {
    // Web and FTP servers that take the connection and never answer.
    SilentServer web, ftp;
    ASSERT_TRUE(web.listen() && ftp.listen());
    const QString webUrl = QStringLiteral("http://127.0.0.1:%1/musik/").arg(web.port());
    const QString ftpUrl = QStringLiteral("ftp://127.0.0.1:%1/musik/").arg(ftp.port());
    writeMedium(catalogue.filePath("a.cd"), "Still Web", "WWW::" + webUrl);
    writeMedium(catalogue.filePath("b.cd"), "Still FTP", "WWW::" + ftpUrl);
    writeMedium(catalogue.filePath("c.cd"), "Web Gesperrt", "WWW::" + lockedUrl());
    options.timeouts.connectSeconds = 2;
    options.timeouts.probeSeconds = 2;

    MediaAccess access(options, &prompts);
    GuiThreadConnector connector(&access);
    CollectionLoader loader;
    loader.setConnector(&connector);
    prompts.logins = {{true, "hans", "geheim"}};
    LoopLagProbe lag;
    const CollectionLoader::Result result = load(loader);
    ASSERT_TRUE(result.collection);
    EXPECT_LT(lag.worstLagMs(), 100) << "with the waits for a CPU " << lag.worstRawLagMs() << " ms";
    EXPECT_GT(lag.ticks(), 100); // the checks took their time meanwhile
    // The stalled ones failed with a warning each, the password prompt still came.
    EXPECT_EQ(prompts.captions, QStringList{"Web Gesperrt"});
    EXPECT_EQ(prompts.warnings.size(), 2);
    for (QThread* t : prompts.threads)
        EXPECT_EQ(t, QCoreApplication::instance()->thread());
    ASSERT_EQ(access.connections().count(), 1);
    EXPECT_EQ(access.connections().entries().first().label, "Web Gesperrt");
    EXPECT_EQ(result.collection->mediaCount, 3);

    // Closing while a check waits on a silent server lets the loader go at once.
    QFile::remove(catalogue.filePath("c.cd"));
    options.timeouts.probeSeconds = 60;
    options.timeouts.connectSeconds = 60;
    MediaAccess patient(options, &prompts);
    GuiThreadConnector second(&patient);
    CollectionLoader secondLoader;
    secondLoader.setConnector(&second);
    secondLoader.start(catalogue.path());
    QTest::qWait(500);
    QElapsedTimer clock;
    clock.start();
    second.close();
    secondLoader.wait();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(patient.connections().count(), 0);
}

} // namespace
