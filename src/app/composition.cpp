#include "composition.h"

#include "app_core.h"
#include "collection_views.h"
#include "copy_dialogs.h"
#include "copy_integration.h"
#include "lists_integration.h"
#include "main_window.h"
#include "media_dialogs.h"
#include "media_integration.h"
#include "media_window_view.h"
#include "options_integration.h"
#include "options_window_view.h"
#include "player_integration.h"
#include "player_window_view.h"
#include "remote_integration.h"
#include "statistics_integration.h"
#include "streaming_integration.h"
#include "web_integration.h"
#include "web_window_view.h"
#include "window_views.h"

#include <stdexcept>
#include <string>

Integrations::Integrations() = default;
Integrations::~Integrations() = default;

namespace {

// A part built earlier; its absence is an error in the order of building.
template <class T> T& required(T* part, const char* name) {
    if (!part)
        throw std::logic_error(std::string("composeIntegrations: ") + name +
                               " is needed before it is built");
    return *part;
}

} // namespace

void composeIntegrations(TForm1& window, AppCore& core, Integrations& parts) {
    if (parts.media) throw std::logic_error("composeIntegrations: the window is composed already");
    TForm2& insertMedium = required(window.Form2, "the insert-medium dialog");
    TForm6& password = required(window.Form6, "the password prompt");
    CollectionViews& views = required(window.views(), "the collection views");

    parts.mediaView = std::make_unique<MediaWindowView>(window);
    parts.media =
        std::make_unique<MediaIntegration>(core, *parts.mediaView, insertMedium, password);
    MediaIntegration* media = parts.media.get();
    QObject::connect(&views, &CollectionViews::treeContextMenuRequested, media,
                     &MediaIntegration::showTreeMenu);
    // Media are taken down before anything else of the close request.
    window.closeRequestHooks.insert(window.closeRequestHooks.begin(),
                                    [media] { return media->closeRequest(); });
    window.closingHooks.push_back([media] { media->access().DisconnectAll(false); });

    const AppCore::Environment& env = window.environment();
    parts.windowViews = std::make_unique<WindowViews>(window);
    WindowViews& windowViews = *parts.windowViews;
    parts.copy = new CopyIntegration(core.commands(), core.media(), env.store, env.catalogDir,
                                     env.dataDir, windowViews, &window);
    CopyIntegration* copy = parts.copy;
    copy->copyDialog()->run().setTaskService(&core.tasks());
    // Before media are taken down: a copy under way stops and its partial file goes.
    window.closingHooks.insert(window.closingHooks.begin(), [copy] { copy->shutdown(); });
    parts.streaming = new StreamingIntegration(core.streamingServer(), core.settings(), env.store,
                                               core.tasks(), windowViews, &window);
    StreamingIntegration* streaming = parts.streaming;
    window.closeRequestHooks.push_back([streaming] { return streaming->closeRequest(); });
    window.closingHooks.push_back([streaming] { streaming->shutdown(); });

    parts.playerView = std::make_unique<PlayerWindowView>(window);
    parts.player = std::make_unique<PlayerIntegration>(core, *parts.playerView);
    parts.playerView->wire(*parts.player);
    QObject::connect(parts.player.get(), &PlayerIntegration::streamTitleChanged,
                     &required(parts.streaming, "streaming"),
                     &StreamingIntegration::setStreamTitle);

    parts.lists = new ListsIntegration(core.commands(), core.collectionPtr(), env.store,
                                       window.versionInfo().VersionString, env.catalogDir,
                                       env.tempDir, windowViews, &window);
    parts.lists->sharing().setTaskService(&core.tasks());
    // The Merkzettel may be replaced by a reload or restored from the settings.
    QObject::connect(&window, &TForm1::collectionReplaced, &core.commands(),
                     &CommandTable::refresh);
    QObject::connect(&window, &TForm1::loadFinished, &core.commands(), &CommandTable::refresh);
    parts.remote = std::make_unique<RemoteIntegration>(
        core.commands(), core.player(), core.settings(), core.streamingServer(), windowViews);
    QObject::connect(streaming, &StreamingIntegration::applied, parts.remote.get(),
                     &RemoteIntegration::refreshStreaming);
    parts.statistics = new StatisticsIntegration(
        core.commands(), core.settings(), core.streamingServer(),
        required(parts.streaming, "streaming"), core.player(), core.media(), core.collectionPtr(),
        window.versionInfo(), core.tasks(), windowViews, &window);
    QObject::connect(streaming, &StreamingIntegration::applied, parts.statistics,
                     &StatisticsIntegration::scheduleUpdate);

    parts.optionsView = std::make_unique<OptionsWindowView>(window);
    parts.streamingForOptions =
        std::make_unique<StreamingForOptions>(required(parts.streaming, "streaming"));
    parts.profilesForOptions =
        std::make_unique<ProfilesForOptions>(required(parts.copy, "copying"));
    parts.options = std::make_unique<OptionsIntegration>(
        core, *parts.optionsView, *parts.streamingForOptions, *parts.profilesForOptions);
    parts.optionsView->wire(*parts.options);
    parts.streamingForOptions->wire(*parts.options);

    parts.webView = std::make_unique<WebWindowView>(window);
    parts.titlesForWeb = std::make_unique<TitleActionsForWeb>(
        required(parts.copy, "copying"), required(parts.lists, "the Merkzettel"));
    parts.web = std::make_unique<WebIntegration>(core, *parts.webView, *parts.titlesForWeb);
    parts.webView->wire(*parts.web);
}
