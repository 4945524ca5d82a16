#pragma once

#include <QAbstractItemModel>
#include <QFont>

class Collection;
class TreeNode;

// The collection's tree as a lazy item model: one top row "Komplette Sammlung" with the
// six fixed nodes, media, folders and alphabetical folders below. Folder nodes of level 3
// or deeper carry the display mark of their folder line as font and colour.
class CollectionTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Roles { NodeRole = Qt::UserRole + 1, IconIndexRole, SelectedIconIndexRole };

    explicit CollectionTreeModel(QObject* parent = nullptr);

    void setCollection(Collection* collection);
    Collection* collection() const { return collection_; }
    // The tree's font, the base of the display marks.
    void setBaseFont(const QFont& font) { baseFont_ = font; }

    // Call around changes of the collection's nodes (reload).
    void beginCollectionChange();
    void endCollectionChange();

    TreeNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const TreeNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    Collection* collection_ = nullptr;
    QFont baseFont_;
    bool resetting_ = false;
};
