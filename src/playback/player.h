#pragma once

#include "task_service.h"

#include "data_js.h"
#include "media_device.h"
#include "play_history.h"
#include "playlist.h"
#include "remote_items.h"
#include "title_access.h"
#include "title_scan.h"
#include "uistate.h"

#include <QDate>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class TitleLists;

// What the transport controls, the position slider and label, and the clock show. The
// enabled flags follow from the player's facts (transport()) by the transport rules.
struct PlayerControls {
    bool playEnabled = false;
    bool pauseEnabled = false;
    bool pauseDown = false;    // the pause button
    bool pauseChecked = false; // "P&ause" and the clock menu's "Pause"
    QString pauseHint = QStringLiteral("Pause");
    bool stopEnabled = false;
    bool prevEnabled = false;
    bool nextEnabled = false;
    bool reptEnabled = false;
    bool shufEnabled = false;
    bool seekerEnabled = false;
    int seekerMax = 0; // seconds
    int seekerPos = 0; // seconds
    bool seekposEnabled = false;
    QString seekposText = QStringLiteral("0:00:00/0:00:00");
    QString clockText = QStringLiteral("0:00:00");
    QString clockHint;       // display name of the title
    bool clockShown = false; // the clock window, when the tray display is on
    bool clockGrey = false;  // paused
    bool progressVisible = false;
    int progress = 0;
};

// The player: builds the playlist from the selection, starts titles through media
// access and the media device, runs the one-second tick, pause, stop and seek, writes
// "data.js", counts plays and keeps the remote-control values current.
class Player : public QObject {
    Q_OBJECT
public:
    enum class ShownView { Other, Playlist, Charts };

    struct Options {
        QString tempDir; // "data.js" goes here
        MediaDevice::Options device;
        int tickMs = 1000;
    };

    Player(Options options, TitleAccess* access, QObject* parent = nullptr,
           TaskService* tasks = nullptr);
    ~Player() override;

    // The selected title lines of the title list, in list order.
    void setSelectionProvider(std::function<QStringList()> provider);
    // "Wiedergabeliste" of the collection mirrors the playlist; null: none.
    void setTitleLists(TitleLists* lists);
    void setShownView(ShownView view);
    void setListSelection(bool hasSelection);
    void setToday(std::function<QDate()> today) { today_ = std::move(today); }

    int songsHistorySize() const { return historySize_; }
    void setSongsHistorySize(int size) { historySize_ = size; }
    int timeMode() const { return timeMode_; }
    void setTimeMode(int mode) { timeMode_ = mode == 1 ? 1 : 0; }
    bool trayDisplay() const { return trayDisplay_; }
    void setTrayDisplay(bool on) { trayDisplay_ = on; }

    // Commands.
    void playClick();
    // Plays the given title lines (an explicit selection from the web view).
    void playTitles(const QStringList& lines);
    void pauseClick();
    void stopClick();
    void nextClick(int skip = 1);
    void prevClick(int skip = 1);
    void setRepeat(bool on);  // reptClick
    void setShuffle(bool on); // shufClick
    void seekerChange(int seconds);
    void Wiedergabe3Click(int selectedCount);
    // A double click in the title list; `firstSelected` is the first selected title line.
    void listDblClick(const QString& firstSelected);
    // The answer to a pending fetchTitle.
    void titleFetched(const QString& path, const QString& localFile, const QString& error);
    // The playback tick; the timer calls it every second while a title plays.
    void tick();

    // State.
    const PlayerControls& controls() const { return controls_; }
    // The facts the transport rules read.
    uistate::Transport transport() const;
    Playlist& playlist() { return playlist_; }
    const Playlist& playlist() const { return playlist_; }
    PlayHistory& history() { return history_; }
    RemoteItems& remoteItems() { return remote_; }
    MediaDevice& device() { return *device_; }
    bool isTimerActive() const { return timer_.isActive(); }
    bool isStarting() const { return starting_; }
    bool isPlaying() const; // playing or paused
    QString currentFile() const { return currentFile_; }
    QString currentLine() const { return currentLine_; }
    QString deviceFile() const { return deviceFile_; }
    QString displayName() const;
    qint64 titleLength() const { return titleLength_; }
    qint64 fileSize() const { return fileSize_; }
    int scanBitRate() const { return scanBitRate_; }
    int playlistCurrentIndex() const { return currentIndex_; }
    QString statusText() const { return status_; }
    QString dataJsPath() const;

signals:
    void controlsChanged();
    void statusTextChanged(const QString& text);
    void streamTitleChanged(const QString& title);
    void playlistChanged();
    void currentIndexChanged(int playlistIndex);
    void playCounted(const QString& titleLine);
    // The tree shows "Wiedergabeliste" or "Meine Charts" and its view needs rebuilding.
    void rebuildViewRequested();
    // The playlist page should reload "data.js".
    void webRefreshRequested();
    // A title started playing, or the start ended (successfully or not).
    void titleStarted(const QString& titleLine);
    void startFinished();

private:
    void startCurrent();
    void beginTitle();
    void continueWithFile(quint64 id, const QString& localFile, const QString& error = {});
    void openAndPlay(quint64 id, const titlescan::ScanResult* scan);
    void deviceOpened();
    void deviceFailed(const QString& error);
    // A title that cannot be played: the next one, or stop, with the reason as status.
    void failStart(quint64 id, const QString& reason);
    void moveAndStart(int steps);
    void goNextOrStop(bool stopWithFewerThanTwo);
    void updateTimes(qint64 positionMs);
    void writeDataJs(datajs::Writer writer, bool paused = false);
    void setStatus(const QString& text);
    void refreshAfterToggle();
    void clearPlaylist();
    void buildPlaylist(const QStringList& lines);
    void syncCharts();
    void cancelScan();
    // Derives the controls' enabled flags from the facts, then tells.
    void changed();

    Options options_;
    TitleAccess* access_;
    std::unique_ptr<MediaDevice> device_;
    Playlist playlist_;
    PlayHistory history_;
    RemoteItems remote_;
    PlayerControls controls_;
    QTimer timer_;
    TitleLists* lists_ = nullptr;
    std::function<QStringList()> selection_;
    std::function<QDate()> today_;
    ShownView shown_ = ShownView::Other;
    bool hasSelection_ = false;
    bool session_ = false; // a play started, no stop since
    bool begun_ = false;   // a title is starting, plays or is paused
    bool open_ = false;    // a title is open
    bool keepPlaylist_ = false;
    bool inLookup_ = false; // the insert-medium dialog may run a nested event loop
    // Commands that came while the insert-medium dialog was open, done when it closes.
    bool lookupStop_ = false;
    int lookupMove_ = 0;
    int failedOpens_ = 0;
    int historySize_ = 5;
    int timeMode_ = 0;
    bool trayDisplay_ = true;

    QString currentFile_;
    QString currentLine_;
    QString deviceFile_;
    qint64 titleLength_ = -1;
    qint64 fileSize_ = 0;
    int scanBitRate_ = 0;
    int currentIndex_ = -1;
    QString status_;
    bool dataJsFailed_ = false; // told once until a write succeeds again

    // A start in progress: fetching, scanning or opening; a newer start or a stop ends it.
    bool starting_ = false;
    quint64 startId_ = 0;
    quint64 openId_ = 0; // the start whose file the device opens
    QString pendingPath_;
    // Length scans are jobs of the task service (one of the player's own without one).
    std::unique_ptr<TaskService> ownTasks_;
    TaskService* tasks_ = nullptr;
    tasks::Id scanJob_ = 0;
    quint64 scanGeneration_ = 0; // a scan of an older generation was cancelled
};
