#include "mpris_service.h"

#include "remote_log.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QPointer>

#include <algorithm>
#include <utility>

// --- root

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void MprisRootAdaptor::Raise() {
    service_->later([](MprisBackend& b) { b.raise(); });
}

void MprisRootAdaptor::Quit() {
    service_->later([](MprisBackend& b) { b.quit(); });
}

// --- player

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {
    setAutoRelaySignals(false);
}

QString MprisPlayerAdaptor::playbackStatus() const {
    return MprisService::statusText(service_->state().status);
}

QString MprisPlayerAdaptor::loopStatus() const {
    return service_->state().repeat ? QStringLiteral("Playlist") : QStringLiteral("None");
}

void MprisPlayerAdaptor::setLoopStatus(const QString& status) {
    // There is no repeat of one title: "Track" changes nothing.
    if (status == QLatin1String("Playlist"))
        service_->later([](MprisBackend& b) { b.setRepeat(true); });
    else if (status == QLatin1String("None"))
        service_->later([](MprisBackend& b) { b.setRepeat(false); });
}

bool MprisPlayerAdaptor::shuffle() const {
    return service_->state().shuffle;
}

void MprisPlayerAdaptor::setShuffle(bool on) {
    service_->later([on](MprisBackend& b) { b.setShuffle(on); });
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    return MprisService::metadataOf(service_->state());
}

double MprisPlayerAdaptor::volume() const {
    return service_->state().volume;
}

void MprisPlayerAdaptor::setVolume(double volume) {
    volume = std::clamp(volume, 0.0, 1.0);
    service_->later([volume](MprisBackend& b) { b.setVolume(volume); });
}

qlonglong MprisPlayerAdaptor::position() const {
    return service_->backend_->positionUs();
}

bool MprisPlayerAdaptor::canGoNext() const {
    return service_->state().canGoNext;
}
bool MprisPlayerAdaptor::canGoPrevious() const {
    return service_->state().canGoPrevious;
}
bool MprisPlayerAdaptor::canPlay() const {
    return service_->state().canPlay;
}
bool MprisPlayerAdaptor::canPause() const {
    return service_->state().canPause;
}
bool MprisPlayerAdaptor::canSeek() const {
    return service_->state().canSeek;
}

void MprisPlayerAdaptor::Next() {
    service_->later([](MprisBackend& b) { b.next(); });
}
void MprisPlayerAdaptor::Previous() {
    service_->later([](MprisBackend& b) { b.previous(); });
}
void MprisPlayerAdaptor::Pause() {
    service_->later([](MprisBackend& b) { b.pause(); });
}
void MprisPlayerAdaptor::PlayPause() {
    service_->later([](MprisBackend& b) { b.playPause(); });
}
void MprisPlayerAdaptor::Stop() {
    service_->later([](MprisBackend& b) { b.stop(); });
}
void MprisPlayerAdaptor::Play() {
    service_->later([](MprisBackend& b) { b.play(); });
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
    const MprisState s = service_->state();
    if (!s.canSeek) return;
    const qint64 target = service_->backend_->positionUs() + offset;
    // Past the end counts as the next title; before the start as the start.
    if (s.lengthUs > 0 && target > s.lengthUs) {
        Next();
        return;
    }
    const qint64 clamped = std::max<qint64>(target, 0);
    service_->later([clamped](MprisBackend& b) { b.seekTo(clamped); });
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    const MprisState s = service_->state();
    // A stale track id or a position outside the title is ignored.
    if (!s.canSeek || trackId.path() != s.trackId || position < 0 ||
        (s.lengthUs > 0 && position > s.lengthUs))
        return;
    service_->later([position](MprisBackend& b) { b.seekTo(position); });
}

void MprisPlayerAdaptor::OpenUri(const QString&) {
    // Titles come from the catalogue only.
}

// --- service

MprisService::MprisService(MprisBackend* backend, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), backend_(backend), bus_(bus) {
    new MprisRootAdaptor(this);
    player_ = new MprisPlayerAdaptor(this);
    published_ = backend_->state();
    if (!bus_.isConnected()) return;
    objectRegistered_ = bus_.registerObject(objectPath(), this);
    if (!objectRegistered_) {
        qCInfo(lcRemote) << "cannot publish" << objectPath();
        return;
    }
    QDBusConnectionInterface* daemon = bus_.interface();
    const auto reply =
        daemon ? daemon->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement)
               : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
    registered_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!registered_) {
        qCInfo(lcRemote) << "the name" << serviceName()
                         << "is taken (another instance?); MPRIS is not offered";
        bus_.unregisterObject(objectPath());
        objectRegistered_ = false;
    }
}

MprisService::~MprisService() {
    if (objectRegistered_) bus_.unregisterObject(objectPath());
    if (registered_) bus_.unregisterService(serviceName());
}

QString MprisService::statusText(MprisState::Status status) {
    switch (status) {
    case MprisState::Status::Playing:
        return QStringLiteral("Playing");
    case MprisState::Status::Paused:
        return QStringLiteral("Paused");
    case MprisState::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadataOf(const MprisState& s) {
    QVariantMap m;
    if (s.trackId.isEmpty()) {
        m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(noTrack())));
        return m;
    }
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(s.trackId)));
    if (s.lengthUs > 0) m.insert(QStringLiteral("mpris:length"), qlonglong(s.lengthUs));
    m.insert(QStringLiteral("xesam:title"), s.title);
    m.insert(QStringLiteral("xesam:artist"), QStringList{s.artist});
    if (!s.album.isEmpty()) m.insert(QStringLiteral("xesam:album"), s.album);
    if (!s.url.isEmpty()) m.insert(QStringLiteral("xesam:url"), s.url);
    return m;
}

void MprisService::later(std::function<void(MprisBackend&)> action) {
    QPointer<MprisService> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, action = std::move(action)] {
            if (self) action(*self->backend_);
        },
        Qt::QueuedConnection);
}

void MprisService::update() {
    const MprisState s = backend_->state();
    if (s == published_) return;
    const MprisState old = std::exchange(published_, s);
    if (!registered_) return;
    QVariantMap changed;
    if (s.status != old.status)
        changed.insert(QStringLiteral("PlaybackStatus"), statusText(s.status));
    if (s.repeat != old.repeat)
        changed.insert(QStringLiteral("LoopStatus"),
                       s.repeat ? QStringLiteral("Playlist") : QStringLiteral("None"));
    if (s.shuffle != old.shuffle) changed.insert(QStringLiteral("Shuffle"), s.shuffle);
    if (s.trackId != old.trackId || s.lengthUs != old.lengthUs || s.title != old.title ||
        s.artist != old.artist || s.album != old.album || s.url != old.url)
        changed.insert(QStringLiteral("Metadata"), metadataOf(s));
    if (s.volume != old.volume) changed.insert(QStringLiteral("Volume"), s.volume);
    const std::pair<const char*, bool MprisState::*> flags[] = {
        {"CanGoNext", &MprisState::canGoNext},
        {"CanGoPrevious", &MprisState::canGoPrevious},
        {"CanPlay", &MprisState::canPlay},
        {"CanPause", &MprisState::canPause},
        {"CanSeek", &MprisState::canSeek}};
    for (const auto& [name, field] : flags)
        if (s.*field != old.*field) changed.insert(QLatin1String(name), s.*field);
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_.send(signal);
}

void MprisService::seeked(qint64 positionUs) {
    if (registered_) emit player_->Seeked(positionUs);
}
