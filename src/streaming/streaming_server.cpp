#include "streaming_server.h"

#include "pulse_capture.h"
#include "rate_tables.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostInfo>
#include <QMetaMethod>
#include <QTcpServer>
#include <QTcpSocket>

#include <cmath>
#include <sys/socket.h>

// Hands accepted sockets straight to the server.
class ListenSocket : public QTcpServer {
public:
    explicit ListenSocket(WStreamingServer* owner) : QTcpServer(owner), m_owner(owner) {}

protected:
    void incomingConnection(qintptr fd) override {
        auto* s = new QTcpSocket(m_owner);
        if (!s->setSocketDescriptor(fd)) {
            delete s;
            return;
        }
        m_owner->accept(s);
    }

private:
    WStreamingServer* m_owner;
};

struct WStreamingServer::Listener {
    quint64 id = 0;
    QTcpSocket* socket = nullptr;
    std::unique_ptr<WClientInfo> info; // none for a refused connection
    QByteArray request;
    QElapsedTimer since;
    QString address;
    quint16 localPort = 0;
    bool refused = false;
    bool closing = false;
};

namespace {

QString equalsRule(const char* head, int count) {
    return QLatin1String(head) + QString(count, QLatin1Char('='));
}

QByteArray trimControl(const QByteArray& v) {
    qsizetype b = 0, e = v.size();
    while (b < e && uchar(v[b]) <= 32)
        ++b;
    while (e > b && uchar(v[e - 1]) <= 32)
        --e;
    return v.mid(b, e - b);
}

// Value of a header found as a substring of the upper-cased request: the text after it
// up to the next CR LF, trimmed; null when the name does not occur.
QByteArray headerValue(const QByteArray& request, const QByteArray& upper, const char* name) {
    const qsizetype at = upper.indexOf(name);
    if (at < 0) return QByteArray();
    const qsizetype from = at + qsizetype(qstrlen(name));
    qsizetype end = request.indexOf("\r\n", from);
    if (end < 0) end = request.size();
    QByteArray v = trimControl(request.mid(from, end - from));
    if (v.isNull()) v = QByteArray("");
    return v;
}

QString addressText(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}

} // namespace

WStreamingServer::WStreamingServer(const QString& serverSoftware, QObject* parent)
    : QObject(parent) {
    qRegisterMetaType<WClientInfo>();
    m_server = new ListenSocket(this);
    m_server->setListenBacklogSize(1024); // bursts of listeners are not turned away
    m_hostName = QHostInfo::localHostName();
    m_capture = new PulseCapture(this);
    connect(m_capture, &CaptureSource::chunkReady, this, &WStreamingServer::HandleWaveData);
    m_sweep.setInterval(1000);
    connect(&m_sweep, &QTimer::timeout, this, &WStreamingServer::sweepPending);
    SetServerSoftware(serverSoftware);
    StreamConfig c;
    c.StationID = m_software;
    c.Port = 8000;           // an ordinary user cannot listen below 1024
    m_config.SampleRate = 0; // forces the first Configure to store
    Configure(c);
}

WStreamingServer::~WStreamingServer() {
    Stop();
    m_lame.unload();
}

void WStreamingServer::SetServerSoftware(const QString& name) {
    m_software = name.isEmpty() ? defaultServerSoftware() : name;
}

void WStreamingServer::SetLogging(bool enabled) {
    m_logging = enabled && !m_logFile.isEmpty();
    m_log.setPath(m_logging ? m_logFile : QString());
}

void WStreamingServer::SetEncoderLibrary(const QString& path) {
    if (path == m_encoderLibrary || !QFileInfo(path).isFile()) return;
    const bool wasActive = m_active;
    Stop();
    m_encoderLoaded = false;
    m_lame.unload();
    m_encoderLoaded = m_lame.load(path) == LameBinding::Ok;
    m_encoderLibrary = m_encoderLoaded ? path : QString();
    if (wasActive) Start();
}

void WStreamingServer::setCaptureSource(CaptureSource* source) {
    if (!source || source == m_capture) return;
    const bool wasActive = m_active;
    Stop();
    delete m_capture;
    m_capture = source;
    source->setParent(this);
    connect(m_capture, &CaptureSource::chunkReady, this, &WStreamingServer::HandleWaveData);
    if (wasActive) Start();
}

