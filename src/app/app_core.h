#pragma once

#include "app_settings.h"
#include "collection.h"
#include "commands.h"
#include "control_server.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class CollectionLoader;
class SettingsStore;

// What the program is without its windows: the folders of this run, the settings, the
// collection and its loader, the play records behind the charts and the command table.
// It is built before the main window and handed to it and to each integration; control
// messages reach the commands through it.
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
    // Play records by title line (count ":" date), kept for the charts.
    QHash<QString, QString>& chartsRecords() { return chartsRecords_; }
    CommandTable& commands() { return commands_; }

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
    std::shared_ptr<Collection> collection_;
    CollectionLoader* loader_;
    QHash<QString, QString> chartsRecords_;
    CommandTable commands_;
};
