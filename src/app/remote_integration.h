#pragma once

#include "command_services.h"
#include "mpris_service.h"
#include "remote_service.h"
#include "topic_items.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class CommandTable;
class Player;
class WStreamingServer;
namespace appsettings {
struct Settings;
}

// What remote control reads of the window: how many entries the list shows, and when the
// search it started is shown.
class RemoteView {
public:
    virtual ~RemoteView() = default;
    virtual int listedEntries() const = 0;
    // Calls `then` once the newest search is shown (at once when none runs); never when a
    // newer search supersedes it.
    virtual void whenSearchShown(QObject* context, std::function<void()> then) {
        Q_UNUSED(context);
        then();
    }
};

// Remote control: publishes the topics (kept current from the player's remote items and
// refreshed from the player, the streaming server and the program when a client reads
// them) and MPRIS. Pokes and MPRIS methods run the commands through the command table,
// with the same enabled rules as the buttons and menu items.
class RemoteIntegration : public QObject,
                          public RemoteHandler,
                          public MprisBackend,
                          private RemoteCommands {
    Q_OBJECT
public:
    RemoteIntegration(CommandTable& commands, Player& player, const appsettings::Settings& settings,
                      WStreamingServer& server, RemoteView& view,
                      const QDBusConnection& bus = QDBusConnection::sessionBus(),
                      QObject* parent = nullptr);
    ~RemoteIntegration() override;

    TopicItems& items() { return items_; }
    RemoteService& topics() { return *topics_; }
    MprisService& mpris() { return *mpris_; }

    // Applying the options and the first showing: every STREAMING item.
    void refreshStreaming();

    // RemoteHandler
    void refresh(remote::Topic topic) override;
    void poked(remote::Topic topic, const QString& item, const QString& value) override;
    QString check(remote::Topic topic, const QString& item, const QString& value) override;

    // MprisBackend
    MprisState state() const override;
    qint64 positionUs() const override;
    void raise() override;
    void quit() override;
    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void next() override;
    void previous() override;
    void seekTo(qint64 positionUs) override;
    void setRepeat(bool on) override;
    void setShuffle(bool on) override;
    void setVolume(double volume) override;

private:
    static QString pokeArgument(const QString& item, const QString& value);
    void pokeToggle(const char* item, const char* command, bool current);
    void playAll(const QString& text);
    void onPlayAll(const QString& text) override { playAll(text); }

    // Publishes the player's state and announces seeks, once per event-loop turn.
    void schedulePlayerCheck();
    void playerChanged();

    CommandTable& commands_;
    // The window may own the core: its table can go before this.
    QPointer<CommandTable> table_{&commands_};
    Player& player_;
    const appsettings::Settings& settings_;
    WStreamingServer& server_;
    RemoteView& view_;
    TopicItems items_;
    std::unique_ptr<RemoteService> topics_;
    std::unique_ptr<MprisService> mpris_;
    quint64 titleSerial_ = 0;
    // Position jumps while playing are announced as seeks.
    qint64 lastPositionMs_ = -1;
    QElapsedTimer sinceLastPosition_;
    bool checkQueued_ = false;
};
