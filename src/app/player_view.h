#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class TreeNode;
struct PlayerControls;
struct ViewContext;

// What the player needs of the main window: its transport controls, the status text, the
// time mode and tray items, and the collection views. Its length scans reach the progress
// bar through the task service.
class PlayerView {
public:
    virtual ~PlayerView() = default;

    // The window the clock window, the song tip and the clock menu belong to.
    virtual QWidget* window() = 0;
    // The position label beside the slider; the clock menu opens on it too.
    virtual QWidget* positionLabel() = 0;

    virtual void setStatusText(const QString& text) = 0;

    // The check marks of pause, repeat and shuffle, the slider and the position label.
    virtual void showControls(const PlayerControls& controls, bool repeat, bool shuffle) = 0;
    // The main menu's time mode (0 elapsed, 1 remaining) and tray display items.
    virtual void showTimeMode(int mode) = 0;
    virtual void showTrayDisplay(bool on) = 0;

    // The collection views: the node shown, the list selection, what the view build reads.
    virtual const TreeNode* currentNode() const = 0;
    virtual QStringList selectedTitles() const = 0;
    virtual int selectedCount() const = 0;
    virtual ViewContext& viewContext() = 0;
    virtual void rebuildView() = 0;
    // Selects the playlist node and puts the focus into the list.
    virtual void showPlaylist() = 0;
};
