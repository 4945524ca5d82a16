#include "media_device.h"

#include <QElapsedTimer>
#include <QFile>

#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <cmath>

MediaDevice::MediaDevice() : MediaDevice(Options{}) {}

MediaDevice::MediaDevice(const Options& options) : options_(options) {
    // libmpv refuses to start unless LC_NUMERIC is "C".
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (!mpv_) return;
    auto set = [this](const char* name, const QString& value) {
        mpv_set_option_string(mpv_, name, value.toUtf8().constData());
    };
    set("config", QStringLiteral("no"));
    set("terminal", QStringLiteral("no"));
    set("idle", QStringLiteral("yes"));
    set("keep-open", QStringLiteral("yes"));
    set("input-default-bindings", QStringLiteral("no"));
    set("audio-display", QStringLiteral("no"));
    set("force-window", QStringLiteral("no"));
    set("ytdl", QStringLiteral("no"));
    set("load-scripts", QStringLiteral("no"));
    set("pause", QStringLiteral("yes"));
    // Without a sound device the title still plays (silently) instead of ending at once.
    set("audio-fallback-to-null", QStringLiteral("yes"));
    if (!options_.audioOutput.isEmpty()) set("ao", options_.audioOutput);
    if (!options_.videoOutput.isEmpty()) set("vo", options_.videoOutput);
    if (mpv_initialize(mpv_) < 0) {
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
    }
}

MediaDevice::~MediaDevice() {
    if (mpv_) mpv_terminate_destroy(mpv_);
}

void MediaDevice::drainEvents() const {
    if (!mpv_) return;
    while (mpv_wait_event(mpv_, 0)->event_id != MPV_EVENT_NONE) {
    }
}

bool MediaDevice::flag(const char* name) const {
    int value = 0;
    if (!mpv_ || mpv_get_property(mpv_, name, MPV_FORMAT_FLAG, &value) < 0) return false;
    return value != 0;
}

double MediaDevice::number(const char* name, bool* ok) const {
    double value = 0;
    const bool good = mpv_ && mpv_get_property(mpv_, name, MPV_FORMAT_DOUBLE, &value) >= 0;
    if (ok) *ok = good;
    return good ? value : 0.0;
}

bool MediaDevice::open(const QString& fileName) {
    error_.clear();
    if (!mpv_) {
        error_ = QStringLiteral("libmpv could not be started");
        return false;
    }
    close();
    drainEvents();
    int yes = 1;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &yes);
    const QByteArray path = QFile::encodeName(fileName);
    const char* cmd[] = {"loadfile", path.constData(), "replace", nullptr};
    if (mpv_command(mpv_, cmd) < 0) {
        error_ = QStringLiteral("loadfile failed");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < options_.openTimeoutMs) {
        const double wait = std::max<qint64>(1, options_.openTimeoutMs - clock.elapsed()) / 1000.0;
        mpv_event* event = mpv_wait_event(mpv_, wait);
        if (event->event_id == MPV_EVENT_FILE_LOADED) {
            loaded_ = true;
            stopped_ = true;
            file_ = fileName;
            return true;
        }
        if (event->event_id == MPV_EVENT_END_FILE) {
            const auto* end = static_cast<mpv_event_end_file*>(event->data);
            if (end && end->reason == MPV_END_FILE_REASON_ERROR) {
                error_ = QString::fromUtf8(mpv_error_string(end->error));
                return false;
            }
        }
    }
    error_ = QStringLiteral("timed out");
    const char* stopCmd[] = {"stop", nullptr};
    mpv_command(mpv_, stopCmd);
    return false;
}

void MediaDevice::close() {
    if (!mpv_ || !loaded_) return;
    const char* cmd[] = {"stop", nullptr};
    mpv_command(mpv_, cmd);
    loaded_ = false;
    stopped_ = true;
    file_.clear();
    drainEvents();
}

void MediaDevice::play() {
    if (!loaded_) return;
    stopped_ = false;
    int no = 0;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &no);
}

void MediaDevice::stop() {
    if (!loaded_) return;
    int yes = 1;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &yes);
    stopped_ = true;
}

void MediaDevice::pauseToggle() {
    const Mode now = mode();
    int pause = now == Playing ? 1 : 0;
    if (now != Playing && now != Paused) return;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &pause);
}

void MediaDevice::seek(qint64 ms) {
    if (!loaded_) return;
    const QByteArray to = QByteArray::number(double(std::max<qint64>(0, ms)) / 1000.0, 'f', 3);
    const char* cmd[] = {"seek", to.constData(), "absolute+exact", nullptr};
    mpv_command(mpv_, cmd);
    // A seek leaves the device stopped until the next play.
    int yes = 1;
    mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &yes);
    stopped_ = true;
}

qint64 MediaDevice::length() const {
    if (!loaded_) return 0;
    drainEvents();
    bool ok = false;
    const double seconds = number("duration", &ok);
    return ok ? qint64(std::llround(seconds * 1000.0)) : 0;
}

qint64 MediaDevice::position() const {
    if (!loaded_) return 0;
    drainEvents();
    bool ok = false;
    const double seconds = number("time-pos", &ok);
    return ok ? std::max<qint64>(0, qint64(std::llround(seconds * 1000.0))) : 0;
}

MediaDevice::Mode MediaDevice::mode() const {
    if (!loaded_) return NotReady;
    drainEvents();
    if (stopped_ || flag("eof-reached")) return Stopped;
    // mpv seeks briefly at every start and seek; the player counts that as playing.
    return flag("pause") ? Paused : Playing;
}

int MediaDevice::volume() const {
    return int(std::lround(number("volume")));
}

void MediaDevice::setVolume(int percent) {
    if (!mpv_) return;
    double value = std::clamp(percent, 0, 100);
    mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &value);
}
