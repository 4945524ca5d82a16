#include "collection_views.h"

#include "collection_tree_model.h"
#include "fitting_tree_view.h"
#include "title_list_model.h"
#include "tree_node.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
// The tree, telling whether the current node changes through the keyboard.
class NodeTree : public QTreeView {
public:
    using QTreeView::QTreeView;
    bool inKeyPress() const { return inKeyPress_; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        inKeyPress_ = true;
        QTreeView::keyPressEvent(event);
        inKeyPress_ = false;
    }

private:
    bool inKeyPress_ = false;
};
} // namespace

CollectionViews::CollectionViews(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter_);

    treeModel_ = new CollectionTreeModel(this);
    tree_ = new NodeTree(splitter_);
    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setHeaderHidden(true);
    tree_->setModel(treeModel_);
    tree_->setUniformRowHeights(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    treeModel_->setBaseFont(tree_->font());
    tree_->installEventFilter(this);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onTreeCurrentChanged(current); });
    // Keys that move through the tree build the node they rest on.
    keyBuildTimer_ = new QTimer(this);
    keyBuildTimer_->setSingleShot(true);
    keyBuildTimer_->setInterval(kKeyBuildDelayMs);
    connect(keyBuildTimer_, &QTimer::timeout, this, [this] {
        rebuild();
        emit nodeSelected(currentNode());
    });
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        emit treeContextMenuRequested(tree_->viewport()->mapToGlobal(pos));
    });

    right_ = new QStackedWidget(splitter_);
    panel_ = new QStackedWidget(right_);
    right_->addWidget(panel_);
    panel_->setObjectName(QStringLiteral("Panel8"));
    listStack_ = new QStackedWidget(panel_);
    listModel_ = new TitleListModel(this);
    listSelection_ = new QItemSelectionModel(listModel_, this);

    details_ = new FittingTreeView(listStack_);
    details_->setObjectName(QStringLiteral("list"));
    details_->setRootIsDecorated(false);
    details_->setUniformRowHeights(true);
    details_->setItemsExpandable(false);
    details_->setAllColumnsShowFocus(true);
    details_->setSortingEnabled(false);
    details_->setModel(listModel_);
    details_->setSelectionModel(listSelection_);
    details_->header()->setSectionsClickable(false);
    details_->header()->setStretchLastSection(false);

    icons_ = new QListView(listStack_);
    icons_->setObjectName(QStringLiteral("listIcons"));
    icons_->setModel(listModel_);
    icons_->setSelectionModel(listSelection_);
    icons_->setUniformItemSizes(true);
    icons_->setLayoutMode(QListView::Batched);
    icons_->setBatchSize(500);
    icons_->setResizeMode(QListView::Adjust);

    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(details_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->installEventFilter(this);
        listStack_->addWidget(v);
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            emit titleActivated(listModel_->lineAt(index.row()));
        });
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) {
            listClick();
            emit listContextMenuRequested(v->viewport()->mapToGlobal(pos));
        });
    }
    listModel_->setBaseFont(details_->font());
    connect(listSelection_, &QItemSelectionModel::selectionChanged, this, [this] { listClick(); });

    noelemtext_ = new QLabel(QStringLiteral("Diese Liste enthält keine Elemente."), panel_);
    noelemtext_->setObjectName(QStringLiteral("noelemtext"));
    noelemtext_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    noelemtext_->setContentsMargins(0, 16, 0, 0);
    noelemtext_->setAutoFillBackground(true);
    noelemtext_->setBackgroundRole(QPalette::Base);
    panel_->addWidget(listStack_);
    panel_->addWidget(noelemtext_);
    panel_->setCurrentWidget(noelemtext_);

    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({217, 600});
    applyStyle();
}

CollectionViews::~CollectionViews() = default;

void CollectionViews::setCollection(Collection* collection) {
    collection_ = collection;
    listModel_->setStyles(collection ? &collection->titleStyles : nullptr);
    listModel_->clear();
    treeModel_->setCollection(collection);
    if (collection) {
        tree_->expand(treeModel_->indexOf(collection->root()));
        selectNode(collection->root());
    }
    emit collectionReset();
}

void CollectionViews::beginReload() {
    keyBuildTimer_->stop(); // its node is about to go
    reloadPath_.clear();
    for (TreeNode* n = currentNode(); n && n->parent(); n = n->parent())
        reloadPath_.prepend(n->text);
    listModel_->clear();
    treeModel_->beginCollectionChange();
}

void CollectionViews::endReload() {
    treeModel_->endCollectionChange();
    if (!collection_) return;
    tree_->expand(treeModel_->indexOf(collection_->root()));
    // Back to the node that was selected, or as near to it as still exists.
    TreeNode* node = collection_->root();
    for (const QString& caption : reloadPath_) {
        TreeNode* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text == caption) next = node->child(i);
        if (!next) break;
        node = next;
    }
    const QSignalBlocker block(tree_->selectionModel());
    const QModelIndex index = treeModel_->indexOf(node);
    tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    tree_->scrollTo(index);
    rebuild();
    emit collectionReset();
}

TreeNode* CollectionViews::currentNode() const {
    return treeModel_->nodeOf(tree_->selectionModel()->currentIndex());
}

void CollectionViews::selectNode(TreeNode* node) {
    const QModelIndex index = treeModel_->indexOf(node);
    if (!index.isValid()) return;
    if (tree_->selectionModel()->currentIndex() == index) {
        rebuild();
        return;
    }
    tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    tree_->scrollTo(index);
}

