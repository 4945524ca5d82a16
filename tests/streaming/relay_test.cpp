#include "relay_output.h"
#include "test_support.h"
#include "tone_source.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// An icecast2 of our own on a free loopback port, one mount, source password "relaypw".
class Icecast {
public:
    // With tls, a second port speaks TLS with a fresh self-signed certificate for
    // "localhost" (certificatePath()).
    bool start(bool tls = false) {
        const QString exe = QStandardPaths::findExecutable("icecast2");
        if (exe.isEmpty() || !m_dir.isValid()) return false;
        if (m_port == 0) {
            QTcpServer probe, probe2;
            if (!probe.listen(QHostAddress::LocalHost, 0) ||
                !probe2.listen(QHostAddress::LocalHost, 0))
                return false;
            m_port = probe.serverPort();
            m_tlsPort = probe2.serverPort();
        }
        QString tlsSocket, tlsPath;
        if (tls) {
            const QString key = m_dir.filePath("key.pem"), cert = m_dir.filePath("cert.pem");
            QProcess ssl;
            ssl.start("openssl",
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                       "-keyout", key, "-out", cert});
            if (!ssl.waitForFinished(60000) || ssl.exitCode() != 0) return false;
            QFile both(certificatePath());
            QFile c(cert), k(key);
            if (!both.open(QIODevice::WriteOnly) || !c.open(QIODevice::ReadOnly) ||
                !k.open(QIODevice::ReadOnly))
                return false;
            both.write(c.readAll() + k.readAll());
            both.close();
            QFile::setPermissions(certificatePath(), QFile::Permissions(0x6444));
            tlsSocket = QStringLiteral("<listen-socket><port>%1</port><bind-address>127.0.0.1"
                                       "</bind-address><ssl>1</ssl></listen-socket>")
                            .arg(m_tlsPort);
            tlsPath =
                QStringLiteral("<ssl-certificate>%1</ssl-certificate>").arg(certificatePath());
        }
        QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7777));
        const QString conf = m_dir.filePath("icecast.xml");
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(QStringLiteral(
                    "<icecast><limits><clients>20</clients><sources>2</sources>"
                    "<source-timeout>10</source-timeout><header-timeout>3</header-timeout>"
                    "<burst-size>65535</burst-size></limits>"
                    "<authentication><source-password>relaypw</source-password>"
                    "<admin-user>admin</admin-user><admin-password>adminpw</admin-password>"
                    "</authentication><hostname>localhost</hostname>"
                    "<listen-socket><port>%1</port><bind-address>127.0.0.1</bind-address>"
                    "</listen-socket>%4<mount><mount-name>/live.mp3</mount-name>"
                    "<icy-metadata-interval>16000</icy-metadata-interval></mount>"
                    "<fileserve>0</fileserve><paths><basedir>%2</basedir><logdir>%2</logdir>"
                    "<webroot>%2</webroot><adminroot>%2</adminroot>%5</paths>"
                    "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                    "<loglevel>2</loglevel></logging><security><chroot>0</chroot>%3</security>"
                    "</icecast>\n")
                    .arg(m_port)
                    .arg(m_dir.path())
                    .arg(QString::fromLatin1(getuid() == 0 ? "<changeowner><user>nobody</user>"
                                                             "<group>nogroup</group></changeowner>"
                                                           : ""),
                         tlsSocket, tlsPath)
                    .toUtf8());
        f.close();
        QFile::setPermissions(conf, QFile::Permissions(0x6444));
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(exe, {"-c", conf});
        if (!m_proc.waitForStarted(5000)) return false;
        // Up when it answers on its ports (the TLS one too).
        return QTest::qWaitFor(
            [&] {
                for (const quint16 port : {m_port, tls ? m_tlsPort : m_port}) {
                    QTcpSocket s;
                    s.connectToHost("127.0.0.1", port);
                    if (!s.waitForConnected(200)) return false;
                }
                return true;
            },
            10000);
    }
    void stop() {
        m_proc.terminate();
        if (!m_proc.waitForFinished(5000)) {
            m_proc.kill();
            m_proc.waitForFinished(2000);
        }
    }
    ~Icecast() { stop(); }
    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }
    QString certificatePath() const { return m_dir.filePath("icecast.pem"); }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    quint16 m_port = 0, m_tlsPort = 0;
};

} // namespace

