#include "stream_engine.h"

#include "listener_request.h"

#include <cerrno>
#include <chrono>
#include <limits>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kMetaInterval = 16000;
constexpr int kMaxMetaText = 255 * 16;
constexpr qsizetype kMaxRequest = 8192;
constexpr quint64 kWakeTag = 0;
constexpr quint64 kListenTag = 1;
constexpr qint64 OverGraceMs = 400;
constexpr int NetworkNice = 5;
constexpr quint64 FlushSlots = 10;

} // namespace

struct StreamEngine::Conn {
    enum State { Pending, Streaming, Refused };
    quint64 id = 0;
    int fd = -1;
    State state = Pending;
    qint64 since = 0;
    QByteArray request;
    QByteArray prefix; // response header or refusal page, sent before anything else
    qsizetype prefixDone = 0;
    bool metadata = false;
    bool behind = false;
    bool halfClosed = false;
    quint64 cursor = 0;   // next audio byte to send
    qint32 sinceMeta = 0; // audio bytes since the last metadata block
    QByteArray block;     // metadata block due at the next interval boundary
    qsizetype blockDone = 0;
    bool blockReady = false;
    QString lastTitle;
    qint64 overSince = -1; // when it was first seen further behind than the bound
    std::shared_ptr<ListenerStats> stats;
};

QByteArray icyMetadataText(const QString& title, const QString& host, quint16 port) {
    const QByteArray head = "StreamTitle='";
    const QByteArray tail =
        "';StreamUrl='http://" + host.toUtf8() + ":" + QByteArray::number(port) + "';";
    QByteArray t = title.toUtf8();
    const qsizetype room = kMaxMetaText - head.size() - tail.size();
    if (t.size() > room) {
        qsizetype cut = qMax<qsizetype>(room, 0);
        while (cut > 0 && (uchar(t[cut]) & 0xC0) == 0x80)
            --cut; // never split a character
        t.truncate(cut);
    }
    QByteArray text = head + t + tail;
    if (text.size() > kMaxMetaText) // a host name too long to fit at all
        text.truncate(kMaxMetaText);
    return text;
}

QByteArray icyMetadataBlock(const QByteArray& text) {
    const qsizetype padded = (text.size() + 15) / 16 * 16;
    QByteArray block(1 + padded, '\0');
    block[0] = char(padded / 16);
    memcpy(block.data() + 1, text.constData(), size_t(text.size()));
    return block;
}

StreamEngine::StreamEngine(EngineConfig config, std::function<void()> notify)
    : m_cfg(std::move(config)), m_notify(std::move(notify)) {}

StreamEngine::~StreamEngine() {
    if (m_thread.joinable()) {
        m_quit = true;
        wake();
        m_thread.join();
    }
    for (auto& [id, c] : m_conns)
        ::close(c->fd);
    m_conns.clear();
    for (int fd : {m_listen, m_epoll, m_wake})
        if (fd >= 0) ::close(fd);
}

qint64 StreamEngine::raiseFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0) return -1;
    if (r.rlim_cur < r.rlim_max) {
        rlimit want = r;
        want.rlim_cur = r.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &want) == 0) r = want;
    }
    return r.rlim_cur == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : qint64(r.rlim_cur);
}

qint64 StreamEngine::now() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool StreamEngine::listen(quint16 port) {
    if (m_listen >= 0) return false;
    m_listenError = 0;
    m_ring.reset(m_cfg.ringBytes);
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1, zero = 0;
    bool bound = false;
    if (fd >= 0) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        a.sin6_addr = in6addr_any;
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (!bound && (errno == EADDRINUSE || errno == EACCES)) {
            m_listenError = errno;
            ::close(fd);
            return false;
        }
        if (!bound) ::close(fd);
    }
    if (!bound) { // no IPv6 here
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            m_listenError = errno;
            return false;
        }
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            m_listenError = errno;
            ::close(fd);
            return false;
        }
    }
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::listen(fd, 4096) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        m_listenError = errno;
        ::close(fd);
        return false;
    }
    m_port = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    m_listen = fd;
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wake < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev);
    ev.data.u64 = kListenTag;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &ev);
    m_nextId = 2; // 0 and 1 tag the wake-up and listening sockets
    return true;
}

void StreamEngine::begin() {
    if (!m_thread.joinable() && m_epoll >= 0) m_thread = std::thread([this] { run(); });
}

void StreamEngine::wake() {
    const quint64 one = 1;
    if (m_wake >= 0) [[maybe_unused]]
        auto r = ::write(m_wake, &one, sizeof one);
}

bool StreamEngine::push(const char* data, qint64 n, qint64 startAt) {
    if (n <= 0) return false;
    bool first;
    {
        std::lock_guard lock(m_inLock);
        if (m_inbox.size() + n > m_cfg.ringBytes) return false; // the network thread is stuck
        first = m_inbox.isEmpty();
        m_inbox.append(data, n);
        m_inboxChunks.emplace_back(n, startAt);
    }
    if (first) wake();
    return true;
}

