#include "app_core.h"

#include "app_paths.h"
#include "collection_loader.h"
#include "free_memory.h"
#include "gui_thread_connector.h"
#include "media_access.h"
#include "media_access_titles.h"
#include "media_log.h"
#include "media_prompts.h"
#include "player.h"
#include "player_commands.h"
#include "streaming_server.h"
#include "version_info.h"

// Hands media access's questions to whoever answers them; nobody answers while none is set.
class AppCore::PromptRelay : public MediaPrompts {
public:
    MediaPrompts* target = nullptr;

    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override {
        return target && target->askPassword(caption, withUserName, user, password);
    }
    void warn(const QString& text) override {
        if (target)
            target->warn(text);
        else
            qCWarning(lcMedia) << text;
    }
    bool confirm(const QString& text) override { return target && target->confirm(text); }
    QString waitForMedium(const QString& label, MediumWait& wait) override {
        return target ? target->waitForMedium(label, wait) : QString();
    }
};

namespace {

// Audio and video outputs for libmpv; empty means its own choice.
MediaDevice::Options deviceOptions() {
    MediaDevice::Options options;
    options.audioOutput = qEnvironmentVariable("VORLUNE_AUDIO_OUTPUT");
    options.videoOutput = qEnvironmentVariable("VORLUNE_VIDEO_OUTPUT");
    return options;
}

} // namespace

AppCore::AppCore(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)),
      settings_(appsettings::Settings::defaults(env_.dataDir)),
      tasks_(std::make_unique<TaskService>()), collection_(std::make_shared<Collection>()),
      loader_(new CollectionLoader(tasks_.get(), this)), prompts_(std::make_unique<PromptRelay>()) {
    mapLargeBlocks();
    collection_->CatalogDir = env_.catalogDir;

    mediaTempDir_ = env_.tempDir;
    if (mediaTempDir_.isEmpty()) {
        ownTemp_ = std::make_unique<PrivateTempDir>();
        mediaTempDir_ = ownTemp_->path();
    }
    MediaAccess::Options options;
    options.tempDir = mediaTempDir_;
    media_ = std::make_unique<MediaAccess>(options, prompts_.get());
    media_->setTaskService(tasks_.get());
    connector_ = std::make_unique<GuiThreadConnector>(media_.get());
    loader_->setConnector(connector_.get());

    titles_ = std::make_unique<MediaAccessTitles>(media_.get());
    player_ = std::make_unique<Player>(Player::Options{env_.tempDir, deviceOptions(), 1000},
                                       titles_.get(), nullptr, tasks_.get());
    titles_->connectPlayer(player_.get());
    player_->setTitleLists(&collection_->titleLists);
    playerCommands_ = std::make_unique<PlayerCommands>(
        commands_, *player_, [this] { return selectedCount_ ? selectedCount_() : 0; });
    ownCommands_ = commands_.names();

    server_ = std::make_unique<WStreamingServer>(userAgent());
    // The rules read whether a job shows progress.
    connect(tasks_.get(), &TaskService::busyChanged, &commands_, &CommandTable::refresh);
}

AppCore::~AppCore() {
    // Jobs that end from here on change no rules: what they read goes away.
    QObject::disconnect(tasks_.get(), nullptr, &commands_, nullptr);
    // A load that waits for a connection on this thread is let go before waiting for it.
    connector_->close();
    loader_->wait();
    loader_->setConnector(nullptr);
    delete loader_; // before the service it reports to
    // The rules of the table may read what is gone by the time the player goes.
    QObject::disconnect(player_.get(), nullptr, &commands_, nullptr);
    commands_.shutDown();
}

void AppCore::removeWindowCommands() {
    // Every service but the player's goes with the window, and what tests added.
    CommandServices kept;
    kept.transport = commands_.services().transport;
    commands_.setServices(kept);
    for (const QString& name : commands_.names())
        if (!ownCommands_.contains(name, Qt::CaseInsensitive)) commands_.remove(name);
}

void AppCore::setMediaPrompts(MediaPrompts* prompts) {
    prompts_->target = prompts;
}

QString AppCore::userAgent() {
    return QStringLiteral("Vorlune, Version ") + MyVersionInfo::current().VersionString;
}

QString AppCore::controlCommand(int code) {
    // Code 0 (a second start) raises the window and has its own path.
    return code > 0 ? commandcatalogue::commandForSocketCode(code) : QString();
}

void AppCore::bringToFront() {
    commands_.run(QLatin1String(cmd::Raise), QString(), CommandTable::FrontEnd::Socket);
}

bool AppCore::commandEnabled(int code) const {
    const QString name = controlCommand(code);
    return !name.isEmpty() && commands_.check(name, QString(), CommandTable::FrontEnd::Socket);
}

void AppCore::runCommand(int code) {
    const QString name = controlCommand(code);
    if (!name.isEmpty()) commands_.run(name, QString(), CommandTable::FrontEnd::Socket);
}

void AppCore::reloadMedia() {
    commands_.run(QLatin1String(cmd::Reload), QString(), CommandTable::FrontEnd::Socket);
}
