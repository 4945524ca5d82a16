#include "icecast_relay.h"
#include "test_support.h"
#include "tone_source.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <unistd.h>

namespace {

// An icecast2 of our own on a free loopback port, one mount, source password "relaypw".
class Icecast {
public:
    bool start() {
        const QString exe = QStandardPaths::findExecutable("icecast2");
        if (exe.isEmpty() || !m_dir.isValid()) return false;
        if (m_port == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) return false;
            m_port = probe.serverPort();
        }
        QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7777));
        const QString conf = m_dir.filePath("icecast.xml");
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(QStringLiteral(
                    "<icecast><limits><clients>20</clients><sources>2</sources>"
                    "<source-timeout>10</source-timeout><burst-size>65535</burst-size></limits>"
                    "<authentication><source-password>relaypw</source-password>"
                    "<admin-user>admin</admin-user><admin-password>adminpw</admin-password>"
                    "</authentication><hostname>localhost</hostname>"
                    "<listen-socket><port>%1</port><bind-address>127.0.0.1</bind-address>"
                    "</listen-socket><mount><mount-name>/live.mp3</mount-name>"
                    "<icy-metadata-interval>16000</icy-metadata-interval></mount>"
                    "<fileserve>0</fileserve><paths><basedir>%2</basedir><logdir>%2</logdir>"
                    "<webroot>%2</webroot><adminroot>%2</adminroot></paths>"
                    "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                    "<loglevel>2</loglevel></logging><security><chroot>0</chroot>%3</security>"
                    "</icecast>\n")
                    .arg(m_port)
                    .arg(m_dir.path())
                    .arg(getuid() == 0 ? "<changeowner><user>nobody</user><group>nogroup</group>"
                                         "</changeowner>"
                                       : "")
                    .toUtf8());
        f.close();
        QFile::setPermissions(conf, QFile::Permissions(0x6444));
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(exe, {"-c", conf});
        if (!m_proc.waitForStarted(5000)) return false;
        // Up when it answers on its port.
        return QTest::qWaitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost("127.0.0.1", m_port);
                return s.waitForConnected(200);
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

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    quint16 m_port = 0;
};

} // namespace

class Relay : public ServerFixture {};

TEST_F(Relay, SendsTheStreamToIcecastAndReconnects) {
    Icecast ice;
    ASSERT_TRUE(ice.start()) << "icecast2 is needed (scripts/install-deps)";
    // The relay takes the server's encoded stream; nobody listens to the server itself.
    StreamConfig c = baseConfig();
    c.BitRate = 128;
    ASSERT_TRUE(startWith(c));
    IcecastRelay relay;
    QSignalSpy states(&relay, &IcecastRelay::stateChanged);
    server->setChunkTap([&relay](const QByteArray& mp3) { relay.send(mp3); });
    RelaySettings rs;
    rs.Enabled = true;
    rs.Host = "127.0.0.1";
    rs.Port = ice.port();
    rs.Mount = "/live.mp3";
    rs.Password = "relaypw";
    rs.StationName = "Testradio";
    relay.setTitle("Relay - Eins");
    relay.start(rs);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return relay.state() == IcecastRelay::State::Connected; }, 10000));
    QTest::qWait(1500); // icecast takes the source and its first audio

    auto listen = [&] {
        TestListener l(ice.port(), "GET /live.mp3 HTTP/1.0\r\nHost: localhost\r\n"
                                   "Icy-MetaData: 1\r\n\r\n");
        EXPECT_TRUE(l.waitHeader(5000));
        EXPECT_TRUE(l.checker.statusLine().contains("200")) << l.checker.statusLine().constData();
        EXPECT_TRUE(QTest::qWaitFor([&] { return l.checker.frames() > 100; }, 15000))
            << l.checker.frames() << " frames";
        EXPECT_FALSE(l.checker.corrupt()) << l.checker.error().toStdString();
        EXPECT_EQ(l.checker.sampleRate(), 44100);
    };
    listen();
    relay.setTitle("Relay - Zwei");
    listen();

    // The server goes away and comes back on the same port: the relay finds it again.
    ice.stop();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return relay.state() == IcecastRelay::State::Waiting; }, 10000));
    ASSERT_TRUE(ice.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return relay.connections() == 2; }, 20000));
    QTest::qWait(1500);
    listen();
    bool logged = false;
    for (const QList<QVariant>& s : states)
        logged |= s.at(2).toString().startsWith("RELAY: No connection to 127.0.0.1:");
    EXPECT_TRUE(logged);
    relay.stop();
    EXPECT_EQ(relay.state(), IcecastRelay::State::Off);
}
