#include "remote_integration.h"

#include "app_settings.h"
#include "commands.h"
#include "player.h"
#include "streaming_server.h"
#include "title_line.h"

#include <QCoreApplication>
#include <QUrl>

#include <cmath>
#include <utility>

using remote::Topic;

namespace {

constexpr auto kDBus = commandcatalogue::DBus;
constexpr auto kMpris = commandcatalogue::Mpris;

QString yesNo(bool on) {
    return on ? QStringLiteral("yes") : QStringLiteral("no");
}

QString vbrModeText(StreamMode mode) {
    switch (mode) {
    case StreamMode::CBR:
        return QStringLiteral("CBR");
    case StreamMode::ABR:
        return QStringLiteral("VBR-ABR");
    case StreamMode::VBR:
        return QStringLiteral("VBR");
    case StreamMode::R3Mix:
        return QStringLiteral("R3MIX");
    }
    return {};
}

// The folder that holds a title: the last folder of its line, else the medium label.
QString folderOf(const QString& line) {
    const int colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0) return {};
    const QStringList parts = line.mid(colon + 1).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts.at(parts.size() - 2) : line.left(colon);
}

} // namespace

RemoteIntegration::RemoteIntegration(CommandTable& commands, Player& player,
                                     const appsettings::Settings& settings,
                                     WStreamingServer& server, RemoteView& view,
                                     const QDBusConnection& bus, QObject* parent)
    : QObject(parent), commands_(commands), player_(player), settings_(settings), server_(server),
      view_(view) {
    // The player's own values, and the port the server is configured for.
    const RemoteItems& own = player_.remoteItems();
    for (auto it = own.values().cbegin(); it != own.values().cend(); ++it)
        if (const auto topic = remote::topicOf(it.key())) items_.set(*topic, it.key(), it.value());
    items_.set(Topic::Streaming, QStringLiteral("PORT"),
               QString::number(settings_.streaming.streamPort));
    items_.set(Topic::AppInfo, QStringLiteral("EXENAME"), QCoreApplication::applicationFilePath());

    connect(&player_.remoteItems(), &RemoteItems::changed, this,
            [this](const QString& item, const QString& value) {
                if (const auto topic = remote::topicOf(item)) items_.set(*topic, item, value);
                schedulePlayerCheck();
            });
    connect(&player_, &Player::titleStarted, this, [this] {
        ++titleSerial_;
        lastPositionMs_ = -1;
        schedulePlayerCheck();
    });
    connect(&player_, &Player::controlsChanged, this, &RemoteIntegration::schedulePlayerCheck);
    connect(&commands_, &CommandTable::enabledChanged, this,
            &RemoteIntegration::schedulePlayerCheck);

    // Search, select all, play and show the playlist; the window stays where it is.
    commands_.provide<RemoteCommands>(&CommandServices::remote, this);

    topics_ = std::make_unique<RemoteService>(&items_, static_cast<RemoteHandler*>(this), bus);
    mpris_ = std::make_unique<MprisService>(static_cast<MprisBackend*>(this), bus);
}

RemoteIntegration::~RemoteIntegration() {
    if (table_) table_->withdraw<RemoteCommands>(&CommandServices::remote, this);
    // Withdrawn before the player they read goes away.
    mpris_.reset();
    topics_.reset();
}

// --- topics

void RemoteIntegration::refresh(Topic topic) {
    switch (topic) {
    case Topic::CurrentTrack: {
        const QString name = player_.displayName();
        const titleline::ArtistTitle split = titleline::splitArtistTitle(name);
        items_.set(topic, QStringLiteral("TRACKNAME"), name);
        items_.set(topic, QStringLiteral("ARTIST"), split.artist);
        items_.set(topic, QStringLiteral("TITLE"), split.title);
        items_.set(topic, QStringLiteral("FILENAME"), player_.deviceFile());
        break;
    }
    case Topic::Streaming:
        refreshStreaming();
        break;
    case Topic::AppInfo:
        items_.set(topic, QStringLiteral("EXENAME"), QCoreApplication::applicationFilePath());
        break;
    case Topic::Player:
        break;
    }
}

