#include "collection_views.h"
#include "test_collection.h"
#include "title_list_model.h"
#include "tree_node.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

class ViewsWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        addMedium(c, "CD1", {"CD1:\\Rock\\", "CD1:\\Rock\\a.mp3", "CD1:\\Rock\\b.avi"});
        views.context().today = QDate(2026, 12, 8);
        views.resize(800, 500);
        views.show();
        views.setCollection(&c);
    }
    Collection c;
    CollectionViews views;
};

TEST_F(ViewsWidgetTest, SelectingNodesSwitchesListAndEmptyLabel) {
    EXPECT_EQ(views.currentNode(), c.root());
    EXPECT_FALSE(views.listVisible());
    EXPECT_EQ(views.emptyLabel()->text(), "Diese Liste enthält keine Elemente.");
    EXPECT_EQ(views.statusText(), "Keine Einträge vorhanden.");

    QSignalSpy status(&views, &CollectionViews::statusTextChanged);
    views.selectNode(childNamed(childNamed(c.mediaListNode(), "CD1"), "Rock"));
    EXPECT_TRUE(views.listVisible());
    EXPECT_EQ(views.itemCount(), 2);
    ASSERT_FALSE(status.isEmpty());
    EXPECT_EQ(status.last().at(0).toString(), "2 Titel");

    views.selectFixedNode(Collection::MerkzettelNode);
    EXPECT_FALSE(views.listVisible());
    EXPECT_EQ(views.statusText(), "0 Titel");
    EXPECT_EQ(views.viewKey(), "Merkzettel");
}

TEST_F(ViewsWidgetTest, ChartColumnsComeAndGo) {
    c.titleLists.list(TitleLists::Charts) << "CD1:\\Rock\\a.mp3";
    views.context().chartValues = {"1:08.12.2026"};
    views.context().songsPlayed = 1;
    auto* list = qobject_cast<QTreeView*>(views.list());
    ASSERT_NE(list, nullptr);
    views.selectFixedNode(Collection::ChartsNode);
    EXPECT_EQ(list->header()->count(), 6);
    views.rebuild(); // selecting again does not add columns twice
    EXPECT_EQ(list->header()->count(), 6);
    EXPECT_FALSE(list->isColumnHidden(TitleListModel::RankColumn));
    views.selectNode(childNamed(childNamed(c.mediaListNode(), "CD1"), "Rock"));
    EXPECT_EQ(list->header()->count(), 3);
}

