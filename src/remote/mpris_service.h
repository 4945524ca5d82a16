#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// The player as MPRIS clients see it.
struct MprisState {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    bool repeat = false;
    bool shuffle = false;
    QString trackId; // object path of the current title; empty: none
    qint64 lengthUs = 0;
    QString title;
    QString artist;
    QString album;
    QString url;
    double volume = 1.0;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    bool operator==(const MprisState&) const = default;
};

// What MPRIS methods and writable properties do. Each goes through the program's own
// command for it, with that command's enabled rule.
class MprisBackend {
public:
    virtual ~MprisBackend() = default;
    virtual MprisState state() const = 0;
    virtual qint64 positionUs() const = 0;
    virtual void raise() = 0;
    virtual void quit() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void playPause() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    virtual void seekTo(qint64 positionUs) = 0;
    virtual void setRepeat(bool on) = 0;
    virtual void setShuffle(bool on) = 0;
    virtual void setVolume(double volume) = 0;
};

class MprisService;

// org.mpris.MediaPlayer2
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService* service);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Vorlune"); }
    QString desktopEntry() const { return QStringLiteral("vorlune"); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    explicit MprisPlayerAdaptor(MprisService* service);

    QString playbackStatus() const;
    QString loopStatus() const;
    void setLoopStatus(const QString& status);
    double rate() const { return 1.0; }
    void setRate(double) {}
    bool shuffle() const;
    void setShuffle(bool on);
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool canGoNext() const;
    bool canGoPrevious() const;
    bool canPlay() const;
    bool canPause() const;
    bool canSeek() const;
    bool canControl() const { return true; }

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong position);

private:
    MprisService* service_;
};

// The MPRIS service "org.mpris.MediaPlayer2.vorlune" at "/org/mpris/MediaPlayer2".
// update() announces the properties that changed since the last call; the backend's
// methods run from the event loop after the client's call was answered.
class MprisService : public QObject {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.mpris.MediaPlayer2.vorlune"); }
    static QString objectPath() { return QStringLiteral("/org/mpris/MediaPlayer2"); }
    static QString noTrack() { return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"); }

    MprisService(MprisBackend* backend, const QDBusConnection& bus = QDBusConnection::sessionBus(),
                 QObject* parent = nullptr);
    ~MprisService() override;

    bool isRegistered() const { return registered_; }

    // The backend's state may have changed: sends PropertiesChanged for what did.
    void update();
    // The position jumped (a seek): sends Seeked.
    void seeked(qint64 positionUs);

    static QString statusText(MprisState::Status status);
    static QVariantMap metadataOf(const MprisState& state);

private:
    friend class MprisRootAdaptor;
    friend class MprisPlayerAdaptor;
    MprisState state() const { return backend_->state(); }
    // Runs `action` on the backend once the current call is answered.
    void later(std::function<void(MprisBackend&)> action);

    MprisBackend* backend_;
    QDBusConnection bus_;
    MprisPlayerAdaptor* player_ = nullptr;
    MprisState published_;
    bool registered_ = false;
    bool objectRegistered_ = false;
};
