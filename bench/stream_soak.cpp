// Long run of the streaming server under a changing crowd: 500 listener slots on loopback,
// each of one kind, that come and go at random while the title changes every 30 s. Every
// minute it prints the server's anonymous resident memory, its open descriptors and the
// listener counts, and at the end a verdict: memory and descriptors flat, every listener
// that should have stayed still there with an intact stream and the title changes, every
// hostile connection closed in time, and nothing left behind once the crowd is gone.
//
//   bench_stream_soak [--minutes M] [--seconds S] [--kbps K] [--seed N]   (default: 60 min)
//   bench_stream_soak --serve PORT KBPS TITLE_MS                          (internal)
//
// Kinds: steady (read all, stay), slow (read at 1.25x the bit rate, stay), churn (read all,
// leave after 5-90 s), stalled (send the request, never read, leave after 20-120 s; the
// server may drop them) and hostile (junk, oversized, unfinished, slow or empty requests,
// resets; the server must close them within its request time-out, or stream to them when
// the junk happens to end in a blank line).

#include "icy_stream_checker.h"
#include "streaming_server.h"
#include "tone_server.h"
#include "tone_source.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <random>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchstream;

const int kSlots = 500;
const int kSteady = 250, kSlow = 50, kChurn = 100, kStalled = 50; // the rest hostile
const int kTitleMs = 30000;
// Longest wait for data a reading listener may see (the server sends once a second).
const qint64 kMaxGapMs = 5000;
// A hostile connection must be gone this long after its last byte.
const qint64 kHostileLimitMs = WStreamingServer::RequestTimeoutMs + 5000;

int serve(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    WStreamingServer server("Vorlune soak");
    int title = 0;
    server.StreamTitle = "Soak - Title 0";
    if (!startToneServer(server, "soak", quint16(atoi(argv[2])), atoi(argv[3]))) {
        fprintf(stderr, "server does not start\n");
        return 1;
    }
    QTimer titles;
    QObject::connect(&titles, &QTimer::timeout,
                     [&] { server.StreamTitle = QStringLiteral("Soak - Title %1").arg(++title); });
    titles.start(atoi(argv[4]));
    // "COUNT" on stdin: the number of listeners the server keeps.
    QSocketNotifier in(0, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, [&] {
        char line[64];
        const ssize_t n = ::read(0, line, sizeof line - 1);
        if (n <= 0) {
            app.quit();
            return;
        }
        if (QByteArray(line, int(n)).contains("COUNT")) {
            printf("COUNT %d %d\n", server.ClientCount(), title);
            fflush(stdout);
        }
    });
    printf("READY\n");
    fflush(stdout);
    return app.exec();
}

qint64 rssAnonKB(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("RssAnon:")) return line.mid(8).trimmed().split(' ')[0].toLongLong();
    return 0;
}

