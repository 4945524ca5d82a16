// Listener load on the streaming server, side by side with icecast2 serving the same MP3
// stream. Each run: start the server (our own in a child process, or icecast2 fed by a
// child that encodes the same tone), connect N listeners on loopback a few handshakes at a
// time, wait until every one has its response header, then read for a while and report
// the server's CPU time per second, resident memory per listener, how far listeners lag,
// whether any listener saw a corrupt frame or metadata block, and for our server the
// latency of its GUI thread's event loop. The idle case puts many connections that never
// send a request beside 100 real listeners.
//
//   bench_stream_listeners [--seconds S] [--kbps K] [--idle I] [--only vorlune|icecast2] [N ...]
//                                                    (default N: 1000 5000 10000, I: 10000)
//   bench_stream_listeners --serve PORT KBPS                      (internal)
//   bench_stream_listeners --feed-icecast PORT PASSWORD KBPS      (internal)

#include "icy_stream_checker.h"
#include "lame_binding.h"
#include "mp3_encoder.h"
#include "streaming_server.h"
#include "tone_server.h"
#include "tone_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchstream;

const int kListenerNice = 10;
// Connects in flight: icecast2 2.4 listens with a backlog of 5, so at most 4 handshakes at
// a time; requests waiting for their response header are many, because icecast2 answers
// them only between its rounds over all listeners (which grow longer with every listener).
const int kHandshakes = 4;
const int kWaiting = 512;
// How long every listener may take to get in, per listener.
const int kConnectMsPerListener = 300;

int serve(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    WStreamingServer server("Vorlune bench");
    server.StreamTitle = "Bench - Tone";
    if (!startToneServer(server, "bench", quint16(atoi(argv[2])), atoi(argv[3]))) {
        fprintf(stderr, "server does not start\n");
        return 1;
    }
    // The GUI thread's event-loop latency: how late a 5 ms timer fires. Commands on stdin:
    // "RESET" starts a measurement, "STATS" prints its percentiles.
    std::vector<double> late;
    // Time the GUI thread ran and waited to run (ns), from the scheduler's own figures.
    auto schedstat = [] {
        QFile f(QStringLiteral("/proc/thread-self/schedstat"));
        std::pair<double, double> r{0, 0};
        if (f.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> v = f.readAll().trimmed().split(' ');
            r = {v.value(0).toDouble(), v.value(1).toDouble()};
        }
        return r;
    };
    auto sched0 = schedstat();
    QElapsedTimer since;
    since.start();
    QElapsedTimer clock;
    clock.start();
    qint64 due = 5;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed() / 1000;
        late.push_back(qMax<qint64>(0, now - due * 1000) / 1000.0);
        due = now / 1000 + 5;
    });
    probe.start();
    QSocketNotifier in(0, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, [&] {
        char line[64];
        const ssize_t n = ::read(0, line, sizeof line - 1);
        if (n <= 0) {
            app.quit();
            return;
        }
        if (QByteArray(line, int(n)).contains("RESET")) {
            late.clear();
            sched0 = schedstat();
            since.restart();
        }
        if (QByteArray(line, int(n)).contains("STATS")) {
            std::sort(late.begin(), late.end());
            auto pct = [&](double q) {
                return late.empty() ? 0.0 : late[size_t(q * double(late.size() - 1))];
            };
            const auto sched1 = schedstat();
            const double secs = qMax<qint64>(1, since.elapsed()) / 1000.0;
            printf("LAT %.2f %.2f %.2f %.1f %.1f\n", pct(0.5), pct(0.99),
                   late.empty() ? 0.0 : late.back(), (sched1.first - sched0.first) / 1e6 / secs,
                   (sched1.second - sched0.second) / 1e6 / secs);
            fflush(stdout);
        }
    });
    printf("READY\n");
    fflush(stdout);
    return app.exec();
}

