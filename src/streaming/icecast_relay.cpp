#include "icecast_relay.h"

#include "icy_stream_checker.h"
#include "log_categories.h"

#include <QDateTime>
#include <QMetaObject>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <signal.h>
#include <thread>

#include <curl/curl.h>
#include <shout/shout.h>

struct IcecastRelay::Shared {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<QByteArray> queue;
    qint64 queued = 0;
    qint64 maxQueued = 0;
    QString title;
    bool titleChanged = false;
    bool quit = false;
    IcecastRelay* owner = nullptr; // cleared under lock when the relay goes
    RelaySettings settings;
    int connectTimeoutMs = IcecastRelay::ConnectTimeoutMs;

    void report(State state, int retry, const QString& error) {
        std::lock_guard g(lock);
        if (!owner) return;
        IcecastRelay* o = owner;
        QMetaObject::invokeMethod(
            o, [o, state, retry, error] { o->onWorker(state, retry, error); },
            Qt::QueuedConnection);
    }
};

namespace {

// Waits up to ms unless quit is set; true when it is.
bool pause(IcecastRelay::Shared* s, int ms);

// Opens the connection without blocking, so that a server that takes the connection and
// never answers costs at most the time-out. Fills error on failure.
bool openWithin(IcecastRelay::Shared* s, shout_t* sh, int timeoutMs, QString* error) {
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    int rc = shout_open(sh);
    while (rc == SHOUTERR_BUSY || rc == SHOUTERR_RETRY) {
        if (QDateTime::currentMSecsSinceEpoch() >= deadline) {
            *error = QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000.0);
            return false;
        }
        if (pause(s, 20)) {
            *error = QStringLiteral("stopped");
            return false;
        }
        rc = shout_get_connected(sh);
    }
    if (rc == SHOUTERR_SUCCESS || rc == SHOUTERR_CONNECTED) return true;
    *error = QString::fromUtf8(shout_get_error(sh));
    return false;
}

size_t discardAnswer(char*, size_t size, size_t count, void*) {
    return size * count;
}

// Sends the title to the server's admin page on a connection of its own, within the time-out:
// libshout's own update waits for the server's answer without one, and a server that never
// answers would hold the relay's thread and its audio. True when the server took the title.
bool sendTitle(const RelaySettings& cfg, const QString& title, int timeoutMs, QString* error) {
    static std::once_flag initOnce;
    std::call_once(initOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) {
        *error = QStringLiteral("libcurl");
        return false;
    }
    QByteArray host = cfg.Host.toUtf8();
    if (host.contains(':') && !host.startsWith('[')) host = '[' + host + ']'; // IPv6
    QByteArray mount = cfg.Mount.toUtf8();
    if (!mount.startsWith('/')) mount.prepend('/');
    const QByteArray url = (cfg.TLS ? "https://" : "http://") + host + ':' +
                           QByteArray::number(cfg.Port) +
                           "/admin/metadata?mode=updinfo&mount=" + mount.toPercentEncoding() +
                           "&song=" + title.toUtf8().toPercentEncoding() + "&charset=UTF-8";
    const QByteArray user = cfg.User.toUtf8(), password = cfg.Password.toUtf8();
    // The relay's own connection trusts OpenSSL's authorities, which SSL_CERT_FILE and
    // SSL_CERT_DIR may name.
    const QByteArray authorities = qgetenv("SSL_CERT_FILE"), authorityDir = qgetenv("SSL_CERT_DIR");
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Vorlune");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardAnswer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    if (!authorities.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO, authorities.constData());
    if (!authorityDir.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAPATH, authorityDir.constData());
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (rc == CURLE_OK && status == 200) return true;
    *error = rc != CURLE_OK ? QString::fromUtf8(message[0] ? message : curl_easy_strerror(rc))
                            : QStringLiteral("HTTP %1").arg(status);
    return false;
}

// One title update under way on a thread of its own.
struct TitleUpdate {
    std::mutex lock;
    bool done = false;
    bool ok = false;
};

