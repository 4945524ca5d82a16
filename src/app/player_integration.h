#pragma once

#include "app_settings.h"

#include <QObject>
#include <QString>

class PlaybackWidgets;
class Player;
class TForm1;
class TreeNode;

// The main window's side of the core's player: drives the transport buttons, menu items, position
// slider and label, the status text and the progress bar from the player's state, feeds it the list
// selection and the shown view, and carries the play history through the settings.
class PlayerIntegration : public QObject {
    Q_OBJECT
public:
    explicit PlayerIntegration(TForm1* window);
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

signals:
    void streamTitleChanged(const QString& title);

private:
    void wireCommands();
    void wireViews();
    void applyControls();
    void syncSelection();
    void updateContext();
    void rebuildView();
    void showPlaylist();
    void playCounted(const QString& line);
    void setTimeMode(int mode);

    TForm1* window_;
    Player* player_;
    PlaybackWidgets* widgets_ = nullptr;
    QString streamTitle_;
    bool progressShown_ = false; // the progress bar shows the frame scan
};
