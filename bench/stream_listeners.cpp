// Listener load on the streaming server, side by side with icecast2 serving the same MP3
// stream. Each run: start the server (our own in a child process, or icecast2 fed by a
// child that encodes the same tone), connect N listeners on loopback, read for a while,
// and report the server's CPU time per second and whether any listener saw a corrupt
// frame or metadata block.
//
//   bench_stream_listeners [--seconds S] [--kbps K] [N ...]      (default N: 100 1000 5000)
//   bench_stream_listeners --serve PORT KBPS                      (internal)
//   bench_stream_listeners --feed-icecast PORT PASSWORD KBPS      (internal)

#include "icy_stream_checker.h"
#include "lame_binding.h"
#include "streaming_server.h"
#include "tone_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const char* kLame = "/usr/lib/x86_64-linux-gnu/libmp3lame.so.0";

void raiseFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

int serve(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    WStreamingServer server("Vorlune bench");
    server.setCaptureSource(new ToneSource(440));
    server.SetEncoderLibrary(kLame);
    StreamConfig c;
    c.StationID = "bench";
    c.Port = quint16(atoi(argv[2]));
    c.BitRate = atoi(argv[3]);
    c.VBRMethod = StreamMode::CBR;
    c.LimitListeners = false;
    server.StreamTitle = "Bench - Tone";
    server.Configure(c);
    if (!server.Start()) {
        fprintf(stderr, "server does not start\n");
        return 1;
    }
    printf("READY\n");
    fflush(stdout);
    return app.exec();
}

// Encodes the tone exactly as the server does and sends it to icecast as a source.
int feedIcecast(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    LameBinding lame;
    if (lame.load(kLame) != 0) return 1;
    const int kbps = atoi(argv[4]);
    quint32 samples = 0, outSize = 0;
    LameBinding::Stream stream = nullptr;
    if (lame.initStream(EncoderConfig::fromSettings(44100, kbps, 3, StreamMode::CBR, false),
                        &samples, &outSize, &stream) != 0)
        return 1;
    QByteArray out(outSize, '\0');
    QTcpSocket sock;
    sock.connectToHost("127.0.0.1", quint16(atoi(argv[2])));
    if (!sock.waitForConnected(5000)) return 1;
    const QByteArray auth = QByteArray("source:" + QByteArray(argv[3])).toBase64();
    sock.write("SOURCE /tone.mp3 HTTP/1.0\r\nAuthorization: Basic " + auth +
               "\r\nContent-Type: audio/mpeg\r\nIce-Name: bench\r\nIce-Bitrate: " +
               QByteArray::number(kbps) + "\r\n\r\n");
    if (!sock.waitForReadyRead(5000) || !sock.readAll().contains("200")) return 1;
    ToneSource tone(440);
    QObject::connect(&tone, &CaptureSource::chunkReady, [&](const QByteArray& pcm) {
        quint32 written = 0;
        if (lame.encodeChunk(stream, samples, reinterpret_cast<const qint16*>(pcm.constData()),
                             reinterpret_cast<quint8*>(out.data()), &written) == 0)
            sock.write(out.constData(), written);
    });
    QObject::connect(&sock, &QTcpSocket::disconnected, &app, &QCoreApplication::quit);
    tone.open(QString(), 44100, int(samples) * 2);
    printf("READY\n");
    fflush(stdout);
    return app.exec();
}

double cpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the file, counted after the command name: utime, stime.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

struct Client {
    int fd = -1;
    bool sent = false;
    bool closed = false;
    IcyStreamChecker checker;
};

struct Result {
    int connected = 0;
    int corrupt = 0;
    int closedEarly = 0;
    double cpuPerSecond = 0;
    double kbpsPerListener = 0;
    double connectSeconds = 0;
    QString firstError;
};