void runRelay(std::shared_ptr<IcecastRelay::Shared> s) {
    // A server that goes away must not end the program: the failed write reports EPIPE.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    static std::once_flag initOnce;
    std::call_once(initOnce, [] { shout_init(); });
    const RelaySettings cfg = s->settings;
    const int connectTimeoutMs = s->connectTimeoutMs;
    int backoff = 1;
    for (;;) {
        {
            std::lock_guard g(s->lock);
            if (s->quit) return;
        }
        s->report(IcecastRelay::State::Connecting, 0, QString());
        shout_t* sh = shout_new();
        const QByteArray host = cfg.Host.toUtf8(), mount = cfg.Mount.toUtf8(),
                         user = cfg.User.toUtf8(), password = cfg.Password.toUtf8(),
                         name = cfg.StationName.toUtf8(), br = QByteArray::number(cfg.BitRate);
        shout_set_host(sh, host.constData());
        shout_set_port(sh, static_cast<unsigned short>(cfg.Port));
        shout_set_mount(sh, mount.constData());
        shout_set_user(sh, user.constData());
        shout_set_password(sh, password.constData());
        shout_set_protocol(sh, SHOUT_PROTOCOL_HTTP);
        shout_set_content_format(sh, SHOUT_FORMAT_MP3, SHOUT_USAGE_AUDIO, nullptr);
        shout_set_tls(sh, cfg.TLS ? SHOUT_TLS_AUTO_NO_PLAIN : SHOUT_TLS_DISABLED);
        shout_set_agent(sh, "Vorlune");
        if (!name.isEmpty()) shout_set_meta(sh, SHOUT_META_NAME, name.constData());
        shout_set_audio_info(sh, SHOUT_AI_BITRATE, br.constData());
        // Non-blocking throughout (libshout cannot switch after the connect): sends queue
        // what the socket does not take, and a queue that keeps growing ends the connection.
        shout_set_nonblocking(sh, SHOUT_BLOCKING_NONE);
        QString error;
        if (openWithin(s.get(), sh, connectTimeoutMs, &error)) {
            backoff = 1;
            {
                std::lock_guard g(s->lock);
                s->queue.clear(); // what piled up meanwhile is stale
                s->queued = 0;
                s->titleChanged = true;
            }
            s->report(IcecastRelay::State::Connected, 0, QString());
            bool titlePending = false;
            qint64 titleRetryAt = QDateTime::currentMSecsSinceEpoch() + 500;
            QString title;
            std::shared_ptr<TitleUpdate> update; // the one under way, if any
            QString updating;                    // its title
            for (;;) {
                std::deque<QByteArray> batch;
                bool titleChanged = false;
                // What the socket did not take yet is sent on the next round, soon.
                const bool backlog = shout_queuelen(sh) > 0;
                {
                    std::unique_lock g(s->lock);
                    s->wake.wait_for(
                        g,
                        backlog ? std::chrono::milliseconds(50) : std::chrono::milliseconds(1000),
                        [&] { return s->quit || !s->queue.empty() || s->titleChanged; });
                    if (s->quit) break;
                    batch.swap(s->queue);
                    s->queued = 0;
                    titleChanged = s->titleChanged;
                    s->titleChanged = false;
                    title = s->title;
                }
                if (titleChanged) titlePending = !title.isEmpty();
                if (update) {
                    std::lock_guard g(update->lock);
                    if (update->done) {
                        // Icecast takes the title only once it has set the mount up; a
                        // refused update is tried again a second later.
                        if (update->ok && updating == title)
                            titlePending = false;
                        else if (!update->ok)
                            titleRetryAt = QDateTime::currentMSecsSinceEpoch() + 1000;
                        update.reset();
                    }
                }
                if (titlePending && !update &&
                    QDateTime::currentMSecsSinceEpoch() >= titleRetryAt) {
                    update = std::make_shared<TitleUpdate>();
                    updating = title;
                    // Detached: it ends within the time-out, and only its own state outlives
                    // the relay.
                    std::thread([update, cfg, title, connectTimeoutMs] {
                        QString why;
                        const bool ok = sendTitle(cfg, title, connectTimeoutMs, &why);
                        if (!ok) qCInfo(lcStreaming) << "relay title not taken:" << why;
                        std::lock_guard g(update->lock);
                        update->ok = ok;
                        update->done = true;
                    }).detach();
                }
                bool failed = false;
                static const unsigned char nothing = 0;
                if (batch.empty() && backlog) batch.emplace_back(); // flushes the backlog
                for (const QByteArray& b : batch) {
                    const int rc =
                        b.isEmpty()
                            ? shout_send(sh, &nothing, 0)
                            : shout_send(sh, reinterpret_cast<const unsigned char*>(b.constData()),
                                         size_t(b.size()));
                    if (rc != SHOUTERR_SUCCESS && rc != SHOUTERR_BUSY && rc != SHOUTERR_RETRY) {
                        failed = true;
                        break;
                    }
                }
                if (failed) {
                    error = QString::fromUtf8(shout_get_error(sh));
                    break;
                }
                if (shout_queuelen(sh) > s->maxQueued) { // the server takes nothing any more
                    error = QStringLiteral("the server takes no audio");
                    break;
                }
            }
        }
        shout_close(sh);
        shout_free(sh);
        {
            std::lock_guard g(s->lock);
            if (s->quit) return;
        }
        s->report(IcecastRelay::State::Waiting, backoff, error);
        if (pause(s.get(), backoff * 1000)) return;
        backoff = qMin(backoff * 2, IcecastRelay::MaxBackoffSeconds);
    }
}