int openFds(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

enum class Kind { Steady, Slow, Churn, Stalled, Hostile };
const char* kindName(Kind k) {
    switch (k) {
    case Kind::Steady:
        return "steady";
    case Kind::Slow:
        return "slow";
    case Kind::Churn:
        return "churn";
    case Kind::Stalled:
        return "stalled";
    case Kind::Hostile:
        return "hostile";
    }
    return "";
}

enum Hostility {
    Junk,
    Oversized,
    Unfinished,
    Silent,
    Trickle,
    Reset,
    ControlBytes,
    HostilityCount
};

struct Slot {
    Kind kind = Kind::Steady;
    int fd = -1;
    int hostility = 0;
    qint64 connectAt = 0;   // when the current connection was opened
    qint64 reconnectAt = 0; // when a closed slot opens its next connection
    qint64 leaveAt = 0;     // churn, stalled: when it leaves by itself
    qint64 lastData = 0;
    qint64 lastSent = 0; // hostile: its last byte out
    qint64 budget = 0;   // slow: bytes it may still read
    qint64 titlesAtConnect = 0;
    int trickleLeft = 0;
    bool sent = false;
    bool starving = false;
    std::unique_ptr<IcyStreamChecker> checker;
};

struct Tally {
    int connects = 0, leftByThemselves = 0, droppedStalled = 0, hostileClosed = 0;
    int hostileStreamed = 0;
    int lost = 0, corrupt = 0, hostileLingering = 0, missedTitles = 0;
    int starved = 0; // waits for data longer than kMaxGapMs
    qint64 longestGapMs = 0;
    QStringList firstFaults;
    void fault(const QString& what) {
        if (firstFaults.size() < 10) firstFaults << what;
    }
};

class Soak {
public:
    Soak(quint16 port, quint32 seed) : m_port(port), m_rng(seed) {
        m_ep = epoll_create1(0);
        m_clock.start();
        m_slots.resize(kSlots);
        for (int i = 0; i < kSlots; ++i) {
            Slot& s = m_slots[size_t(i)];
            s.kind = i < kSteady                               ? Kind::Steady
                     : i < kSteady + kSlow                     ? Kind::Slow
                     : i < kSteady + kSlow + kChurn            ? Kind::Churn
                     : i < kSteady + kSlow + kChurn + kStalled ? Kind::Stalled
                                                               : Kind::Hostile;
            s.reconnectAt = rand(0, 20000); // the crowd comes in over 20 s
        }
    }
    ~Soak() {
        for (Slot& s : m_slots)
            if (s.fd >= 0) ::close(s.fd);
        ::close(m_ep);
    }

    void setRate(int kbps) { m_bytesPerSecond = kbps * 125; }
    // The number of title changes the server has made (from its COUNT answers).
    void setTitles(qint64 n) { m_titles = n; }
    qint64 now() const { return m_clock.elapsed(); }
    Tally& tally() { return m_tally; }

    void step(int waitMs) {
        const qint64 t = now();
        if (t - m_lastTick >= 50) {
            const qint64 dt = t - m_lastTick;
            m_lastTick = t;
            for (size_t i = 0; i < m_slots.size(); ++i)
                tick(i, t, dt);
        }
        epoll_event ev[512];
        const int k = epoll_wait(m_ep, ev, 512, waitMs);
        for (int j = 0; j < k; ++j)
            onEvent(ev[j].data.u32, ev[j].events);
    }

    // Connections open now, by kind, and those with an audio stream.
    void counts(int* open, int* streaming) const {
        for (int k = 0; k < 5; ++k)
            open[k] = streaming[k] = 0;
        for (const Slot& s : m_slots) {
            if (s.fd < 0) continue;
            ++open[int(s.kind)];
            if (s.checker && s.checker->headerComplete()) ++streaming[int(s.kind)];
        }
    }

    // Steady and slow listeners check the titles they saw; then all leave.
    void finish() {
        for (size_t i = 0; i < m_slots.size(); ++i) {
            Slot& s = m_slots[i];
            if (s.fd >= 0 && (s.kind == Kind::Steady || s.kind == Kind::Slow)) checkTitles(i);
            closeSlot(i, false);
            s.reconnectAt = -1;
        }
    }

private:
    qint64 rand(qint64 lo, qint64 hi) {
        return std::uniform_int_distribution<qint64>(lo, hi)(m_rng);
    }

    void open(size_t i, qint64 t) {
        Slot& s = m_slots[i];
        s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (s.kind == Kind::Stalled) {
            // A small window, so that the server's own queue fills and it drops them.
            const int size = 4096;
            setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        s.connectAt = s.lastData = s.lastSent = t;
        s.sent = false;
        s.budget = 0;
        s.titlesAtConnect = m_titles;
        s.checker = std::make_unique<IcyStreamChecker>();
        s.leaveAt = s.kind == Kind::Churn     ? t + rand(5000, 90000)
                    : s.kind == Kind::Stalled ? t + rand(20000, 120000)
                                              : -1;
        if (s.kind == Kind::Hostile) {
            s.hostility = int(rand(0, HostilityCount - 1));
            s.trickleLeft = 40;
        }
        ++m_tally.connects;
        epoll_event ev{};
        ev.events = EPOLLOUT;
        ev.data.u32 = quint32(i);
        epoll_ctl(m_ep, EPOLL_CTL_ADD, s.fd, &ev);
    }

    void closeSlot(size_t i, bool reset) {
        Slot& s = m_slots[i];
        if (s.fd < 0) return;
        if (reset) {
            linger l{1, 0};
            setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(s.fd); // also leaves the epoll set
        s.fd = -1;
        s.reconnectAt = now() + rand(0, 2000);
    }

    void listen(size_t i, quint32 events) {
        epoll_event ev{};
        ev.events = events;
        ev.data.u32 = quint32(i);
        epoll_ctl(m_ep, EPOLL_CTL_MOD, m_slots[i].fd, &ev);
    }

    bool sendAll(int fd, const QByteArray& b) {
        return ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL) == b.size();
    }

    QByteArray request() const {
        return "GET / HTTP/1.0\r\nHost: localhost\r\nUser-Agent: soak\r\nIcy-MetaData: 1\r\n\r\n";
    }

    // What a hostile connection sends first.
    QByteArray hostileBytes(int h) {
        switch (h) {
        case Junk: {
            QByteArray b(int(rand(1, 600)), '\0');
            for (char& c : b)
                c = char(rand(0, 255));
            return b;
        }
        case Oversized:
            return "GET / HTTP/1.0\r\nX-Pad: " +
                   QByteArray(WStreamingServer::MaxRequestBytes + 1000, 'a');
        case Unfinished:
            return "GET / HTTP/1.0\r\nHost: localhost\r\nIcy-MetaData: 1\r\n";
        case ControlBytes:
            return QByteArray("GET /\x01\x7f\x1b[2J HTTP/1.0\r\nUser-Agent: \x1b]0;x\x07\xc2\x85"
                              "evil\r\nIcy-MetaData: \xff\xfe\r\n\r\n");
        case Reset:
            return "GET / HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n";
        default:
            return QByteArray();
        }
    }

    // A listener's connection ended from the server's side (or broke).
    void lostBy(size_t i, qint64 t) {
        Slot& s = m_slots[i];
        switch (s.kind) {
        case Kind::Steady:
        case Kind::Slow:
        case Kind::Churn:
            ++m_tally.lost;
            m_tally.fault(QStringLiteral("%1 listener %2 closed by the server after %3 s")
                              .arg(kindName(s.kind))
                              .arg(i)
                              .arg((t - s.connectAt) / 1000));
            break;
        case Kind::Stalled:
            ++m_tally.droppedStalled;
            break;
        case Kind::Hostile:
            ++m_tally.hostileClosed;
            break;
        }
        closeSlot(i, false);
    }

    void checkTitles(size_t i) {
        Slot& s = m_slots[i];
        // Every change since it came in, but the last two (the count is up to 5 s old, and
        // the last change may not have reached it yet).
        const qint64 expected = m_titles - s.titlesAtConnect - 2;
        const qint64 seen = s.checker->metadataTexts().size() - 1; // the first: at connect
        if (expected > 0 && seen < expected) {
            ++m_tally.missedTitles;
            m_tally.fault(QStringLiteral("%1 listener %2 saw %3 of %4 title changes")
                              .arg(kindName(s.kind))
                              .arg(i)
                              .arg(seen)
                              .arg(expected));
        }
    }

    // Reads what is there; false when the connection ended.
    bool drain(size_t i, qint64 t, qint64 limit) {
        Slot& s = m_slots[i];
        qint64 left = limit;
        while (left > 0) {
            const ssize_t got = ::recv(s.fd, m_buf, size_t(qMin<qint64>(left, sizeof m_buf)), 0);
            if (got > 0) {
                left -= got;
                if (s.kind == Kind::Slow) s.budget -= got;
                const bool before = s.checker->headerComplete();
                s.checker->feed(m_buf, got);
                if (!before && s.checker->headerComplete() && s.kind == Kind::Hostile)
                    ++m_tally.hostileStreamed;
                if (s.checker->corrupt() && s.kind != Kind::Hostile) {
                    ++m_tally.corrupt;
                    m_tally.fault(QStringLiteral("%1 listener %2: %3")
                                      .arg(kindName(s.kind))
                                      .arg(i)
                                      .arg(s.checker->error()));
                    closeSlot(i, false);
                    return false;
                }
                s.lastData = t;
                s.starving = false;
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                lostBy(i, t);
                return false;
            }
            break;
        }
        return true;
    }

    void onEvent(quint32 i, quint32 events) {
        Slot& s = m_slots[i];
        if (s.fd < 0) return;
        const qint64 t = now();
        if (!s.sent && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            if (events & (EPOLLERR | EPOLLHUP)) {
                closeSlot(i, false); // refused: try again
                return;
            }
            s.sent = true;
            s.lastSent = t;
            if (s.kind == Kind::Hostile) {
                const QByteArray b = hostileBytes(s.hostility);
                if (!b.isEmpty()) ::send(s.fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL);
                if (s.hostility == Reset) {
                    closeSlot(i, true);
                    ++m_tally.hostileClosed;
                    return;
                }
                listen(i, EPOLLIN);
            } else {
                sendAll(s.fd, request());
                // Slow and stalled listeners are read on the clock, not on readiness.
                listen(i, s.kind == Kind::Steady || s.kind == Kind::Churn ? quint32(EPOLLIN) : 0u);
            }
            return;
        }
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) drain(i, t, 1 << 30);
    }

    void tick(size_t i, qint64 t, qint64 dt) {
        Slot& s = m_slots[i];
        if (s.fd < 0) {
            if (s.reconnectAt >= 0 && t >= s.reconnectAt) open(i, t);
            return;
        }
        if (!s.sent) {
            if (t - s.connectAt > 10000) closeSlot(i, false); // the handshake hangs: again
            return;
        }
        if (s.leaveAt >= 0 && t >= s.leaveAt) {
            ++m_tally.leftByThemselves;
            closeSlot(i, s.kind == Kind::Stalled && rand(0, 1));
            return;
        }
        switch (s.kind) {
        case Kind::Slow:
            // 1.25 times the bit rate, at most 4 s of it saved up.
            s.budget = qMin(s.budget + m_bytesPerSecond * 5 * dt / 4000, m_bytesPerSecond * 4);
            if (s.budget > 0 && !drain(i, t, s.budget)) return;
            [[fallthrough]];
        case Kind::Steady:
        case Kind::Churn:
            // A wait for data this long is counted once per stretch; it says how busy the
            // machine was (the server runs at a low priority), not that a listener was lost.
            if (s.checker->headerComplete() && t - s.lastData > kMaxGapMs && !s.starving) {
                ++m_tally.starved;
                s.starving = true;
            }
            if (s.checker->headerComplete())
                m_tally.longestGapMs = qMax(m_tally.longestGapMs, t - s.lastData);
            break;
        case Kind::Stalled: {
            // Never reads, so the server's close waits behind the unread audio: only a reset
            // shows here. The server's own listener count shows its drops.
            char probe;
            const ssize_t r = ::recv(s.fd, &probe, 1, MSG_PEEK);
            if (r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) lostBy(i, t);
            break;
        }
        case Kind::Hostile:
            if (s.checker->headerComplete()) {
                if (t - s.connectAt > 5000) closeSlot(i, false); // streamed to: enough
                break;
            }
            if (s.hostility == Trickle && s.trickleLeft > 0 && t - s.lastSent >= 1000) {
                // One byte a second, never a blank line.
                const char c = s.trickleLeft-- == 40 ? 'G' : 'a';
                if (::send(s.fd, &c, 1, MSG_NOSIGNAL) == 1) s.lastSent = t;
            }
            if (t - (s.hostility == Trickle ? s.connectAt : s.lastSent) > kHostileLimitMs) {
                ++m_tally.hostileLingering;
                m_tally.fault(
                    QStringLiteral("hostile connection %1 (kind %2) still open after %3 s")
                        .arg(i)
                        .arg(s.hostility)
                        .arg((t - s.connectAt) / 1000));
                closeSlot(i, false);
            }
            break;
        }
    }

    quint16 m_port;
    std::mt19937 m_rng;
    int m_ep = -1;
    QElapsedTimer m_clock;
    std::vector<Slot> m_slots;
    qint64 m_bytesPerSecond = 16000;
    qint64 m_titles = 0;
    qint64 m_lastTick = 0;
    Tally m_tally;
    char m_buf[65536];
};

struct Sample {
    int minute = 0;
    qint64 rssKB = 0;
    int fds = 0;
    int serverListeners = 0;
    int open[5] = {};
    int streaming[5] = {};
};

bool waitLine(QProcess& p, const QByteArray& what, QByteArray* line, Soak* soak, int ms) {
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && p.state() == QProcess::Running) {
        if (soak) soak->step(20);
        p.waitForReadyRead(soak ? 0 : 200);
        out += p.readAllStandardOutput();
        const qsizetype at = out.indexOf(what);
        if (at >= 0 && out.indexOf('\n', at) > at) {
            *line = out.mid(at, out.indexOf('\n', at) - at);
            return true;
        }
    }
    return false;
}

