#pragma once

// The tree and the title list of the main window, ready to embed.
//
// Use:
//   auto* views = new CollectionViews(this);
//   views->setCollection(&collection);          // after the fixed lists exist
//   views->beginReload(); collection.ClearCollection(); collection.LoadAllMedia();
//   views->endReload();                          // rebuilds the tree and the shown list
//   connect(views, &CollectionViews::statusTextChanged, ...);   // status bar
//   connect(views, &CollectionViews::listSelectionChanged, ...); // refresh the commands
// Settings: setViewStyle() (ViewStyle bits 0-1), setColumnVisible() (NameColumn,
// CDColumn, FullNameColumn), setSplitPosition() (SplitPos).

#include "collection.h"
#include "search_query.h"
#include "view_build.h"

#include <QStringList>
#include <QWidget>

class CollectionTreeModel;
class QAbstractItemView;
class QItemSelectionModel;
class QLabel;
class QListView;
class QModelIndex;
class QSplitter;
class QStackedWidget;
class QTimer;
class QTreeView;
class TitleListModel;
class TreeNode;

class CollectionViews : public QWidget {
    Q_OBJECT
public:
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, ListStyle = 2, Details = 3 };
    enum ListColumn { NameColumn = 0, LabelColumn = 1, FullNameColumn = 2 };

    explicit CollectionViews(QWidget* parent = nullptr);
    ~CollectionViews() override;

    void setCollection(Collection* collection);
    Collection* collection() const { return collection_; }
    // Around ClearCollection/LoadAllMedia: the tree's nodes go away in between.
    void beginReload();
    void endReload();

    // State of other parts the view build reads; call rebuild() after changing it when
    // the change should show at once (e.g. the current title changed).
    ViewContext& context() { return context_; }
    void setSearchState(const quicksearch::SearchState& state) { search_ = state; }
    const quicksearch::SearchState& searchState() const { return search_; }

    // Tree selection; selecting runs the view build.
    TreeNode* currentNode() const;
    void selectNode(TreeNode* node);
    void selectFixedNode(Collection::RootPosition which);
    // The view build (treeClick) for the selected node. A node reached with the keyboard
    // is built once the keys have rested for kKeyBuildDelayMs, so that a held arrow key
    // does not build every node on the way.
    void rebuild();
    static constexpr int kKeyBuildDelayMs = 200;
    const QString& viewKey() const { return key_; }

    // List selection, in list order.
    QStringList selectedTitles() const;
    int selectedCount() const;
    int itemCount() const;
    // "Alles &markieren": selects every item.
    void selectAll();
    void focusList();
    // "&Aktualisieren" and "Am &Raster ausrichten".
    void repaintList();
    void arrangeIcons();
    bool listVisible() const;

    // The browser panel beside the list panel (Panel10); exactly one of them shows.
    void setWebPanel(QWidget* panel);
    void ShowWebPanel();
    void ShowListPanel();
    bool webPanelShown() const;

    ViewStyle viewStyle() const { return style_; }
    void setViewStyle(ViewStyle style);
    bool isColumnVisible(ListColumn column) const;
    void setColumnVisible(ListColumn column, bool visible);

    int splitPosition() const;
    void setSplitPosition(int treeWidth);

    QString statusText() const { return status_; }

    // For the main window's context menus and tests.
    QTreeView* tree() const { return tree_; }
    QAbstractItemView* list() const;
    TitleListModel* listModel() const { return listModel_; }
    CollectionTreeModel* treeModel() const { return treeModel_; }
    QLabel* emptyLabel() const { return noelemtext_; }

signals:
    void statusTextChanged(const QString& text);
    // The list's selection or items changed (a click, a rebuild, select all).
    void listSelectionChanged();
    void nodeSelected(TreeNode* node);
    // A view build ran (for the web view's pages).
    void viewBuilt();
    // The collection was set or reloaded (its title lists may have changed).
    void collectionReset();
    // Double click or Enter on a title: play it.
    void titleActivated(const QString& line);
    // The list's context menu was asked for (global position); states are fresh.
    void listContextMenuRequested(const QPoint& globalPos);
    void treeContextMenuRequested(const QPoint& globalPos);

private:
    void listClick();
    void applyStyle();
    void onTreeCurrentChanged(const QModelIndex& current);
    void setStatus(const QString& text);
    bool eventFilter(QObject* watched, QEvent* event) override;

    Collection* collection_ = nullptr;
    ViewContext context_;
    quicksearch::SearchState search_;
    QString key_;
    QString status_;
    ViewStyle style_ = Details;
    bool columnVisible_[3] = {true, true, false};
    TreeNode* reloadNode_ = nullptr;
    QStringList reloadPath_;

    QSplitter* splitter_ = nullptr;
    QTreeView* tree_ = nullptr;
    QTimer* keyBuildTimer_ = nullptr; // builds the node the keyboard rests on
    CollectionTreeModel* treeModel_ = nullptr;
    QStackedWidget* right_ = nullptr; // list panel or browser panel
    QWidget* webPanel_ = nullptr;
    QStackedWidget* panel_ = nullptr; // list or empty-list label
    QStackedWidget* listStack_ = nullptr;
    QTreeView* details_ = nullptr;
    QListView* icons_ = nullptr;
    TitleListModel* listModel_ = nullptr;
    QItemSelectionModel* listSelection_ = nullptr;
    QLabel* noelemtext_ = nullptr;
};