bool pause(IcecastRelay::Shared* s, int ms) {
    std::unique_lock g(s->lock);
    return s->wake.wait_for(g, std::chrono::milliseconds(ms), [s] { return s->quit; });
}

} // namespace

IcecastRelay::IcecastRelay(QObject* parent) : QObject(parent) {}

IcecastRelay::~IcecastRelay() {
    stop();
}

void IcecastRelay::start(const RelaySettings& settings) {
    stop();
    m_settings = settings;
    if (!settings.Enabled || settings.Host.isEmpty()) return;
    m_shared = std::make_shared<Shared>();
    m_shared->owner = this;
    m_shared->settings = settings;
    m_shared->connectTimeoutMs = m_connectTimeoutMs;
    m_shared->title = m_title; // a title set before the start goes out once connected
    m_shared->maxQueued = qint64(qMax(settings.BitRate, 8)) * 125 * QueueSeconds;
    // Detached: a connect that hangs in the kernel must not hold up stop(); the thread
    // owns its share of the state and ends at its next look at the quit flag.
    std::thread([s = m_shared] { runRelay(s); }).detach();
}

void IcecastRelay::stop() {
    if (!m_shared) return;
    {
        std::lock_guard g(m_shared->lock);
        m_shared->quit = true;
        m_shared->owner = nullptr;
    }
    m_shared->wake.notify_all();
    m_shared.reset();
    m_carry.clear();
    if (m_state != State::Off) {
        m_state = State::Off;
        m_status = QString();
        emit stateChanged(m_state, m_status, QStringLiteral("RELAY: Stopped."));
    }
}

void IcecastRelay::send(const QByteArray& mp3) {
    if (!m_shared || mp3.isEmpty()) return;
    m_carry += mp3;
    const auto* d = reinterpret_cast<const uchar*>(m_carry.constData());
    const qsizetype size = m_carry.size();
    qsizetype start = 0, end = 0;
    while (end + 4 <= size) {
        const int len = IcyStreamChecker::frameLength(d + end);
        if (len <= 0) { // no frame here (only after a cut): look for the next one
            start = ++end;
            continue;
        }
        if (end + len > size) break;
        end += len;
    }
    const QByteArray frames = m_carry.mid(start, end - start);
    m_carry.remove(0, end);
    if (m_carry.size() > 64 * 1024) m_carry.clear(); // not MP3 at all
    if (frames.isEmpty()) return;
    {
        std::lock_guard g(m_shared->lock);
        m_shared->queue.push_back(frames);
        m_shared->queued += frames.size();
        while (m_shared->queued > m_shared->maxQueued && m_shared->queue.size() > 1) {
            m_shared->queued -= m_shared->queue.front().size();
            m_shared->queue.pop_front();
        }
    }
    m_shared->wake.notify_one();
}

void IcecastRelay::setTitle(const QString& title) {
    m_title = title;
    if (!m_shared) return;
    {
        std::lock_guard g(m_shared->lock);
        if (m_shared->title == title) return;
        m_shared->title = title;
        m_shared->titleChanged = true;
    }
    m_shared->wake.notify_one();
}

void IcecastRelay::onWorker(State state, int retrySeconds, const QString& error) {
    if (!m_shared) return;
    const QString where =
        QStringLiteral("%1:%2%3").arg(m_settings.Host).arg(m_settings.Port).arg(m_settings.Mount);
    QString log;
    switch (state) {
    case State::Connecting:
        m_status = QStringLiteral("Relay: Verbindung zu %1 …").arg(where);
        log = QStringLiteral("RELAY: Connecting to %1.").arg(where);
        break;
    case State::Connected:
        ++m_connections;
        m_status = QStringLiteral("Relay: verbunden mit %1").arg(where);
        log = QStringLiteral("RELAY: Connected to %1.").arg(where);
        break;
    case State::Waiting:
        m_status = QStringLiteral("Relay: keine Verbindung zu %1, neuer Versuch in %2 s")
                       .arg(where)
                       .arg(retrySeconds);
        log = QStringLiteral("RELAY: No connection to %1 (%2), retrying in %3 s.")
                  .arg(where, error)
                  .arg(retrySeconds);
        qCWarning(lcStreaming).noquote() << log;
        break;
    case State::Off:
        break;
    }
    m_state = state;
    emit stateChanged(state, m_status, log);
}