void CollectionViews::selectFixedNode(Collection::RootPosition which) {
    if (collection_) selectNode(collection_->node(which));
}

void CollectionViews::onTreeCurrentChanged(const QModelIndex& current) {
    if (static_cast<NodeTree*>(tree_)->inKeyPress()) {
        keyBuildTimer_->start();
        return;
    }
    rebuild();
    emit nodeSelected(treeModel_->nodeOf(current));
}

void CollectionViews::rebuild() {
    keyBuildTimer_->stop();
    if (!collection_) return;
    const TreeNode* node = currentNode();
    ViewBuild b = viewbuild::build(*collection_, node, context_, search_);
    key_ = b.key;
    const bool show = b.showList;
    const QString status = b.statusText;
    const bool charts = b.mode == ViewBuild::Mode::Charts;
    listModel_->setBuild(std::move(b), context_.currentLine, context_.playlistCurrentIndex);
    panel_->setCurrentWidget(show ? static_cast<QWidget*>(listStack_) : noelemtext_);
    if (show && style_ == Details) {
        for (int c = 0; c < listModel_->columnCount(); ++c) {
            const bool hidden = c < 3 && !columnVisible_[c];
            details_->setColumnHidden(c, hidden);
            if (!hidden) details_->resizeColumnToContents(c);
        }
    }
    Q_UNUSED(charts);
    const int current = listModel_->firstCurrentRow();
    if (current >= 0) list()->scrollTo(listModel_->index(current, 0));
    setStatus(status);
    listClick();
    emit viewBuilt();
}

void CollectionViews::setStatus(const QString& text) {
    status_ = text;
    emit statusTextChanged(text);
}

void CollectionViews::listClick() {
    emit listSelectionChanged();
}

QStringList CollectionViews::selectedTitles() const {
    QList<int> rows;
    for (const QModelIndex& i : listSelection_->selectedRows())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    QStringList out;
    out.reserve(rows.size());
    for (int r : rows)
        out.append(listModel_->lineAt(r));
    return out;
}

int CollectionViews::selectedCount() const {
    return int(listSelection_->selectedRows().size());
}

int CollectionViews::itemCount() const {
    return listModel_->rowCount();
}

void CollectionViews::selectAll() {
    if (itemCount() == 0) return;
    const QItemSelection all(listModel_->index(0, 0),
                             listModel_->index(itemCount() - 1, listModel_->columnCount() - 1));
    listSelection_->select(all, QItemSelectionModel::ClearAndSelect);
    emit listSelectionChanged();
}

void CollectionViews::focusList() {
    if (listVisible()) list()->setFocus();
}

void CollectionViews::repaintList() {
    list()->viewport()->update();
}

void CollectionViews::arrangeIcons() {
    if (style_ != Details) icons_->doItemsLayout();
}

bool CollectionViews::listVisible() const {
    return panel_->currentWidget() == listStack_ && right_->currentWidget() == panel_;
}

void CollectionViews::setWebPanel(QWidget* panel) {
    if (webPanel_) right_->removeWidget(webPanel_);
    webPanel_ = panel;
    if (panel) right_->addWidget(panel);
    right_->setCurrentWidget(panel_);
}

void CollectionViews::ShowWebPanel() {
    if (webPanel_) right_->setCurrentWidget(webPanel_);
}

void CollectionViews::ShowListPanel() {
    right_->setCurrentWidget(panel_);
}

bool CollectionViews::webPanelShown() const {
    return webPanel_ && right_->currentWidget() == webPanel_;
}

QAbstractItemView* CollectionViews::list() const {
    return style_ == Details ? static_cast<QAbstractItemView*>(details_) : icons_;
}

void CollectionViews::setViewStyle(ViewStyle style) {
    style_ = style;
    applyStyle();
    rebuild();
}

void CollectionViews::applyStyle() {
    if (style_ == Details) {
        listStack_->setCurrentWidget(details_);
        return;
    }
    listStack_->setCurrentWidget(icons_);
    if (style_ == LargeIcons) {
        icons_->setViewMode(QListView::IconMode);
        icons_->setIconSize(QSize(32, 32));
        icons_->setGridSize(QSize(96, 64));
        icons_->setWordWrap(true);
        icons_->setFlow(QListView::LeftToRight);
    } else {
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setGridSize(QSize());
        icons_->setWordWrap(false);
        icons_->setFlow(style_ == SmallIcons ? QListView::LeftToRight : QListView::TopToBottom);
        icons_->setWrapping(true);
    }
    icons_->setMovement(QListView::Static);
}

bool CollectionViews::isColumnVisible(ListColumn column) const {
    return columnVisible_[column];
}

void CollectionViews::setColumnVisible(ListColumn column, bool visible) {
    columnVisible_[column] = visible;
    details_->setColumnHidden(column, !visible);
    if (visible) details_->resizeColumnToContents(column);
}

int CollectionViews::splitPosition() const {
    return splitter_->sizes().value(0);
}

void CollectionViews::setSplitPosition(int treeWidth) {
    const int total = qMax(splitter_->width(), treeWidth + 100);
    splitter_->setSizes({treeWidth, total - treeWidth});
}

bool CollectionViews::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (watched == tree_ && enter) {
            rebuild();
            return true;
        }
        if (watched != tree_ && enter) {
            const QModelIndex i = list()->currentIndex();
            if (i.isValid()) emit titleActivated(listModel_->lineAt(i.row()));
            return true;
        }
        if (watched != tree_ && key->matches(QKeySequence::SelectAll)) {
            selectAll();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
