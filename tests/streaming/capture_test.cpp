#include "icy_stream_checker.h"
#include "pulse_capture.h"
#include "test_support.h"
#include "tone_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <cmath>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A private PulseAudio daemon with one null sink "vtest", reachable only through its socket.
class PulseServer {
public:
    bool start() {
        const QString exe = QStandardPaths::findExecutable("pulseaudio");
        if (exe.isEmpty() || !m_dir.isValid()) {
            m_why = "pulseaudio not installed";
            return false;
        }
        QDir(m_dir.path()).mkpath("home");
        QDir(m_dir.path()).mkpath("rt");
        QFile::setPermissions(m_dir.filePath("rt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_socket = m_dir.filePath("rt/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.filePath("home"));
        env.insert("XDG_RUNTIME_DIR", m_dir.filePath("rt"));
        env.insert("PULSE_RUNTIME_PATH", m_dir.filePath("rt"));
        env.insert("PULSE_STATE_PATH", m_dir.filePath("home"));
        env.remove("PULSE_SERVER");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        m_proc.setProcessEnvironment(env);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(exe,
                     {"--daemonize=no", "--system=false", "--exit-idle-time=-1", "-n",
                      "--disallow-exit", "--disable-shm=yes", "--log-target=stderr",
                      // The sink first, so that it is there once the socket is.
                      "--load=module-null-sink sink_name=vtest rate=44100",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + m_socket});
        if (!m_proc.waitForStarted(5000)) {
            m_why = "pulseaudio does not start";
            return false;
        }
        const bool up = QTest::qWaitFor(
            [this] { return QFile::exists(m_socket) || m_proc.state() != QProcess::Running; },
            10000);
        if (!up || m_proc.state() != QProcess::Running) {
            m_why = "pulseaudio ended: " + QString::fromLocal8Bit(m_proc.readAll());
            return false;
        }
        m_oldServer = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + m_socket.toUtf8());
        return true;
    }
    ~PulseServer() {
        if (m_proc.state() == QProcess::Running) {
            m_proc.terminate();
            if (!m_proc.waitForFinished(5000)) m_proc.kill();
            m_proc.waitForFinished(2000);
        }
        if (m_oldServer.isEmpty())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", m_oldServer);
    }
    QString why() const { return m_why; }
    QProcessEnvironment clientEnv() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + m_socket);
        env.insert("HOME", m_dir.filePath("home"));
        return env;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
    QString m_socket, m_why;
    QByteArray m_oldServer;
};

// Frequency of a mono 16-bit signal by zero crossings; also its peak.
double dominantFrequency(const QByteArray& pcm, int rate, int channels, int* peak) {
    const qsizetype n = pcm.size() / 2 / channels;
    const auto* p = reinterpret_cast<const qint16*>(pcm.constData());
    int crossings = 0;
    *peak = 0;
    for (qsizetype i = 1; i < n; ++i) {
        const int a = p[(i - 1) * channels], b = p[i * channels];
        *peak = qMax(*peak, std::abs(b));
        if ((a < 0) != (b < 0)) ++crossings;
    }
    return n > 0 ? crossings / 2.0 / (double(n) / rate) : 0;
}

} // namespace

class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pulse = new PulseServer;
        if (!pulse->start()) skipReason = pulse->why();
    }
    static void TearDownTestSuite() {
        delete pulse;
        pulse = nullptr;
    }
    void SetUp() override {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << "PulseAudio cannot start: " << skipReason.toStdString();
    }
    static PulseServer* pulse;
    static QString skipReason;
};
PulseServer* Capture::pulse = nullptr;
QString Capture::skipReason;

TEST_F(Capture, ListsSourcesIncludingMonitors) {
    const QList<AudioDevice> devices = PulseCapture::listDevices();
    ASSERT_FALSE(devices.isEmpty());
    auto it = std::find_if(devices.begin(), devices.end(),
                           [](const AudioDevice& d) { return d.name == "vtest.monitor"; });
    ASSERT_NE(it, devices.end());
    EXPECT_TRUE(it->monitor);
    EXPECT_FALSE(it->description.isEmpty());
}

TEST_F(Capture, DeliversWholeFramesOnTheGuiThread) {
    PulseCapture cap;
    QList<int> sizes;
    bool offThread = false;
    QObject::connect(&cap, &CaptureSource::chunkReady, [&](const QByteArray& b) {
        sizes << int(b.size());
        offThread |= QThread::currentThread() != qApp->thread();
    });
    EXPECT_FALSE(cap.open("no.such.source", 44100, 4608));
    EXPECT_FALSE(cap.isOpen());
    ASSERT_TRUE(cap.open("vtest.monitor", 44100, 4608));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sizes.size() >= 20; }, 5000));
    cap.close();
    EXPECT_FALSE(offThread);
    EXPECT_EQ(sizes.count(4608), sizes.size());
    const int before = int(sizes.size());
    QTest::qWait(200);
    EXPECT_EQ(sizes.size(), before); // nothing after close
    // A 22050 Hz run with MPEG-2 frames.
    ASSERT_TRUE(cap.open("vtest.monitor", 22050, 2304));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sizes.size() >= before + 5; }, 5000));
    EXPECT_EQ(sizes.last(), 2304);
}

