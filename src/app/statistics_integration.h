#pragma once

#include "statistics_window.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QMenu;
class QAction;
class QToolButton;
class Player;
class TForm1;

// The main window's side of the statistics window: creates it, hands it what it reads,
// wires the server's events at the first showing, registers the statistics, information,
// connection, listener and properties commands, and keeps the streaming button `strm_btn`
// with its menu `PopupMenu5` and the listener counter `strm_lbl` in the status bar.
class StatisticsIntegration : public QObject, public StatisticsContext {
    Q_OBJECT
public:
    // The number of the options dialog's streaming page.
    static constexpr int StreamingPage = 4;

    explicit StatisticsIntegration(TForm1* window);
    ~StatisticsIntegration() override;

    TForm4* Form4() const { return form4_; }
    QToolButton* strm_btn = nullptr;
    QLabel* strm_lbl = nullptr;
    QMenu* PopupMenu5 = nullptr;
    QAction* listenersItem() const { return listenersItem_; }
    QAction* settingsItem() const { return settingsItem_; }

    // PopupMenu5's enabling and default, the button's caption, the counter's visibility.
    void updateStreamingControls();
    // Shows the properties of a title line (empty: the list's selected title).
    void showProperties(const QString& titleLine);

    // StatisticsContext
    const Collection* collection() const override;
    qint64 shownListEntries() const override;
    QString findMediumDrive(const QString& label) override;
    bool isWebFolder(const QString& root) const override;
    QString titleFilePath(const QString& root, const QString& titleLine) const override;
    QString folderDisplay(const QString& path) const override;
    QList<ConnectionEntry> connections() const override;
    QString playingFile() const override;
    qint64 playingLength() const override;
    const MyVersionInfo& version() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void registerCommands();
    void createControls();
    bool listenersAvailable() const;
    void scheduleUpdate();
    // Shows the window for a request unless it already shows.
    void open(const QString& name, const QString& medium = {}, const QString& path = {});

    TForm1* window_;
    TForm4* form4_ = nullptr;
    QAction* listenersItem_ = nullptr;
    QAction* settingsItem_ = nullptr;
    QPointer<Player> player_;
    bool wired_ = false;
    bool updatePending_ = false;
};