void RemoteIntegration::refreshStreaming() {
    const WStreamingServer& server = server_;
    const StreamConfig& c = server.config();
    const appsettings::StreamingSettings& s = settings_.streaming;
    const std::pair<const char*, QString> values[] = {
        {"STATIONID", c.StationID},
        {"PORT", QString::number(c.Port)},
        {"SAMPLERATE", QString::number(c.SampleRate)},
        {"BITRATE", QString::number(c.BitRate)},
        {"VBRMODE", vbrModeText(c.VBRMethod)},
        {"QUALITY", QString::number(c.Quality)},
        {"STREAMSTATUS", server.isActive() ? QStringLiteral("online") : QStringLiteral("offline")},
        {"STREAMPRIVATE", yesNo(c.PrivateFlag)},
        {"LISTENERS", QString::number(server.ClientCount())},
        {"MAXLISTENERS", s.enabled && s.limitListeners ? QString::number(c.MaxListeners)
                                                       : QStringLiteral("unlimited")},
    };
    for (const auto& [item, value] : values)
        items_.set(Topic::Streaming, QLatin1String(item), value);
}

QString RemoteIntegration::check(Topic topic, const QString& item, const QString& value) {
    if (topic != Topic::Player) return {};
    const QString name = commandcatalogue::commandForPoke(item, value);
    if (name.isEmpty())
        return QStringLiteral("\"%1\" ist kein Befehl für %2.").arg(value, item.toUpper());
    return commands_.check(name, pokeArgument(item, value), kDBus).reason;
}

QString RemoteIntegration::pokeArgument(const QString& item, const QString& value) {
    // COMMAND names the command and hands over nothing; the other items their value.
    return item.compare(QLatin1String("COMMAND"), Qt::CaseInsensitive) == 0 ? QString() : value;
}

void RemoteIntegration::poked(Topic topic, const QString& item, const QString& value) {
    if (topic != Topic::Player) return;
    const QString name = commandcatalogue::commandForPoke(item, value);
    if (name.isEmpty()) return; // COMMAND "play" is no command here
    if (name == QLatin1String(cmd::Repeat)) {
        pokeToggle("REPEATING", cmd::Repeat, player_.playlist().repeat());
    } else if (name == QLatin1String(cmd::Shuffle)) {
        pokeToggle("SHUFFLED", cmd::Shuffle, player_.playlist().shuffle());
    } else if (name == QLatin1String(cmd::Search)) {
        // Refused while a load or search shows the progress bar; then to the front, with
        // the focus in the search field and its text selected.
        if (commands_.run(name, value, kDBus))
            view_.whenSearchShown(this,
                                  [this] { commands_.run(QLatin1String(cmd::Raise), {}, kDBus); });
    } else {
        commands_.run(name, pokeArgument(item, value), kDBus);
    }
}

void RemoteIntegration::pokeToggle(const char* item, const char* command, bool current) {
    const QString name = QLatin1String(item);
    if (!commands_.isEnabled(QLatin1String(command))) {
        items_.set(Topic::Player, name, yesNo(current));
        return;
    }
    const QString wanted = items_.value(Topic::Player, name).toUpper();
    if ((wanted == QLatin1String("YES") && !current) || (wanted == QLatin1String("NO") && current))
        commands_.run(QLatin1String(command), current ? QStringLiteral("0") : QStringLiteral("1"),
                      kDBus);
}

void RemoteIntegration::playAll(const QString& text) {
    if (!commands_.run(QLatin1String(cmd::Search), text)) return;
    view_.whenSearchShown(this, [this] {
        if (view_.listedEntries() < 1) return;
        commands_.run(QLatin1String(cmd::SelectAll));
        commands_.run(QLatin1String(cmd::Play));
        commands_.run(QLatin1String(cmd::ShowPlaylist));
    });
}

// --- MPRIS

MprisState RemoteIntegration::state() const {
    MprisState s;
    const QString status = player_.remoteItems().value(QStringLiteral("TRACKSTATUS"));
    if (status == QLatin1String("playing"))
        s.status = MprisState::Status::Playing;
    else if (status == QLatin1String("paused"))
        s.status = MprisState::Status::Paused;
    s.repeat = player_.playlist().repeat();
    s.shuffle = player_.playlist().shuffle();
    if (s.status != MprisState::Status::Stopped) {
        s.trackId = QStringLiteral("/org/vorlune/vorlune/track/") + QString::number(titleSerial_);
        if (player_.titleLength() > 0) s.lengthUs = player_.titleLength() * 1000;
        s.title = player_.remoteItems().value(QStringLiteral("TITLE"));
        s.artist = player_.remoteItems().value(QStringLiteral("ARTIST"));
        s.album = folderOf(player_.currentLine());
        if (!player_.deviceFile().isEmpty())
            s.url = QUrl::fromLocalFile(player_.deviceFile()).toString(QUrl::FullyEncoded);
    }
    s.volume = player_.device().volume() / 100.0;
    s.canGoNext = commands_.isEnabled(QLatin1String(cmd::Next));
    s.canGoPrevious = commands_.isEnabled(QLatin1String(cmd::Prev));
    s.canPause = commands_.isEnabled(QLatin1String(cmd::Pause));
    // A current title can always be played on (desktop sound menus and playerctl hide or
    // refuse a player that says it cannot), whatever the list's selection says.
    s.canPlay = commands_.isEnabled(QLatin1String(cmd::Play)) ||
                s.status == MprisState::Status::Playing ||
                (s.status == MprisState::Status::Paused && s.canPause);
    s.canSeek = commands_.isEnabled(QLatin1String(cmd::Seek));
    return s;
}