class Relay : public ServerFixture {};

namespace {

// A listener on the icecast mount that asks for inline metadata.
struct MountListener {
    explicit MountListener(quint16 port)
        : l(port, "GET /live.mp3 HTTP/1.0\r\nHost: localhost\r\nIcy-MetaData: 1\r\n\r\n") {}
    // Valid MP3 keeps coming (at least frames more) and the title arrives.
    void expectAudioAndTitle(qint64 frames, const QString& title) {
        ASSERT_TRUE(l.waitHeader(5000));
        EXPECT_TRUE(l.checker.statusLine().contains("200")) << l.checker.statusLine().constData();
        const qint64 until = l.checker.frames() + frames;
        const QString want = QStringLiteral("StreamTitle='%1';").arg(title);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return l.checker.frames() > until && l.checker.metadataTexts().contains(want); },
            20000))
            << l.checker.frames()
            << " frames; titles: " << l.checker.metadataTexts().join('|').toStdString();
        EXPECT_FALSE(l.checker.corrupt()) << l.checker.error().toStdString();
        EXPECT_EQ(l.checker.sampleRate(), 44100);
    }
    TestListener l;
};

// A listening socket on loopback (rcvbuf > 0: the receive buffer its connections inherit);
// its port in `port`. -1 on failure.
int loopbackListener(int backlog, int rcvbuf, quint16* port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) return -1;
    if (rcvbuf > 0) ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(listener);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return listener;
}

// One MP3 frame of silence at 320 kbps.
QByteArray silentFrame() {
    QByteArray frame(1044, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0xE0);
    return frame;
}

} // namespace

TEST_F(Relay, RunsWithAndWithoutTheServerCarriesTheTitleAndReconnects) {
    Icecast ice;
    ASSERT_TRUE(ice.start()) << "icecast2 is needed (scripts/install-deps)";
    StreamConfig c = baseConfig();
    c.BitRate = 128;
    RelayOutput out(*server);
    out.setCaptureSource(new ToneSource(660));
    QSignalSpy states(&out, &RelayOutput::stateChanged);
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "127.0.0.1";
    rs.Port = ice.port();
    rs.Mount = "/live.mp3";
    rs.Password = "relaypw";
    // The title is set before the relay starts and must still reach the mount.
    out.setTitle("Relay - Eins");
    out.start(rs, c, LAME_LIBRARY);
    ASSERT_FALSE(server->isActive());
    EXPECT_EQ(out.feed(), RelayOutput::Feed::Own);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return out.relay().state() == IcecastRelay::State::Connected; }, 30000));
    QTest::qWait(1500); // icecast takes the source and its first audio

    MountListener first(ice.port());
    first.expectAudioAndTitle(50, "Relay - Eins");
    out.setTitle("Relay - Zwei");
    first.expectAudioAndTitle(50, "Relay - Zwei");

    // The built-in server starts: the relay takes its stream, the own feed goes.
    ASSERT_TRUE(startWith(c));
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.feed() == RelayOutput::Feed::Server; }, 5000));
    first.expectAudioAndTitle(100, "Relay - Zwei");
    // And stops again: back to the own feed, the mount keeps playing.
    server->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.feed() == RelayOutput::Feed::Own; }, 5000));
    out.setTitle("Relay - Drei");
    first.expectAudioAndTitle(100, "Relay - Drei");
    EXPECT_FALSE(first.l.closed);

    // The server goes away and comes back on the same port: the relay finds it again and
    // a new listener gets the current title.
    ice.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.relay().state() == IcecastRelay::State::Waiting; },
                                10000));
    ASSERT_TRUE(ice.start());
    // Room for a retry after the relay's back-off on a loaded machine.
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.relay().connections() == 2; }, 40000));
    QTest::qWait(1500);
    MountListener second(ice.port());
    second.expectAudioAndTitle(50, "Relay - Drei");
    bool logged = false;
    for (const QList<QVariant>& s : states)
        logged |= s.at(2).toString().startsWith("RELAY: No connection to 127.0.0.1:");
    EXPECT_TRUE(logged);
    out.stop();
    EXPECT_EQ(out.relay().state(), IcecastRelay::State::Off);
    EXPECT_EQ(out.feed(), RelayOutput::Feed::None);
}