void StreamEngine::setTitle(const QString& title) {
    {
        std::lock_guard lock(m_inLock);
        m_inTitle = title;
        m_titleChanged = true;
    }
    wake();
}

void StreamEngine::close(quint64 id) {
    {
        std::lock_guard lock(m_inLock);
        m_closeIds.push_back(id);
    }
    wake();
}

std::vector<EngineEvent> StreamEngine::takeEvents() {
    std::lock_guard lock(m_outLock);
    std::vector<EngineEvent> out;
    out.swap(m_events);
    return out;
}

void StreamEngine::post(EngineEvent e) {
    bool first;
    {
        std::lock_guard lock(m_outLock);
        first = m_events.empty();
        m_events.push_back(std::move(e));
    }
    if (first && m_notify) m_notify();
}

StreamEngine::Conn* StreamEngine::find(quint64 id) {
    const auto it = m_conns.find(id);
    return it == m_conns.end() ? nullptr : it->second.get();
}

void StreamEngine::run() {
    // Listeners have seconds of slack, the GUI thread (capture, encoding, windows) has
    // milliseconds: under a full machine the scheduler should prefer the GUI thread.
    const pid_t tid = pid_t(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(tid));
    if (errno == 0) ::setpriority(PRIO_PROCESS, id_t(tid), qMin(nice + NetworkNice, 19));
    epoll_event evs[512];
    m_lastFlushAt = now();
    qint64 lastSweep = m_lastFlushAt;
    while (!m_quit.load()) {
        qint64 t = now();
        const qint64 tick = qMax<qint64>(1, m_cfg.batchMs / qint64(FlushSlots));
        qint64 timeout = qMax<qint64>(0, m_lastFlushAt + tick - t);
        timeout = qMin<qint64>(timeout, qMax<qint64>(0, lastSweep + 250 - t));
        if (m_acceptResumeAt >= 0)
            timeout = qMin<qint64>(timeout, qMax<qint64>(0, m_acceptResumeAt - t));
        const int n = ::epoll_wait(m_epoll, evs, 512, int(timeout));
        for (int i = 0; i < n; ++i) {
            const quint64 tag = evs[i].data.u64;
            const quint32 what = evs[i].events;
            if (tag == kWakeTag) {
                quint64 count;
                [[maybe_unused]] auto r = ::read(m_wake, &count, sizeof count);
                drainInbox();
                continue;
            }
            if (tag == kListenTag) {
                acceptAll();
                continue;
            }
            Conn* c = find(tag);
            if (!c) continue;
            if (what & EPOLLERR) {
                drop(*c, EngineEvent::PeerGone);
                continue;
            }
            if (what & (EPOLLIN | EPOLLRDHUP | EPOLLHUP)) {
                onReadable(*c);
                c = find(tag);
                if (!c) continue;
            }
            if ((what & EPOLLOUT) && c->behind) sendFrom(*c);
        }
        t = now();
        if (m_acceptResumeAt >= 0 && t >= m_acceptResumeAt) {
            m_acceptResumeAt = -1;
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = kListenTag;
            ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &ev);
        }
        if (m_ring.head() - m_lastFlushHead >= quint64(m_cfg.batchBytes) / FlushSlots ||
            t - m_lastFlushAt >= tick)
            flush();
        if (t - lastSweep >= 250) {
            sweep(t);
            lastSweep = t;
        }
    }
}

void StreamEngine::drainInbox() {
    QByteArray data;
    std::vector<std::pair<qint64, qint64>> chunks;
    std::vector<quint64> closeIds;
    bool titleChanged;
    QString title;
    {
        std::lock_guard lock(m_inLock);
        data.swap(m_inbox);
        chunks.swap(m_inboxChunks);
        closeIds.swap(m_closeIds);
        titleChanged = m_titleChanged;
        m_titleChanged = false;
        title = m_inTitle;
    }
    if (titleChanged) {
        m_title = title;
        m_titleUtf8 = title.toUtf8();
    }
    qint64 at = 0;
    for (const auto& [n, start] : chunks) {
        m_ring.append(data.constData() + at, n, start);
        at += n;
    }
    for (quint64 id : closeIds)
        if (Conn* c = find(id)) drop(*c, EngineEvent::Closed);
}

