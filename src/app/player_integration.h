#pragma once

#include "app_settings.h"
#include "command_services.h"

#include <QObject>
#include <QString>

class AppCore;
class Collection;
class PlaybackWidgets;
class Player;
class PlayerView;

// The window's side of the core's player: drives the transport controls and the status
// text from the player's state, feeds it the list selection and the shown
// view, and carries the play history through the settings.
class PlayerIntegration : public QObject, private PlaybackCommands {
    Q_OBJECT
public:
    PlayerIntegration(AppCore& core, PlayerView& view);
    ~PlayerIntegration() override;

    Player& player() { return *player_; }
    PlaybackWidgets& widgets() { return *widgets_; }

    // After the settings were read: play history, sizes, time mode, tray display,
    // repeat and shuffle.
    void applySettings(const appsettings::Settings& settings);
    // Before the settings are written: play history and play count.
    void collectSettings(appsettings::Settings& settings) const;

    // The title the streaming server announces (with " [PAUSE]" or " [STOP]").
    QString streamTitle() const { return streamTitle_; }

    // What the window reports: a fresh collection, a changed list selection or shown node,
    // a title activated in the list, the slider released, the time mode and tray items.
    void collectionReplaced(Collection* collection);
    void syncSelection();
    void titleActivated(const QString& line);
    void seekTo(int seconds);
    void setTimeMode(int mode);
    void setTrayDisplay(bool on);

signals:
    void streamTitleChanged(const QString& title);

private:
    void wireCommands();
    void applyControls();
    void updateContext();
    void rebuildView();
    void showPlaylist();
    void onVolume() override;
    void onSetVolume(int percent) override;
    void onShowPlaylist() override;
    void playCounted(const QString& line);

    AppCore& core_;
    PlayerView& view_;
    Player* player_;
    PlaybackWidgets* widgets_ = nullptr;
    QString streamTitle_;
};
