#pragma once

#include <QString>

// What the command rules read: the state of the program's parts, without widgets. The
// owners of each part fill in their fields (CommandTable::addStateSource); the rules are
// pure functions of it.
namespace uistate {

// The kind of the tree node the list shows.
enum class NodeKind { None, Root, Playlist, Merkzettel, Charts, MediaList, AlphaList, Other };

// The player's facts the transport rules read.
struct Transport {
    bool selection = false;     // the title list has selected titles
    bool playlistShown = false; // the list shows the playlist
    bool session = false;       // a play was started and not stopped since
    bool begun = false;         // a title is starting, plays or is paused
    bool open = false;          // a title is open: it plays or is paused
    bool running = false;       // it plays, not paused (the playback tick runs)
    int titles = 0;             // the playlist's size
    int position = 0;           // the play-order position
    bool repeat = false;
    bool operator==(const Transport&) const = default;
};

// The transport rules, shared by the command table and the player's own controls.
inline bool canPlay(const Transport& t) {
    return t.selection && !t.playlistShown;
}
inline bool canPause(const Transport& t) {
    return t.open;
}
inline bool canStop(const Transport& t) {
    return t.begun;
}
inline bool canPrev(const Transport& t) {
    return t.session && t.titles > 0 && (t.position > 0 || t.repeat);
}
inline bool canNext(const Transport& t) {
    return t.session && t.titles > 0 && (t.position < t.titles - 1 || t.repeat);
}
inline bool canRepeat(const Transport& t) {
    return t.session;
}
inline bool canShuffle(const Transport& t) {
    return t.session && t.titles > 1;
}
inline bool canSeek(const Transport& t) {
    return t.running;
}

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
