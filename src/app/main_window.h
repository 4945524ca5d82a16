#pragma once

#include "app_core.h"
#include "app_settings.h"
#include "collection.h"
#include "command_services.h"
#include "composition.h"
#include "control_server.h"
#include "version_info.h"
#include "view_build.h"

#include <QHash>
#include <QMainWindow>
#include <QMessageBox>

#include <functional>
#include <memory>
#include <vector>

class CollectionLoader;
class CollectionViews;
class MediaAccess;
class ListsIntegration;
class MediaIntegration;
class PlayerIntegration;
class TForm2;
class TForm6;
class QuickSearch;
class CommandPanel;
class CopyIntegration;
class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class SettingsStore;
class StreamingIntegration;
class StatisticsIntegration;
class RemoteIntegration;
class OptionsIntegration;
class WebIntegration;
class WindowViews;

// The main window: menus, the three bars, the collection views, the command panel and
// the status bar; it owns the collection and carries a run from the first showing to
// the closing.
class TForm1 : public QMainWindow, private WindowCommands {
    Q_OBJECT
    // The core comes first: the references below point into it.
    std::unique_ptr<AppCore> ownCore_;
    AppCore& core_;

public:
    using Environment = AppCore::Environment;

    // On a core built before the window (the program) ...
    explicit TForm1(AppCore& core, QWidget* parent = nullptr);
    // ... or on one of its own.
    explicit TForm1(Environment environment, QWidget* parent = nullptr);
    ~TForm1() override;

    AppCore& core() { return core_; }
    CommandTable& commandTable() { return core_.commands(); }

    // The message boxes go through here so that a test can answer them.
    using MessageBoxHook = std::function<QMessageBox::StandardButton(
        QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons buttons)>;
    void setMessageBoxHook(MessageBoxHook hook) { messageBox_ = std::move(hook); }

    Collection& collection() { return *collection_; }
    appsettings::Settings& settings() { return settings_; }
    const MyVersionInfo& versionInfo() const { return version_; }
    QString userAgent() const {
        return QStringLiteral("Vorlune, Version ") + version_.VersionString;
    }
    const Environment& environment() const { return env_; }

    // Play history records by title line (count ":" date), kept for the charts.
    QHash<QString, QString>& chartsRecords;

    // Controls named as the rest of the program knows them.
    QComboBox* qs_text = nullptr;
    QPushButton* qs_go = nullptr;
    QLineEdit* dir_text = nullptr;
    QPushButton* dir_btn = nullptr;
    QComboBox* pl_text = nullptr;
    QPushButton* pl_btn = nullptr;
    QWidget* profileButtons = nullptr; // the copy profile buttons go in here
    QPushButton* newprof = nullptr;
    CommandPanel* commands = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* statusText = nullptr;

    // A menu item by its object name ("Beenden1", "Befehle1" ...), or null.
    QAction* action(const QString& objectName) const;
    QWidget* searchBar() const { return searchBar_; }
    QWidget* destBar() const { return destBar_; }
    QWidget* profileBar() const { return profileBar_; }
    QSplitter* viewSplitter() const { return viewSplitter_; }
    // The tree and title list, and the quick search on qs_text (null without the views).
    CollectionViews* views() const { return views_; }
    QuickSearch* quickSearch() const { return quickSearch_; }

    void setStatusText(const QString& text);
    bool isLoading() const;
    bool firstShowDone() const { return shown_; }
    // The streaming server, started at the first showing when streaming is enabled.
    StreamingIntegration* streaming() const { return parts_.streaming; }
    // Copying: destination fields, profile buttons, the copy dialog.
    CopyIntegration* copying() const { return parts_.copy; }
    // The remote-control topics and MPRIS on the session bus.
    RemoteIntegration* remote() const { return parts_.remote.get(); }