// Encodes the tone exactly as the server does and sends it to icecast as a source.
int feedIcecast(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    LameBinding lame;
    const int kbps = atoi(argv[4]);
    Mp3Encoder encoder;
    if (lame.load(kLame) != 0 || !encoder.open(lame, 44100, kbps, 3, StreamMode::CBR, false))
        return 1;
    QTcpSocket sock;
    sock.connectToHost("127.0.0.1", quint16(atoi(argv[2])));
    if (!sock.waitForConnected(5000)) return 1;
    const QByteArray auth = QByteArray("source:" + QByteArray(argv[3])).toBase64();
    sock.write("SOURCE /tone.mp3 HTTP/1.0\r\nAuthorization: Basic " + auth +
               "\r\nContent-Type: audio/mpeg\r\nIce-Name: bench\r\nIce-Bitrate: " +
               QByteArray::number(kbps) + "\r\n\r\n");
    if (!sock.waitForReadyRead(5000) || !sock.readAll().contains("200")) return 1;
    ToneSource tone(440);
    // Pieces of 4 KB, as much as icecast2 reads at a time: it then queues and sends fewer,
    // larger blocks per listener than it would for every encoder chunk.
    QByteArray pending;
    QObject::connect(&tone, &CaptureSource::chunkReady, [&](const QByteArray& pcm) {
        pending.append(encoder.encode(pcm));
        if (pending.size() >= 4096) {
            sock.write(pending);
            pending.clear();
        }
    });
    QObject::connect(&sock, &QTcpSocket::disconnected, &app, &QCoreApplication::quit);
    tone.open(QString(), 44100, encoder.chunkBytes());
    printf("READY\n");
    fflush(stdout);
    return app.exec();
}

