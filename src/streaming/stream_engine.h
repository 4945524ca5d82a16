#pragma once

#include "stream_ring.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

// Figures of one listener that the network thread keeps and the GUI thread reads.
struct ListenerStats {
    std::atomic<quint64> start{0};     // stream offset of the first audio byte it gets
    std::atomic<quint64> metaBytes{0}; // metadata bytes handed to it so far
};

// What the network thread reports, in the order it happened.
struct EngineEvent {
    enum Kind { Accepted, Refused, Request, TitleSent, Gone };
    enum Reason { PeerGone, Closed, TooLong, Timeout, OverLimit, TooManyPending };
    Kind kind = Accepted;
    quint64 id = 0;
    QHostAddress address;                 // Accepted, Refused
    quint16 localPort = 0;                // Accepted
    std::shared_ptr<ListenerStats> stats; // Accepted
    QByteArray userAgent, icyMetadata;    // Request; null when the header was absent
    QString title;                        // TitleSent
    Reason reason = PeerGone;             // Gone
};

struct EngineConfig {
    QByteArray headerPlain, headerMeta; // response headers without and with metadata
    QByteArray refusalPage;
    QByteArray hostName; // for the StreamUrl of metadata texts
    bool limitListeners = false;
    int maxListeners = 16;
    qint64 lagLimit = 160000;  // a listener further behind live is dropped
    qint64 ringBytes = 480000; // the shared ring
    qint64 burstBytes = 48000; // what a new listener gets at once
    qint64 batchBytes = 16000; // about one second of audio
    int batchMs = 1000;
    int requestTimeoutMs = 10000;
    int maxPending = 2048; // connections without a complete request (or being refused)
    int sendBuffer = 64 * 1024;
};

// The network side of the stream: one thread with an edge-triggered epoll set serves every
// connection from one shared ring of encoded audio. Listeners that keep up get about a
// second of audio per send (a tenth of them every tenth of a second); one that falls behind gets
// write interest until it caught up, and is dropped once it is more than lagLimit behind.
// Thread-safe entry points: push, setTitle, close, takeEvents. Events are collected in order and
// announced through the notify callback whenever the queue turns non-empty.
class StreamEngine {
public:
    explicit StreamEngine(EngineConfig config, std::function<void()> notify);
    ~StreamEngine(); // stops the thread and closes every connection silently

    // Binds the dual-stack listening socket (IPv4 when IPv6 is missing); false when the
    // port cannot be had (listenError() then holds the errno).
    bool listen(quint16 port);
    int listenError() const { return m_listenError; }
    quint16 port() const { return m_port; }
    // Before begin(): the page for refused connections (it names the bound port).
    void setRefusalPage(const QByteArray& page) { m_cfg.refusalPage = page; }
    // Starts the network thread.
    void begin();

    // Encoded audio; startAt is where in it a listener may start (a frame header; negative:
    // nowhere). False when the chunk was dropped because the network thread does not keep up.
    bool push(const char* data, qint64 n, qint64 startAt = 0);
    void setTitle(const QString& title);
    void close(quint64 id);
    std::vector<EngineEvent> takeEvents();

    // Raises the soft limit of open files to the hard limit; returns the new soft limit.
    static qint64 raiseFileLimit();

private:
    struct Conn;
    void run();
    void wake();
    void post(EngineEvent e);
    void drainInbox();
    void acceptAll();
    void onReadable(Conn& c);
    void requestDone(Conn& c, const QByteArray& agent, const QByteArray& meta);
    bool sendFrom(Conn& c); // false when the connection was closed
    void setBehind(Conn& c, bool behind);
    void flush();
    void sweep(qint64 now);
    void drop(Conn& c, EngineEvent::Reason reason);
    Conn* find(quint64 id);
    qint64 now() const;

    EngineConfig m_cfg;
    std::function<void()> m_notify;
    int m_listen = -1, m_epoll = -1, m_wake = -1;
    quint16 m_port = 0;
    int m_listenError = 0;
    std::thread m_thread;
    std::atomic<bool> m_quit{false};

    std::mutex m_inLock; // guards the following three
    QByteArray m_inbox;
    std::vector<std::pair<qint64, qint64>> m_inboxChunks; // length, start
    std::vector<quint64> m_closeIds;
    QString m_inTitle;
    bool m_titleChanged = false;

    std::mutex m_outLock;
    std::vector<EngineEvent> m_events;

    // Network thread only.
    StreamRing m_ring;
    std::unordered_map<quint64, std::unique_ptr<Conn>> m_conns;
    std::vector<quint64> m_pendingOrder; // accept order of pending connections (lazy)
    size_t m_pendingFront = 0;
    int m_pendingCount = 0;
    int m_live = 0; // accepted and not refused
    quint64 m_nextId = 1;
    QString m_title;
    QByteArray m_titleUtf8;
    quint64 m_lastFlushHead = 0;
    qint64 m_lastFlushAt = 0;
    quint64 m_flushSlot = 0;
    qint64 m_acceptResumeAt = -1; // while accepting is paused after running out of files
    int m_acceptBackoffMs = 0;
};

// The metadata text for a title (the title cut so that the text fits one block), and the
// block itself (one zero byte when text is empty).
QByteArray icyMetadataText(const QString& title, const QString& host, quint16 port);
QByteArray icyMetadataBlock(const QByteArray& text);