TEST_F(Relay, WithoutEncoderTheOwnFeedReportsAndStaysOff) {
    RelayOutput out(*server);
    out.setCaptureSource(new ToneSource(660));
    QSignalSpy states(&out, &RelayOutput::stateChanged);
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "127.0.0.1";
    rs.Port = 9; // nothing listens; the relay keeps trying
    for (const QString& lib : {QString(), dir.filePath("missing.so")}) {
        states.clear();
        out.start(rs, baseConfig(), lib);
        EXPECT_EQ(out.feed(), RelayOutput::Feed::None);
        bool reported = false;
        for (const QList<QVariant>& s : states)
            reported |= s.at(2).toString().startsWith("RELAY: No audio");
        EXPECT_TRUE(reported) << lib.toStdString();
    }
    out.stop();
}

TEST_F(Relay, ReachesIcecastOverTls) {
    Icecast ice;
    ASSERT_TRUE(ice.start(true)) << "icecast2 and openssl are needed (scripts/install-deps)";
    // The relay trusts the system's certificate authorities; here that is the test's own.
    // (Title updates are separate requests: the setting must hold all along.)
    struct CertFile {
        QByteArray old = qgetenv("SSL_CERT_FILE");
        ~CertFile() {
            if (old.isNull())
                qunsetenv("SSL_CERT_FILE");
            else
                qputenv("SSL_CERT_FILE", old);
        }
    } certs;
    qputenv("SSL_CERT_FILE", ice.certificatePath().toUtf8());
    RelayOutput out(*server);
    out.setCaptureSource(new ToneSource(660));
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "localhost";
    rs.Port = ice.tlsPort();
    rs.Mount = "/live.mp3";
    rs.Password = "relaypw";
    rs.TLS = true;
    out.setTitle("Sicher - Eins");
    out.start(rs, baseConfig(), LAME_LIBRARY);
    // Room for a retry after the relay's back-off on a loaded machine.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return out.relay().state() == IcecastRelay::State::Connected; }, 30000))
        << out.relay().statusText().toStdString();
    QTest::qWait(1500);
    MountListener l(ice.port());
    l.expectAudioAndTitle(50, "Sicher - Eins");

    // TLS required but the port speaks plain HTTP: no connection, no fallback. The handshake
    // ends when icecast2 gives up waiting for a request (its header time-out).
    rs.Port = ice.port();
    const int before = out.relay().connections();
    out.start(rs, baseConfig(), LAME_LIBRARY);
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.relay().state() == IcecastRelay::State::Waiting; },
                                15000));
    EXPECT_EQ(out.relay().connections(), before);
    out.stop();
}

