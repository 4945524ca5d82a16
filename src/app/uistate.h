#pragma once

#include <QString>

// What the command rules read: the state of the program's parts, without widgets. The
// owners of each part fill in their fields (CommandTable::addStateSource); the rules are
// pure functions of it.
namespace uistate {

// The kind of the tree node the list shows.
enum class NodeKind { None, Root, Playlist, Merkzettel, Charts, MediaList, AlphaList, Other };

// The player's transport, as its buttons show it.
struct Transport {
    bool play = false;    // titles are selected and the playlist is not the shown view
    bool pause = false;   // a title is open (playing or paused)
    bool stop = false;    // a title plays, is paused or is starting
    bool prev = false;    // an earlier title, or repeat
    bool next = false;    // a later title, or repeat
    bool repeat = false;  // a playlist plays
    bool shuffle = false; // a playlist of more than one title plays
    bool seek = false;    // a title plays and is not paused
    bool playing = false; // the playback timer runs (a title plays, not paused)
    bool operator==(const Transport&) const = default;
};

} // namespace uistate

struct UiState {
    // The collection views: the node shown and the list's selection.
    bool viewsExist = false;
    uistate::NodeKind node = uistate::NodeKind::None;
    int listItems = 0;
    int selected = 0;
    bool iconView = false; // large or small icons

    // Copying: the destination template as typed, a run under way, the copy mode
    // (0 copy, 1 move, 2 burn).
    QString destination;
    bool copyRunning = false;
    int copyMode = 0;

    // The window: shown once; a job of the task service that shows progress (a load,
    // download or scan) under way; the quick search.
    bool windowShown = false;
    bool busy = false;
    bool searchReady = false;

    // The Merkzettel.
    int merkzettelTitles = 0;
    bool mailUnderWay = false;

    // Streaming: switched on in the settings, the server running.
    bool streamingEnabled = false;
    bool streamingActive = false;

    uistate::Transport transport;

    bool operator==(const UiState&) const = default;
};
