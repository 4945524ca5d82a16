#pragma once

#include "icy_stream_checker.h"
#include "streaming_server.h"

#include <QObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A listener on loopback that sends a request and feeds what it receives to a checker.
class TestListener : public QObject {
public:
    TestListener(quint16 port, const QByteArray& request, const QString& host = "127.0.0.1");
    QTcpSocket socket;
    IcyStreamChecker checker;
    QByteArray raw;
    bool closed = false;
    bool waitHeader(int ms = 5000);
    bool waitMetaBlocks(qint64 n, int ms = 15000);
};

QByteArray icyRequest(const QByteArray& extraHeaders);

// A server on a free loopback port with the real encoder, a tone as its source and a log.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    StreamConfig baseConfig() const;
    bool startWith(const StreamConfig& c);
    // Log lines without their time stamps.
    QStringList logMessages() const;
    int countLog(const QString& text) const;

    QTemporaryDir dir;
    std::unique_ptr<WStreamingServer> server;
    QString logPath;
    quint16 port = 0;
};

// Raw blocking socket with a small receive buffer; -1 on failure.
int rawConnect(quint16 port, int rcvbuf);