// A server that takes the connection, reads the request and never answers (or, with a
// TLS port, never completes the handshake): the relay gives up after its connect time-out,
// reports it like any other failed connect and tries again.
TEST_F(Relay, ServerThatNeverAnswersTimesOutAndIsTriedAgain) {
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        QTcpServer silent;
        ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket*> held;
        QByteArray request;
        QObject::connect(&silent, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* c = silent.nextPendingConnection()) {
                held << c;
                QObject::connect(c, &QTcpSocket::readyRead,
                                 [&request, c] { request += c->readAll(); });
            }
        });
        IcecastRelay relay;
        relay.setConnectTimeout(700);
        QList<std::pair<IcecastRelay::State, qint64>> states;
        QStringList logs;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&relay, &IcecastRelay::stateChanged,
                         [&](IcecastRelay::State s, const QString&, const QString& log) {
                             states.append({s, clock.elapsed()});
                             logs << log;
                         });
        RelaySettings rs;
        rs.Enabled = true;
        rs.Host = "127.0.0.1";
        rs.Port = silent.serverPort();
        rs.Mount = "/live.mp3";
        rs.Password = "relaypw";
        rs.TLS = tls;
        relay.start(rs);
        // Connecting, Waiting (1 s), Connecting, Waiting: two attempts, each cut off.
        ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() >= 4; }, 8000))
            << logs.join('\n').toStdString();
        relay.stop();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(states[i].first,
                      i % 2 ? IcecastRelay::State::Waiting : IcecastRelay::State::Connecting)
                << i;
        for (int i : {0, 2}) {
            const qint64 waited = states[i + 1].second - states[i].second;
            EXPECT_GE(waited, 650) << i;
            EXPECT_LT(waited, 3000) << i;
            EXPECT_TRUE(logs[i + 1].startsWith("RELAY: No connection to 127.0.0.1:"))
                << logs[i + 1].toStdString();
        }
        EXPECT_GE(states[2].second - states[1].second, 900); // the first back-off: 1 s
        EXPECT_EQ(relay.connections(), 0);
        EXPECT_GE(held.size(), 2);
        // It did reach the server and asked (a source request, or a TLS client hello).
        EXPECT_FALSE(request.isEmpty());
        if (!tls) {
            EXPECT_TRUE(request.contains("/live.mp3")) << request.constData();
        }
        qDeleteAll(held);
    }
}

// A server that takes the source and then reads nothing more: the relay ends the
// connection once more than its queue is waiting, instead of piling up audio for ever.
TEST_F(Relay, ServerThatStopsReadingEndsTheConnection) {
    quint16 port = 0;
    const int listener = loopbackListener(4, 4096, &port); // a small buffer for each connection
    ASSERT_GE(listener, 0);
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    // Answers each source request with 200, then never reads again.
    std::thread server([&] {
        std::vector<int> held;
        while (!done.load()) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int c = ::accept(listener, nullptr, nullptr);
            if (c < 0) continue;
            held.push_back(c);
            QByteArray request;
            char buf[512];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, n);
            }
            const char ok[] = "HTTP/1.0 200 OK\r\n\r\n";
            if (::send(c, ok, sizeof ok - 1, MSG_NOSIGNAL) > 0) ++answered;
        }
        for (int c : held)
            ::close(c);
    });
    IcecastRelay relay;
    QStringList logs;
    QObject::connect(&relay, &IcecastRelay::stateChanged,
                     [&](IcecastRelay::State, const QString&, const QString& log) { logs << log; });
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "127.0.0.1";
    rs.Port = port;
    rs.Mount = "/live.mp3";
    rs.BitRate = 320;
    relay.start(rs);
    const bool connected =
        QTest::qWaitFor([&] { return relay.state() == IcecastRelay::State::Connected; }, 10000);
    // 320 kbps frames of silence, a second's worth every 50 ms.
    const QByteArray second = silentFrame().repeated(38);
    bool gaveUp = false;
    if (connected) {
        QElapsedTimer t;
        t.start();
        while (!gaveUp && t.elapsed() < 30000) {
            relay.send(second);
            QTest::qWait(50);
            gaveUp = relay.state() == IcecastRelay::State::Waiting;
        }
    }
    relay.stop();
    done = true;
    server.join();
    ::close(listener);
    ASSERT_TRUE(connected) << logs.join('\n').toStdString();
    EXPECT_TRUE(gaveUp) << logs.join('\n').toStdString();
    EXPECT_GE(answered.load(), 1);
    EXPECT_EQ(relay.connections(), 1) << logs.join('\n').toStdString();
    EXPECT_TRUE(logs.join('\n').contains("takes no audio")) << logs.join('\n').toStdString();
}