void WStreamingServer::Configure(const StreamConfig& config) {
    if (config == m_config) return;
    if (!RateTables::isValidPair(config.SampleRate, config.BitRate)) return;
    const bool wasActive = m_active;
    Stop();
    m_config = config;
    if (wasActive) Start();
}

qint64 WStreamingServer::sendQueueLimit() const {
    if (m_queueLimitOverride > 0) return m_queueLimitOverride;
    return qMax<qint64>(qint64(m_config.BitRate) * 125 * QueueSeconds, 64 * 1024);
}

quint16 WStreamingServer::listeningPort() const {
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void WStreamingServer::log(const QString& text) {
    if (m_logging) m_log.append(text);
}

QString WStreamingServer::peerLabel(const Listener* l) const {
    if (l->info && !l->info->RemoteHost.isEmpty()) return l->info->RemoteHost;
    return l->address;
}

void WStreamingServer::logListener(const Listener* l, const QString& text) {
    if (m_logging) m_log.append(peerLabel(l) + QLatin1Char('\t') + text);
}

bool WStreamingServer::Start() {
    if (!m_encoderLoaded || m_active) return false;
    log(equalsRule("=== SESSION START ", 60));
    log(QStringLiteral("Server Software is \"") + m_software + QStringLiteral("\"."));
    log(QString(78, QLatin1Char('-')));

    const EncoderConfig ec =
        EncoderConfig::fromSettings(m_config.SampleRate, m_config.BitRate, m_config.Quality,
                                    m_config.VBRMethod, m_config.PrivateFlag);
    quint32 samples = 0, outSize = 0;
    if (m_lame.initStream(ec, &samples, &outSize, &m_stream) != LameBinding::Ok) {
        m_stream = nullptr;
        return false;
    }
    m_samplesPerChunk = int(samples);
    m_outBuffer.resize(outSize);
    m_batch.clear();
    m_batchChunks = 0;
    m_chunksPerBatch =
        qMax(1, int(BatchMs * qint64(m_config.SampleRate) / 1000 / (m_samplesPerChunk / 2)));
    if (!m_server->listen(QHostAddress::Any, m_config.Port) ||
        !m_capture->open(m_config.Device, m_config.SampleRate, m_samplesPerChunk * 2)) {
        m_server->close();
        m_capture->close();
        m_lame.closeStream(m_stream);
        m_stream = nullptr;
        m_outBuffer = QByteArray();
        m_samplesPerChunk = 0;
        return false;
    }
    m_sweep.start();
    emit OnStart(this);
    m_active = true;
    return true;
}

void WStreamingServer::Stop() {
    if (!m_active) return;
    m_capture->close();
    quint32 flushed = 0;
    m_lame.deinitStream(m_stream, reinterpret_cast<quint8*>(m_outBuffer.data()), &flushed);
    m_lame.closeStream(m_stream);
    m_stream = nullptr;
    m_outBuffer = QByteArray();
    m_batch = QByteArray();
    const QList<Listener*> all = m_listeners;
    for (Listener* l : all) {
        if (!l->info) continue;
        logListener(l, QStringLiteral("DISCONNECT: Client disconnected, %1 user(s) listening.")
                           .arg(ClientCount() - 1));
        emit OnClientDisconnect(this, *l->info);
        l->info.reset();
    }
    log(equalsRule("=== SESSION STOP ", 61));
    m_active = false;
    m_server->close();
    releaseAll();
    m_sweep.stop();
    m_currentBitRate = 0;
    emit OnStop(this);
}

void WStreamingServer::releaseAll() {
    for (Listener* l : std::as_const(m_listeners)) {
        l->socket->disconnect(this);
        l->socket->abort();
        l->socket->deleteLater();
        delete l;
    }
    m_listeners.clear();
    m_byId.clear();
    m_pending.clear();
}

int WStreamingServer::ClientCount() const {
    return m_active ? int(m_listeners.size()) : 0;
}

int WStreamingServer::indexOf(const Listener* l) const {
    if (l->info && l->info->Index >= 0 && l->info->Index < m_listeners.size() &&
        m_listeners[l->info->Index] == l)
        return l->info->Index;
    return int(m_listeners.indexOf(const_cast<Listener*>(l)));
}

bool WStreamingServer::GetClientInfo(int index, WClientInfo& info) const {
    if (index < 0 || index >= ClientCount() || !m_listeners[index]->info) return false;
    info = *m_listeners[index]->info;
    return true;
}

void WStreamingServer::DisconnectClient(int index) {
    if (index >= 0 && index < ClientCount()) closeListener(m_listeners[index], QString());
}

void WStreamingServer::accept(QTcpSocket* socket) {
    auto* l = new Listener;
    l->id = m_nextId++;
    l->socket = socket;
    l->since.start();
    l->address = addressText(socket->peerAddress());
    l->localPort = socket->localPort();
    // Keep the kernel's share of the queue small; the rest is counted against the bound.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                            qMax(32 * 1024, m_config.BitRate * 125 * 2));
    socket->setReadBufferSize(MaxRequestBytes * 2);
    m_listeners.append(l);
    m_byId.insert(l->id, l);
    const quint64 id = l->id;
    // Queued, so that a socket never leaves the list while the server walks it.
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadable(id); });
    connect(
        socket, &QTcpSocket::disconnected, this, [this, id] { onGone(id); }, Qt::QueuedConnection);
    connect(
        socket, &QTcpSocket::errorOccurred, this, [this, id] { onGone(id); }, Qt::QueuedConnection);

    if (m_config.LimitListeners && m_config.MaxListeners < ClientCount()) {
        l->refused = true;
        logListener(l, QStringLiteral("CONNECT: Server is full, request rejected."));
        char scratch[4096];
        while (socket->read(scratch, sizeof scratch) > 0) {
        }
        socket->write(refusalPage());
        socket->flush();
        // Half-close once the page is out and wait for the peer, so that its unread
        // request cannot turn the close into a reset that destroys the page on its way.
        auto halfClose = [socket] {
            if (socket->bytesToWrite() == 0) ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        };
        connect(socket, &QTcpSocket::bytesWritten, this, halfClose);
        halfClose();
        m_pending.append(l);
        emit OnServerFull(this);
        return;
    }

    l->info = std::make_unique<WClientInfo>();
    l->info->Index = ClientCount() - 1;
    l->info->ConnectTime = QDateTime::currentDateTime();
    l->info->RemoteAddress = l->address;
    m_pending.append(l);
    QHostInfo::lookupHost(socket->peerAddress().toString(), this, [this, id](const QHostInfo& hi) {
        Listener* found = m_byId.value(id);
        if (!found || !found->info || hi.error() != QHostInfo::NoError) return;
        const QString name = hi.hostName();
        if (!name.isEmpty() && QHostAddress(name).isNull()) {
            found->info->RemoteHost = name;
            emit OnClientInfoChange(this, *found->info);
        }
    });
    logListener(
        l, QStringLiteral("CONNECT: Client connected, %1 user(s) listening.").arg(ClientCount()));
    emit OnClientConnect(this, *l->info);
    onReadable(id); // the request may be there already
}