// Max of the later half against max of the earlier half (warm-up left out).
bool flat(const std::vector<double>& v, double slack, double* early, double* late) {
    const size_t skip = v.size() > 4 ? 2 : 0;
    const size_t mid = skip + (v.size() - skip) / 2;
    *early = *late = 0;
    for (size_t i = skip; i < v.size(); ++i)
        (i < mid ? *early : *late) = qMax(i < mid ? *early : *late, v[i]);
    return v.size() - skip < 2 || *late <= *early + slack;
}

} // namespace

int main(int argc, char** argv) {
    raiseFileLimit();
    if (argc >= 5 && strcmp(argv[1], "--serve") == 0) return serve(argc, argv);
    QCoreApplication app(argc, argv);
    qint64 seconds = 3600;
    int kbps = 128;
    quint32 seed = quint32(QDateTime::currentMSecsSinceEpoch());
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--minutes")
            seconds = args[++i].toLongLong() * 60;
        else if (args[i] == "--seconds")
            seconds = args[++i].toLongLong();
        else if (args[i] == "--kbps")
            kbps = args[++i].toInt();
        else if (args[i] == "--seed")
            seed = args[++i].toUInt();
    }
    printf("%s\n", qPrintable(args.join(' ')));
    printf("seed %u, %lld s, %d kbps CBR tone, %d slots: %d steady, %d slow, %d churn, %d stalled, "
           "%d hostile; title every %d s\n",
           seed, seconds, kbps, kSlots, kSteady, kSlow, kChurn, kStalled,
           kSlots - kSteady - kSlow - kChurn - kStalled, kTitleMs / 1000);
    fflush(stdout);

    const quint16 port = 18600;
    QProcess server;
    server.start(
        QCoreApplication::applicationFilePath(),
        {"--serve", QString::number(port), QString::number(kbps), QString::number(kTitleMs)});
    QByteArray line;
    if (!server.waitForStarted(5000) || !waitLine(server, "READY", &line, nullptr, 15000)) {
        fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const qint64 pid = server.processId();
    const int fds0 = openFds(pid);
    const qint64 rss0 = rssAnonKB(pid);

    Soak soak(port, seed);
    soak.setRate(kbps);
    auto ask = [&](int* listeners) {
        server.write("COUNT\n");
        if (!waitLine(server, "COUNT", &line, &soak, 5000)) return false;
        const QList<QByteArray> f = line.split(' ');
        *listeners = f.value(1).toInt();
        soak.setTitles(f.value(2).toLongLong());
        return true;
    };
    printf("before the crowd: RssAnon %lld KB, %d fds\n", rss0, fds0);
    printf("%4s %9s %5s %6s  %-30s %-30s\n", "min", "anon KB", "fds", "server",
           "open st/sl/ch/sta/ho", "streaming st/sl/ch/sta/ho");
    fflush(stdout);
    std::vector<Sample> samples;
    qint64 nextSample = 60000;
    qint64 nextAsk = 5000;
    while (soak.now() < seconds * 1000) {
        soak.step(20);
        if (soak.now() >= nextAsk) { // keeps the count of title changes fresh
            nextAsk += 5000;
            int l;
            ask(&l);
        }
        if (soak.now() >= nextSample) {
            nextSample += 60000;
            Sample s;
            s.minute = int(samples.size()) + 1;
            if (!ask(&s.serverListeners)) {
                printf("the server does not answer\n");
                break;
            }
            s.rssKB = rssAnonKB(pid);
            s.fds = openFds(pid);
            soak.counts(s.open, s.streaming);
            samples.push_back(s);
            printf("%4d %9lld %5d %6d  %3d/%3d/%3d/%3d/%3d            %3d/%3d/%3d/%3d/%3d\n",
                   s.minute, s.rssKB, s.fds, s.serverListeners, s.open[0], s.open[1], s.open[2],
                   s.open[3], s.open[4], s.streaming[0], s.streaming[1], s.streaming[2],
                   s.streaming[3], s.streaming[4]);
            fflush(stdout);
        }
    }
    int titlesListeners = 0;
    ask(&titlesListeners);
    soak.finish();
    // The server notices the closes within a moment; give it time and look again.
    QElapsedTimer settle;
    settle.start();
    int after = -1;
    while (settle.elapsed() < 15000) {
        soak.step(100);
        if (ask(&after) && after == 0 && settle.elapsed() > 3000) break;
    }
    const int fdsAfter = openFds(pid);
    const qint64 rssAfter = rssAnonKB(pid);
    server.closeWriteChannel();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(2000);
    }

    Tally& t = soak.tally();
    std::vector<double> rss, fds, listeners;
    qint64 rssMin = LLONG_MAX, rssMax = 0;
    int fdsMin = INT_MAX, fdsMax = 0, lMin = INT_MAX, lMax = 0;
    for (const Sample& s : samples) {
        rss.push_back(double(s.rssKB));
        fds.push_back(s.fds);
        listeners.push_back(s.serverListeners);
        rssMin = qMin(rssMin, s.rssKB);
        rssMax = qMax(rssMax, s.rssKB);
        fdsMin = qMin(fdsMin, s.fds);
        fdsMax = qMax(fdsMax, s.fds);
        lMin = qMin(lMin, s.serverListeners);
        lMax = qMax(lMax, s.serverListeners);
    }
    double e1, l1, e2, l2;
    // Memory: 2 MB or 5 % above the earlier half's peak; descriptors: the spread of the crowd.
    const bool rssFlat = flat(rss, qMax(2048.0, 0.05 * rssMax), &e1, &l1);
    const bool fdsFlat = flat(fds, 60, &e2, &l2);
    // Steady and slow listeners (300) are always there.
    const bool countsOk = samples.empty() || lMin >= kSteady + kSlow;
    const bool cleanAfter = after == 0 && fdsAfter <= fds0 + 2;
    printf("figures: RssAnon %lld..%lld KB (before %lld, after %lld), fds %d..%d (before %d, after "
           "%d), server listeners %d..%d (after %d)\n",
           samples.empty() ? 0 : rssMin, rssMax, rss0, rssAfter, samples.empty() ? 0 : fdsMin,
           fdsMax, fds0, fdsAfter, samples.empty() ? 0 : lMin, lMax, after);
    printf(
        "flat: memory %s (peak %.0f KB early, %.0f KB late), fds %s (peak %.0f early, %.0f late)\n",
        rssFlat ? "yes" : "NO", e1, l1, fdsFlat ? "yes" : "NO", e2, l2);
    printf("connections %d, left by themselves %d, stalled reset by the server %d, hostile closed "
           "%d (streamed to %d)\n",
           t.connects, t.leftByThemselves, t.droppedStalled, t.hostileClosed, t.hostileStreamed);
    printf("waits for data over %lld s: %d, longest %.1f s (machine load; no fault)\n",
           kMaxGapMs / 1000, t.starved, double(t.longestGapMs) / 1000);
    printf("faults: lost %d, corrupt %d, missed titles %d, hostile lingering %d\n", t.lost,
           t.corrupt, t.missedTitles, t.hostileLingering);
    for (const QString& f : t.firstFaults)
        printf("  %s\n", qPrintable(f));
    const bool ok = rssFlat && fdsFlat && countsOk && cleanAfter && t.lost == 0 && t.corrupt == 0 &&
                    t.missedTitles == 0 && t.hostileLingering == 0;
    printf("VERDICT: %s\n",
           ok ? "PASS (memory and descriptors flat, no listener lost, nothing left "
                "behind)"
              : "FAIL");
    fflush(stdout);
    return ok ? 0 : 1;
}