// A server that takes the source and its audio but never answers a title update: the audio
// goes on flowing and the update is tried again after the time-out, rather than the relay
// waiting for the answer.
TEST_F(Relay, ServerThatNeverAnswersTheTitleKeepsTheAudioFlowing) {
    quint16 port = 0;
    const int listener = loopbackListener(8, 0, &port);
    ASSERT_GE(listener, 0);
    std::atomic<bool> done{false};
    std::atomic<int> titleRequests{0};
    std::atomic<qint64> audio{0};
    std::mutex seenLock;
    QByteArray seen; // the title requests' first lines
    // Answers source requests with 200 and reads their audio; holds title requests unanswered.
    std::thread server([&] {
        struct Peer {
            int fd;
            QByteArray head;
            bool source = false, answered = false;
        };
        std::vector<Peer> peers;
        while (!done.load()) {
            std::vector<pollfd> fds{{listener, POLLIN, 0}};
            for (const Peer& p : peers)
                fds.push_back({p.fd, POLLIN, 0});
            if (::poll(fds.data(), nfds_t(fds.size()), 50) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const int c = ::accept(listener, nullptr, nullptr);
                if (c >= 0) peers.push_back({c, {}});
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                Peer& p = peers[i - 1];
                char buf[4096];
                const ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
                if (n <= 0) continue;
                if (p.source) {
                    audio += n;
                    continue;
                }
                p.head.append(buf, n);
                if (p.answered || !p.head.contains("\r\n\r\n")) continue;
                p.answered = true;
                if (p.head.startsWith("GET /admin/metadata")) {
                    std::lock_guard g(seenLock);
                    seen += p.head.left(p.head.indexOf("\r\n")) + '\n';
                    ++titleRequests;
                    continue; // never answered
                }
                const char ok[] = "HTTP/1.0 200 OK\r\n\r\n";
                ::send(p.fd, ok, sizeof ok - 1, MSG_NOSIGNAL);
                p.source = true;
                audio += p.head.size() - (p.head.indexOf("\r\n\r\n") + 4);
            }
        }
        for (const Peer& p : peers)
            ::close(p.fd);
    });
    IcecastRelay relay;
    relay.setConnectTimeout(700);
    QList<IcecastRelay::State> states;
    QObject::connect(&relay, &IcecastRelay::stateChanged,
                     [&](IcecastRelay::State s, const QString&, const QString&) { states << s; });
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "127.0.0.1";
    rs.Port = port;
    rs.Mount = "/live.mp3";
    rs.Password = "relaypw";
    rs.BitRate = 320;
    relay.setTitle(QStringLiteral("Über – Eins"));
    relay.start(rs);
    const bool connected =
        QTest::qWaitFor([&] { return relay.state() == IcecastRelay::State::Connected; }, 10000);
    // 320 kbps frames of silence, about as fast as they play.
    const QByteArray twoFrames = silentFrame().repeated(2);
    qint64 audioAtFirstTitle = -1;
    QElapsedTimer t;
    t.start();
    while (connected && t.elapsed() < 4000) {
        relay.send(twoFrames);
        QTest::qWait(50);
        if (audioAtFirstTitle < 0 && titleRequests.load() > 0) audioAtFirstTitle = audio.load();
    }
    const IcecastRelay::State last = relay.state();
    relay.stop();
    done = true;
    server.join();
    ::close(listener);
    ASSERT_TRUE(connected);
    EXPECT_GE(titleRequests.load(), 2) << seen.constData(); // tried again after the time-out
    EXPECT_TRUE(seen.contains("mount=%2Flive.mp3")) << seen.constData();
    EXPECT_TRUE(seen.contains("song=%C3%9Cber%20%E2%80%93%20Eins")) << seen.constData();
    ASSERT_GE(audioAtFirstTitle, 0);
    // Seconds of audio after the unanswered request, on the same connection.
    EXPECT_GT(audio.load() - audioAtFirstTitle, 40000);
    EXPECT_EQ(last, IcecastRelay::State::Connected);
    EXPECT_EQ(relay.connections(), 1);
    EXPECT_FALSE(states.contains(IcecastRelay::State::Waiting));
}
