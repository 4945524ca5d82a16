#pragma once

#include <QString>

// What the commands' handlers act on: one small interface per owner of a part of the
// program. Each descriptor's handler (command_catalogue.cpp) calls one of these; the
// owners put themselves into the table's services while they live
// (CommandTable::setService). A command whose service is missing counts as not built.
// The handlers get their argument already checked and in its one form.

// The player, kept by the core.
class TransportCommands {
public:
    virtual ~TransportCommands() = default;
    virtual void onPlay() = 0;
    virtual void onPlaySelection() = 0;
    virtual void onPause() = 0;
    virtual void onStop() = 0;
    virtual void onPrev(int titles) = 0;
    virtual void onNext(int titles) = 0;
    virtual void onRepeat(const QString& flag) = 0; // "1"/"0", empty toggles
    virtual void onShuffle(const QString& flag) = 0;
    virtual void onSeek(int seconds) = 0;
};

// The main window.
class WindowCommands {
public:
    virtual ~WindowCommands() = default;
    virtual void onRaise() = 0;
    virtual void onReload() = 0;
    virtual void onQuit() = 0;
    virtual void onSelectAll() = 0;
    virtual void onRefreshList() = 0;
    virtual void onArrangeIcons() = 0;
    virtual void onSearch(const QString& text) = 0;
    virtual void onQuickSearch() = 0;
};

// The player's window parts: volume and playlist.
class PlaybackCommands {
public:
    virtual ~PlaybackCommands() = default;
    virtual void onVolume() = 0;
    virtual void onSetVolume(int percent) = 0;
    virtual void onShowPlaylist() = 0;
};

// The Merkzettel.
class ListsCommands {
public:
    virtual ~ListsCommands() = default;
    virtual void onRemember(const QString& selection) = 0; // empty: the list's selection
    virtual void onRemoveTitle() = 0;
    virtual void onClearBrainList() = 0;
    virtual void onSaveBrainList() = 0;
    virtual void onMailBrainList() = 0;
};

// Copying.
class CopyCommands {
public:
    virtual ~CopyCommands() = default;
    virtual void onCopy(const QString& selection) = 0; // empty: the list's selection
    virtual void onBurn() = 0;
};

// The statistics window and the title properties.
class StatisticsCommands {
public:
    virtual ~StatisticsCommands() = default;
    virtual void onStatistics() = 0;
    virtual void onAbout() = 0;
    virtual void onConnections() = 0;
    virtual void onListeners() = 0;
    virtual void onProperties(const QString& titleLine) = 0; // empty: the first selected
    virtual void onTitleProperties(const QString& titleLine) = 0;
    virtual void onPlayingProperties() = 0;
};

// The options dialog.
class OptionsCommands {
public:
    virtual ~OptionsCommands() = default;
    virtual void onOptions(int page) = 0;
};

// Remote control's own steps.
class RemoteCommands {
public:
    virtual ~RemoteCommands() = default;
    virtual void onPlayAll(const QString& text) = 0;
};

// The web view and its pages' explicit selections.
class WebCommands {
public:
    virtual ~WebCommands() = default;
    virtual void onPlayTitles(const QString& selection) = 0;
    virtual void onCopyTitles(const QString& selection) = 0;
    virtual void onBurnTitles() = 0;
    virtual void onRememberTitles(const QString& selection) = 0;
    virtual void onRootList() = 0;
    virtual void onMediaList() = 0;
    virtual void onAlphaList() = 0;
    virtual void onBrainList() = 0;
    virtual void onShowBrainList() = 0;
    virtual void onWebView(const QString& flag) = 0; // "1"/"0", empty toggles
};

// The services a table's handlers reach; null: not built (or gone with the window).
struct CommandServices {
    TransportCommands* transport = nullptr;
    WindowCommands* window = nullptr;
    PlaybackCommands* playback = nullptr;
    ListsCommands* lists = nullptr;
    CopyCommands* copy = nullptr;
    StatisticsCommands* statistics = nullptr;
    OptionsCommands* options = nullptr;
    RemoteCommands* remote = nullptr;
    WebCommands* web = nullptr;
};
