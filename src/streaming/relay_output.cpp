#include "relay_output.h"

#include "pulse_capture.h"

#include <QTimer>

RelayOutput::RelayOutput(WStreamingServer& server, QObject* parent)
    : QObject(parent), m_server(&server), m_relay(new IcecastRelay(this)),
      m_capture(new PulseCapture(this)) {
    connect(m_capture, &CaptureSource::chunkReady, this, &RelayOutput::onPcm);
    connect(m_relay, &IcecastRelay::stateChanged, this, &RelayOutput::stateChanged);
    // A Configure() is a stop and a start in one step: look once it is over.
    auto later = [this] {
        if (m_rewirePending) return;
        m_rewirePending = true;
        QTimer::singleShot(0, this, [this] {
            m_rewirePending = false;
            rewire();
        });
    };
    connect(&server, &WStreamingServer::OnStart, this, later);
    connect(&server, &WStreamingServer::OnStop, this, later);
}

RelayOutput::~RelayOutput() {
    stop();
}

void RelayOutput::setCaptureSource(CaptureSource* source) {
    if (!source || source == m_capture) return;
    const bool own = m_feed == Feed::Own;
    closeOwn();
    delete m_capture;
    m_capture = source;
    source->setParent(this);
    connect(m_capture, &CaptureSource::chunkReady, this, &RelayOutput::onPcm);
    if (own) rewire();
}

void RelayOutput::start(RelaySettings settings, const StreamConfig& config,
                        const QString& encoderLibrary) {
    stop();
    m_config = config;
    m_encoderLibrary = encoderLibrary;
    settings.StationName = config.StationID;
    settings.BitRate = config.BitRate;
    m_relay->start(settings);
    rewire();
}

void RelayOutput::stop() {
    if (m_server) m_server->setChunkTap({});
    closeOwn();
    m_feed = Feed::None;
    m_relay->stop();
}

void RelayOutput::rewire() {
    if (!m_relay->isRunning() || !m_server) return;
    if (m_server->isActive()) {
        if (m_feed == Feed::Server) return;
        closeOwn();
        m_relay->newStream();
        IcecastRelay* relay = m_relay;
        m_server->setChunkTap([relay](const QByteArray& mp3) { relay->send(mp3); });
        m_feed = Feed::Server;
        return;
    }
    m_server->setChunkTap({});
    if (m_feed == Feed::Own) return;
    m_feed = Feed::None;
    m_relay->newStream();
    if (openOwn()) {
        m_feed = Feed::Own;
    } else {
        emit stateChanged(m_relay->state(), QString(),
                          QStringLiteral("RELAY: No audio: the encoder or the capture device "
                                         "could not be opened."));
    }
}

bool RelayOutput::openOwn() {
    if (m_encoderLibrary.isEmpty() || m_lame.load(m_encoderLibrary) != LameBinding::Ok)
        return false;
    if (!m_encoder.open(m_lame, m_config.SampleRate, m_config.BitRate, m_config.Quality,
                        m_config.VBRMethod, m_config.PrivateFlag))
        return false;
    if (!m_capture->open(m_config.Device, m_config.SampleRate, m_encoder.chunkBytes())) {
        closeOwn();
        return false;
    }
    return true;
}

void RelayOutput::closeOwn() {
    m_capture->close();
    m_encoder.close();
    if (m_feed == Feed::Own) m_feed = Feed::None;
}

void RelayOutput::onPcm(const QByteArray& pcm) {
    if (m_feed != Feed::Own || !m_encoder.isOpen()) return;
    const QByteArray mp3 = m_encoder.encode(pcm);
    if (!mp3.isEmpty()) m_relay->send(QByteArray(mp3.constData(), mp3.size()));
}