void WStreamingServer::onReadable(quint64 id) {
    Listener* l = m_byId.value(id);
    if (!l) return;
    char scratch[4096];
    if (!l->info || l->info->Streaming || l->closing) {
        while (l->socket->read(scratch, sizeof scratch) > 0) {
        }
        return;
    }
    for (;;) {
        const qint64 n = l->socket->read(scratch, sizeof scratch);
        if (n <= 0) break;
        l->request.append(scratch, n);
        if (l->request.size() > MaxRequestBytes) break;
    }
    if (l->request.contains("\r\n\r\n")) {
        handleRequest(l);
    } else if (l->request.size() > MaxRequestBytes) {
        closeListener(l, QStringLiteral("INFO: Request too long, connection closed."));
    }
}

void WStreamingServer::handleRequest(Listener* l) {
    const qsizetype end = l->request.indexOf("\r\n\r\n");
    const QByteArray request = l->request.left(end + 4);
    l->request = QByteArray();
    const QByteArray upper = request.toUpper();
    WClientInfo& info = *l->info;
    const QByteArray agent = headerValue(request, upper, "USER-AGENT:");
    if (!agent.isNull()) {
        info.UserAgent = QString::fromUtf8(agent);
        logListener(l, QStringLiteral("INFO: User agent is \"") + info.UserAgent +
                           QStringLiteral("\"."));
    }
    const QByteArray meta = headerValue(request, upper, "ICY-METADATA:");
    if (!meta.isNull()) {
        info.Metadata = meta == "1";
        logListener(l, info.Metadata ? QStringLiteral("INFO: Inline metadata supported.")
                                     : QStringLiteral("INFO: Inline metadata not supported."));
    }
    l->socket->write(responseHeader(info.Metadata));
    l->socket->flush();
    info.Streaming = true;
    m_pending.removeOne(l);
    logListener(l, QStringLiteral("INFO: Headers sent."));
    emit OnClientInfoChange(this, info);
}