// N listeners with one epoll loop; reads for warm + seconds, measures during the latter.
Result runListeners(qint64 serverPid, quint16 port, const QByteArray& path, int n, int seconds) {
    Result r;
    std::vector<Client> clients(static_cast<size_t>(n));
    const int ep = epoll_create1(0);
    const QByteArray request = "GET " + path +
                               " HTTP/1.0\r\nHost: localhost\r\nUser-Agent: bench\r\n"
                               "Icy-MetaData: 1\r\n\r\n";
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<char> buf(65536);
    auto pump = [&](int timeoutMs) {
        epoll_event ev[256];
        const int k = epoll_wait(ep, ev, 256, timeoutMs);
        for (int i = 0; i < k; ++i) {
            Client& c = clients[ev[i].data.u32];
            if (!c.sent && (ev[i].events & EPOLLOUT)) {
                if (::send(c.fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) ==
                    request.size()) {
                    c.sent = true;
                    epoll_event mod{};
                    mod.events = EPOLLIN;
                    mod.data.u32 = ev[i].data.u32;
                    epoll_ctl(ep, EPOLL_CTL_MOD, c.fd, &mod);
                }
            }
            if (ev[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                for (;;) {
                    const ssize_t got = ::recv(c.fd, buf.data(), buf.size(), 0);
                    if (got > 0) {
                        c.checker.feed(buf.data(), got);
                        continue;
                    }
                    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                        c.closed = true;
                        epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                    }
                    break;
                }
            }
        }
    };
    for (int i = 0; i < n; ++i) {
        Client& c = clients[size_t(i)];
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        epoll_event ev{};
        ev.events = EPOLLOUT | EPOLLIN;
        ev.data.u32 = quint32(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, c.fd, &ev);
        if (i % 50 == 49) pump(25); // about 2,000 connections a second, for either server
    }
    // Wait until every listener has its header (or gave up), then warm up.
    QElapsedTimer t;
    t.start();
    auto waiting = [&] {
        for (const Client& c : clients)
            if (!c.closed && !c.checker.headerComplete()) return true;
        return false;
    };
    while (t.elapsed() < 60000 && waiting())
        pump(20);
    r.connectSeconds = t.elapsed() / 1000.0;
    t.restart();
    while (t.elapsed() < 2000)
        pump(20);
    std::vector<qint64> before(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        before[size_t(i)] = clients[size_t(i)].checker.audioBytes();
    const double cpu0 = cpuSeconds(serverPid);
    t.restart();
    while (t.elapsed() < seconds * 1000)
        pump(20);
    const double elapsed = t.elapsed() / 1000.0;
    r.cpuPerSecond = (cpuSeconds(serverPid) - cpu0) / elapsed;
    qint64 bytes = 0;
    for (int i = 0; i < n; ++i) {
        Client& c = clients[size_t(i)];
        if (c.checker.headerComplete()) ++r.connected;
        if (c.checker.corrupt()) {
            ++r.corrupt;
            if (r.firstError.isEmpty()) r.firstError = c.checker.error();
        }
        if (c.closed) ++r.closedEarly;
        bytes += c.checker.audioBytes() - before[size_t(i)];
        ::close(c.fd);
    }
    ::close(ep);
    r.kbpsPerListener = n > 0 ? bytes * 8.0 / 1000.0 / elapsed / n : 0;
    return r;
}

bool waitReady(QProcess& p) {
    if (!p.waitForStarted(5000)) return false;
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("READY") && t.elapsed() < 15000 && p.state() == QProcess::Running) {
        p.waitForReadyRead(500);
        out += p.readAllStandardOutput();
    }
    return out.contains("READY");
}

void stop(QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(2000);
    }
}

void print(const char* who, int n, const Result& r) {
    printf("%-9s N=%-6d listening=%-6d (all in %4.1f s) closed=%-5d corrupt=%-5d "
           "%6.1f kbps/listener  server CPU %6.3f s/s%s%s\n",
           who, n, r.connected, r.connectSeconds, r.closedEarly, r.corrupt, r.kbpsPerListener,
           r.cpuPerSecond,
           r.firstError.isEmpty() ? "" : "  first error: ", qPrintable(r.firstError));
    fflush(stdout);
}

