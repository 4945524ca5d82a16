#pragma once

#include "capture_source.h"
#include "encoder_config.h"
#include "frame_tracker.h"
#include "lame_binding.h"
#include "mp3_encoder.h"
#include "stream_log.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class StreamEngine;
struct EngineEvent;
struct ListenerStats;

// One accepted listener. Everybody but the server only sees copies.
struct WClientInfo {
    int Index = 0;
    QString RemoteHost;    // reverse lookup of the address; empty while unknown
    QString RemoteAddress; // dotted IPv4, or the IPv6 text for IPv6 peers
    QString UserAgent = QStringLiteral("__NO_USER-AGENT_SENT__");
    QString LastTitle;
    QDateTime ConnectTime;
    bool Streaming = false; // response header sent, audio flows
    bool Metadata = false;  // asked for inline metadata
    quint64 BytesSent = 0;
    qint32 BytesSinceMeta = 0;
};
Q_DECLARE_METATYPE(WClientInfo)

// The values Configure() takes. Device is the capture source's name (empty: default).
struct StreamConfig {
    QString StationID;
    quint16 Port = 8000;
    QString Device;
    int SampleRate = 44100;
    int BitRate = 128;
    int Quality = 3;
    StreamMode VBRMethod = StreamMode::ABR;
    int MaxListeners = 16;
    bool LimitListeners = false;
    bool PrivateFlag = false;
    bool operator==(const StreamConfig&) const = default;
};

// The internet-radio server: captures PCM, encodes it to MP3 and serves it over ICY to
// every listener, with title metadata every 16000 audio bytes. Capture, encoding, the
// listener records, the log and the signals live on the object's thread (the GUI thread);
// the connections themselves are served by a network thread (StreamEngine) from one
// shared ring. What happens there arrives as queued events, in order, and the signals fire
// synchronously while those are handled; handlers may call Stop() or Configure().
class WStreamingServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MetaInterval = 16000;
    static constexpr int MaxMetaText = 255 * 16;
    static constexpr int MaxRequestBytes = 8192;
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr int QueueSeconds = 10; // a listener further behind live is dropped
    static constexpr int RingSeconds = 30;  // the shared ring of encoded audio
    static constexpr int BurstSeconds = 3;  // what a new listener gets at once
    static constexpr int BatchMs = 1000;    // listeners that keep up get a send this often
    static constexpr int MaxPending = 2048; // connections without a complete request
    static QString defaultServerSoftware() { return QStringLiteral("WStreamingServer 1.20"); }

    explicit WStreamingServer(const QString& serverSoftware, QObject* parent = nullptr);
    ~WStreamingServer() override;

    // Title sent in the metadata blocks; written by the player.
    QString StreamTitle;

    void SetServerSoftware(const QString& name);
    QString serverSoftware() const { return m_software; }
    void SetEncoderLibrary(const QString& path);
    QString encoderLibrary() const { return m_encoderLibrary; }
    bool encoderLoaded() const { return m_encoderLoaded; }
    void setLogFile(const QString& path) { m_logFile = path; }
    QString logFile() const { return m_logFile; }
    void SetLogging(bool enabled);
    // Writes one line of another part of the stream (the relay) to the log.
    void logLine(const QString& text) {
        if (!text.isEmpty()) log(text);
    }
    bool logging() const { return m_logging; }

    void Configure(const StreamConfig& config);
    const StreamConfig& config() const { return m_config; }
    bool Start();
    // Why the last Start failed, in the user's words; empty after a successful start.
    QString startError() const { return m_startError; }
    void Stop();
    bool isActive() const { return m_active; }
    int currentBitRate() const { return m_currentBitRate; }
    int samplesPerChunk() const { return m_samplesPerChunk; }
    quint16 listeningPort() const; // the bound port while active (Port 0 picks a free one)

    int ClientCount() const;
    bool GetClientInfo(int index, WClientInfo& info) const;
    void DisconnectClient(int index);
    // Looks the listener's host name up (once per address; the answer is kept). When it
    // arrives, RemoteHost is set and OnClientInfoChange fires.
    void RequestHostName(int index);

    // One capture buffer: encoded when it is full and someone listens.
    void HandleWaveData(const QByteArray& pcm);
    // Hands encoded audio to the listeners (through the shared ring).
    void DeliverChunk(const QByteArray& chunk);
    // The encoded stream as it is produced, for other outputs (the relay).
    void setChunkTap(std::function<void(const QByteArray&)> tap) { m_tap = std::move(tap); }

    // Capture backend; the server takes ownership. PulseCapture unless replaced.
    void setCaptureSource(CaptureSource* source);
    CaptureSource* captureSource() const { return m_capture; }
    // How far (bytes) a listener may fall behind live before it is dropped; 0 = 10 s of audio.
    void setSendQueueLimit(qint64 bytes) { m_queueLimitOverride = bytes; }
    qint64 sendQueueLimit() const;
    // The shared ring's size for the current bit rate.
    qint64 ringBytes() const;

    // The metadata block for a title change (or one zero byte when text is empty).
    static QByteArray metadataBlock(const QByteArray& text);
    // The metadata text, the title cut so that the text fits a block.
    static QByteArray metadataText(const QString& title, const QString& host, quint16 port);
    QByteArray responseHeader(bool metadata) const;
    QByteArray refusalPage() const;

signals:
    void OnStart(WStreamingServer* server);
    void OnStop(WStreamingServer* server);
    void OnServerFull(WStreamingServer* server);
    void OnClientConnect(WStreamingServer* server, const WClientInfo& info);
    void OnClientDisconnect(WStreamingServer* server, const WClientInfo& info);
    void OnClientInfoChange(WStreamingServer* server, const WClientInfo& info);
    // A line could not be written to the log: the text for the user.
    void logFailed(const QString& text);

private:
    struct Listener;
    void drainEvents();
    void handleEvent(EngineEvent& e);
    void removeListener(Listener* l);
    void releaseAll();
    void log(const QString& text);
    void logListener(const Listener* l, const QString& text);
    QString peerLabel(const Listener* l) const;
    void fillFigures(WClientInfo& info, const Listener* l) const;

    QString m_software;
    StreamConfig m_config;
    int m_currentBitRate = 0;
    QString m_encoderLibrary;
    bool m_logging = false;
    bool m_encoderLoaded = false;
    bool m_active = false;
    bool m_stopping = false;
    QString m_startError;
    QString m_logFile;
    StreamLog m_log;
    bool m_logFailing = false;

    LameBinding m_lame;
    Mp3Encoder m_encoder;
    int m_samplesPerChunk = 0; // of the last run
    CaptureSource* m_capture = nullptr;
    std::function<void(const QByteArray&)> m_tap;

    std::unique_ptr<StreamEngine> m_engine;
    quint64 m_run = 0;  // counts streaming runs; events of an ended run are dropped
    quint64 m_head = 0; // audio bytes handed to the engine in this run
    FrameTracker m_frames;
    QString m_sentTitle;
    bool m_titleSent = false;
    QList<Listener*> m_listeners; // list order = Index
    QHash<quint64, Listener*> m_byId;
    QHash<QString, QString> m_hostNames; // reverse lookups by address text
    qint64 m_queueLimitOverride = 0;
    QString m_hostName;
};