void StreamEngine::acceptAll() {
    for (int i = 0; i < 512; ++i) {
        sockaddr_storage sa{};
        socklen_t len = sizeof sa;
        const int fd = ::accept4(m_listen, reinterpret_cast<sockaddr*>(&sa), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop listening for a while instead of spinning; the
                // connections wait in the backlog and are taken once some are free again.
                m_acceptBackoffMs = m_acceptBackoffMs ? qMin(m_acceptBackoffMs * 2, 1000) : 25;
                ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_listen, nullptr);
                m_acceptResumeAt = now() + m_acceptBackoffMs;
                return;
            }
            return; // EAGAIN: all taken
        }
        m_acceptBackoffMs = 0;
        // Cap what unfinished requests can hold: the oldest one makes room.
        while (m_pendingCount >= m_cfg.maxPending && m_pendingFront < m_pendingOrder.size()) {
            Conn* old = find(m_pendingOrder[m_pendingFront++]);
            if (old && old->state != Conn::Streaming) drop(*old, EngineEvent::TooManyPending);
        }
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_cfg.sendBuffer, sizeof m_cfg.sendBuffer);
        auto owned = std::make_unique<Conn>();
        Conn& c = *owned;
        c.id = m_nextId++;
        c.fd = fd;
        c.since = now();
        m_conns.emplace(c.id, std::move(owned));
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        ev.data.u64 = c.id;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev);
        ++m_pendingCount;
        m_pendingOrder.push_back(c.id);

        EngineEvent e;
        e.id = c.id;
        e.address = QHostAddress(reinterpret_cast<const sockaddr*>(&sa));
        if (m_cfg.limitListeners && m_cfg.maxListeners < m_live + 1) {
            c.state = Conn::Refused;
            e.kind = EngineEvent::Refused;
            post(std::move(e));
            char scratch[4096];
            while (::recv(fd, scratch, sizeof scratch, 0) > 0) {
            }
            c.prefix = m_cfg.refusalPage;
            sendFrom(c);
            continue;
        }
        ++m_live;
        c.stats = std::make_shared<ListenerStats>();
        e.kind = EngineEvent::Accepted;
        e.localPort = m_port;
        e.stats = c.stats;
        post(std::move(e));
        onReadable(c); // the request may be there already
    }
}

void StreamEngine::onReadable(Conn& c) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (c.state == Conn::Pending) {
                c.request.append(buf, n);
                if (c.request.size() > kMaxRequest) break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        drop(c, EngineEvent::PeerGone); // end of stream or error
        return;
    }
    if (c.state != Conn::Pending) return;
    const ListenerRequest r = parseListenerRequest(c.request);
    if (r.complete) {
        c.request = QByteArray();
        requestDone(c, r.userAgent, r.icyMetadata);
    } else if (c.request.size() > kMaxRequest) {
        drop(c, EngineEvent::TooLong);
    }
}

void StreamEngine::requestDone(Conn& c, const QByteArray& agent, const QByteArray& meta) {
    c.state = Conn::Streaming;
    --m_pendingCount;
    c.metadata = meta == "1";
    // A burst from the ring, starting on a frame, lets playback begin at once.
    c.cursor = m_ring.startPoint(m_cfg.burstBytes);
    c.stats->start = c.cursor;
    EngineEvent e;
    e.kind = EngineEvent::Request;
    e.id = c.id;
    e.userAgent = agent;
    e.icyMetadata = meta;
    post(std::move(e));
    c.prefix = c.metadata ? m_cfg.headerMeta : m_cfg.headerPlain;
    c.prefixDone = 0;
    sendFrom(c);
}

void StreamEngine::setBehind(Conn& c, bool behind) {
    if (c.behind == behind) return;
    c.behind = behind;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (behind ? quint32(EPOLLOUT) : 0u);
    ev.data.u64 = c.id;
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, c.fd, &ev);
}

