#pragma once

#include "icecast_relay.h"
#include "lame_binding.h"
#include "mp3_encoder.h"
#include "streaming_server.h"

#include <QObject>
#include <QPointer>

// The relay with its audio: while the built-in server streams, the relay takes the
// server's encoded stream; while it does not, the relay output captures and encodes on its
// own (same device, rates and encoder library) and feeds only the relay. It follows the
// server's starts and stops by itself.
class RelayOutput : public QObject {
    Q_OBJECT
public:
    enum class Feed { None, Server, Own };

    explicit RelayOutput(WStreamingServer& server, QObject* parent = nullptr);
    ~RelayOutput() override;

    IcecastRelay& relay() { return *m_relay; }

    // Starts (or restarts) the relay. config and encoderLibrary describe the audio when
    // the server is off; the station name and bit rate come from config.
    void start(RelaySettings settings, const StreamConfig& config, const QString& encoderLibrary);
    void stop();
    bool isRunning() const { return m_relay->isRunning(); }
    void setTitle(const QString& title) { m_relay->setTitle(title); }

    Feed feed() const { return m_feed; }
    // Capture backend of the own feed; the output takes ownership. PulseCapture unless
    // replaced.
    void setCaptureSource(CaptureSource* source);

signals:
    // The relay's state (status-bar text, log line), and a failure of the own feed.
    void stateChanged(IcecastRelay::State state, const QString& text, const QString& logLine);

private:
    void rewire();
    bool openOwn();
    void closeOwn();
    void onPcm(const QByteArray& pcm);

    QPointer<WStreamingServer> m_server; // may go first when both are children of one owner
    IcecastRelay* m_relay;
    CaptureSource* m_capture = nullptr;
    StreamConfig m_config;
    QString m_encoderLibrary;
    Feed m_feed = Feed::None;
    bool m_rewirePending = false;

    LameBinding m_lame;
    Mp3Encoder m_encoder;
};
