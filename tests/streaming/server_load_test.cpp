#include "listener_request.h"
#include "stream_engine.h"
#include "stream_log.h"
#include "stream_ring.h"
#include "test_support.h"
#include "tone_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool sendAll(int fd, const QByteArray& b) {
    return ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL) == b.size();
}

qint64 rssBytes() {
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

int fdCount(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

const char* kChildVar = "VORLUNE_LOW_FILES_CHILD";

} // namespace

class StreamServerLoad : public ServerFixture {
protected:
    bool allStreaming(int n) {
        return QTest::qWaitFor([&] { return countLog("INFO: Headers sent.") >= n; }, 10000) &&
               server->ClientCount() == n;
    }
};

TEST(ListenerRequestParse, HeadersAnywhereValuesTrimmedIncompleteWaits) {
    struct Case {
        QByteArray in;
        bool complete;
        QByteArray agent; // "-" for none
        QByteArray meta;
    } cases[] = {
        {"GET / HTTP/1.0\r\nUser-Agent:  P/1 \r\nIcy-MetaData:1\r\n\r\n", true, "P/1", "1"},
        {"GET / HTTP/1.0\r\nuser-agent:x\r\n\r\nIcy-MetaData:1\r\n", true, "x", "-"},
        {"GET / HTTP/1.0\r\nUser-Agent: never ends\r\n", false, "-", "-"},
        {"GET / HTTP/1.0\r\nX-Icy-Metadata: true\r\n\r\n", true, "-", "true"},
        {"GET / HTTP/1.0\r\nUser-Agent:\r\n\r\n", true, "", "-"},
        {"\r\n\r\n", true, "-", "-"},
    };
    for (const Case& c : cases) {
        const ListenerRequest r = parseListenerRequest(c.in);
        EXPECT_EQ(r.complete, c.complete) << c.in.constData();
        if (!c.complete) continue;
        EXPECT_EQ(r.length, c.in.indexOf("\r\n\r\n") + 4);
        EXPECT_EQ(r.userAgent.isNull(), c.agent == "-") << c.in.constData();
        if (c.agent != "-") {
            EXPECT_EQ(r.userAgent, c.agent);
        }
        EXPECT_EQ(r.icyMetadata.isNull(), c.meta == "-") << c.in.constData();
        if (c.meta != "-") {
            EXPECT_EQ(r.icyMetadata, c.meta);
        }
    }
    EXPECT_EQ(cleanForLog(QString::fromUtf8("a\nb\tc\x1b[2J\xc2\x85z")),
              QString::fromUtf8("a\xef\xbf\xbd"
                                "b\xef\xbf\xbd"
                                "c\xef\xbf\xbd[2J\xef\xbf\xbdz"));
}

TEST(StreamRingBuffer, WrapsKeepsOffsetsAndStartsOnChunks) {
    StreamRing ring(100);
    QByteArray all;
    for (int i = 0; i < 9; ++i) { // 9 chunks of 30 bytes: wraps twice
        const QByteArray chunk(30, char('a' + i));
        ring.append(chunk.constData(), chunk.size());
        all += chunk;
    }
    EXPECT_EQ(ring.head(), 270u);
    EXPECT_EQ(ring.tail(), 170u);
    EXPECT_FALSE(ring.holds(169));
    EXPECT_TRUE(ring.holds(170));
    EXPECT_TRUE(ring.holds(270));
    for (quint64 from : {170u, 195u, 200u, 269u}) {
        iovec iov[2];
        const qint64 n = qint64(270 - from);
        const int k = ring.slices(from, n, iov);
        QByteArray got;
        for (int i = 0; i < k; ++i)
            got.append(static_cast<const char*>(iov[i].iov_base), qsizetype(iov[i].iov_len));
        EXPECT_EQ(got, all.mid(qsizetype(from))) << from;
    }
    // Start points are chunk starts still held, at or after head - back.
    EXPECT_EQ(ring.startPoint(45), 240u);
    EXPECT_EQ(ring.startPoint(60), 210u);
    EXPECT_EQ(ring.startPoint(1000), 180u); // 150 fell off the tail
    EXPECT_EQ(ring.startPoint(0), 270u);
}

TEST(StreamLogTime, LongTimeFormatWithoutZone) {
    for (QLocale::Language lang :
         {QLocale::German, QLocale::English, QLocale::French, QLocale::Japanese, QLocale::C}) {
        const QLocale loc(lang);
        const QString f = StreamLog::timeFormat(loc);
        QString unquoted;
        bool quoted = false;
        for (QChar c : f) {
            if (c == '\'') quoted = !quoted;
            if (!quoted) unquoted += c;
        }
        EXPECT_FALSE(unquoted.contains('t')) << f.toStdString();
        EXPECT_TRUE(f.contains("mm") && f.contains("ss")) << f.toStdString();
        EXPECT_EQ(f, f.trimmed());
    }
    EXPECT_EQ(StreamLog::timeFormat(QLocale(QLocale::German)), "HH:mm:ss");
    const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
    if (!zone.isEmpty()) {
        EXPECT_FALSE(StreamLog::timestamp().contains(zone));
    }
}

TEST_F(StreamServerLoad, RefusedConnectionLeavesTheCountAtOnce) {
    StreamConfig c = baseConfig();
    c.LimitListeners = true;
    c.MaxListeners = 1;
    ASSERT_TRUE(startWith(c));
    TestListener first(port, icyRequest(""));
    ASSERT_TRUE(first.waitHeader());
    QSignalSpy full(server.get(), &WStreamingServer::OnServerFull);
    const int fd = rawConnect(port, 65536); // gets the page and keeps its end open
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, icyRequest("")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return full.count() == 1; }, 3000));
    EXPECT_EQ(server->ClientCount(), 1);
    char buf[64];
    ASSERT_GT(::recv(fd, buf, sizeof buf, 0), 12);
    EXPECT_TRUE(QByteArray(buf, 12) == "HTTP/1.1 503");
    // The slot is free as soon as the listener leaves, whoever was refused before.
    first.socket.abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->ClientCount() == 0; }, 3000));
    TestListener second(port, icyRequest(""));
    EXPECT_TRUE(second.waitHeader());
    EXPECT_EQ(full.count(), 1);
    ::close(fd);
}