bool StreamEngine::sendFrom(Conn& c) {
    static const QByteArray zeroBlock(1, '\0');
    for (int round = 0; round < 64; ++round) {
        iovec iov[5];
        int k = 0;
        qint64 prefixLen = 0, audioLen = 0, blockLen = 0;
        bool blockFirst = false;
        if (c.prefixDone < c.prefix.size()) {
            prefixLen = c.prefix.size() - c.prefixDone;
            iov[k].iov_base = const_cast<char*>(c.prefix.constData() + c.prefixDone);
            iov[k++].iov_len = size_t(prefixLen);
        }
        if (c.state == Conn::Streaming) {
            if (c.blockReady && c.sinceMeta == kMetaInterval) {
                blockFirst = true;
            } else {
                if (!m_ring.holds(c.cursor)) {
                    drop(c, EngineEvent::OverLimit);
                    return false;
                }
                qint64 n = qint64(m_ring.head() - c.cursor);
                if (c.metadata) n = qMin<qint64>(n, kMetaInterval - c.sinceMeta);
                if (n > 0) {
                    k += m_ring.slices(c.cursor, n, iov + k);
                    audioLen = n;
                }
                if (c.metadata && c.sinceMeta + n == kMetaInterval && !c.blockReady) {
                    // Built once, when its place is reached; the title goes once per change.
                    QByteArray text;
                    if (m_title != c.lastTitle) {
                        text = icyMetadataText(m_title, QString::fromUtf8(m_cfg.hostName), m_port);
                        c.lastTitle = m_title;
                        EngineEvent e;
                        e.kind = EngineEvent::TitleSent;
                        e.id = c.id;
                        e.title = m_title;
                        post(std::move(e));
                    }
                    c.block = text.isEmpty() ? zeroBlock : icyMetadataBlock(text);
                    c.blockDone = 0;
                    c.blockReady = true;
                    c.stats->metaBytes += quint64(c.block.size());
                }
                blockFirst = false;
            }
            if (c.blockReady && c.sinceMeta + audioLen == kMetaInterval) {
                blockLen = c.block.size() - c.blockDone;
                iov[k].iov_base = const_cast<char*>(c.block.constData() + c.blockDone);
                iov[k++].iov_len = size_t(blockLen);
            }
        }
        if (k == 0) {
            setBehind(c, false);
            if (c.state == Conn::Refused && !c.halfClosed) {
                // Half-close once the page is out and wait for the peer, so that its
                // unread request cannot turn the close into a reset that eats the page.
                ::shutdown(c.fd, SHUT_WR);
                c.halfClosed = true;
            }
            return true;
        }
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = size_t(k);
        const ssize_t w = ::sendmsg(c.fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                setBehind(c, true);
                return true;
            }
            drop(c, EngineEvent::PeerGone);
            return false;
        }
        qint64 left = w;
        const qint64 p = qMin(left, prefixLen);
        c.prefixDone += p;
        left -= p;
        if (c.prefixDone == c.prefix.size() && c.state == Conn::Streaming) {
            c.prefix = QByteArray();
            c.prefixDone = 0;
        }
        const qint64 a = qMin(left, audioLen);
        c.cursor += quint64(a);
        if (c.metadata) c.sinceMeta += qint32(a);
        left -= a;
        const qint64 b = qMin(left, blockLen);
        c.blockDone += b;
        left -= b;
        if (c.blockReady && c.blockDone == c.block.size() && c.sinceMeta == kMetaInterval) {
            c.blockReady = false;
            c.block = QByteArray();
            c.blockDone = 0;
            c.sinceMeta = 0;
        }
        if (w < prefixLen + audioLen + blockLen) {
            setBehind(c, true);
            return true;
        }
        (void)blockFirst;
    }
    return true;
}

void StreamEngine::flush() {
    m_lastFlushHead = m_ring.head();
    m_lastFlushAt = now();
    const quint64 head = m_ring.head();
    // One slot of the listeners per tick, each once per batch: the sends spread over the
    // batch instead of coming all at once.
    const quint64 slot = m_flushSlot++ % FlushSlots;
    for (auto it = m_conns.begin(); it != m_conns.end();) {
        Conn& c = *it->second;
        ++it; // a drop erases only c's own entry
        if (c.state != Conn::Streaming || c.id % FlushSlots != slot) continue;
        // What the kernel takes is not behind; what it does not take is measured.
        if (!sendFrom(c)) continue;
        // A reader that is only caught by a sudden burst gets a moment to catch up; one
        // that stays behind is dropped (and at the latest when the ring overtakes it).
        if (qint64(head - c.cursor) <= m_cfg.lagLimit) {
            c.overSince = -1;
        } else if (c.overSince < 0) {
            c.overSince = m_lastFlushAt;
        } else if (m_lastFlushAt - c.overSince >= OverGraceMs) {
            drop(c, EngineEvent::OverLimit);
        }
    }
}

void StreamEngine::sweep(qint64 t) {
    while (m_pendingFront < m_pendingOrder.size()) {
        Conn* c = find(m_pendingOrder[m_pendingFront]);
        if (c && c->state != Conn::Streaming) {
            if (t - c->since < m_cfg.requestTimeoutMs) break;
            drop(*c, EngineEvent::Timeout);
        }
        ++m_pendingFront;
    }
    if (m_pendingFront > 4096 && m_pendingFront * 2 > m_pendingOrder.size()) {
        m_pendingOrder.erase(m_pendingOrder.begin(),
                             m_pendingOrder.begin() + qsizetype(m_pendingFront));
        m_pendingFront = 0;
    }
}

void StreamEngine::drop(Conn& c, EngineEvent::Reason reason) {
    ::close(c.fd); // also leaves the epoll set
    const quint64 id = c.id;
    if (c.state == Conn::Refused) {
        --m_pendingCount;
    } else {
        --m_live;
        if (c.state == Conn::Pending) --m_pendingCount;
        EngineEvent e;
        e.kind = EngineEvent::Gone;
        e.id = id;
        e.reason = reason;
        post(std::move(e));
    }
    m_conns.erase(id);
}
