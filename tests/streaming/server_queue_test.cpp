#include "test_support.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

class StreamServerQueue : public ServerFixture {};

static bool sendAll(int fd, const QByteArray& b) {
    return ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL) == b.size();
}

// Reads until the header's end, then returns whatever followed it.
static QByteArray readHeader(int fd) {
    QByteArray got;
    char buf[512];
    while (!got.contains("\r\n\r\n")) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return QByteArray();
        got.append(buf, n);
    }
    return got;
}

TEST_F(StreamServerQueue, PausedReaderGetsEveryByteInOrder) {
    ASSERT_TRUE(startWith(baseConfig()));
    const int fd = rawConnect(port, 4096);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, icyRequest("Icy-MetaData: 1\r\n")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            WClientInfo i;
            return server->GetClientInfo(0, i) && i.Streaming;
        },
        3000));
    // Don't read for a while: more piles up than the kernel buffers can hold.
    QTest::qWait(6000);
    WClientInfo info;
    ASSERT_TRUE(server->GetClientInfo(0, info));
    EXPECT_GT(info.BytesSent, 200000u);
    IcyStreamChecker checker;
    const QByteArray head = readHeader(fd);
    ASSERT_FALSE(head.isEmpty());
    checker.feed(head);
    char buf[65536];
    qint64 total = head.size() - (head.indexOf("\r\n\r\n") + 4);
    while (total < qint64(info.BytesSent)) {
        QTest::qWait(1);
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0) break;
        if (n > 0) {
            checker.feed(buf, n);
            total += n;
        }
    }
    ::close(fd);
    EXPECT_GE(total, qint64(info.BytesSent));
    EXPECT_FALSE(checker.corrupt()) << checker.error().toStdString();
    EXPECT_EQ(checker.skippedAtStart(), 0);
    EXPECT_GE(checker.metaBlocks(), 12);
}

TEST_F(StreamServerQueue, ListenerOverItsBoundIsDropped) {
    ASSERT_TRUE(startWith(baseConfig()));
    QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
    TestListener healthy(port, icyRequest(""));
    ASSERT_TRUE(healthy.waitHeader());
    const int fd = rawConnect(port, 4096);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, icyRequest("User-Agent: stuck\r\n")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return countLog("INFO: Headers sent.") == 2; }, 3000));
    const qint64 limit = server->sendQueueLimit();
    EXPECT_EQ(limit, 320 * 125 * 10);
    // Far more than kernel buffers and the bound together, delivered at once.
    const QByteArray chunk(4000, '\x55');
    for (int i = 0; i < 200 && gone.count() == 0; ++i) {
        server->DeliverChunk(chunk);
        QTest::qWait(0);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.count() == 1; }, 3000));
    EXPECT_EQ(gone.first().at(1).value<WClientInfo>().UserAgent, "stuck");
    EXPECT_EQ(countLog(QString("INFO: Send queue over %1 bytes, connection closed.").arg(limit)),
              1);
    EXPECT_EQ(server->ClientCount(), 1);
    EXPECT_FALSE(healthy.closed);
    ::close(fd);
}

TEST_F(StreamServerQueue, RequestInPiecesIsCollected) {
    ASSERT_TRUE(startWith(baseConfig()));
    const int fd = rawConnect(port, 65536);
    ASSERT_GE(fd, 0);
    for (const char* piece :
         {"GET / HTTP/1.0\r\nUser-Ag", "ent: Pieces/1.0\r\nIcy-Meta", "Data: 1\r", "\n\r", "\n"}) {
        ASSERT_TRUE(sendAll(fd, piece));
        QTest::qWait(150);
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            WClientInfo i;
            return server->GetClientInfo(0, i) && i.Streaming;
        },
        3000));
    WClientInfo info;
    ASSERT_TRUE(server->GetClientInfo(0, info));
    EXPECT_EQ(info.UserAgent, "Pieces/1.0");
    EXPECT_TRUE(info.Metadata);
    const QByteArray head = readHeader(fd);
    EXPECT_TRUE(head.contains("icy-metaint:16000\r\n"));
    ::close(fd);
}

TEST_F(StreamServerQueue, UnfinishedAndOversizedRequestsAreClosed) {
    ASSERT_TRUE(startWith(baseConfig()));
    QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
    TestListener endless(port, "GET / HTTP/1.0\r\nUser-Agent: slow\r\n");
    TestListener huge(port, "GET / HTTP/1.0\r\nX-Pad: " + QByteArray(9000, 'x'));
    // The engine closes on its own thread; the log and the signal follow on this one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return huge.closed && gone.count() >= 1; }, 3000));
    EXPECT_TRUE(huge.raw.isEmpty());
    EXPECT_FALSE(endless.closed);
    EXPECT_EQ(countLog("INFO: Request too long, connection closed."), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return endless.closed && gone.count() >= 2; }, 13000));
    EXPECT_TRUE(endless.raw.isEmpty());
    EXPECT_EQ(countLog("INFO: Request not completed in time, connection closed."), 1);
    EXPECT_EQ(gone.count(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->ClientCount() == 0; }, 2000));
}

TEST_F(StreamServerQueue, LargeDeliveriesKeepTheMetadataInterval) {
    server->StreamTitle = "Big";
    ASSERT_TRUE(startWith(baseConfig()));
    TestListener l(port, icyRequest("Icy-MetaData: 1\r\n"));
    ASSERT_TRUE(l.waitHeader());
    for (int i = 0; i < 3; ++i)
        server->DeliverChunk(QByteArray(50000, 'a')); // 'a' read as a length byte would be 97
    ASSERT_TRUE(l.waitMetaBlocks(9));
    const QByteArray& raw = l.raw;
    qsizetype pos = raw.indexOf("\r\n\r\n") + 4 + 16000;
    int blocks = 0;
    while (pos < raw.size()) {
        const int len = uchar(raw[pos]);
        EXPECT_TRUE(len == 0 ||
                    (blocks == 0 && raw.mid(pos + 1, 16).startsWith("StreamTitle='Big")))
            << "block " << blocks << " length byte " << len;
        pos += 1 + len * 16 + 16000;
        ++blocks;
    }
    EXPECT_GE(blocks, 9);
}
