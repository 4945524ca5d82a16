#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

// Where the relay sends the stream: an Icecast mount, as a source client.
struct RelaySettings {
    bool Enabled = false;
    QString Host = QStringLiteral("localhost");
    int Port = 8000;
    QString Mount = QStringLiteral("/vorlune.mp3");
    QString User = QStringLiteral("source");
    QString Password;
    bool TLS = false;
    QString StationName; // sent as the stream's name
    int BitRate = 128;   // announced to the server
    bool operator==(const RelaySettings&) const = default;
};

// Sends the encoded MP3 stream to an Icecast server through libshout, with the title as
// Icecast metadata on every change. A thread of its own does the talking; audio waits in a
// bounded queue (a few seconds; the oldest goes when it is full). When the server cannot be
// reached, does not answer within the connect time-out, stops taking audio or goes away,
// the relay tries again after 1, 2, 4 ... 30 s.
class IcecastRelay : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Connected, Waiting };
    static constexpr int QueueSeconds = 5;
    static constexpr int MaxBackoffSeconds = 30;
    static constexpr int ConnectTimeoutMs = 10000;

    explicit IcecastRelay(QObject* parent = nullptr);
    ~IcecastRelay() override;

    void start(const RelaySettings& settings);
    void stop();
    bool isRunning() const { return m_shared != nullptr; }
    const RelaySettings& settings() const { return m_settings; }
    // How long a connect (TCP, TLS and the server's answer) may take; from the next start.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }

    // One piece of the encoded stream. Pieces need not end on a frame: only whole frames are
    // queued, the rest waits for the next piece.
    void send(const QByteArray& mp3);
    // The next piece begins another encoder's stream: an unfinished frame of the last one
    // is dropped, so that the mount never sees a cut frame.
    void newStream() { m_carry.clear(); }
    // Kept across start() and stop(); sent at every connect and on every change.
    void setTitle(const QString& title);
    QString title() const { return m_title; }

    State state() const { return m_state; }
    QString statusText() const { return m_status; }
    int connections() const { return m_connections; } // successful connects so far

    struct Shared; // what the relay's thread and the object share

signals:
    // The state changed; text is the status-bar text, logLine the line for the log.
    void stateChanged(IcecastRelay::State state, const QString& text, const QString& logLine);

private:
    friend struct Shared;
    void onWorker(State state, int retrySeconds, const QString& error);

    RelaySettings m_settings;
    QString m_title;
    QByteArray m_carry; // the start of a frame whose end has not come yet
    std::shared_ptr<Shared> m_shared;
    State m_state = State::Off;
    QString m_status;
    int m_connections = 0;
    int m_connectTimeoutMs = ConnectTimeoutMs;
};
