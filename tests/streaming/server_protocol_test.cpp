#include "test_support.h"
#include "tone_source.h"

#include <QDate>
#include <QHostInfo>
#include <QSignalSpy>
#include <QTest>

class StreamServer : public ServerFixture {};

static QByteArray expectedHeader(bool metadata) {
    QByteArray h = "ICY 200 OK\r\n"
                   "icy-notice1:This stream is served by Vorlune, Version test\r\n"
                   "icy-notice2:Vorlune streaming, Copyright (C) 2002-" +
                   QByteArray::number(QDate::currentDate().year()) +
                   " the Vorlune developers\r\n"
                   "icy-name:Testradio\r\n";
    if (metadata) h += "icy-metaint:16000\r\n";
    h += "icy-br:320\r\nServer: Vorlune, Version test\r\n\r\n";
    return h;
}

TEST_F(StreamServer, ResponseHeaderFollowsIcyMetadataValue) {
    ASSERT_TRUE(startWith(baseConfig()));
    TestListener one(port, icyRequest("User-Agent:  Player/2.0 \r\nIcy-MetaData: 1\r\n"));
    TestListener zero(port, icyRequest("Icy-MetaData: 0\r\n"));
    TestListener truth(port, icyRequest("icy-metadata:true\r\n"));
    TestListener none(port, icyRequest(""));
    for (TestListener* l : {&one, &zero, &truth, &none})
        ASSERT_TRUE(l->waitHeader());
    EXPECT_EQ(one.checker.header(), expectedHeader(true));
    for (TestListener* l : {&zero, &truth, &none})
        EXPECT_EQ(l->checker.header(), expectedHeader(false));

    ASSERT_EQ(server->ClientCount(), 4);
    QStringList agents;
    int withMeta = 0;
    for (int i = 0; i < 4; ++i) {
        WClientInfo info;
        ASSERT_TRUE(server->GetClientInfo(i, info));
        EXPECT_EQ(info.Index, i);
        EXPECT_TRUE(info.Streaming);
        EXPECT_EQ(info.RemoteAddress, "127.0.0.1");
        agents << info.UserAgent;
        withMeta += info.Metadata ? 1 : 0;
    }
    EXPECT_EQ(withMeta, 1);
    EXPECT_TRUE(agents.contains("Player/2.0"));
    EXPECT_EQ(agents.count("__NO_USER-AGENT_SENT__"), 3);
    WClientInfo info;
    EXPECT_FALSE(server->GetClientInfo(4, info));
    EXPECT_FALSE(server->GetClientInfo(-1, info));

    EXPECT_EQ(countLog("INFO: User agent is \"Player/2.0\"."), 1);
    EXPECT_EQ(countLog("INFO: Inline metadata supported."), 1);
    EXPECT_EQ(countLog("INFO: Inline metadata not supported."), 2);
    EXPECT_EQ(countLog("INFO: Headers sent."), 4);
    EXPECT_EQ(countLog("CONNECT: Client connected, 4 user(s) listening."), 1);

    // Audio follows as MP3 frames, for all four.
    ASSERT_TRUE(QTest::qWaitFor([&] { return none.checker.frames() > 20; }, 5000));
    EXPECT_FALSE(none.checker.corrupt()) << none.checker.error().toStdString();
    EXPECT_EQ(none.checker.skippedAtStart(), 0);
}

TEST_F(StreamServer, MetadataEvery16000BytesAndTitleOncePerChange) {
    server->StreamTitle = "Artist - First";
    ASSERT_TRUE(startWith(baseConfig()));
    TestListener a(port, icyRequest("Icy-MetaData:1\r\n"));
    TestListener b(port, icyRequest("Icy-MetaData:1\r\n"));
    ASSERT_TRUE(a.waitMetaBlocks(3));
    ASSERT_TRUE(b.waitMetaBlocks(3));
    server->StreamTitle = "Artist - Second";
    const qint64 blocksA = a.checker.metaBlocks();
    ASSERT_TRUE(a.waitMetaBlocks(blocksA + 2));
    ASSERT_TRUE(b.waitMetaBlocks(blocksA + 2));

    const QString host = QHostInfo::localHostName();
    const QString url = QString("StreamUrl='http://%1:%2';").arg(host).arg(port);
    for (TestListener* l : {&a, &b}) {
        EXPECT_FALSE(l->checker.corrupt()) << l->checker.error().toStdString();
        EXPECT_EQ(l->checker.metadataTexts(),
                  QStringList({"StreamTitle='Artist - First';" + url,
                               "StreamTitle='Artist - Second';" + url}));
        // Byte-exact: 16000 audio bytes, then the block; unchanged titles cost one byte.
        const QByteArray& raw = l->raw;
        const qsizetype start = raw.indexOf("\r\n\r\n") + 4;
        qsizetype pos = start + 16000;
        int blocks = 0, single = 0;
        while (pos < raw.size()) {
            const int len = uchar(raw[pos]) * 16;
            single += len == 0 ? 1 : 0;
            pos += 1 + len + 16000;
            ++blocks;
        }
        EXPECT_GE(blocks, 4);
        EXPECT_EQ(single, blocks - 2);
    }
    EXPECT_EQ(countLog("INFO: Sending metadata: \"Artist - First\""), 2);
    EXPECT_EQ(countLog("INFO: Sending metadata: \"Artist - Second\""), 2);
    WClientInfo info;
    ASSERT_TRUE(server->GetClientInfo(0, info));
    EXPECT_EQ(info.LastTitle, "Artist - Second");
    EXPECT_LT(info.BytesSinceMeta, 16000);
}

