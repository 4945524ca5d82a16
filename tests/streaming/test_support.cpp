#include "test_support.h"

#include "tone_source.h"

#include <QFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TestListener::TestListener(quint16 port, const QByteArray& request, const QString& host) {
    connect(&socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray b = socket.readAll();
        raw += b;
        checker.feed(b);
    });
    connect(&socket, &QTcpSocket::disconnected, this, [this] { closed = true; });
    connect(&socket, &QTcpSocket::connected, this, [this, request] { socket.write(request); });
    socket.connectToHost(host, port);
}

bool TestListener::waitHeader(int ms) {
    return QTest::qWaitFor([this] { return checker.headerComplete() || closed; }, ms) &&
           checker.headerComplete();
}

bool TestListener::waitMetaBlocks(qint64 n, int ms) {
    return QTest::qWaitFor([this, n] { return checker.metaBlocks() >= n || closed; }, ms) &&
           checker.metaBlocks() >= n;
}

QByteArray icyRequest(const QByteArray& extraHeaders) {
    return "GET / HTTP/1.0\r\nHost: localhost\r\n" + extraHeaders + "\r\n";
}

void ServerFixture::SetUp() {
    ASSERT_TRUE(dir.isValid());
    logPath = dir.filePath("vorlune.streaming.log");
    server = std::make_unique<WStreamingServer>("Vorlune, Version test");
    server->setCaptureSource(new ToneSource(440));
    server->SetEncoderLibrary(LAME_LIBRARY);
    ASSERT_TRUE(server->encoderLoaded());
    server->setLogFile(logPath);
    server->SetLogging(true);
}

void ServerFixture::TearDown() {
    server.reset();
}

StreamConfig ServerFixture::baseConfig() const {
    StreamConfig c;
    c.StationID = "Testradio";
    c.Port = 0;
    c.SampleRate = 44100;
    c.BitRate = 320;
    c.VBRMethod = StreamMode::CBR;
    c.LimitListeners = false;
    return c;
}

bool ServerFixture::startWith(const StreamConfig& c) {
    server->Configure(c);
    if (!server->isActive() && !server->Start()) return false;
    port = server->listeningPort();
    return port != 0;
}

QStringList ServerFixture::logMessages() const {
    QFile f(logPath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab >= 0) out << QString::fromUtf8(line.mid(tab + 1));
    }
    return out;
}

int ServerFixture::countLog(const QString& text) const {
    int n = 0;
    for (const QString& l : logMessages())
        n += l.endsWith(text) ? 1 : 0;
    return n;
}

int rawConnect(quint16 port, int rcvbuf) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