TEST_F(Capture, ToneThroughNullSinkComesOutAsDecodableMp3) {
    const QString mpg123 = QStandardPaths::findExecutable("mpg123");
    const QString paplay = QStandardPaths::findExecutable("pacat");
    ASSERT_FALSE(mpg123.isEmpty()) << "mpg123 is needed (scripts/install-deps)";
    ASSERT_FALSE(paplay.isEmpty());
    QTemporaryDir dir;
    WStreamingServer server("Vorlune, Version test");
    server.SetEncoderLibrary(LAME_LIBRARY);
    ASSERT_TRUE(server.encoderLoaded());
    StreamConfig c;
    c.StationID = "E2E";
    c.Port = 0;
    c.Device = "vtest.monitor";
    c.SampleRate = 44100;
    c.BitRate = 128;
    c.VBRMethod = StreamMode::ABR;
    server.Configure(c);
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.samplesPerChunk(), 2304);
    EXPECT_EQ(server.currentBitRate(), 0);

    // Eight seconds of 1 kHz into the null sink.
    QProcess play;
    play.setProcessEnvironment(pulse->clientEnv());
    play.start(paplay, {"--playback", "--device=vtest", "--format=s16le", "--rate=44100",
                        "--channels=2", "--raw"});
    ASSERT_TRUE(play.waitForStarted(3000));
    play.write(ToneSource::tone(1000, 44100, 0, 44100 * 8, 0.6));
    play.closeWriteChannel();

    TestListener l(server.listeningPort(), icyRequest("Icy-MetaData:1\r\n"));
    ASSERT_TRUE(l.waitHeader());
    // Five seconds of stream: the tone may begin late when the machine is busy.
    ASSERT_TRUE(QTest::qWaitFor([&] { return l.checker.audioBytes() > 16000 * 5; }, 20000));
    // Measured per chunk: above zero while someone listens, within the MPEG-1 range.
    EXPECT_GT(server.currentBitRate(), 0);
    EXPECT_LE(server.currentBitRate(), 330);
    server.Stop();
    EXPECT_FALSE(l.checker.corrupt()) << l.checker.error().toStdString();
    play.kill();
    play.waitForFinished(2000);

    // Strip header and metadata, keep the audio bytes, decode them.
    QByteArray audio;
    const QByteArray& raw = l.raw;
    qsizetype pos = raw.indexOf("\r\n\r\n") + 4;
    while (pos < raw.size()) {
        audio += raw.mid(pos, 16000);
        pos += 16000;
        if (pos < raw.size()) pos += 1 + uchar(raw[pos]) * 16;
    }
    QFile mp3(dir.filePath("stream.mp3"));
    ASSERT_TRUE(mp3.open(QIODevice::WriteOnly));
    mp3.write(audio);
    mp3.close();
    QProcess dec;
    dec.start(mpg123, {"-q", "-s", "-e", "s16", "--stereo", "-r", "44100", mp3.fileName()});
    ASSERT_TRUE(dec.waitForFinished(20000));
    const QByteArray pcm = dec.readAllStandardOutput();
    // One second of tone, from a tenth of a second after it begins (the stream may start
    // with silence before the player's first samples arrive).
    const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
    qsizetype onset = 0;
    while (onset < pcm.size() / 4 && std::abs(samples[onset * 2]) < 4000)
        ++onset;
    const qsizetype from = (onset + 4410) * 4;
    ASSERT_GE(pcm.size() - from, 44100 * 4)
        << "tone began at sample " << onset << " of " << pcm.size() / 4;
    int peak = 0;
    const double f = dominantFrequency(pcm.mid(from, 44100 * 4), 44100, 2, &peak);
    EXPECT_GT(peak, 8000);
    EXPECT_NEAR(f, 1000.0, 30.0);
}

TEST_F(Capture, ChunksOfTheLastRunCountAgainstTheBoundAfterReopening) {
    PulseCapture cap;
    int delivered = 0;
    QObject::connect(&cap, &CaptureSource::chunkReady, [&] { ++delivered; });
    ASSERT_TRUE(cap.open("vtest.monitor", 44100, 4608));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered > 0; }, 5000));
    QThread::msleep(1200); // nobody empties the queue: it fills up to the bound
    const int left = cap.queuedChunks();
    EXPECT_EQ(left, PulseCapture::MaxPendingChunks);
    cap.close();
    delivered = 0;
    ASSERT_TRUE(cap.open("vtest.monitor", 44100, 4608));
    QThread::msleep(1500);
    QCoreApplication::processEvents();
    // The old run's chunks are discarded on arrival, but they were waiting all along: the
    // new run may only have queued what the bound left over.
    EXPECT_LE(delivered + left, PulseCapture::MaxPendingChunks);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered >= 5; }, 5000));
    cap.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(cap.queuedChunks(), 0);
}

TEST(CaptureHungServer, OpenGivesUpSoonWhenTheSoundServerDoesNotAnswer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A sound server socket that takes connections into its backlog and never answers.
    const QByteArray path = dir.filePath("native").toUtf8();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    qstrncpy(a.sun_path, path.constData(), sizeof a.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    const QByteArray old = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + path);
    PulseCapture cap;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(cap.open(QString(), 44100, 4608));
    EXPECT_LT(t.elapsed(), PulseCapture::OpenTimeoutMs + 1000);
    EXPECT_FALSE(cap.isOpen());
    if (old.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", old);
    ::close(fd);
}
