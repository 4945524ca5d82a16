#pragma once

#include <QString>

#include <memory>

struct mpv_handle;

// The player's media device over libmpv, with the operations the player uses: open,
// close, play, stop, pause toggle, seek, the millisecond time format, and the status
// queries length, position and mode.
class MediaDevice {
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

    MediaDevice();
    explicit MediaDevice(const Options& options);
    ~MediaDevice();
    MediaDevice(const MediaDevice&) = delete;
    MediaDevice& operator=(const MediaDevice&) = delete;

    bool isValid() const { return mpv_ != nullptr; }

    // Loads the file paused at its start; false when it cannot be played.
    bool open(const QString& fileName);
    void close();
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
    int volume() const;
    void setVolume(int percent);

private:
    void drainEvents() const;
    bool flag(const char* name) const;
    double number(const char* name, bool* ok = nullptr) const;

    mpv_handle* mpv_ = nullptr;
    Options options_;
    QString file_;
    QString error_;
    bool loaded_ = false;
    bool stopped_ = true;
    bool msFormat_ = false;
};
