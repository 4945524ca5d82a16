#pragma once

#include "command_services.h"

#include <functional>

class CommandTable;
class Player;

// The transport commands over the player: its facts are the table's transport state, and
// the table is refreshed whenever they change. Provided to the table while it lives.
class PlayerCommands : public TransportCommands {
public:
    PlayerCommands(CommandTable& table, Player& player, std::function<int()> selectedCount);
    ~PlayerCommands() override;
    PlayerCommands(const PlayerCommands&) = delete;
    PlayerCommands& operator=(const PlayerCommands&) = delete;

    void onPlay() override;
    void onPlaySelection() override;
    void onPause() override;
    void onStop() override;
    void onPrev(int titles) override;
    void onNext(int titles) override;
    void onRepeat(const QString& flag) override;
    void onShuffle(const QString& flag) override;
    void onSeek(int seconds) override;

private:
    CommandTable& table_;
    Player& player_;
    std::function<int()> selectedCount_;
};
