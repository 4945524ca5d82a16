#pragma once

#include "capture_source.h"
#include "encoder_config.h"
#include "lame_binding.h"
#include "stream_log.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>

class QTcpSocket;
class ListenSocket;

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
// every listener, with title metadata every 16000 audio bytes. Runs on the thread it
// lives on (the GUI thread); its signals fire synchronously inside its own steps.
class WStreamingServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MetaInterval = 16000;
    static constexpr int MaxMetaText = 255 * 16;
    static constexpr int MaxRequestBytes = 8192;
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr int QueueSeconds = 10;
    static constexpr int BatchMs = 200;
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
    bool logging() const { return m_logging; }

    void Configure(const StreamConfig& config);
    const StreamConfig& config() const { return m_config; }
    bool Start();
    void Stop();
    bool isActive() const { return m_active; }
    int currentBitRate() const { return m_currentBitRate; }
    int samplesPerChunk() const { return m_samplesPerChunk; }
    quint16 listeningPort() const; // the bound port while active (Port 0 picks a free one)

    int ClientCount() const;
    bool GetClientInfo(int index, WClientInfo& info) const;
    void DisconnectClient(int index);

    // One capture buffer: encoded when it is full and someone listens; the encoded audio
    // goes out in batches of about BatchMs.
    void HandleWaveData(const QByteArray& pcm);
    // Sends encoded audio to every streaming listener.
    void DeliverChunk(const QByteArray& chunk);

    // Capture backend; the server takes ownership. PulseCapture unless replaced.
    void setCaptureSource(CaptureSource* source);
    CaptureSource* captureSource() const { return m_capture; }
    // Bytes a listener may have waiting before it is dropped; 0 = 10 s of audio.
    void setSendQueueLimit(qint64 bytes) { m_queueLimitOverride = bytes; }
    qint64 sendQueueLimit() const;

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

private:
    struct Listener;
    friend class ListenSocket;
    void accept(QTcpSocket* socket);
    void onReadable(quint64 id);
    void onGone(quint64 id);
    void handleRequest(Listener* l);
    void closeListener(Listener* l, const QString& reason);
    void sweepPending();
    void releaseAll();
    void log(const QString& text);
    void logListener(const Listener* l, const QString& text);
    QString peerLabel(const Listener* l) const;
    int indexOf(const Listener* l) const;

    QString m_software;
    StreamConfig m_config;
    int m_currentBitRate = 0;
    QString m_encoderLibrary;
    bool m_logging = false;
    bool m_encoderLoaded = false;
    bool m_active = false;
    QString m_logFile;
    StreamLog m_log;

    LameBinding m_lame;
    LameBinding::Stream m_stream = nullptr;
    int m_samplesPerChunk = 0;
    QByteArray m_outBuffer;
    QByteArray m_batch; // encoded audio not yet delivered
    int m_batchChunks = 0;
    int m_chunksPerBatch = 1;
    CaptureSource* m_capture = nullptr;

    ListenSocket* m_server = nullptr;
    QList<Listener*> m_listeners; // list order = Index
    QHash<quint64, Listener*> m_byId;
    QList<Listener*> m_pending; // request not complete yet, or refused and closing
    quint64 m_nextId = 1;
    QTimer m_sweep;
    qint64 m_queueLimitOverride = 0;
    QString m_hostName;
};