Result runOurs(const QString& self, int n, int seconds, int kbps) {
    const quint16 port = 18400;
    QProcess server;
    server.start(self, {"--serve", QString::number(port), QString::number(kbps)});
    if (!waitReady(server)) {
        fprintf(stderr, "our server did not start\n");
        return {};
    }
    const Result r = runListeners(server.processId(), port, "/", n, seconds);
    stop(server);
    return r;
}

Result runIcecast(const QString& self, int n, int seconds, int kbps) {
    const QString exe = QStandardPaths::findExecutable("icecast2");
    if (exe.isEmpty()) {
        fprintf(stderr, "icecast2 not installed\n");
        return {};
    }
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::Permissions(0x7777));
    const quint16 port = 18500;
    const QString conf = dir.filePath("icecast.xml");
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    f.write(
        QStringLiteral("<icecast><limits><clients>%1</clients><sources>2</sources>"
                       "<queue-size>524288</queue-size><client-timeout>30</client-timeout>"
                       "<header-timeout>15</header-timeout><source-timeout>10</source-timeout>"
                       "<burst-size>65535</burst-size></limits>"
                       "<authentication><source-password>benchpw</source-password>"
                       "<admin-user>admin</admin-user><admin-password>benchadmin</admin-password>"
                       "</authentication><hostname>localhost</hostname>"
                       "<listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address>"
                       "</listen-socket><mount><mount-name>/tone.mp3</mount-name>"
                       "<icy-metadata-interval>16000</icy-metadata-interval></mount>"
                       "<fileserve>0</fileserve><paths><basedir>%3</basedir><logdir>%3</logdir>"
                       "<webroot>%3</webroot><adminroot>%3</adminroot></paths>"
                       "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                       "<loglevel>1</loglevel></logging>"
                       "<security><chroot>0</chroot>%4</security></icecast>\n")
            .arg(n + 50)
            .arg(port)
            .arg(dir.path())
            .arg(getuid() == 0 ? "<changeowner><user>nobody</user><group>nogroup</group>"
                                 "</changeowner>"
                               : "")
            .toUtf8());
    f.close();
    QFile::setPermissions(conf, QFile::Permissions(0x6444));
    QProcess ice;
    ice.setProcessChannelMode(QProcess::MergedChannels);
    ice.start(exe, {"-c", conf});
    if (!ice.waitForStarted(5000)) {
        fprintf(stderr, "icecast2 does not start\n");
        return {};
    }
    QThread::msleep(1000);
    QProcess feeder;
    feeder.start(self, {"--feed-icecast", QString::number(port), "benchpw", QString::number(kbps)});
    if (!waitReady(feeder)) {
        fprintf(stderr, "icecast2 source did not connect: %s\n", ice.readAll().constData());
        stop(ice);
        return {};
    }
    QThread::msleep(1000);
    const Result r = runListeners(ice.processId(), port, "/tone.mp3", n, seconds);
    stop(feeder);
    stop(ice);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    raiseFileLimit();
    if (argc >= 4 && strcmp(argv[1], "--serve") == 0) return serve(argc, argv);
    if (argc >= 5 && strcmp(argv[1], "--feed-icecast") == 0) return feedIcecast(argc, argv);
    QCoreApplication app(argc, argv);
    int seconds = 10, kbps = 128;
    QList<int> counts;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == "--kbps" && i + 1 < args.size())
            kbps = args[++i].toInt();
        else
            counts << args[i].toInt();
    }
    if (counts.isEmpty()) counts = {100, 1000, 5000};
    const QString self = QCoreApplication::applicationFilePath();
    printf("%d kbps CBR, 44100 Hz tone, %d s measured per run after all listeners are in and 2 s "
           "warm-up\n",
           kbps, seconds);
    for (int n : counts) {
        print("vorlune", n, runOurs(self, n, seconds, kbps));
        print("icecast2", n, runIcecast(self, n, seconds, kbps));
    }
    return 0;
}