TEST_F(StreamServerLoad, HandlersMayStopOrReconfigureTheServer) {
    enum Hook {
        StopInDisconnectDuringStop,
        StopInInfoChange,
        ConfigureInConnect,
        ConfigureInDisconnectDuringStop
    };
    for (Hook hook : {StopInDisconnectDuringStop, StopInInfoChange, ConfigureInConnect,
                      ConfigureInDisconnectDuringStop}) {
        SCOPED_TRACE(int(hook));
        ASSERT_TRUE(startWith(baseConfig()));
        QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
        QSignalSpy stopped(server.get(), &WStreamingServer::OnStop);
        std::vector<std::unique_ptr<TestListener>> ls;
        for (int i = 0; i < 3; ++i)
            ls.push_back(std::make_unique<TestListener>(port, icyRequest("")));
        for (auto& l : ls)
            ASSERT_TRUE(l->waitHeader());
        StreamConfig other = baseConfig();
        other.StationID = "Anders";
        QMetaObject::Connection hookConn;
        WStreamingServer* s = server.get();
        switch (hook) {
        case StopInDisconnectDuringStop:
            hookConn =
                QObject::connect(s, &WStreamingServer::OnClientDisconnect, [s] { s->Stop(); });
            s->Stop();
            break;
        case StopInInfoChange: {
            hookConn =
                QObject::connect(s, &WStreamingServer::OnClientInfoChange, [s] { s->Stop(); });
            TestListener late(port, icyRequest(""));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !s->isActive(); }, 5000));
            break;
        }
        case ConfigureInConnect: {
            hookConn = QObject::connect(s, &WStreamingServer::OnClientConnect,
                                        [s, other] { s->Configure(other); });
            TestListener late(port, icyRequest(""));
            ASSERT_TRUE(QTest::qWaitFor([&] { return stopped.count() == 1; }, 5000));
            EXPECT_TRUE(s->isActive());
            EXPECT_EQ(s->config().StationID, "Anders");
            break;
        }
        case ConfigureInDisconnectDuringStop:
            hookConn = QObject::connect(s, &WStreamingServer::OnClientDisconnect,
                                        [s, other] { s->Configure(other); });
            s->Stop();
            EXPECT_FALSE(s->isActive());
            EXPECT_EQ(s->config().StationID, "Anders");
            break;
        }
        QObject::disconnect(hookConn);
        EXPECT_EQ(stopped.count(), 1);
        EXPECT_GE(gone.count(), 3);
        for (auto& l : ls)
            EXPECT_TRUE(QTest::qWaitFor([&] { return l->closed; }, 3000));
        // The server still works afterwards.
        s->Stop();
        ASSERT_TRUE(startWith(baseConfig()));
        TestListener after(port, icyRequest(""));
        EXPECT_TRUE(after.waitHeader());
        s->Stop();
    }
}