    // The insert-medium dialog and the password prompt, created with the window.
    TForm2* Form2 = nullptr;
    TForm6* Form6 = nullptr;
    // Media access: finding media, connections, fetching titles of web media and shares.
    MediaAccess* mediaAccess() const;
    MediaIntegration* mediaIntegration() const { return parts_.media.get(); }
    // A title is being fetched: play requests are ignored meanwhile.
    bool isDownloading() const;
    // The player with its buttons, menu items and clock display.
    PlayerIntegration* playback() const { return parts_.player.get(); }
    // A message box through the hook when one is set.
    QMessageBox::StandardButton messageBox(QMessageBox::Icon icon, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& detail = QString()) {
        return ask(icon, text, buttons, detail);
    }
    // The Merkzettel's commands and menus.
    ListsIntegration* lists() const { return parts_.lists; }
    // The statistics window, the listener counter and the streaming button.
    StatisticsIntegration* statistics() const { return parts_.statistics; }
    // The options dialog and the command that opens it.
    OptionsIntegration* options() const { return parts_.options.get(); }
    // The web view: its pages and "vorlune:" commands.
    WebIntegration* web() const { return parts_.web.get(); }

    // Later parts hook in here: a close-request hook may refuse closing; closing hooks
    // run after the settings are saved.
    std::vector<std::function<bool()>> closeRequestHooks;
    std::vector<std::function<void()>> closingHooks;
    // Set by the options dialog's "&Registry säubern".
    bool registryCleaningReleased = false;

    // Reads the window's state into the settings and writes them to the store.
    // Puts the settings into the store and writes it; a failure shows as status text.
    void saveSettings();
    // A desktop logout or a signal: save and leave without questions.
    void endSession();

    void updateMerkzettelItems();

signals:
    // The collection object was replaced by a freshly loaded one.
    void collectionReplaced(Collection* collection);
    void loadFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TForm1(std::unique_ptr<AppCore> own, AppCore* core, QWidget* parent);
    void registerCommands();
    void bindCommands();
    // The window's commands.
    void onRaise() override;
    void onReload() override;
    void onQuit() override;
    void onSelectAll() override;
    void onRefreshList() override;
    void onArrangeIcons() override;
    void onSearch(const QString& text) override;
    void onQuickSearch() override;
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    // Writes the store at closing; a failure is told and may be retried. False when the
    // file was not written.
    bool saveSettingsAtClosing();

    void createMenus();
    void createBars();
    QWidget* createCollectionViews();
    void installDisplayFont();
    void loadSettings();
    void collectSettings();
    void startLoading();
    void showBar(const tasks::Bar& bar);
    void adoptCollection(std::shared_ptr<Collection> fresh, const LoadReport& report);
    void relayoutBars();
    int splitPosition() const;
    void setSplitPosition(int treeWidth);
    void wireViews();
    void showCollection(Collection* previous);
    QWidget* makeBar(const char* name, QAction* toggle, QWidget* content);
    QAction* addItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& key = {}, bool enabled = false);
    // The layout's command items of one section of a menu.
    void addCommandItems(QMenu* menu, const char* path, int section);
    // A command's menu item as its descriptor places it (bound in bindCommands()).
    QAction* addCommandItem(QMenu* menu, const char* name);
    QAction* addToggle(QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& key = {});
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    const QString& detail = QString());

    const Environment& env_;
    MyVersionInfo version_;
    appsettings::Settings& settings_;
    std::shared_ptr<Collection>& collection_;
    CollectionLoader* loader_ = nullptr;
    // Built in FormCreate() by composeIntegrations(), in its order.
    Integrations parts_;
    MessageBoxHook messageBox_;
    QString startupNotice_; // kept beside the status text of the first load
    QHash<QString, QAction*> actions_;
    QActionGroup* viewStyleGroup_ = nullptr;
    QActionGroup* copyModeGroup_ = nullptr;
    QActionGroup* timeModeGroup_ = nullptr;
    QWidget* barStrip_ = nullptr;
    QWidget* searchBar_ = nullptr;
    QWidget* destBar_ = nullptr;
    QWidget* profileBar_ = nullptr;
    QSplitter* mainSplitter_ = nullptr;
    QSplitter* viewSplitter_ = nullptr;
    CollectionViews* views_ = nullptr;
    QuickSearch* quickSearch_ = nullptr;
    QFont treeBaseFont_;
    QFont listBaseFont_;
    bool webViewWanted_ = true;
    bool shown_ = false;
    bool closed_ = false;
    bool closeRequested_ = false;
    std::shared_ptr<Collection> parkedCollection_; // a load that ended during the close request
    LoadReport parkedReport_;
    int fontId_ = -1;
};