QByteArray WStreamingServer::responseHeader(bool metadata) const {
    QByteArray h;
    const QByteArray sw = m_software.toUtf8();
    h += "ICY 200 OK\r\n";
    h += "icy-notice1:This stream is served by " + sw + "\r\n";
    h += "icy-notice2:Vorlune streaming, Copyright (C) 2002-" +
         QByteArray::number(QDate::currentDate().year()) + " the Vorlune developers\r\n";
    h += "icy-name:" + m_config.StationID.toUtf8() + "\r\n";
    if (metadata) h += "icy-metaint:" + QByteArray::number(MetaInterval) + "\r\n";
    h += "icy-br:" + QByteArray::number(m_config.BitRate) + "\r\n";
    h += "Server: " + sw + "\r\n";
    h += "\r\n";
    return h;
}

QByteArray WStreamingServer::refusalPage() const {
    const QByteArray sw = m_software.toUtf8();
    QByteArray p;
    p += "HTTP/1.1 503 Service Unavailable\r\n";
    p += "Server: " + sw + "\r\n";
    p += "Connection: close\r\n";
    p += "Content-Type: text/html\r\n";
    p += "Retry-After: 120\r\n\r\n";
    p += "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\r\n";
    p += "<HTML><HEAD>\r\n";
    p += "<TITLE>503 Service Unavailable</TITLE>\r\n";
    p += "</HEAD><BODY>\r\n";
    p += "<H1>Service Unavailable</H1>\r\n";
    p += "The server administrator has limited the number of slots that are available for "
         "streaming the audio data, and all server slots are currently in use.<BR />\r\n";
    p += "In most cases, stream listeners usually disconnect after a while, so please check "
         "again for a free slot in a few minutes.<P>\r\n";
    p += "<HR>\r\n";
    p += "<ADDRESS>" + sw + " at " + m_hostName.toUtf8() + " Port " +
         QByteArray::number(m_active ? listeningPort() : m_config.Port) + "</ADDRESS>\r\n";
    p += "</BODY></HTML>\r\n\r\n";
    return p;
}

void WStreamingServer::closeListener(Listener* l, const QString& reason) {
    if (l->closing) return;
    l->closing = true;
    if (!reason.isEmpty() && l->info) logListener(l, reason);
    l->socket->abort();
    const quint64 id = l->id;
    QMetaObject::invokeMethod(
        this, [this, id] { onGone(id); }, Qt::QueuedConnection);
}

void WStreamingServer::onGone(quint64 id) {
    Listener* l = m_byId.take(id);
    if (!l) return;
    if (l->info) {
        logListener(l, QStringLiteral("DISCONNECT: Client disconnected, %1 user(s) listening.")
                           .arg(ClientCount() - 1));
        emit OnClientDisconnect(this, *l->info);
    }
    m_listeners.removeAt(indexOf(l));
    m_pending.removeOne(l);
    l->socket->disconnect(this);
    l->socket->abort();
    l->socket->deleteLater();
    delete l;
}

void WStreamingServer::sweepPending() {
    const QList<Listener*> due = m_pending;
    for (Listener* l : due)
        if (l->since.elapsed() >= RequestTimeoutMs)
            closeListener(l, QStringLiteral("INFO: Request not completed in time, connection "
                                            "closed."));
}

QByteArray WStreamingServer::metadataText(const QString& title, const QString& host, quint16 port) {
    const QByteArray head = "StreamTitle='";
    const QByteArray tail =
        "';StreamUrl='http://" + host.toUtf8() + ":" + QByteArray::number(port) + "';";
    QByteArray t = title.toUtf8();
    const qsizetype room = MaxMetaText - head.size() - tail.size();
    if (t.size() > room) {
        qsizetype cut = qMax<qsizetype>(room, 0);
        while (cut > 0 && (uchar(t[cut]) & 0xC0) == 0x80)
            --cut; // never split a character
        t.truncate(cut);
    }
    QByteArray text = head + t + tail;
    if (text.size() > MaxMetaText) // a host name too long to fit at all
        text.truncate(MaxMetaText);
    return text;
}