// CPU time of a process, or of one of its threads when tid is given.
double cpuSeconds(qint64 pid, qint64 tid = 0) {
    QFile f(tid ? QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(tid)
                : QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the file, counted after the command name: utime, stime.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// Anonymous resident memory: what the process allocated and touched. (File-backed pages of
// the libraries come and go with the page cache and would blur the figure.)
qint64 rssBytes(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ')[0].toLongLong() * 1024;
    return 0;
}

struct Client {
    int fd = -1;
    bool started = false;
    bool sent = false;
    bool closed = false;
    bool idle = false; // never sends its request
    qint64 lastData = 0;
    qint64 maxGap = 0;
    IcyStreamChecker checker;
};

struct Result {
    int listeners = 0;
    int connected = 0;
    int corrupt = 0;
    int closedEarly = 0;
    double cpuPerSecond = 0;   // serving: icecast2 alone; ours without its main thread
    double totalPerSecond = 0; // with capture and encoding: icecast2 plus its source client
    double kbpsPerListener = 0;
    double connectSeconds = 0;
    double rssPerListenerKB = 0;
    double rssBaseMB = 0;
    double maxGapSeconds = 0;    // longest wait for data of any listener while measured
    double maxBehindSeconds = 0; // largest shortfall of audio against real time, any listener
    QString guiLatency;
    QString firstError;
};

// Loopback listeners driven by one epoll loop.
class Crowd {
public:
    Crowd(quint16 port, const QByteArray& path) : m_port(port) {
        m_request = "GET " + path +
                    " HTTP/1.0\r\nHost: localhost\r\nUser-Agent: bench\r\nIcy-MetaData: 1\r\n\r\n";
        m_ep = epoll_create1(0);
        m_clock.start();
    }
    ~Crowd() {
        for (Client& c : m_clients)
            if (c.fd >= 0) ::close(c.fd);
        ::close(m_ep);
    }
    std::vector<Client>& clients() { return m_clients; }

    // Adds n clients with at most `handshakes` TCP handshakes in flight (a server with a
    // short listen backlog drops what does not fit, and the client waits a second or more
    // before it tries again) and at most `waiting` requests without their response header
    // (idle ones: without a finished handshake). True when every one got through.
    bool connectAll(int n, bool idle, int handshakes, int waiting, int timeoutMs) {
        const size_t first = m_clients.size();
        m_clients.resize(first + size_t(n));
        QElapsedTimer t;
        t.start();
        size_t next = first;
        std::vector<size_t> flying; // started, not yet through
        while (t.elapsed() < timeoutMs) {
            int shaking = 0;
            flying.erase(std::remove_if(flying.begin(), flying.end(),
                                        [&](size_t i) {
                                            const Client& c = m_clients[i];
                                            const bool done =
                                                c.closed ||
                                                (idle ? c.sent : c.checker.headerComplete());
                                            if (!done && !c.sent) ++shaking;
                                            return done;
                                        }),
                         flying.end());
            if (flying.empty() && next == m_clients.size()) return true;
            while (next < m_clients.size() && shaking < handshakes &&
                   int(flying.size()) < waiting) {
                flying.push_back(next);
                start(next++, idle);
                ++shaking;
            }
            pump(2);
        }
        return false;
    }

    void pump(int timeoutMs) {
        epoll_event ev[512];
        const int k = epoll_wait(m_ep, ev, 512, timeoutMs);
        const qint64 now = m_clock.elapsed();
        for (int i = 0; i < k; ++i) {
            Client& c = m_clients[ev[i].data.u32];
            if (!c.sent && (ev[i].events & EPOLLOUT)) {
                if (c.idle || ::send(c.fd, m_request.constData(), size_t(m_request.size()),
                                     MSG_NOSIGNAL) == m_request.size()) {
                    c.sent = true;
                    epoll_event mod{};
                    mod.events = EPOLLIN;
                    mod.data.u32 = ev[i].data.u32;
                    epoll_ctl(m_ep, EPOLL_CTL_MOD, c.fd, &mod);
                }
            }
            if (ev[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                for (;;) {
                    const ssize_t got = ::recv(c.fd, m_buf, sizeof m_buf, 0);
                    if (got > 0) {
                        if (m_measuring && c.lastData > 0)
                            c.maxGap = qMax(c.maxGap, now - c.lastData);
                        c.lastData = now;
                        c.checker.feed(m_buf, got);
                        continue;
                    }
                    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                        c.closed = true;
                        epoll_ctl(m_ep, EPOLL_CTL_DEL, c.fd, nullptr);
                    }
                    break;
                }
            }
        }
    }
    void measuring(bool on) {
        m_measuring = on;
        const qint64 now = m_clock.elapsed();
        for (Client& c : m_clients) {
            c.maxGap = 0;
            if (on) c.lastData = now;
        }
    }

private:
    void start(size_t i, bool idle) {
        Client& c = m_clients[i];
        c.idle = idle;
        c.started = true;
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        epoll_event ev{};
        ev.events = EPOLLOUT | EPOLLIN;
        ev.data.u32 = quint32(i);
        epoll_ctl(m_ep, EPOLL_CTL_ADD, c.fd, &ev);
    }

    quint16 m_port;
    QByteArray m_request;
    int m_ep = -1;
    std::vector<Client> m_clients;
    char m_buf[65536];
    QElapsedTimer m_clock;
    bool m_measuring = false;
};

// For our own server: asks the child for its GUI-thread latency since the last reset. Runs
// on the main thread, which owns the process, also when the listeners' thread asks.
QString askLatency(QProcess* server, const char* command) {
    if (!server) return QString();
    if (QThread::currentThread() != server->thread()) {
        QString answer;
        QMetaObject::invokeMethod(
            server, [&] { answer = askLatency(server, command); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    server->write(command);
    server->waitForBytesWritten(1000);
    if (QByteArray(command).contains("RESET")) return QString();
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains('\n') && t.elapsed() < 3000) {
        server->waitForReadyRead(200);
        out += server->readAllStandardOutput();
    }
    const qsizetype at = out.indexOf("LAT ");
    if (at < 0) return QString();
    const QList<QByteArray> f = out.mid(at + 4).trimmed().split(' ');
    return QStringLiteral("p50 %1 ms, p99 %2 ms, max %3 ms; runs %4 ms/s, waits %5 ms/s")
        .arg(QString::fromLatin1(f.value(0)), QString::fromLatin1(f.value(1)),
             QString::fromLatin1(f.value(2)), QString::fromLatin1(f.value(3)),
             QString::fromLatin1(f.value(4)));
}

// N listeners (after `idle` connections that never send a request); measures for
// `seconds` after all are in and a 2 s warm-up.
Result runListeners(qint64 serverPid, qint64 sourcePid, QProcess* ours, quint16 port,
                    const QByteArray& path, int n, int idle, int seconds, int kbps) {
    Result r;
    r.listeners = n;
    Crowd crowd(port, path);
    const qint64 rss0 = rssBytes(serverPid);
    QElapsedTimer t;
    t.start();
    if (idle > 0) crowd.connectAll(idle, true, kHandshakes, kHandshakes, qMax(60000, idle * 20));
    crowd.connectAll(n, false, kHandshakes, kWaiting, qMax(120000, n * kConnectMsPerListener));
    r.connectSeconds = t.elapsed() / 1000.0;
    t.restart();
    while (t.elapsed() < 2000)
        crowd.pump(20);
    askLatency(ours, "RESET\n");
    crowd.measuring(true);
    const size_t firstReal = size_t(idle);
    std::vector<Client>& clients = crowd.clients();
    std::vector<qint64> before(clients.size());
    for (size_t i = 0; i < clients.size(); ++i)
        before[i] = clients[i].checker.audioBytes();
    // Ours: the main thread captures and encodes, the others serve. icecast2: the source
    // client captures and encodes, the server serves.
    auto serving = [&] {
        return cpuSeconds(serverPid) - (ours ? cpuSeconds(serverPid, serverPid) : 0.0);
    };
    auto total = [&] { return cpuSeconds(serverPid) + (sourcePid ? cpuSeconds(sourcePid) : 0.0); };
    const double cpu0 = serving(), total0 = total();
    t.restart();
    while (t.elapsed() < seconds * 1000)
        crowd.pump(20);
    const double elapsed = t.elapsed() / 1000.0;
    r.cpuPerSecond = (serving() - cpu0) / elapsed;
    r.totalPerSecond = (total() - total0) / elapsed;
    r.rssBaseMB = rss0 / 1048576.0;
    r.rssPerListenerKB = n > 0 ? (rssBytes(serverPid) - rss0) / 1024.0 / n : 0;
    r.guiLatency = askLatency(ours, "STATS\n");
    qint64 bytes = 0;
    const double rate = kbps * 125.0;
    for (size_t i = firstReal; i < clients.size(); ++i) {
        Client& c = clients[i];
        if (c.checker.headerComplete()) ++r.connected;
        if (c.checker.corrupt()) {
            ++r.corrupt;
            if (r.firstError.isEmpty()) r.firstError = c.checker.error();
        }
        if (c.closed) ++r.closedEarly;
        const qint64 got = c.checker.audioBytes() - before[i];
        bytes += got;
        r.maxGapSeconds = qMax(r.maxGapSeconds, c.maxGap / 1000.0);
        r.maxBehindSeconds = qMax(r.maxBehindSeconds, (rate * elapsed - double(got)) / rate);
    }
    r.kbpsPerListener = n > 0 ? bytes * 8.0 / 1000.0 / elapsed / n : 0;
    return r;
}

// The listeners run on a thread of lower priority than the servers: on a real network they
// would be other machines, here they must not take the CPU the servers' threads wait for.
// (Its own nice value only: the servers are started from the main thread and keep theirs.)
Result runListenersNiced(qint64 serverPid, qint64 sourcePid, QProcess* ours, quint16 port,
                         const QByteArray& path, int n, int idle, int seconds, int kbps) {
    Result r;
    QEventLoop loop;
    std::thread crowd([&] {
        const auto tid = id_t(::syscall(SYS_gettid));
        ::setpriority(PRIO_PROCESS, tid, ::getpriority(PRIO_PROCESS, tid) + kListenerNice);
        r = runListeners(serverPid, sourcePid, ours, port, path, n, idle, seconds, kbps);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    crowd.join();
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

void printHeader() {
    printf("%-9s %6s %6s %8s %6s %7s %8s %9s %9s %9s %8s %8s  %s\n", "server", "idle", "N",
           "in (s)", "closed", "corrupt", "kbps/l", "serve s/s", "total s/s", "KB/l anon", "gap s",
           "behind s", "GUI thread latency");
}

void print(const char* who, int idle, const Result& r) {
    printf("%-9s %6d %6d %8.1f %6d %7d %8.1f %9.3f %9.3f %9.1f %8.2f %8.2f  %s%s%s\n", who, idle,
           r.listeners, r.connectSeconds, r.closedEarly, r.corrupt, r.kbpsPerListener,
           r.cpuPerSecond, r.totalPerSecond, r.rssPerListenerKB, r.maxGapSeconds,
           r.maxBehindSeconds, r.guiLatency.isEmpty() ? "-" : qPrintable(r.guiLatency),
           r.firstError.isEmpty() ? "" : "  first error: ", qPrintable(r.firstError));
    if (r.connected < r.listeners)
        printf("          only %d of %d listeners got their header\n", r.connected, r.listeners);
    fflush(stdout);
}

Result runOurs(const QString& self, int n, int idle, int seconds, int kbps) {
    const quint16 port = 18400;
    QProcess server;
    server.start(self, {"--serve", QString::number(port), QString::number(kbps)});
    if (!waitReady(server)) {
        fprintf(stderr, "our server did not start\n");
        return {};
    }
    const Result r =
        runListenersNiced(server.processId(), 0, &server, port, "/", n, idle, seconds, kbps);
    stop(server);
    return r;
}

Result runIcecast(const QString& self, int n, int idle, int seconds, int kbps) {
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
    // Fair settings: room for every listener and idle connection, a burst like ours, a
    // queue as deep as our lag bound, the same metadata interval, logging kept quiet.
    f.write(
        QStringLiteral("<icecast><limits><clients>%1</clients><sources>2</sources>"
                       "<queue-size>%5</queue-size><client-timeout>30</client-timeout>"
                       "<header-timeout>15</header-timeout><source-timeout>10</source-timeout>"
                       "<burst-size>%6</burst-size></limits>"
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
            .arg(n + idle + 50)
            .arg(port)
            .arg(dir.path())
            .arg(getuid() == 0 ? "<changeowner><user>nobody</user><group>nogroup</group>"
                                 "</changeowner>"
                               : "")
            .arg(kbps * 125 * 10)
            .arg(kbps * 125 * 3)
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
    const Result r = runListenersNiced(ice.processId(), feeder.processId(), nullptr, port,
                                       "/tone.mp3", n, idle, seconds, kbps);
    stop(feeder);
    stop(ice);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    raiseFileLimit(); // children (both servers) inherit it
    if (argc >= 4 && strcmp(argv[1], "--serve") == 0) return serve(argc, argv);
    if (argc >= 5 && strcmp(argv[1], "--feed-icecast") == 0) return feedIcecast(argc, argv);
    QCoreApplication app(argc, argv);
    int seconds = 10, kbps = 128, idle = 10000;
    bool runVorlune = true, runIce = true;
    QList<int> counts;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == "--kbps" && i + 1 < args.size())
            kbps = args[++i].toInt();
        else if (args[i] == "--idle" && i + 1 < args.size())
            idle = args[++i].toInt();
        else if (args[i] == "--only" && i + 1 < args.size()) {
            runVorlune = args[i + 1] == "vorlune";
            runIce = args[++i] == "icecast2";
        } else
            counts << args[i].toInt();
    }
    if (counts.isEmpty()) counts = {1000, 5000, 10000};
    const QString self = QCoreApplication::applicationFilePath();
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    printf("%s\n", qPrintable(QCoreApplication::arguments().join(' ')));
    printf("%d kbps CBR, 44100 Hz tone, loopback; every listener has its header before a 2 s "
           "warm-up and %d s of measuring; open files limit %llu\n",
           kbps, seconds, (unsigned long long)r.rlim_cur);
    printHeader();
    auto ratio = [](const Result& a, const Result& b) {
        if (a.cpuPerSecond <= 0 || b.cpuPerSecond <= 0 || b.totalPerSecond <= 0) return;
        printf("          vorlune/icecast2 CPU: serving %.2f, total %.2f\n",
               a.cpuPerSecond / b.cpuPerSecond, a.totalPerSecond / b.totalPerSecond);
    };
    for (int n : counts) {
        Result ours, ice;
        if (runVorlune) print("vorlune", 0, ours = runOurs(self, n, 0, seconds, kbps));
        if (runIce) print("icecast2", 0, ice = runIcecast(self, n, 0, seconds, kbps));
        ratio(ours, ice);
    }
    if (idle > 0) {
        if (runVorlune) print("vorlune", idle, runOurs(self, 100, idle, seconds, kbps));
        if (runIce) print("icecast2", idle, runIcecast(self, 100, idle, seconds, kbps));
    }
    printf("serve: CPU seconds per second of serving (icecast2; our server without its main "
           "thread, which captures and encodes); total: with capturing and encoding (icecast2 "
           "plus its source client; our whole process)\n");
    printf("in: seconds until all listeners had their header (connects paced: %d handshakes and %d "
           "requests in flight; listeners at nice +%d); ",
           kHandshakes, kWaiting, kListenerNice);
    printf("gap: longest wait for data of any listener; behind: largest shortfall of received "
           "audio against real time while measured; KB/l anon: growth of anonymous resident memory "
           "per listener "
           "beyond the server's state before they came\n");
    return 0;
}