TEST_F(StreamServer, MetadataBlockPaddingAndOverlongTitles) {
    // The worked example: 13-character title, 6-character host, port 8000: 59 -> 64 bytes.
    const QByteArray text = WStreamingServer::metadataText("Thirteen char", "myhost", 8000);
    EXPECT_EQ(text.size(), 59);
    const QByteArray block = WStreamingServer::metadataBlock(text);
    ASSERT_EQ(block.size(), 65);
    EXPECT_EQ(block[0], 4);
    EXPECT_EQ(block.mid(1, 59), text);
    EXPECT_EQ(block.mid(60), QByteArray(5, '\0'));
    EXPECT_EQ(WStreamingServer::metadataBlock(QByteArray()), QByteArray(1, '\0'));

    // A title too long for the length byte is cut, never splitting a character.
    const QString longTitle = QString(3000, QChar(0x00E4)); // 2 bytes each in UTF-8
    const QByteArray cut = WStreamingServer::metadataText(longTitle, "myhost", 8000);
    EXPECT_LE(cut.size(), 4080);
    EXPECT_GE(cut.size(), 4079);
    EXPECT_TRUE(cut.endsWith("';StreamUrl='http://myhost:8000';"));
    EXPECT_FALSE(QString::fromUtf8(cut).contains(QChar::ReplacementCharacter));
    const QByteArray longBlock = WStreamingServer::metadataBlock(cut);
    EXPECT_EQ(uchar(longBlock[0]), 255);
}

TEST_F(StreamServer, ListenerLimitRefusesWith503Page) {
    StreamConfig c = baseConfig();
    c.LimitListeners = true;
    c.MaxListeners = 16;
    ASSERT_TRUE(startWith(c));
    QSignalSpy full(server.get(), &WStreamingServer::OnServerFull);
    std::vector<std::unique_ptr<TestListener>> served;
    for (int i = 0; i < 16; ++i)
        served.push_back(std::make_unique<TestListener>(port, icyRequest("")));
    for (auto& l : served)
        ASSERT_TRUE(l->waitHeader());
    TestListener refused(port, icyRequest("User-Agent: late\r\n"));
    // The engine closes on its own thread; the log and the signal follow on this one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.closed && full.count() >= 1; }, 5000));
    const QByteArray page =
        "HTTP/1.1 503 Service Unavailable\r\n"
        "Server: Vorlune, Version test\r\n"
        "Connection: close\r\n"
        "Content-Type: text/html\r\n"
        "Retry-After: 120\r\n\r\n"
        "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\r\n"
        "<HTML><HEAD>\r\n"
        "<TITLE>503 Service Unavailable</TITLE>\r\n"
        "</HEAD><BODY>\r\n"
        "<H1>Service Unavailable</H1>\r\n"
        "The server administrator has limited the number of slots that are available for "
        "streaming the audio data, and all server slots are currently in use.<BR />\r\n"
        "In most cases, stream listeners usually disconnect after a while, so please check "
        "again for a free slot in a few minutes.<P>\r\n"
        "<HR>\r\n"
        "<ADDRESS>Vorlune, Version test at " +
        QHostInfo::localHostName().toUtf8() + " Port " + QByteArray::number(port) +
        "</ADDRESS>\r\n"
        "</BODY></HTML>\r\n\r\n";
    EXPECT_EQ(refused.raw, page) << refused.socket.errorString().toStdString();
    EXPECT_EQ(full.count(), 1);
    EXPECT_EQ(countLog("CONNECT: Server is full, request rejected."), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->ClientCount() == 16; }, 3000));
    for (auto& l : served)
        EXPECT_FALSE(l->closed);

    // With a limit of 0 every connection is refused.
    c.MaxListeners = 0;
    server->Configure(c);
    ASSERT_TRUE(server->isActive());
    port = server->listeningPort();
    TestListener none(port, icyRequest(""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return none.closed && full.count() >= 2; }, 5000));
    EXPECT_TRUE(none.raw.startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    EXPECT_EQ(full.count(), 2);
}

