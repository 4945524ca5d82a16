#pragma once

#include <functional>

class CommandTable;
class Player;

// The transport commands over the player: each is enabled exactly when its button is,
// and the table is refreshed whenever the player's controls change.
void registerPlayerCommands(CommandTable& table, Player& player,
                            std::function<int()> selectedCount);
