#include "player_commands.h"

#include "commands.h"
#include "player.h"

void registerPlayerCommands(CommandTable& table, Player& player,
                            std::function<int()> selectedCount) {
    Player* p = &player;
    // The transport part of the state: the player's facts.
    table.addStateSource(p, [p](UiState& s) { s.transport = p->transport(); });
    table.add(QLatin1String(cmd::Play), [p](const QString&) { p->playClick(); });
    table.add(QLatin1String(cmd::PlaySelection), [p, selectedCount](const QString&) {
        p->Wiedergabe3Click(selectedCount ? selectedCount() : 0);
    });
    table.add(QLatin1String(cmd::Pause), [p](const QString&) { p->pauseClick(); });
    table.add(QLatin1String(cmd::Stop), [p](const QString&) { p->stopClick(); });
    table.add(QLatin1String(cmd::Prev),
              [p](const QString& arg) { p->prevClick(CommandTable::skipCount(arg)); });
    table.add(QLatin1String(cmd::Next),
              [p](const QString& arg) { p->nextClick(CommandTable::skipCount(arg)); });
    table.add(QLatin1String(cmd::Repeat), [p](const QString& arg) {
        p->setRepeat(CommandTable::flag(arg, !p->playlist().repeat()));
    });
    table.add(QLatin1String(cmd::Shuffle), [p](const QString& arg) {
        p->setShuffle(CommandTable::flag(arg, !p->playlist().shuffle()));
    });
    table.add(QLatin1String(cmd::Seek), [p](const QString& arg) { p->seekerChange(arg.toInt()); });
    QObject::connect(p, &Player::controlsChanged, &table, &CommandTable::refresh);
    QObject::connect(p, &Player::startFinished, &table, &CommandTable::refresh);
}