qint64 RemoteIntegration::positionUs() const {
    if (player_.remoteItems().value(QStringLiteral("TRACKSTATUS")) == QLatin1String("stopped"))
        return 0;
    return std::max<qint64>(player_.device().position(), 0) * 1000;
}

void RemoteIntegration::schedulePlayerCheck() {
    // The player changes several values in one step (a title start sets its items before
    // it announces the title): clients see the finished step once.
    if (std::exchange(checkQueued_, true)) return;
    QMetaObject::invokeMethod(this, &RemoteIntegration::playerChanged, Qt::QueuedConnection);
}

void RemoteIntegration::playerChanged() {
    checkQueued_ = false;
    if (!mpris_) return;
    mpris_->update();
    // A position that does not follow the clock was sought to (slider, web page, MPRIS).
    const bool playing =
        mpris_->isRegistered() &&
        player_.remoteItems().value(QStringLiteral("TRACKSTATUS")) == QLatin1String("playing");
    // While the next title is being prepared the position belongs to no title.
    if (!playing || player_.isStarting()) {
        lastPositionMs_ = -1;
        return;
    }
    const qint64 now = std::max<qint64>(player_.device().position(), 0);
    if (lastPositionMs_ >= 0) {
        const qint64 expected = lastPositionMs_ + sinceLastPosition_.elapsed();
        if (std::abs(now - expected) > 1500) mpris_->seeked(now * 1000);
    }
    lastPositionMs_ = now;
    sinceLastPosition_.start();
}

void RemoteIntegration::raise() {
    commands_.run(QLatin1String(cmd::Raise), {}, kMpris);
}

void RemoteIntegration::quit() {
    commands_.run(QLatin1String(cmd::Quit), {}, kMpris);
}

void RemoteIntegration::play() {
    // A paused title resumes through the pause command, as the pause button does.
    if (state().status == MprisState::Status::Paused)
        commands_.run(QLatin1String(cmd::Pause), {}, kMpris);
    else if (state().status == MprisState::Status::Stopped)
        commands_.run(QLatin1String(cmd::Play), {}, kMpris);
}

void RemoteIntegration::pause() {
    if (state().status == MprisState::Status::Playing)
        commands_.run(QLatin1String(cmd::Pause), {}, kMpris);
}

void RemoteIntegration::playPause() {
    if (state().status == MprisState::Status::Stopped)
        commands_.run(QLatin1String(cmd::Play), {}, kMpris);
    else
        commands_.run(QLatin1String(cmd::Pause), {}, kMpris);
}

void RemoteIntegration::stop() {
    commands_.run(QLatin1String(cmd::Stop), {}, kMpris);
}

void RemoteIntegration::next() {
    commands_.run(QLatin1String(cmd::Next), {}, kMpris);
}

void RemoteIntegration::previous() {
    commands_.run(QLatin1String(cmd::Prev), {}, kMpris);
}

void RemoteIntegration::seekTo(qint64 positionUs) {
    const qint64 seconds = (positionUs + 500000) / 1000000;
    if (!commands_.run(QLatin1String(cmd::Seek), QString::number(seconds), kMpris)) return;
    lastPositionMs_ = seconds * 1000;
    sinceLastPosition_.start();
    mpris_->seeked(seconds * 1000000);
}

void RemoteIntegration::setRepeat(bool on) {
    if (on != player_.playlist().repeat())
        commands_.run(QLatin1String(cmd::Repeat), on ? QStringLiteral("1") : QStringLiteral("0"),
                      kMpris);
}

void RemoteIntegration::setShuffle(bool on) {
    if (on != player_.playlist().shuffle())
        commands_.run(QLatin1String(cmd::Shuffle), on ? QStringLiteral("1") : QStringLiteral("0"),
                      kMpris);
}

void RemoteIntegration::setVolume(double volume) {
    commands_.run(QLatin1String(cmd::SetVolume), QString::number(std::lround(volume * 100)),
                  kMpris);
    schedulePlayerCheck();
}
