#pragma once

#include "app_settings.h"
#include "collection.h"
#include "commands.h"
#include "control_server.h"
#include "task_service.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CollectionLoader;
class GuiThreadConnector;
class MediaAccess;
class MediaAccessTitles;
class MediaPrompts;
class Player;
class PlayerCommands;
class PrivateTempDir;
class SettingsStore;
class WStreamingServer;

// What the program is without its windows: the folders of this run, the settings, the
// collection and its loader, the play records behind the charts, the command table, media
// access, the player and the streaming server. It is built before the main window and
// handed to it and to each integration; control messages reach the commands through it.
class AppCore : public QObject, public ControlTarget {
    Q_OBJECT
public:
    struct Environment {
        QString catalogDir;      // the folder of the index files
        QString dataDir;         // the program's own folder
        QString tempDir;         // the private temporary folder of this run
        QString executable;      // for the desktop entry
        QString applicationsDir; // where the desktop entry goes; empty: none written
        SettingsStore* store = nullptr;
    };

    explicit AppCore(Environment environment, QObject* parent = nullptr);
    ~AppCore() override;

    const Environment& environment() const { return env_; }
    SettingsStore* store() const { return env_.store; }
    appsettings::Settings& settings() { return settings_; }
    // The collection object is replaced whole by a reload; hold the pointer, not a copy.
    std::shared_ptr<Collection>& collectionPtr() { return collection_; }
    Collection& collection() { return *collection_; }
    CollectionLoader& loader() { return *loader_; }
    // Background jobs and the progress bar's state.
    TaskService& tasks() { return *tasks_; }
    // Play records by title line (count ":" date), kept for the charts.
    QHash<QString, QString>& chartsRecords() { return chartsRecords_; }
    CommandTable& commands() { return commands_; }
    // Removes the commands a window and its parts added; the core's own stay. For a
    // window that goes while the core lives on.
    void removeWindowCommands();

    // Media access and the loader's connector to it. Its questions go to the prompts set
    // here; while none are set nobody answers (passwords and waits are cancelled, warnings
    // only logged, questions answered no).
    MediaAccess& media() { return *media_; }
    GuiThreadConnector& mediumConnector() { return *connector_; }
    void setMediaPrompts(MediaPrompts* prompts);
    // Where web folders and fetched titles go: the run's temporary folder, else one of
    // the core's own.
    QString mediaTempDir() const { return mediaTempDir_; }

    // The player over media access; its transport commands are in the table. The list
    // selection's size for "play the selection" comes from `count` (none: 0).
    Player& player() { return *player_; }
    void setSelectedCount(std::function<int()> count) { selectedCount_ = std::move(count); }

    // The streaming server; it stays idle until the settings start it.
    WStreamingServer& streamingServer() { return *server_; }
    // The name the program gives itself on the network.
    static QString userAgent();

    // The command a control-message code names (1 play … 5 next), else empty.
    static QString controlCommand(int code);

    // ControlTarget: every code goes through the command table.
    void bringToFront() override;
    bool commandEnabled(int code) const override;
    void runCommand(int code) override;
    void reloadMedia() override;

private:
    Environment env_;
    appsettings::Settings settings_;
    std::unique_ptr<TaskService> tasks_; // goes late: its destructor waits for its workers
    std::shared_ptr<Collection> collection_;
    CollectionLoader* loader_;
    QHash<QString, QString> chartsRecords_;
    CommandTable commands_{CommandTable::Catalogue};

    class PromptRelay;
    std::unique_ptr<PrivateTempDir> ownTemp_; // only when the environment has none
    QString mediaTempDir_;
    std::unique_ptr<PromptRelay> prompts_;
    std::unique_ptr<MediaAccess> media_;
    std::unique_ptr<GuiThreadConnector> connector_;
    std::unique_ptr<MediaAccessTitles> titles_;
    std::unique_ptr<Player> player_; // goes before the media access it uses
    std::unique_ptr<PlayerCommands> playerCommands_;
    std::unique_ptr<WStreamingServer> server_;
    std::function<int()> selectedCount_;
    QStringList ownCommands_;
};
