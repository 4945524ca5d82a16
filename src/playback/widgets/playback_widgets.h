#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class Player;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSlider;
class QSystemTrayIcon;

// The small frameless always-on-top LCD clock shown while a title plays.
class ClockWindow : public QWidget {
    Q_OBJECT
public:
    explicit ClockWindow(QWidget* parent = nullptr);
    void setClock(const QString& text, bool grey);
    QString text() const;
    QLabel* label() const { return label_; }
    // The LCD font of the clock and of the position label.
    static QFont lcdFont(int pixelSize);
    // Whether the window system lets a window place itself (Wayland does not).
    static bool canPlaceItself();

signals:
    void entered();
    void left();
    void menuRequested(const QPoint& globalPos);
    // The user dragged the clock to a new place (its top left corner).
    void moved(const QPoint& topLeft);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* label_;
    bool dragging_ = false;
    QPoint grab_; // where the mouse holds the window, from its top left corner
};

// The song tip: the playing title's name next to the clock window, opened with a
// short growth animation; it follows title changes with its right edge fixed.
class TSongTipWnd : public QWidget {
    Q_OBJECT
public:
    explicit TSongTipWnd(QWidget* parent = nullptr);

    // Opens next to the clock (global frame) for the title; `screenHeight` decides above
    // or below.
    void showFor(const QRect& clock, const QString& name, int screenHeight);
    void closeTip();
    bool isShowing() const { return showing_; }
    bool opensBelow() const { return below_; }
    QRect targetGeometry() const { return target_; }
    QString text() const;
    QLabel* picture() const { return picture_; }

    // Polled every 100 ms while showing.
    std::function<bool()> clockVisible;
    std::function<QString()> currentName;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void step();
    void watch();
    int widthFor(const QString& name) const;

    QLabel* label_;
    QLabel* picture_;
    QTimer open_;
    QTimer resize_;
    QTimer watch_;
    bool showing_ = false;
    bool below_ = true;
    QRect target_;
    int grown_ = 0;
    int widthSteps_ = 0;
    int widthDirection_ = 0;
};

// A volume slider over the player's device, for systems without a mixer program.
class VolumeDialog : public QDialog {
    Q_OBJECT
public:
    explicit VolumeDialog(Player* player, QWidget* parent = nullptr);
    QSlider* slider() const { return slider_; }

private:
    QSlider* slider_;
};

// The clock display for the player: tray icon, LCD clock window, the clock menu
// ("PopupMenu4") on both and on the position label, the song tip and the volume item.
class PlaybackWidgets : public QObject {
    Q_OBJECT
public:
    PlaybackWidgets(Player* player, QWidget* window);
    ~PlaybackWidgets() override;

    // The position label gets the clock menu without the title part.
    void attachSeekpos(QWidget* seekpos);

    // Prepares the menu as for a right click on the clock (true) or on the position
    // label (false).
    void prepareMenu(bool onClock);
    QMenu* menu() const { return menu_; }
    QAction* item(const QString& objectName) const;
    // The transport items (Play2 ... NchsterTitel2) leave their enabled state and their
    // clicks to whoever binds them (the program's command table); without this they act
    // on the player themselves.
    void leaveTransportToOthers() { transportElsewhere_ = true; }

    ClockWindow* clockWindow() const { return clock_; }
    TSongTipWnd* songTip() const { return tip_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // A left click on the tray icon: the main window comes to the front.
    void raiseWindow();
    // Where the user put the clock this session; null: its default corner.
    std::optional<QPoint> clockPlace() const {
        return clockPlaced_ ? std::optional<QPoint>(clockPlace_) : std::nullopt;
    }

    // "A&npassen": the system mixer when installed, else our own slider. Returns what it
    // opened: the mixer program's path, or empty for the slider.
    QString openVolumeControl();
    QString mixerProgram; // found on the path at construction; tests may clear it
    VolumeDialog* volumeDialog() const { return volume_; }

private:
    void update();
    void showClockBriefly();

    Player* player_;
    QWidget* window_;
    ClockWindow* clock_;
    TSongTipWnd* tip_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_;
    QMenu* titel_;
    QAction* titelAction_;
    QAction* titelline_;
    QAction* uhrzeit_;
    QActionGroup* modes_;
    QPointer<VolumeDialog> volume_;
    bool transportElsewhere_ = false;
    QTimer hiddenClock_;
    QPoint clockPlace_;
    bool clockPlaced_ = false;
};
