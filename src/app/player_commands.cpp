#include "player_commands.h"

#include "commands.h"
#include "player.h"

PlayerCommands::PlayerCommands(CommandTable& table, Player& player,
                               std::function<int()> selectedCount)
    : table_(table), player_(player), selectedCount_(std::move(selectedCount)) {
    Player* p = &player_;
    // The transport part of the state: the player's facts.
    table_.addStateSource(p, [p](UiState& s) { s.transport = p->transport(); });
    QObject::connect(p, &Player::controlsChanged, &table_, &CommandTable::refresh);
    QObject::connect(p, &Player::startFinished, &table_, &CommandTable::refresh);
    table_.provide<TransportCommands>(&CommandServices::transport, this);
}

PlayerCommands::~PlayerCommands() {
    table_.withdraw<TransportCommands>(&CommandServices::transport, this);
}

void PlayerCommands::onPlay() {
    player_.playClick();
}

void PlayerCommands::onPlaySelection() {
    player_.Wiedergabe3Click(selectedCount_ ? selectedCount_() : 0);
}

void PlayerCommands::onPause() {
    player_.pauseClick();
}

void PlayerCommands::onStop() {
    player_.stopClick();
}

void PlayerCommands::onPrev(int titles) {
    player_.prevClick(titles);
}

void PlayerCommands::onNext(int titles) {
    player_.nextClick(titles);
}

void PlayerCommands::onRepeat(const QString& flag) {
    player_.setRepeat(CommandTable::flag(flag, !player_.playlist().repeat()));
}

void PlayerCommands::onShuffle(const QString& flag) {
    player_.setShuffle(CommandTable::flag(flag, !player_.playlist().shuffle()));
}

void PlayerCommands::onSeek(int seconds) {
    player_.seekerChange(seconds);
}