TEST_F(StreamServerLoad, StalledListenersShareOneBuffer) {
    ASSERT_TRUE(startWith(baseConfig()));
    std::vector<int> fds;
    for (int i = 0; i < 150; ++i) {
        const int fd = rawConnect(port, 4096);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sendAll(fd, icyRequest("Icy-MetaData: 1\r\n")));
        fds.push_back(fd);
    }
    ASSERT_TRUE(allStreaming(150));
    QTest::qWait(300);
    const qint64 before = rssBytes();
    // Nine tenths of the lag bound, to listeners that read nothing: nobody is dropped,
    // and yet the server holds the audio once, not once per listener.
    const qint64 limit = server->sendQueueLimit();
    for (qint64 sent = 0; sent + 4000 < limit * 9 / 10; sent += 4000) {
        server->DeliverChunk(QByteArray(4000, char(sent / 4000)));
        QTest::qWait(0);
    }
    QTest::qWait(500);
    const qint64 grown = rssBytes() - before;
    EXPECT_EQ(server->ClientCount(), 150);
    EXPECT_LT(grown, 12 * 1024 * 1024) << "resident memory grew by " << grown;
    for (int fd : fds)
        ::close(fd);
}

TEST_F(StreamServerLoad, StalledListenerIsDroppedAtTheTailOthersPlayOn) {
    server->setSendQueueLimit(48000);
    server->StreamTitle = "Lauf";
    ASSERT_TRUE(startWith(baseConfig()));
    QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
    std::vector<std::unique_ptr<TestListener>> healthy;
    for (int i = 0; i < 3; ++i)
        healthy.push_back(std::make_unique<TestListener>(port, icyRequest("Icy-MetaData: 1\r\n")));
    const int fd = rawConnect(port, 4096);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, icyRequest("User-Agent: stalled\r\nIcy-MetaData: 1\r\n")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.count() == 1; }, 15000));
    EXPECT_EQ(gone.first().at(1).value<WClientInfo>().UserAgent, "stalled");
    EXPECT_EQ(countLog("INFO: Send queue over 48000 bytes, connection closed."), 1);
    const qint64 blocks = healthy[0]->checker.metaBlocks();
    for (auto& l : healthy)
        ASSERT_TRUE(l->waitMetaBlocks(blocks + 2));
    for (auto& l : healthy) {
        EXPECT_FALSE(l->closed);
        EXPECT_FALSE(l->checker.corrupt()) << l->checker.error().toStdString();
        EXPECT_EQ(l->checker.skippedAtStart(), 0);
        EXPECT_EQ(l->checker.metadataTexts().size(), 1);
    }
    EXPECT_EQ(server->ClientCount(), 3);
    ::close(fd);
}

