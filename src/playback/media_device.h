#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>

struct mpv_handle;
struct mpv_event;

// The player's media device over libmpv, with the operations the player uses: open,
// close, play, stop, pause toggle, seek, the millisecond time format, and the status
// queries length, position and mode.
//
// libmpv is driven without waiting: requests go out asynchronously, one after the other,
// and its events (woken through the wakeup callback) arrive on this object's thread.
// The status queries answer from the values libmpv last reported.
class MediaDevice : public QObject {
    Q_OBJECT
public:
    enum Mode {
        NotReady = 0,
        Stopped = 1,
        Playing = 2,
        Recording = 3,
        Seeking = 4,
        Paused = 5,
        Open = 6
    };

    struct Options {
        QString audioOutput; // empty: mpv's default ("null" in tests)
        QString videoOutput; // empty: mpv's default ("null" in tests)
        int openTimeoutMs = 10000;
    };

    explicit MediaDevice(QObject* parent = nullptr);
    explicit MediaDevice(const Options& options, QObject* parent = nullptr);
    ~MediaDevice() override;

    // Starts libmpv (see start()): false when it cannot.
    bool isValid() { return start(); }

    // Starts loading the file, paused at its start. The answer comes with opened or
    // openFailed; false when the request could not even be made (then lastError says why).
    // A newer open or a close supersedes a pending one, which then reports nothing.
    bool open(const QString& fileName);
    bool isOpening() const { return opening_; }
    // Unloads the file; libmpv lets go of it shortly after (released).
    void close();
    // Whether libmpv may still hold a file open.
    bool holdsFile() const {
        return loaded_ || opening_ || held_ > 0 || requestOut_ || !requests_.empty();
    }
    // Handles libmpv's events until it holds no file, at most `timeoutMs`. For closing,
    // where the files are removed right after.
    bool waitReleased(int timeoutMs);
    // For a device on a worker thread: waits until a pending open has its answer
    // (opened or openFailed emitted); true when the file is open.
    bool waitOpened(int timeoutMs);

    void play();
    void stop();
    // Pauses when playing, resumes when paused.
    void pauseToggle();
    void seek(qint64 ms);
    // Only milliseconds are used; kept so that callers set it as they always did.
    void setTimeFormatMilliseconds() { msFormat_ = true; }

    qint64 length() const;
    qint64 position() const;
    Mode mode() const;

    QString fileName() const { return file_; }
    QString lastError() const { return error_; }

    // 0..100 on the mpv volume.
    int volume() const { return volume_; }
    void setVolume(int percent);

signals:
    // The file of the last open is loaded and paused at its start; length() is known.
    void opened();
    // The last open failed; `error` says why, in German.
    void openFailed(const QString& error);
    // libmpv holds no file any more.
    void released();

private slots:
    void onWakeup();

private:
    static void wakeupCallback(void* data);
    struct Request {
        std::function<int(quint64 tag)> send;
        quint64 tag = 0;
    };
    void enqueue(std::function<int(quint64 tag)> send, quint64 tag = 0);
    void sendNext();
    void processEvents();
    void handle(const mpv_event& event);
    void requestLength();
    void loadFinished(bool ok, const QString& error);
    void setPause(bool on);
    void freeze();
    void openTimedOut();
    static QString errorText(int code);

    // libmpv is started when a file is first opened, not with the device: most starts of
    // the program play nothing.
    bool start();
    mpv_handle* mpv_ = nullptr;
    bool startFailed_ = false;
    Options options_;
    QString file_;
    QString error_;
    bool loaded_ = false;
    bool stopped_ = true;
    bool paused_ = true;
    bool msFormat_ = false;
    QString pendingFile_;

    // Requests in order; the next one goes out when the previous one answered.
    std::deque<Request> requests_;
    bool requestOut_ = false;
    std::atomic_bool wakeupPosted_{false};

    // The open in progress: its number, the playlist entry libmpv gave it (0 unknown).
    bool opening_ = false;
    quint64 openSerial_ = 0;
    qint64 openEntry_ = 0;
    qint64 startedEntry_ = 0; // the entry libmpv started last
    qint64 loadedEntry_ = 0;  // the entry whose file loaded last
    qint64 fileEntry_ = 0;    // the entry of the loaded file
    qint64 failedEntry_ = 0;  // the entry that failed last, and why
    int failedCode_ = 0;
    bool awaitingLength_ = false;
    QTimer openTimer_;

    int held_ = 0; // files started and not yet ended

    // Values as libmpv reported them.
    double duration_ = 0;
    bool haveDuration_ = false;
    double timePos_ = 0;
    bool eof_ = false;
    int volume_ = 100;
    // Paused or stopped by us: the position held from that moment until the next play.
    bool frozen_ = false;
    qint64 frozenPos_ = 0;
    // A seek in progress: the position it goes to, until playback restarts.
    bool seeking_ = false;
    qint64 seekTarget_ = 0;
};