TEST_F(ViewsWidgetTest, SelectionChangesAreAnnounced) {
    QSignalSpy changes(&views, &CollectionViews::listSelectionChanged);
    views.selectNode(childNamed(childNamed(c.mediaListNode(), "CD1"), "Rock"));
    ASSERT_FALSE(changes.isEmpty());
    EXPECT_EQ(views.selectedCount(), 0);
    EXPECT_EQ(views.itemCount(), 2);
    changes.clear();
    views.list()->selectionModel()->select(views.listModel()->index(0, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_FALSE(changes.isEmpty());
    EXPECT_EQ(views.selectedCount(), 1);
    EXPECT_EQ(views.selectedTitles(), QStringList{"CD1:\\Rock\\a.mp3"});
    changes.clear();
    views.selectAll();
    EXPECT_EQ(views.selectedCount(), 2);
    EXPECT_FALSE(changes.isEmpty());

    // Ctrl+A in the list does the same; a rebuild drops the selection.
    views.rebuild();
    EXPECT_EQ(views.selectedCount(), 0);
    QTest::keyClick(views.list(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(views.selectedCount(), 2);

    QSignalSpy activated(&views, &CollectionViews::titleActivated);
    views.list()->setCurrentIndex(views.listModel()->index(1, 0));
    QTest::keyClick(views.list(), Qt::Key_Return);
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated.first().at(0).toString(), "CD1:\\Rock\\b.avi");
}

// Arrow keys in the tree build the view of the node they stop at, once.
TEST_F(ViewsWidgetTest, KeyboardSelectionBuildsTheViewWhereTheKeysStop) {
    c.titleLists.list(TitleLists::Merkzettel) << "CD1:\\Rock\\a.mp3";
    c.titleLists.list(TitleLists::Playlist) << "CD1:\\Rock\\a.mp3"
                                            << "CD1:\\Rock\\b.avi";
    views.selectFixedNode(Collection::SearchNode);
    views.tree()->setFocus();
    QSignalSpy status(&views, &CollectionViews::statusTextChanged);

    QTest::keyClick(views.tree(), Qt::Key_Down);
    EXPECT_EQ(views.currentNode(), c.node(Collection::MerkzettelNode));
    EXPECT_TRUE(QTest::qWaitFor([&] { return views.viewKey() == "Merkzettel"; }, 3000));
    EXPECT_TRUE(views.listVisible());
    EXPECT_EQ(views.itemCount(), 1);
    EXPECT_EQ(status.size(), 1);

    // A held key: the nodes on the way are not built.
    status.clear();
    for (Qt::Key k : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(views.tree(), k);
    EXPECT_EQ(views.currentNode(), c.node(Collection::PlaylistNode));
    EXPECT_TRUE(QTest::qWaitFor([&] { return views.viewKey() == "Wiedergabeliste"; }, 3000));
    QTest::qWait(50);
    EXPECT_EQ(status.size(), 1);
    EXPECT_EQ(views.itemCount(), 2);

    // Enter builds at once; a click (or a call) does not wait either.
    status.clear();
    QTest::keyClick(views.tree(), Qt::Key_Up);
    QTest::keyClick(views.tree(), Qt::Key_Return);
    EXPECT_EQ(views.viewKey(), "Meine Charts");
    views.selectFixedNode(Collection::MerkzettelNode);
    EXPECT_EQ(views.viewKey(), "Merkzettel");
    QTest::qWait(400);
    EXPECT_EQ(views.viewKey(), "Merkzettel"); // no late build of the node left behind
    EXPECT_EQ(status.size(), 2);
}

TEST_F(ViewsWidgetTest, StylesColumnsAndReload) {
    views.selectNode(childNamed(c.alphaListNode(), "Rock"));
    EXPECT_FALSE(views.isColumnVisible(CollectionViews::FullNameColumn));
    views.setColumnVisible(CollectionViews::FullNameColumn, true);
    EXPECT_FALSE(qobject_cast<QTreeView*>(views.list())->isColumnHidden(2));
    views.setColumnVisible(CollectionViews::NameColumn, false);
    EXPECT_TRUE(qobject_cast<QTreeView*>(views.list())->isColumnHidden(0));

    for (auto style :
         {CollectionViews::LargeIcons, CollectionViews::SmallIcons, CollectionViews::ListStyle}) {
        views.setViewStyle(style);
        EXPECT_EQ(qobject_cast<QTreeView*>(views.list()), nullptr);
        EXPECT_EQ(views.list()->model()->rowCount(), 2);
        EXPECT_TRUE(views.list()->isVisible());
    }
    views.setViewStyle(CollectionViews::Details);
    EXPECT_NE(qobject_cast<QTreeView*>(views.list()), nullptr);

    // Reload: the same folder is selected again and shows the new titles.
    views.beginReload();
    c.ClearCollection();
    addMedium(c, "CD1",
              {"CD1:\\Rock\\", "CD1:\\Rock\\a.mp3", "CD1:\\Rock\\b.avi", "CD1:\\Rock\\c.mp3"});
    views.endReload();
    EXPECT_EQ(views.viewKey(), "ALPHALIST::Rock");
    EXPECT_EQ(views.itemCount(), 3);
    EXPECT_EQ(views.statusText(), "3 Titel");

    views.beginReload();
    c.ClearCollection();
    views.endReload();
    EXPECT_EQ(views.currentNode(), c.alphaListNode());
}

} // namespace