QByteArray WStreamingServer::metadataBlock(const QByteArray& text) {
    const qsizetype padded = (text.size() + 15) / 16 * 16;
    QByteArray block(1 + padded, '\0');
    block[0] = char(padded / 16);
    memcpy(block.data() + 1, text.constData(), size_t(text.size()));
    return block;
}

// Sends straight to the kernel while nothing waits in the socket's queue; what the
// kernel does not take goes to the queue, which Qt empties later, in order.
static void sendInOrder(QTcpSocket* s, const char* data, qsizetype n) {
    qsizetype done = 0;
    if (s->bytesToWrite() == 0) {
        const ssize_t w =
            ::send(int(s->socketDescriptor()), data, size_t(n), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) done = w;
    }
    if (done < n) s->write(data + done, n - done);
}

void WStreamingServer::DeliverChunk(const QByteArray& chunk) {
    if (chunk.size() >= MetaInterval) { // at most one metadata block per piece
        for (qsizetype at = 0; at < chunk.size(); at += MetaInterval / 2)
            DeliverChunk(chunk.mid(at, MetaInterval / 2));
        return;
    }
    const int n = ClientCount();
    const qsizetype len = chunk.size();
    const qint64 limit = sendQueueLimit();
    const bool notify =
        isSignalConnected(QMetaMethod::fromSignal(&WStreamingServer::OnClientInfoChange));
    QList<Listener*> over;
    QByteArray framed;
    for (int i = 0; i < n && i < m_listeners.size(); ++i) {
        Listener* l = m_listeners[i];
        if (!l->info || l->closing || !l->info->Streaming ||
            l->socket->state() != QAbstractSocket::ConnectedState)
            continue;
        WClientInfo& info = *l->info;
        info.Index = i;
        if (!info.Metadata) {
            sendInOrder(l->socket, chunk.constData(), len);
            info.BytesSent += quint64(len);
        } else if (info.BytesSinceMeta + len < MetaInterval) {
            sendInOrder(l->socket, chunk.constData(), len);
            info.BytesSinceMeta += qint32(len);
            info.BytesSent += quint64(len);
        } else {
            const qsizetype k = MetaInterval - info.BytesSinceMeta;
            QByteArray text;
            if (StreamTitle != info.LastTitle) {
                logListener(l, QStringLiteral("INFO: Sending metadata: \"") + StreamTitle +
                                   QLatin1Char('"'));
                text = metadataText(StreamTitle, m_hostName, l->localPort);
                info.LastTitle = StreamTitle;
            }
            const QByteArray block = metadataBlock(text);
            framed.clear();
            framed.reserve(len + block.size());
            framed.append(chunk.constData(), k);
            framed.append(block);
            framed.append(chunk.constData() + k, len - k);
            sendInOrder(l->socket, framed.constData(), framed.size());
            info.BytesSinceMeta = qint32(info.BytesSinceMeta + len - MetaInterval);
            info.BytesSent += quint64(len + block.size());
        }
        if (l->socket->bytesToWrite() > limit) over.append(l);
        if (notify) emit OnClientInfoChange(this, info);
    }
    for (Listener* l : over)
        closeListener(
            l, QStringLiteral("INFO: Send queue over %1 bytes, connection closed.").arg(limit));
}

void WStreamingServer::HandleWaveData(const QByteArray& pcm) {
    if (ClientCount() == 0) m_currentBitRate = 0;
    if (!m_active || m_samplesPerChunk <= 0 || pcm.size() / 2 != m_samplesPerChunk) return;
    if (ClientCount() == 0) return;
    quint32 written = 0;
    if (m_lame.encodeChunk(
            m_stream, quint32(m_samplesPerChunk), reinterpret_cast<const qint16*>(pcm.constData()),
            reinterpret_cast<quint8*>(m_outBuffer.data()), &written) != LameBinding::Ok)
        return;
    m_currentBitRate = int(
        std::lround(double(written) / double(pcm.size()) * 1411.2 * m_config.SampleRate / 44100.0));
    // Listeners get the encoded audio in batches of about BatchMs: one send per listener
    // for several chunks keeps the cost per listener low.
    m_batch.append(m_outBuffer.constData(), written);
    if (++m_batchChunks >= m_chunksPerBatch) {
        DeliverChunk(m_batch);
        m_batch.clear();
        m_batchChunks = 0;
    }
}
