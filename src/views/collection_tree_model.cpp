#include "collection_tree_model.h"

#include "collection.h"
#include "style_font.h"
#include "tree_node.h"
#include "view_build.h"
#include "view_icons.h"

#include <QHash>

namespace {
QIcon nodeIcon(int normal, int selected) {
    static QHash<int, QIcon> cache;
    const int key = normal * 64 + selected;
    auto it = cache.find(key);
    if (it != cache.end()) return *it;
    QIcon icon;
    const QIcon n = viewicons::treeIcon(normal);
    const QIcon s = viewicons::treeIcon(selected);
    for (int size : {16, 32}) {
        icon.addPixmap(n.pixmap(size), QIcon::Normal);
        icon.addPixmap(s.pixmap(size), QIcon::Selected);
    }
    return *cache.insert(key, icon);
}
} // namespace

CollectionTreeModel::CollectionTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void CollectionTreeModel::setCollection(Collection* collection) {
    beginResetModel();
    collection_ = collection;
    endResetModel();
}

void CollectionTreeModel::beginCollectionChange() {
    if (resetting_) return;
    resetting_ = true;
    beginResetModel();
}

void CollectionTreeModel::endCollectionChange() {
    if (!resetting_) return;
    resetting_ = false;
    endResetModel();
}

TreeNode* CollectionTreeModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    return static_cast<TreeNode*>(index.internalPointer());
}

QModelIndex CollectionTreeModel::indexOf(const TreeNode* node) const {
    if (!node || !collection_) return {};
    if (!node->parent())
        return node == collection_->root() ? createIndex(0, 0, const_cast<TreeNode*>(node))
                                           : QModelIndex();
    return createIndex(node->row(), 0, const_cast<TreeNode*>(node));
}

QModelIndex CollectionTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (!collection_ || column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, 0, collection_->root()) : QModelIndex();
    const TreeNode* p = nodeOf(parent);
    if (row >= p->childCount()) return {};
    return createIndex(row, 0, p->child(row));
}

QModelIndex CollectionTreeModel::parent(const QModelIndex& child) const {
    const TreeNode* n = nodeOf(child);
    if (!n || !n->parent()) return {};
    return indexOf(n->parent());
}

int CollectionTreeModel::rowCount(const QModelIndex& parent) const {
    if (!collection_ || resetting_) return 0;
    if (!parent.isValid()) return 1;
    if (parent.column() != 0) return 0;
    return nodeOf(parent)->childCount();
}

bool CollectionTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

int CollectionTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CollectionTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* n = nodeOf(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return n->text;
    case Qt::DecorationRole:
        return nodeIcon(n->icon, n->selectedIcon);
    case IconIndexRole:
        return n->icon;
    case SelectedIconIndexRole:
        return n->selectedIcon;
    case NodeRole:
        return QVariant::fromValue(static_cast<void*>(const_cast<TreeNode*>(n)));
    case Qt::FontRole:
    case Qt::ForegroundRole: {
        if (collection_->titleStyles.count() == 0) return {};
        const QString key = viewbuild::folderStyleKey(n);
        if (key.isEmpty()) return {};
        const indexfile::TitleStyle* style = collection_->titleStyles.find(key);
        if (!style) return {};
        if (role == Qt::FontRole) return styledFont(baseFont_, *style);
        return styleColour(*style);
    }
    default:
        return {};
    }
}