TEST_F(StreamServerLoad, HostileUserAgentCannotForgeLogLines) {
    ASSERT_TRUE(startWith(baseConfig()));
    const int fd = rawConnect(port, 65536);
    ASSERT_GE(fd, 0);
    const QByteArray agent = "evil\nFAKE\tDISCONNECT: forged\x1b[2J\x7f";
    ASSERT_TRUE(sendAll(fd, "GET / HTTP/1.0\r\nUser-Agent: " + agent + "\r\n\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return countLog("INFO: Headers sent.") == 1; }, 3000));
    QFile f(logPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty()) continue;
        // Every line is time stamp, TAB, text; the text of a listener line has one TAB more.
        EXPECT_LE(line.count('\t'), 2) << line.constData();
        EXPECT_FALSE(line.startsWith("FAKE")) << line.constData();
        EXPECT_FALSE(line.contains('\x1b'));
    }
    EXPECT_EQ(countLog(QString::fromUtf8("INFO: User agent is \"evil\xef\xbf\xbd"
                                         "FAKE\xef\xbf\xbd"
                                         "DISCONNECT: forged\xef\xbf\xbd[2J\xef\xbf\xbd\".")),
              1);
    WClientInfo info;
    ASSERT_TRUE(server->GetClientInfo(0, info));
    EXPECT_EQ(info.UserAgent.toUtf8(), agent); // the record keeps what was sent
    ::close(fd);
}

// Runs the server with a tiny file limit; started by the next test as a child process.
TEST(StreamServerLowFiles, ServeAsChild) {
    if (!qEnvironmentVariableIsSet(kChildVar)) GTEST_SKIP() << "runs as a child process only";
    rlimit r{};
    r.rlim_cur = 40;
    r.rlim_max = 80;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &r), 0);
    WStreamingServer server("child");
    server.setCaptureSource(new ToneSource(440));
    server.SetEncoderLibrary(LAME_LIBRARY);
    StreamConfig c;
    c.Port = 0;
    c.BitRate = 128;
    c.VBRMethod = StreamMode::CBR;
    server.Configure(c);
    ASSERT_TRUE(server.Start());
    getrlimit(RLIMIT_NOFILE, &r);
    printf("SOFT %d\nPORT %d\n", int(r.rlim_cur), int(server.listeningPort()));
    fflush(stdout);
    QTest::qWait(20000); // the parent ends it
}

TEST(StreamServerLowFiles, KeepsAcceptingAfterRunningOutOfFiles) {
    if (qEnvironmentVariableIsSet(kChildVar)) GTEST_SKIP();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVar, "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=StreamServerLowFiles.ServeAsChild"});
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += child.readAllStandardOutput();
            return out.contains("PORT ") && out.indexOf('\n', out.indexOf("PORT ")) > 0;
        },
        10000))
        << out.constData();
    EXPECT_TRUE(out.contains("SOFT 80\n")) << "the soft limit is raised to the hard one";
    const qsizetype at = out.indexOf("PORT ") + 5;
    const quint16 port = quint16(out.mid(at, out.indexOf('\n', at) - at).toInt());
    ASSERT_NE(port, 0);
    QTest::qWait(300);
    const int baseline = fdCount(child.processId());
    // Far more idle connections than the child has descriptors.
    std::vector<int> idle;
    for (int i = 0; i < 150; ++i) {
        const int fd = rawConnect(port, 4096);
        if (fd >= 0) idle.push_back(fd);
    }
    EXPECT_GE(idle.size(), 100u);
    QTest::qWait(700);
    for (int fd : idle)
        ::close(fd);
    QTest::qWait(500);
    TestListener real(port, icyRequest(""));
    EXPECT_TRUE(real.waitHeader(8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return real.checker.frames() > 5; }, 8000));
    real.socket.abort();
    // Every descriptor the burst took is given back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return fdCount(child.processId()) <= baseline; }, 5000))
        << fdCount(child.processId()) << " open, " << baseline << " before";
    child.kill();
    child.waitForFinished(3000);
}
