#pragma once

#include "command_services.h"
#include "statistics_window.h"
#include "version_info.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <memory>

class CommandTable;
class MediaAccess;
class Player;
class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QToolButton;
class StreamingStatus;
class WStreamingServer;
namespace appsettings {
struct Settings;
}

// What the statistics need of the window: where the window and the streaming controls go,
// the command panel's streaming line, the list, and questions to the user.
class StatisticsView {
public:
    virtual ~StatisticsView() = default;
    // The parent of the statistics window and the streaming menu; its first showing
    // connects the server's events.
    virtual QWidget* dialogParent() = 0;
    // Puts the streaming button with its counter into the status bar.
    virtual void addStatusWidget(QWidget* widget) = 0;
    // The command panel's streaming button (null without a panel) and its status line.
    virtual QAbstractButton* panelStreamingButton() = 0;
    virtual void showPanelStreaming(bool buttonEnabled, const QString& text,
                                    const QString& toolTip) = 0;
    virtual QStringList selectedTitles() const = 0;
    virtual int listedEntries() const = 0;
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;
};

// The statistics window: creates it, hands it what it reads, wires the server's events
// at the first showing, registers the statistics, information, connection, listener and
// properties commands, and keeps the streaming button with its menu "PopupMenu5" and the
// listener counter in the status bar.
class StatisticsIntegration : public QObject, public StatisticsContext, private StatisticsCommands {
    Q_OBJECT
public:
    // The number of the options dialog's streaming page.
    static constexpr int StreamingPage = 4;

    // The collection pointer is replaced whole by a reload; it is read when asked.
    StatisticsIntegration(CommandTable& commands, const appsettings::Settings& settings,
                          WStreamingServer& server, const StreamingStatus& streaming,
                          Player& player, MediaAccess& media,
                          const std::shared_ptr<Collection>& collection,
                          const MyVersionInfo& version, TaskService& tasks, StatisticsView& view,
                          QObject* parent = nullptr);
    ~StatisticsIntegration() override;

    TForm4* Form4() const { return form4_; }
    QToolButton* streamingButton() const { return strmBtn_; }
    QLabel* listenerCounter() const { return strmLbl_; }
    QMenu* streamingMenu() const { return popupMenu5_; }
    QAction* listenersItem() const { return listenersItem_; }
    QAction* settingsItem() const { return settingsItem_; }

    // The streaming settings were applied, the server started or stopped, or a listener
    // came or went: the controls follow once the event loop turns.
    void scheduleUpdate();
    // The menu's enabling and default, the button's caption, the counter's visibility.
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
    void onStatistics() override;
    void onAbout() override;
    void onConnections() override;
    void onListeners() override;
    void onProperties(const QString& titleLine) override;
    void onTitleProperties(const QString& titleLine) override;
    void onPlayingProperties() override;
    void createControls();
    bool listenersAvailable() const;
    // Shows the window for a request unless it already shows.
    void open(const QString& name, const QString& medium = {}, const QString& path = {});

    CommandTable& commands_;
    // The window may own the core: its table can go before this.
    QPointer<CommandTable> table_{&commands_};
    const appsettings::Settings& settings_;
    WStreamingServer& server_;
    const StreamingStatus& streaming_;
    Player& player_;
    MediaAccess& media_;
    const std::shared_ptr<Collection>& collection_;
    const MyVersionInfo version_;
    StatisticsView& view_;
    QWidget* parentWidget_;
    TForm4* form4_ = nullptr;
    QToolButton* strmBtn_ = nullptr;
    QLabel* strmLbl_ = nullptr;
    QMenu* popupMenu5_ = nullptr;
    QAction* listenersItem_ = nullptr;
    QAction* settingsItem_ = nullptr;
    bool wired_ = false;
    bool updatePending_ = false;
};
