#include "player_commands.h"

#include "commands.h"
#include "player.h"

#include <algorithm>

void registerPlayerCommands(CommandTable& table, Player& player,
                            std::function<int()> selectedCount) {
    Player* p = &player;
    auto rule = [p](bool PlayerControls::*field) {
        return [p, field] { return p->controls().*field; };
    };
    table.add(
        QLatin1String(cmd::Play), [p](const QString&) { p->playClick(); },
        rule(&PlayerControls::playEnabled));
    table.add(
        QLatin1String(cmd::PlaySelection),
        [p, selectedCount](const QString&) {
            p->Wiedergabe3Click(selectedCount ? selectedCount() : 0);
        },
        rule(&PlayerControls::playEnabled));
    table.add(
        QLatin1String(cmd::Pause), [p](const QString&) { p->pauseClick(); },
        rule(&PlayerControls::pauseEnabled));
    table.add(
        QLatin1String(cmd::Stop), [p](const QString&) { p->stopClick(); },
        rule(&PlayerControls::stopEnabled));
    table.add(
        QLatin1String(cmd::Prev),
        [p](const QString& arg) { p->prevClick(CommandTable::skipCount(arg)); },
        rule(&PlayerControls::prevEnabled));
    table.add(
        QLatin1String(cmd::Next),
        [p](const QString& arg) { p->nextClick(CommandTable::skipCount(arg)); },
        rule(&PlayerControls::nextEnabled));
    table.add(
        QLatin1String(cmd::Repeat),
        [p](const QString& arg) { p->setRepeat(CommandTable::flag(arg, !p->playlist().repeat())); },
        rule(&PlayerControls::reptEnabled));
    table.add(
        QLatin1String(cmd::Shuffle),
        [p](const QString& arg) {
            p->setShuffle(CommandTable::flag(arg, !p->playlist().shuffle()));
        },
        rule(&PlayerControls::shufEnabled));
    table.add(
        QLatin1String(cmd::Seek),
        [p](const QString& arg) { p->seekerChange(std::max(arg.toInt(), 0)); },
        rule(&PlayerControls::seekerEnabled));
    QObject::connect(p, &Player::controlsChanged, &table, &CommandTable::refresh);
}