TEST_F(StreamServer, StopWithThreeListenersLogsAndFires) {
    ASSERT_TRUE(startWith(baseConfig()));
    QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
    QSignalSpy stopped(server.get(), &WStreamingServer::OnStop);
    TestListener a(port, icyRequest("")), b(port, icyRequest("")), c(port, icyRequest(""));
    for (TestListener* l : {&a, &b, &c})
        ASSERT_TRUE(l->waitHeader());
    server->Stop();
    EXPECT_FALSE(server->isActive());
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_EQ(server->currentBitRate(), 0);
    EXPECT_EQ(gone.count(), 3);
    EXPECT_EQ(stopped.count(), 1);
    const QStringList log = logMessages();
    ASSERT_GE(log.size(), 4);
    for (int i = log.size() - 4; i < log.size() - 1; ++i)
        EXPECT_TRUE(log[i].endsWith("\tDISCONNECT: Client disconnected, 2 user(s) listening."))
            << log[i].toStdString();
    EXPECT_EQ(log.last(), "=== SESSION STOP " + QString(61, '='));
    EXPECT_EQ(log.last().size(), 78);
    EXPECT_EQ(log[0], "=== SESSION START " + QString(60, '='));
    EXPECT_EQ(log[1], "Server Software is \"Vorlune, Version test\".");
    EXPECT_EQ(log[2], QString(78, '-'));
    for (TestListener* l : {&a, &b, &c})
        EXPECT_TRUE(QTest::qWaitFor([l] { return l->closed; }, 3000));
}

TEST_F(StreamServer, ConfigureIgnoresSameCallsAndInvalidPairsAndRestartsOnChange) {
    ASSERT_TRUE(startWith(baseConfig()));
    QSignalSpy stopped(server.get(), &WStreamingServer::OnStop);
    TestListener l(port, icyRequest(""));
    ASSERT_TRUE(l.waitHeader());
    server->Configure(baseConfig());
    StreamConfig bad = baseConfig();
    bad.BitRate = 8;
    bad.StationID = "Other";
    server->Configure(bad);
    EXPECT_EQ(server->config().StationID, "Testradio");
    EXPECT_EQ(server->config().BitRate, 320);
    EXPECT_EQ(stopped.count(), 0);
    EXPECT_EQ(server->ClientCount(), 1);

    StreamConfig renamed = baseConfig();
    renamed.StationID = "testradio"; // case counts
    server->Configure(renamed);
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_TRUE(server->isActive());
    EXPECT_EQ(server->config().StationID, "testradio");
    EXPECT_TRUE(QTest::qWaitFor([&] { return l.closed; }, 3000));
}

TEST_F(StreamServer, StartNeedsEncoderAndReleasesOnFailure) {
    WStreamingServer bare("");
    EXPECT_EQ(bare.serverSoftware(), "WStreamingServer 1.20");
    EXPECT_EQ(bare.config().Port, 8000);
    EXPECT_EQ(bare.config().SampleRate, 44100);
    EXPECT_EQ(bare.config().BitRate, 128);
    EXPECT_EQ(bare.config().StationID, "WStreamingServer 1.20");
    EXPECT_FALSE(bare.Start()); // no encoder
    bare.SetEncoderLibrary(INCOMPLETE_LAME);
    EXPECT_FALSE(bare.encoderLoaded());
    EXPECT_TRUE(bare.encoderLibrary().isEmpty());

    // A port in use abandons the start; nothing stays open and no event fires.
    ASSERT_TRUE(startWith(baseConfig()));
    WStreamingServer second("x");
    second.setCaptureSource(new ToneSource);
    second.SetEncoderLibrary(LAME_LIBRARY);
    StreamConfig c = baseConfig();
    c.Port = port;
    second.Configure(c);
    QSignalSpy started(&second, &WStreamingServer::OnStart);
    EXPECT_FALSE(second.Start());
    EXPECT_FALSE(second.isActive());
    EXPECT_FALSE(second.captureSource()->isOpen());
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(second.ClientCount(), 0);
}

TEST_F(StreamServer, DisconnectClientAndIndexesFollowTheList) {
    ASSERT_TRUE(startWith(baseConfig()));
    TestListener a(port, icyRequest("User-Agent: A\r\n"));
    ASSERT_TRUE(a.waitHeader());
    TestListener b(port, icyRequest("User-Agent: B\r\n"));
    ASSERT_TRUE(b.waitHeader());
    QSignalSpy gone(server.get(), &WStreamingServer::OnClientDisconnect);
    server->DisconnectClient(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.closed && server->ClientCount() == 1; }, 3000));
    EXPECT_EQ(gone.count(), 1);
    EXPECT_EQ(countLog("DISCONNECT: Client disconnected, 1 user(s) listening."), 1);
    // The remaining listener's index catches up at the next chunk.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            WClientInfo info;
            return server->GetClientInfo(0, info) && info.Index == 0 && info.UserAgent == "B";
        },
        3000));
    server->DisconnectClient(5); // out of range: nothing
    EXPECT_FALSE(b.closed);
}

TEST_F(StreamServer, ServesIpv6Listeners) {
    ASSERT_TRUE(startWith(baseConfig()));
    TestListener v6(port, icyRequest(""), "::1");
    if (!QTest::qWaitFor(
            [&] {
                return v6.socket.state() == QAbstractSocket::ConnectedState ||
                       v6.socket.error() != QAbstractSocket::UnknownSocketError;
            },
            3000) ||
        v6.socket.state() != QAbstractSocket::ConnectedState)
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(v6.waitHeader());
    WClientInfo info;
    ASSERT_TRUE(server->GetClientInfo(0, info));
    EXPECT_EQ(info.RemoteAddress, "::1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return v6.checker.frames() > 5; }, 5000));
}
