#pragma once

#include <memory>

class AppCore;
class CopyIntegration;
class ListsIntegration;
class MediaIntegration;
class MediaWindowView;
class OptionsIntegration;
class OptionsWindowView;
class PlayerIntegration;
class PlayerWindowView;
class ProfilesForOptions;
class RemoteIntegration;
class StatisticsIntegration;
class StreamingForOptions;
class StreamingIntegration;
class TForm1;
class TitleActionsForWeb;
class WebIntegration;
class WebWindowView;
class WindowViews;

// The integrations of one main window with their views on it. They are built in the order
// of the members and go in the opposite order, the views after all of them.
struct Integrations {
    Integrations();
    ~Integrations();
    Integrations(const Integrations&) = delete;
    Integrations& operator=(const Integrations&) = delete;

    std::unique_ptr<WindowViews> windowViews; // copy, streaming, lists, remote, statistics
    std::unique_ptr<MediaWindowView> mediaView;
    std::unique_ptr<PlayerWindowView> playerView;
    std::unique_ptr<OptionsWindowView> optionsView;
    std::unique_ptr<StreamingForOptions> streamingForOptions;
    std::unique_ptr<ProfilesForOptions> profilesForOptions;
    std::unique_ptr<WebWindowView> webView;
    std::unique_ptr<TitleActionsForWeb> titlesForWeb;

    std::unique_ptr<MediaIntegration> media;
    CopyIntegration* copy = nullptr;             // owned by the window
    StreamingIntegration* streaming = nullptr;   // owned by the window
    std::unique_ptr<PlayerIntegration> player;   // goes before the media access it uses
    ListsIntegration* lists = nullptr;           // owned by the window
    std::unique_ptr<RemoteIntegration> remote;   // withdrawn before the player goes
    StatisticsIntegration* statistics = nullptr; // owned by the window
    std::unique_ptr<OptionsIntegration> options;
    std::unique_ptr<WebIntegration> web;
};

// Builds the integrations of `window` into `parts` (which the window holds, empty so far)
// in a fixed order: media, copy, streaming, player, lists, remote, statistics, options,
// web; each from the core's services, its view and the integrations before it. Throws
// std::logic_error, before building anything more, when a part it needs is missing.
void composeIntegrations(TForm1& window, AppCore& core, Integrations& parts);
