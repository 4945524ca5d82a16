#include "streaming_server.h"

#include "listener_request.h"
#include "log_categories.h"
#include "pulse_capture.h"
#include "rate_tables.h"
#include "stream_engine.h"

#include <QFileInfo>
#include <QHostInfo>

#include <cerrno>
#include <cmath>
#include <cstring>

struct WStreamingServer::Listener {
    quint64 id = 0;
    WClientInfo info;
    QHostAddress address;
    std::shared_ptr<ListenerStats> stats;
    bool closing = false;
};

namespace {

QString equalsRule(const char* head, int count) {
    return QLatin1String(head) + QString(count, QLatin1Char('='));
}

QString addressText(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}

QString listenErrorText(int port, int error) {
    const QString head = QStringLiteral("Streaming-Port %1 ").arg(port);
    if (error == EADDRINUSE)
        return head + QStringLiteral("wird bereits von einem anderen Programm verwendet.");
    if (error == EACCES)
        return head + QStringLiteral("darf nicht verwendet werden (Ports unter 1024 sind dem "
                                     "System vorbehalten).");
    return head + QStringLiteral("lässt sich nicht öffnen: ") +
           QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

WStreamingServer::WStreamingServer(const QString& serverSoftware, QObject* parent)
    : QObject(parent) {
    qRegisterMetaType<WClientInfo>();
    m_hostName = QHostInfo::localHostName();
    m_capture = new PulseCapture(this);
    connect(m_capture, &CaptureSource::chunkReady, this, &WStreamingServer::HandleWaveData);
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

qint64 WStreamingServer::ringBytes() const {
    const qint64 second = qint64(m_config.BitRate) * 125;
    // Room for the lag bound, a burst and a few batches in flight.
    return qMax(second * RingSeconds, sendQueueLimit() + second * (BurstSeconds + 4));
}

quint16 WStreamingServer::listeningPort() const {
    return m_engine ? m_engine->port() : 0;
}

void WStreamingServer::log(const QString& text) {
    if (!m_logging) return;
    const bool written = m_log.append(text);
    // Told once until a line can be written again.
    if (!written && !m_logFailing) {
        qCWarning(lcStreaming).noquote()
            << "log" << m_log.path() << "not written:" << m_log.lastError();
        emit logFailed(QStringLiteral("Das Streaming-Protokoll \"%1\" kann nicht geschrieben "
                                      "werden: %2")
                           .arg(m_log.path(), m_log.lastError()));
    }
    m_logFailing = !written;
}

QString WStreamingServer::peerLabel(const Listener* l) const {
    return cleanForLog(l->info.RemoteHost.isEmpty() ? l->info.RemoteAddress : l->info.RemoteHost);
}

void WStreamingServer::logListener(const Listener* l, const QString& text) {
    if (m_logging) log(peerLabel(l) + QLatin1Char('\t') + text);
}

bool WStreamingServer::Start() {
    if (m_active || m_stopping) return false;
    if (!m_encoderLoaded) {
        m_startError = QStringLiteral("Kein MP3-Encoder geladen.");
        return false;
    }
    m_startError.clear();
    log(equalsRule("=== SESSION START ", 60));
    log(QStringLiteral("Server Software is \"") + m_software + QStringLiteral("\"."));
    log(QString(78, QLatin1Char('-')));

    if (!m_encoder.open(m_lame, m_config.SampleRate, m_config.BitRate, m_config.Quality,
                        m_config.VBRMethod, m_config.PrivateFlag)) {
        m_startError = QStringLiteral("Der MP3-Encoder lässt sich mit diesen Einstellungen nicht "
                                      "starten.");
        log(QStringLiteral("ERROR: ") + m_startError);
        log(equalsRule("=== SESSION STOP ", 61));
        return false;
    }
    m_samplesPerChunk = m_encoder.samplesPerChunk();
    StreamEngine::raiseFileLimit(); // the default soft limit ends near 1,000 listeners

    EngineConfig engineConfig;
    engineConfig.headerPlain = responseHeader(false);
    engineConfig.headerMeta = responseHeader(true);
    engineConfig.hostName = m_hostName.toUtf8();
    engineConfig.limitListeners = m_config.LimitListeners;
    engineConfig.maxListeners = m_config.MaxListeners;
    const qint64 second = qint64(m_config.BitRate) * 125;
    engineConfig.lagLimit = sendQueueLimit();
    engineConfig.ringBytes = ringBytes();
    engineConfig.burstBytes = second * BurstSeconds;
    engineConfig.batchBytes = second * BatchMs / 1000;
    engineConfig.batchMs = BatchMs;
    engineConfig.requestTimeoutMs = RequestTimeoutMs;
    engineConfig.maxPending = MaxPending;
    // Keep the kernel's share small: about two batches.
    engineConfig.sendBuffer = int(qMax<qint64>(32 * 1024, second * 2));
    // The engine dies before the server (Stop, destructor), so this outlives its thread.
    auto engine = std::make_unique<StreamEngine>(engineConfig, [this] {
        QMetaObject::invokeMethod(
            this, [this] { drainEvents(); }, Qt::QueuedConnection);
    });
    bool ok = engine->listen(m_config.Port);
    if (ok) {
        m_engine = std::move(engine);
        // The refusal page names the bound port, known only once the socket listens.
        m_engine->setRefusalPage(refusalPage());
        ok = m_capture->open(m_config.Device, m_config.SampleRate, m_samplesPerChunk * 2);
        if (ok)
            m_engine->begin();
        else
            m_startError = QStringLiteral("Das Aufnahmegerät lässt sich nicht öffnen.");
    } else {
        m_startError = listenErrorText(m_config.Port, engine->listenError());
    }
    if (!ok) {
        log(QStringLiteral("ERROR: ") + m_startError);
        log(equalsRule("=== SESSION STOP ", 61));
        m_engine.reset();
        m_capture->close();
        m_encoder.close();
        m_samplesPerChunk = 0;
        return false;
    }
    ++m_run;
    m_head = 0;
    m_frames = FrameTracker();
    m_titleSent = false;
    emit OnStart(this);
    m_active = true;
    return true;
}

void WStreamingServer::Stop() {
    if (!m_active || m_stopping) return;
    m_stopping = true; // handlers below may call Stop, Start or Configure
    m_capture->close();
    m_encoder.finish();
    QList<quint64> ids;
    for (const Listener* l : std::as_const(m_listeners))
        ids << l->id;
    for (quint64 id : ids) {
        const Listener* l = m_byId.value(id);
        if (!l) continue;
        logListener(l, QStringLiteral("DISCONNECT: Client disconnected, %1 user(s) listening.")
                           .arg(ClientCount() - 1));
        WClientInfo copy = l->info;
        fillFigures(copy, l);
        emit OnClientDisconnect(this, copy);
    }
    log(equalsRule("=== SESSION STOP ", 61));
    m_active = false;
    ++m_run;
    m_engine.reset(); // closes every connection without further events
    releaseAll();
    m_currentBitRate = 0;
    m_stopping = false;
    emit OnStop(this);
}

void WStreamingServer::releaseAll() {
    qDeleteAll(m_listeners);
    m_listeners.clear();
    m_byId.clear();
}

int WStreamingServer::ClientCount() const {
    return m_active ? int(m_listeners.size()) : 0;
}

void WStreamingServer::fillFigures(WClientInfo& info, const Listener* l) const {
    if (!info.Streaming || !l->stats) return;
    const quint64 start = l->stats->start.load();
    const quint64 audio = m_head > start ? m_head - start : 0;
    info.BytesSent = audio + l->stats->metaBytes.load();
    info.BytesSinceMeta = info.Metadata ? qint32(audio % MetaInterval) : 0;
}

bool WStreamingServer::GetClientInfo(int index, WClientInfo& info) const {
    if (index < 0 || index >= ClientCount()) return false;
    const Listener* l = m_listeners[index];
    info = l->info;
    info.Index = index;
    fillFigures(info, l);
    return true;
}

void WStreamingServer::DisconnectClient(int index) {
    if (index < 0 || index >= ClientCount()) return;
    Listener* l = m_listeners[index];
    if (l->closing) return;
    l->closing = true;
    m_engine->close(l->id); // the disconnect handling follows when the engine reports it
}

void WStreamingServer::RequestHostName(int index) {
    if (index < 0 || index >= ClientCount()) return;
    Listener* l = m_listeners[index];
    if (!l->info.RemoteHost.isEmpty()) return;
    const QString addr = l->info.RemoteAddress;
    const auto cached = m_hostNames.constFind(addr);
    if (cached != m_hostNames.constEnd()) {
        if (cached->isEmpty()) return;
        l->info.RemoteHost = *cached;
        WClientInfo copy = l->info;
        copy.Index = index;
        fillFigures(copy, l);
        emit OnClientInfoChange(this, copy);
        return;
    }
    m_hostNames.insert(addr, QString()); // asked once; empty until an answer comes
    QHostInfo::lookupHost(addr, this, [this, addr](const QHostInfo& hi) {
        QString name = hi.error() == QHostInfo::NoError ? hi.hostName() : QString();
        if (!QHostAddress(name).isNull()) name.clear(); // the address came back
        if (m_hostNames.size() > 4096) m_hostNames.clear();
        m_hostNames.insert(addr, name);
        if (name.isEmpty()) return;
        const quint64 run = m_run;
        for (int i = 0; i < ClientCount(); ++i) {
            Listener* l = m_listeners[i];
            if (l->info.RemoteAddress != addr || !l->info.RemoteHost.isEmpty()) continue;
            l->info.RemoteHost = name;
            WClientInfo copy = l->info;
            copy.Index = i;
            fillFigures(copy, l);
            emit OnClientInfoChange(this, copy);
            if (run != m_run) return; // a handler stopped the run
        }
    });
}

void WStreamingServer::drainEvents() {
    if (!m_engine) return;
    const quint64 run = m_run;
    std::vector<EngineEvent> events = m_engine->takeEvents();
    for (EngineEvent& e : events) {
        handleEvent(e);
        if (run != m_run || !m_engine) return; // a handler ended the run
    }
}

void WStreamingServer::handleEvent(EngineEvent& e) {
    switch (e.kind) {
    case EngineEvent::Refused: {
        if (m_logging)
            log(cleanForLog(addressText(e.address)) +
                QStringLiteral("\tCONNECT: Server is full, request rejected."));
        emit OnServerFull(this);
        return;
    }
    case EngineEvent::Accepted: {
        auto* l = new Listener;
        l->id = e.id;
        l->address = e.address;
        l->stats = e.stats;
        l->info.Index = int(m_listeners.size());
        l->info.ConnectTime = QDateTime::currentDateTime();
        l->info.RemoteAddress = addressText(e.address);
        l->info.RemoteHost = m_hostNames.value(l->info.RemoteAddress);
        m_listeners.append(l);
        m_byId.insert(l->id, l);
        logListener(
            l,
            QStringLiteral("CONNECT: Client connected, %1 user(s) listening.").arg(ClientCount()));
        WClientInfo copy = l->info;
        emit OnClientConnect(this, copy);
        return;
    }
    case EngineEvent::Request: {
        Listener* l = m_byId.value(e.id);
        if (!l) return;
        WClientInfo& info = l->info;
        if (!e.userAgent.isNull()) {
            info.UserAgent = QString::fromUtf8(e.userAgent);
            logListener(l, QStringLiteral("INFO: User agent is \"") + cleanForLog(info.UserAgent) +
                               QStringLiteral("\"."));
        }
        if (!e.icyMetadata.isNull()) {
            info.Metadata = e.icyMetadata == "1";
            logListener(l, info.Metadata ? QStringLiteral("INFO: Inline metadata supported.")
                                         : QStringLiteral("INFO: Inline metadata not supported."));
        }
        info.Streaming = true;
        logListener(l, QStringLiteral("INFO: Headers sent."));
        WClientInfo copy = info;
        copy.Index = int(m_listeners.indexOf(l));
        fillFigures(copy, l);
        emit OnClientInfoChange(this, copy);
        return;
    }
    case EngineEvent::TitleSent: {
        Listener* l = m_byId.value(e.id);
        if (!l) return;
        logListener(l, QStringLiteral("INFO: Sending metadata: \"") + cleanForLog(e.title) +
                           QLatin1Char('"'));
        l->info.LastTitle = e.title;
        return;
    }
    case EngineEvent::Gone: {
        Listener* l = m_byId.value(e.id);
        if (!l) return;
        switch (e.reason) {
        case EngineEvent::TooLong:
            logListener(l, QStringLiteral("INFO: Request too long, connection closed."));
            break;
        case EngineEvent::Timeout:
            logListener(l, QStringLiteral("INFO: Request not completed in time, connection "
                                          "closed."));
            break;
        case EngineEvent::OverLimit:
            logListener(l, QStringLiteral("INFO: Send queue over %1 bytes, connection closed.")
                               .arg(sendQueueLimit()));
            break;
        case EngineEvent::TooManyPending:
            logListener(l, QStringLiteral("INFO: Too many unfinished requests, connection "
                                          "closed."));
            break;
        default:
            break;
        }
        logListener(l, QStringLiteral("DISCONNECT: Client disconnected, %1 user(s) listening.")
                           .arg(ClientCount() - 1));
        WClientInfo copy = l->info;
        copy.Index = int(m_listeners.indexOf(l));
        fillFigures(copy, l);
        // Out of the list first: a handler then sees the server as it is now.
        removeListener(l);
        emit OnClientDisconnect(this, copy);
        return;
    }
    }
}

void WStreamingServer::removeListener(Listener* l) {
    m_byId.remove(l->id);
    m_listeners.removeOne(l);
    delete l;
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
         QByteArray::number(m_engine ? listeningPort() : m_config.Port) + "</ADDRESS>\r\n";
    p += "</BODY></HTML>\r\n\r\n";
    return p;
}

QByteArray WStreamingServer::metadataText(const QString& title, const QString& host, quint16 port) {
    return icyMetadataText(title, host, port);
}

QByteArray WStreamingServer::metadataBlock(const QByteArray& text) {
    return icyMetadataBlock(text);
}

void WStreamingServer::DeliverChunk(const QByteArray& chunk) {
    if (!m_engine || chunk.isEmpty()) return;
    if (!m_titleSent || StreamTitle != m_sentTitle) { // the player writes it directly
        m_sentTitle = StreamTitle;
        m_titleSent = true;
        m_engine->setTitle(m_sentTitle);
    }
    const qint64 start = m_frames.feed(chunk.constData(), chunk.size());
    if (m_engine->push(chunk.constData(), chunk.size(), start))
        m_head += quint64(chunk.size());
    else
        m_frames.reset(); // the ring lost a piece: the next one starts out of step
}

void WStreamingServer::HandleWaveData(const QByteArray& pcm) {
    if (ClientCount() == 0) m_currentBitRate = 0;
    if (!m_active || pcm.size() != m_encoder.chunkBytes()) return;
    if (ClientCount() == 0 && !m_tap) return;
    const QByteArray chunk = m_encoder.encode(pcm);
    if (chunk.isNull()) return;
    if (ClientCount() > 0)
        m_currentBitRate = int(std::lround(double(chunk.size()) / double(pcm.size()) * 1411.2 *
                                           m_config.SampleRate / 44100.0));
    if (ClientCount() > 0) DeliverChunk(chunk);
    if (m_tap) m_tap(QByteArray(chunk.constData(), chunk.size()));
}
