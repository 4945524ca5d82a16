// The main window's commands and the menu items and buttons bound to them.
#include "command_binding.h"
#include "command_panel.h"
#include "main_window.h"

#include "collection_views.h"
#include "quick_search.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

void TForm1::registerCommands() {
    CommandTable& table = core_.commands();
    table.add(QLatin1String(cmd::Raise), [this](const QString&) { bringToFront(); });
    table.add(QLatin1String(cmd::Reload), [this](const QString&) { reloadMedia(); });
    table.add(QLatin1String(cmd::Quit), [this](const QString&) { close(); });
    table.add(
        QLatin1String(cmd::SelectAll),
        [this](const QString&) {
            if (views_) views_->selectAll();
        },
        [this] { return views_ && listStates_.selectAll; });
    table.add(QLatin1String(cmd::RefreshList), [this](const QString&) {
        if (views_ && views_->list()) views_->list()->viewport()->update();
    });
    table.add(
        QLatin1String(cmd::ArrangeIcons),
        [this](const QString&) {
            if (views_ && views_->list()) views_->list()->doItemsLayout();
        },
        [this] {
            return views_ && (views_->viewStyle() == CollectionViews::LargeIcons ||
                              views_->viewStyle() == CollectionViews::SmallIcons);
        });
    connect(viewStyleGroup_, &QActionGroup::triggered, &table, &CommandTable::refresh,
            Qt::QueuedConnection);
    // The quick search on a given text; refused while a load or search shows the bar.
    table.add(
        QLatin1String(cmd::Search),
        [this](const QString& text) {
            quickSearch_->setText(text);
            quickSearch_->run();
        },
        [this] { return quickSearch_ && ProgressBar1->isHidden(); });
}

void TForm1::bindCommands() {
    CommandTable& table = core_.commands();
    // Menu items by object name. Items of commands nobody registered stay disabled.
    const std::pair<const char*, const char*> items[] = {
        {"Wiedergabe3", cmd::PlaySelection},
        {"Play1", cmd::PlaySelection},
        {"Pause1", cmd::Pause},
        {"Stop1", cmd::Stop},
        {"VorherigerTitel1", cmd::Prev},
        {"NchsterTitel1", cmd::Next},
        {"Wiederholen1", cmd::Repeat},
        {"Zufllig1", cmd::Shuffle},
        {"Allesmarkieren1", cmd::SelectAll},
        {"Merken1", cmd::Remember},
        {"Titelhinzufgen1", cmd::Remember},
        {"InZielordnerkopieren1", cmd::Copy},
        {"Eigenschaften2", cmd::Properties},
        {"Statistik1", cmd::Statistics},
        {"Lautstrke1", cmd::Volume},
        {"Wiedergabeliste1", cmd::ShowPlaylist},
        {"ZumWeitergebenspeichern1", cmd::SaveBrainList},
        {"PereMailverschicken1", cmd::MailBrainList},
        {"DatentrgerListenneueinlesen1", cmd::Reload},
        {"Beenden1", cmd::Quit},
        {"Aktualisieren1", cmd::RefreshList},
        {"AmRasterausrichten1", cmd::ArrangeIcons},
    };
    for (const auto& [item, command] : items)
        commandbinding::bind(table, action(QLatin1String(item)), QLatin1String(command));
    const std::pair<QAbstractButton*, const char*> buttons[] = {
        {commands->play, cmd::Play},           {commands->pause, cmd::Pause},
        {commands->stop, cmd::Stop},           {commands->prev, cmd::Prev},
        {commands->next, cmd::Next},           {commands->rept, cmd::Repeat},
        {commands->shuf, cmd::Shuffle},        {commands->copy_btn, cmd::Copy},
        {commands->burn_btn, cmd::Burn},       {commands->reload_btn, cmd::Reload},
        {commands->stat_btn, cmd::Statistics}, {commands->vol_btn, cmd::Volume},
    };
    for (const auto& [button, command] : buttons)
        commandbinding::bind(table, button, QLatin1String(command));
}
