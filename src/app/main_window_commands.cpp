// The main window's commands, its part of the state, and the menu items and buttons bound
// to the commands.
#include "command_binding.h"
#include "command_panel.h"
#include "main_window.h"

#include "collection_views.h"
#include "quick_search.h"
#include "tree_node.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QPushButton>
#include <QToolButton>

namespace {

uistate::NodeKind kindOf(const Collection& c, const TreeNode* node) {
    using uistate::NodeKind;
    if (!node) return NodeKind::None;
    if (node == c.root()) return NodeKind::Root;
    const std::pair<Collection::RootPosition, NodeKind> fixed[] = {
        {Collection::PlaylistNode, NodeKind::Playlist},
        {Collection::MerkzettelNode, NodeKind::Merkzettel},
        {Collection::ChartsNode, NodeKind::Charts},
        {Collection::MediaList, NodeKind::MediaList},
        {Collection::AlphaList, NodeKind::AlphaList}};
    for (const auto& [position, kind] : fixed)
        if (node == c.node(position)) return kind;
    return NodeKind::Other;
}

} // namespace

void TForm1::registerCommands() {
    CommandTable& table = core_.commands();
    // The window's part of the state: the views, the first showing, the busy jobs and a
    // search still running.
    table.addStateSource(this, [this](UiState& s) {
        s.windowShown = shown_;
        s.busy = core_.tasks().isBusy() || (quickSearch_ && quickSearch_->searching());
        s.searchReady = quickSearch_ != nullptr;
        if (!views_) return;
        s.viewsExist = true;
        s.node = kindOf(*collection_, views_->currentNode());
        s.listItems = views_->itemCount();
        s.selected = views_->selectedCount();
        s.iconView = views_->viewStyle() == CollectionViews::LargeIcons ||
                     views_->viewStyle() == CollectionViews::SmallIcons;
    });
    connect(viewStyleGroup_, &QActionGroup::triggered, &table, &CommandTable::refresh,
            Qt::QueuedConnection);
    table.provide<WindowCommands>(&CommandServices::window, this);
}

void TForm1::onQuit() {
    close();
}

void TForm1::onSelectAll() {
    if (views_) views_->selectAll();
}

void TForm1::onRefreshList() {
    if (views_ && views_->list()) views_->list()->viewport()->update();
}

void TForm1::onArrangeIcons() {
    if (views_ && views_->list()) views_->list()->doItemsLayout();
}

// The quick search on a given text; refused while a load or search runs.
void TForm1::onSearch(const QString& text) {
    quickSearch_->setText(text);
    quickSearch_->run();
}

// The same on the input's text, as Go! and Enter start it.
void TForm1::onQuickSearch() {
    quickSearch_->run();
}

void TForm1::bindCommands() {
    // Every menu item and command panel button a descriptor names. Items of commands
    // nobody registered stay disabled.
    CommandTable& table = core_.commands();
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all())
        for (const commandcatalogue::Placement& p : d.items) {
            const QString objectName = QLatin1String(p.objectName);
            if (QAction* a = action(objectName)) {
                commandbinding::bind(table, a, p);
            } else if (auto* b = commands->findChild<QAbstractButton*>(objectName)) {
                commandbinding::bind(table, b, p);
            }
        }
}
