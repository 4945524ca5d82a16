#include "media_device.h"

#include "log_categories.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>

namespace {

// Reply tags: the kind in the top byte, a number below.
enum TagKind : quint64 { QueuedTag = 1, LoadTag = 2, LengthTag = 3 };
constexpr int kKindShift = 56;
constexpr quint64 kNumberMask = (quint64(1) << kKindShift) - 1;

quint64 tag(TagKind kind, quint64 number) {
    return (quint64(kind) << kKindShift) | (number & kNumberMask);
}
TagKind kindOf(quint64 t) {
    return TagKind(t >> kKindShift);
}
quint64 numberOf(quint64 t) {
    return t & kNumberMask;
}

// Observed properties, by their reply tag.
enum Observed : quint64 { DurationProp = 1, TimePosProp, EofProp, VolumeProp };

} // namespace

MediaDevice::MediaDevice(QObject* parent) : MediaDevice(Options{}, parent) {}

MediaDevice::MediaDevice(const Options& options, QObject* parent)
    : QObject(parent), options_(options) {
    openTimer_.setSingleShot(true);
    connect(&openTimer_, &QTimer::timeout, this, &MediaDevice::openTimedOut);
}

bool MediaDevice::start() {
    if (mpv_) return true;
    if (startFailed_) return false;
    startFailed_ = true;
    // libmpv refuses to start unless LC_NUMERIC is "C".
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (!mpv_) return false;
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
    set("volume", QString::number(volume_)); // as set before the start
    if (mpv_initialize(mpv_) < 0) {
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        return false;
    }
    mpv_observe_property(mpv_, DurationProp, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, TimePosProp, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, EofProp, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, VolumeProp, "volume", MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(mpv_, &MediaDevice::wakeupCallback, this);
    startFailed_ = false;
    return true;
}

MediaDevice::~MediaDevice() {
    if (!mpv_) return;
    // No callback runs once this returns.
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    mpv_terminate_destroy(mpv_);
}

void MediaDevice::wakeupCallback(void* data) {
    // Called on one of libmpv's threads: hand over to the device's own thread, once.
    auto* device = static_cast<MediaDevice*>(data);
    if (!device->wakeupPosted_.exchange(true))
        QMetaObject::invokeMethod(device, &MediaDevice::onWakeup, Qt::QueuedConnection);
}

void MediaDevice::onWakeup() {
    wakeupPosted_ = false;
    processEvents();
}

void MediaDevice::enqueue(std::function<int(quint64)> send, quint64 replyTag) {
    requests_.push_back({std::move(send), replyTag ? replyTag : tag(QueuedTag, 0)});
    sendNext();
}

void MediaDevice::sendNext() {
    while (!requestOut_ && !requests_.empty()) {
        Request request = std::move(requests_.front());
        requests_.pop_front();
        const int rc = request.send(request.tag);
        if (rc >= 0) {
            requestOut_ = true;
        } else if (kindOf(request.tag) == LoadTag && numberOf(request.tag) == openSerial_ &&
                   opening_) {
            loadFinished(false, errorText(rc));
        }
    }
}

void MediaDevice::processEvents() {
    if (!mpv_) return;
    const bool heldBefore = holdsFile();
    for (;;) {
        mpv_event* event = mpv_wait_event(mpv_, 0);
        if (event->event_id == MPV_EVENT_NONE) break;
        handle(*event);
    }
    if (heldBefore && !holdsFile()) emit released();
}

bool MediaDevice::waitReleased(int timeoutMs) {
    if (!mpv_) return true;
    QElapsedTimer clock;
    clock.start();
    while (holdsFile() && clock.elapsed() < timeoutMs) {
        const double wait = std::max<qint64>(1, timeoutMs - clock.elapsed()) / 1000.0;
        mpv_event* event = mpv_wait_event(mpv_, wait);
        if (event->event_id != MPV_EVENT_NONE) handle(*event);
    }
    processEvents();
    return !holdsFile();
}

bool MediaDevice::waitOpened(int timeoutMs) {
    if (!mpv_) return false;
    QElapsedTimer clock;
    clock.start();
    while (opening_ && clock.elapsed() < timeoutMs) {
        const double wait = std::max<qint64>(1, timeoutMs - clock.elapsed()) / 1000.0;
        mpv_event* event = mpv_wait_event(mpv_, wait);
        if (event->event_id != MPV_EVENT_NONE) handle(*event);
    }
    if (opening_) openTimedOut();
    return loaded_;
}

void MediaDevice::handle(const mpv_event& event) {
    switch (event.event_id) {
    case MPV_EVENT_COMMAND_REPLY:
    case MPV_EVENT_SET_PROPERTY_REPLY:
    case MPV_EVENT_GET_PROPERTY_REPLY: {
        const quint64 t = event.reply_userdata;
        const TagKind kind = kindOf(t);
        if (kind == LengthTag) {
            if (numberOf(t) != openSerial_ || !awaitingLength_) return;
            awaitingLength_ = false;
            const auto* prop = static_cast<const mpv_event_property*>(event.data);
            if (event.error >= 0 && prop && prop->format == MPV_FORMAT_DOUBLE && prop->data) {
                duration_ = *static_cast<double*>(prop->data);
                haveDuration_ = true;
            }
            loadFinished(true, QString());
            return;
        }
        if (kind != QueuedTag && kind != LoadTag) return;
        requestOut_ = false;
        if (kind == LoadTag && numberOf(t) == openSerial_ && opening_) {
            if (event.error < 0) {
                loadFinished(false, errorText(event.error));
            } else {
                const auto* reply = static_cast<const mpv_event_command*>(event.data);
                if (reply && reply->result.format == MPV_FORMAT_NODE_MAP) {
                    const mpv_node_list* map = reply->result.u.list;
                    for (int i = 0; i < map->num; ++i)
                        if (std::strcmp(map->keys[i], "playlist_entry_id") == 0 &&
                            map->values[i].format == MPV_FORMAT_INT64)
                            openEntry_ = map->values[i].u.int64;
                }
                if (openEntry_ == 0) openEntry_ = -1; // the next file that starts
                if (openEntry_ > 0 && failedEntry_ == openEntry_) {
                    loadFinished(false, errorText(failedCode_));
                } else if (openEntry_ > 0 && loadedEntry_ == openEntry_) {
                    requestLength();
                }
            }
        }
        sendNext();
        return;
    }
    case MPV_EVENT_START_FILE: {
        ++held_;
        const auto* start = static_cast<const mpv_event_start_file*>(event.data);
        startedEntry_ = start ? start->playlist_entry_id : startedEntry_ + 1;
        if (opening_ && openEntry_ == -1) openEntry_ = startedEntry_;
        return;
    }
    case MPV_EVENT_FILE_LOADED:
        loadedEntry_ = startedEntry_;
        if (opening_ && openEntry_ > 0 && loadedEntry_ == openEntry_) requestLength();
        return;
    case MPV_EVENT_END_FILE: {
        held_ = std::max(0, held_ - 1);
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (!end) return;
        if (end->reason == MPV_END_FILE_REASON_ERROR) {
            failedEntry_ = end->playlist_entry_id;
            failedCode_ = end->error;
        }
        if (opening_ && openEntry_ > 0 && end->playlist_entry_id == openEntry_) {
            loadFinished(false, errorText(end->reason == MPV_END_FILE_REASON_ERROR
                                              ? end->error
                                              : MPV_ERROR_LOADING_FAILED));
        } else if (loaded_ && end->playlist_entry_id == fileEntry_) {
            // The loaded file went away under the player (read error): it has ended.
            eof_ = true;
        }
        return;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        seeking_ = false;
        return;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* prop = static_cast<const mpv_event_property*>(event.data);
        if (!prop) return;
        const bool isDouble = prop->format == MPV_FORMAT_DOUBLE && prop->data;
        const bool isFlag = prop->format == MPV_FORMAT_FLAG && prop->data;
        switch (event.reply_userdata) {
        case DurationProp:
            if (loaded_ && isDouble) {
                duration_ = *static_cast<double*>(prop->data);
                haveDuration_ = true;
            }
            break;
        case TimePosProp:
            if (loaded_ && isDouble) timePos_ = *static_cast<double*>(prop->data);
            break;
        case EofProp:
            if (loaded_) eof_ = isFlag && *static_cast<int*>(prop->data) != 0;
            break;
        case VolumeProp:
            if (isDouble) volume_ = int(std::lround(*static_cast<double*>(prop->data)));
            break;
        default:
            break;
        }
        return;
    }
    default:
        return;
    }
}

void MediaDevice::requestLength() {
    if (awaitingLength_) return;
    awaitingLength_ = true;
    if (mpv_get_property_async(mpv_, tag(LengthTag, openSerial_), "duration", MPV_FORMAT_DOUBLE) <
        0) {
        awaitingLength_ = false;
        loadFinished(true, QString());
    }
}

void MediaDevice::loadFinished(bool ok, const QString& error) {
    if (!opening_) return;
    opening_ = false;
    awaitingLength_ = false;
    openTimer_.stop();
    if (ok) {
        loaded_ = true;
        stopped_ = true;
        paused_ = true;
        eof_ = false;
        seeking_ = false;
        frozen_ = false;
        timePos_ = 0;
        fileEntry_ = openEntry_;
        file_ = pendingFile_;
        emit opened();
        return;
    }
    error_ = error;
    file_.clear();
    // Let go of whatever was started for it.
    enqueue([this](quint64 t) {
        const char* cmd[] = {"stop", nullptr};
        return mpv_command_async(mpv_, t, cmd);
    });
    qCWarning(lcPlayback) << "cannot open" << pendingFile_ << ":" << error;
    emit openFailed(error);
}

void MediaDevice::openTimedOut() {
    if (opening_) loadFinished(false, QStringLiteral("Zeitüberschreitung beim Öffnen"));
}

QString MediaDevice::errorText(int code) {
    switch (code) {
    case MPV_ERROR_LOADING_FAILED:
        return QStringLiteral("Die Datei konnte nicht geladen werden");
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("Unbekanntes Dateiformat");
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("Keine abspielbare Audio- oder Videospur");
    case MPV_ERROR_AO_INIT_FAILED:
        return QStringLiteral("Die Audioausgabe konnte nicht geöffnet werden");
    case MPV_ERROR_VO_INIT_FAILED:
        return QStringLiteral("Die Videoausgabe konnte nicht geöffnet werden");
    default:
        return QString::fromUtf8(mpv_error_string(code));
    }
}

bool MediaDevice::open(const QString& fileName) {
    error_.clear();
    if (!start()) {
        error_ = QStringLiteral("Die Wiedergabe (libmpv) konnte nicht gestartet werden");
        return false;
    }
    // A file still loaded or loading is replaced by this one.
    loaded_ = false;
    stopped_ = true;
    paused_ = true;
    file_.clear();
    ++openSerial_;
    opening_ = true;
    openEntry_ = 0;
    awaitingLength_ = false;
    haveDuration_ = false;
    duration_ = 0;
    timePos_ = 0;
    eof_ = false;
    seeking_ = false;
    pendingFile_ = fileName;
    openTimer_.start(options_.openTimeoutMs);
    setPause(true);
    const QByteArray path = QFile::encodeName(fileName);
    enqueue(
        [this, path](quint64 t) {
            const char* cmd[] = {"loadfile", path.constData(), "replace", nullptr};
            return mpv_command_async(mpv_, t, cmd);
        },
        tag(LoadTag, openSerial_));
    return true;
}

void MediaDevice::close() {
    if (!mpv_ || (!loaded_ && !opening_)) return;
    ++openSerial_; // a pending open reports nothing any more
    opening_ = false;
    awaitingLength_ = false;
    openTimer_.stop();
    loaded_ = false;
    stopped_ = true;
    file_.clear();
    enqueue([this](quint64 t) {
        const char* cmd[] = {"stop", nullptr};
        return mpv_command_async(mpv_, t, cmd);
    });
}

void MediaDevice::setPause(bool on) {
    enqueue([this, on](quint64 t) {
        int value = on ? 1 : 0;
        return mpv_set_property_async(mpv_, t, "pause", MPV_FORMAT_FLAG, &value);
    });
}

void MediaDevice::play() {
    if (!loaded_) return;
    stopped_ = false;
    paused_ = false;
    frozen_ = false;
    setPause(false);
}

void MediaDevice::stop() {
    if (!loaded_) return;
    freeze();
    paused_ = true;
    stopped_ = true;
    setPause(true);
}

void MediaDevice::pauseToggle() {
    const Mode now = mode();
    if (now != Playing && now != Paused) return;
    paused_ = now == Playing;
    if (paused_)
        freeze();
    else
        frozen_ = false;
    setPause(paused_);
}

void MediaDevice::seek(qint64 ms) {
    if (!loaded_) return;
    const qint64 to = std::max<qint64>(0, ms);
    const QByteArray seconds = QByteArray::number(double(to) / 1000.0, 'f', 3);
    enqueue([this, seconds](quint64 t) {
        const char* cmd[] = {"seek", seconds.constData(), "absolute+exact", nullptr};
        return mpv_command_async(mpv_, t, cmd);
    });
    seeking_ = true;
    seekTarget_ = to;
    frozen_ = true;
    frozenPos_ = to;
    timePos_ = double(to) / 1000.0;
    eof_ = false;
    // A seek leaves the device stopped until the next play.
    paused_ = true;
    stopped_ = true;
    setPause(true);
}

qint64 MediaDevice::length() const {
    if (!loaded_ || !haveDuration_) return 0;
    return qint64(std::llround(duration_ * 1000.0));
}

void MediaDevice::freeze() {
    // libmpv plays on until the pause reaches it; what the player saw last stays.
    if (!frozen_) frozenPos_ = position();
    frozen_ = true;
}

qint64 MediaDevice::position() const {
    if (!loaded_) return 0;
    if (seeking_) return seekTarget_;
    if (frozen_) return frozenPos_;
    return std::max<qint64>(0, qint64(std::llround(timePos_ * 1000.0)));
}

MediaDevice::Mode MediaDevice::mode() const {
    if (!loaded_) return NotReady;
    if (stopped_ || eof_) return Stopped;
    // mpv seeks briefly at every start and seek; the player counts that as playing.
    return paused_ ? Paused : Playing;
}

void MediaDevice::setVolume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
    if (!mpv_) return; // taken at the start
    const double value = volume_;
    enqueue([this, value](quint64 t) {
        double v = value;
        return mpv_set_property_async(mpv_, t, "volume", MPV_FORMAT_DOUBLE, &v);
    });
}
