#include "collection_tree_model.h"
#include "test_collection.h"
#include "title_list_model.h"
#include "tree_node.h"
#include "view_build.h"

#include <QAbstractItemModelTester>
#include <QFont>

#include <gtest/gtest.h>

namespace {

// Collects what the item model tester reports, so that a broken model fails the test.
QStringList testerReports;
void recordReport(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (context.category && QByteArray(context.category).startsWith("qt.modeltest"))
        testerReports << message;
}

class ModelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        addMedium(c, "CD1",
                  {"MEDIATYPE::CDR", "CD1:\\Rock\\", "CD1:\\Rock\\a.mp3", "CD1:\\Rock\\Old\\",
                   "CD1:\\Rock\\Old\\clip.MpEg", "STYLE::#FF0000,BOLD::CD1:\\Rock\\Old\\",
                   "STYLE::ITALIC,#00AA00::CD1:\\Rock\\a.mp3"});
        addMedium(c, "CD2", {"CD2:\\Rock\\", "CD2:\\Rock\\b.avi"});
        testerReports.clear();
        previous = qInstallMessageHandler(recordReport);
    }
    void TearDown() override {
        qInstallMessageHandler(previous);
        EXPECT_TRUE(testerReports.isEmpty()) << testerReports.join('\n').toStdString();
    }
    QtMessageHandler previous = nullptr;
    Collection c;
};

TEST_F(ModelsTest, TreeModelPassesTheTesterAndShowsNodes) {
    CollectionTreeModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setCollection(&c);
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex root = model.index(0, 0);
    EXPECT_EQ(model.data(root).toString(), "Komplette Sammlung");
    ASSERT_EQ(model.rowCount(root), 6);
    const QStringList captions{"Datenträger-Liste", "Alphabetische Liste", "Suchergebnisse",
                               "Merkzettel",        "Meine Charts",        "Wiedergabeliste"};
    const int icons[] = {1, 2, 3, 7, 16, 15};
    for (int i = 0; i < 6; ++i) {
        const QModelIndex n = model.index(i, 0, root);
        EXPECT_EQ(model.data(n).toString(), captions[i]);
        EXPECT_EQ(model.data(n, CollectionTreeModel::IconIndexRole).toInt(), icons[i]);
        EXPECT_FALSE(model.data(n, Qt::DecorationRole).value<QIcon>().isNull());
    }
    const QModelIndex cd1 = model.index(0, 0, model.index(0, 0, root));
    EXPECT_EQ(model.data(cd1).toString(), "CD1");
    EXPECT_EQ(model.data(cd1, CollectionTreeModel::IconIndexRole).toInt(), 11);
    const QModelIndex rock = model.index(0, 0, cd1);
    EXPECT_EQ(model.data(rock, CollectionTreeModel::IconIndexRole).toInt(), 5);
    EXPECT_EQ(model.data(rock, CollectionTreeModel::SelectedIconIndexRole).toInt(), 6);
    EXPECT_EQ(model.parent(rock), cd1);
    EXPECT_EQ(model.indexOf(c.node(Collection::ChartsNode)), model.index(4, 0, root));

    // The display mark of a folder line: level 3 and deeper only.
    const QModelIndex old = model.index(0, 0, rock);
    EXPECT_EQ(model.data(old).toString(), "Old");
    EXPECT_TRUE(model.data(old, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(model.data(old, Qt::ForegroundRole).value<QColor>(), QColor(0xFF, 0, 0));
    EXPECT_FALSE(model.data(rock, Qt::FontRole).isValid());
    EXPECT_FALSE(model.data(cd1, Qt::FontRole).isValid());

    // A reload drops the nodes and brings new ones.
    model.beginCollectionChange();
    c.ClearCollection();
    addMedium(c, "CD3", {"CD3:\\Jazz\\", "CD3:\\Jazz\\c.mp3"});
    model.endCollectionChange();
    EXPECT_EQ(model.rowCount(model.index(0, 0, model.index(0, 0))), 1);
    EXPECT_EQ(model.data(model.index(0, 0, model.index(0, 0, model.index(0, 0)))).toString(),
              "CD3");
}

// The list answers index() and flags() itself (the view asks for every row): the answers
// must be the table model's, in and around the list, for every kind of build.
TEST_F(ModelsTest, TitleListModelIndexesAndFlagsAreTheTableModels) {
    TitleListModel model;
    quicksearch::SearchState search;
    ViewContext context;
    context.today = QDate(2026, 12, 8);
    c.titleLists.list(TitleLists::Charts) << "CD1:\\Rock\\a.mp3"
                                          << "CD2:\\Rock\\b.avi";
    context.chartValues << "3:08.12.2026"
                        << "1:07.12.2026";
    context.songsPlayed = 4;
    const struct {
        const char* name;
        TreeNode* node;
    } cases[] = {
        {"folder", childNamed(c.alphaListNode(), "Rock")},
        {"charts", c.node(Collection::ChartsNode)},
        {"empty list", c.node(Collection::SearchNode)},
        {"none", nullptr},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        if (k.node)
            model.setBuild(viewbuild::build(c, k.node, context, search), {}, -1);
        else
            model.clear();
        const QModelIndex child = model.rowCount() > 0 ? model.index(0, 0) : QModelIndex();
        for (const QModelIndex& parent : {QModelIndex(), child})
            for (int row = -1; row <= model.rowCount() + 1; ++row)
                for (int column = -1; column <= TitleListModel::kChartColumns; ++column) {
                    const QModelIndex own = model.index(row, column, parent);
                    const QModelIndex table = model.QAbstractTableModel::index(row, column, parent);
                    ASSERT_EQ(own, table) << row << ',' << column << ',' << parent.isValid();
                    ASSERT_EQ(model.flags(own), model.QAbstractTableModel::flags(table));
                }
        EXPECT_EQ(model.flags(QModelIndex()), model.QAbstractTableModel::flags(QModelIndex()));
    }
}

TEST_F(ModelsTest, TitleListModelColumnsIconsAndMarks) {
    TitleListModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setStyles(&c.titleStyles);
    quicksearch::SearchState search;
    ViewContext context;
    context.today = QDate(2026, 12, 8);
    TreeNode* alphaRock = childNamed(c.alphaListNode(), "Rock");
    model.setBuild(viewbuild::build(c, alphaRock, context, search), "CD2:\\ROCK\\B.AVI", -1);
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Datenträger");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Ausführlicher Name");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "a");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "CD1");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "CD1:\\Rock\\a.mp3");
    EXPECT_EQ(model.data(model.index(0, 0), TitleListModel::IconIndexRole).toInt(), 0);
    EXPECT_EQ(model.data(model.index(1, 0), TitleListModel::IconIndexRole).toInt(),
              3); // current video
    EXPECT_EQ(model.firstCurrentRow(), 1);
    EXPECT_TRUE(model.data(model.index(0, 0), Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(model.data(model.index(0, 1), Qt::ForegroundRole).value<QColor>(),
              QColor(0, 0xAA, 0));
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::FontRole).isValid());

    // Charts: six columns, right-aligned extras; back to three afterwards.
    c.titleLists.list(TitleLists::Charts) << "CD1:\\Rock\\Old\\clip.MpEg";
    context.chartValues << "3:08.12.2026";
    context.songsPlayed = 3;
    model.setBuild(viewbuild::build(c, c.node(Collection::ChartsNode), context, search), {}, -1);
    ASSERT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "Gespielt");
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "Häufigkeit");
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), "Platz");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "Bis heute: 3x");
    EXPECT_EQ(model.data(model.index(0, 5)).toString(), "1");
    EXPECT_TRUE(model.data(model.index(0, 4), Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
    EXPECT_EQ(model.data(model.index(0, 0), TitleListModel::IconIndexRole).toInt(), 2);
    model.setBuild(viewbuild::build(c, alphaRock, context, search), {}, -1);
    EXPECT_EQ(model.columnCount(), 3);

    // Playlist: the entry at the current playlist position is current.
    QStringList& pl = c.titleLists.list(TitleLists::Playlist);
    pl << "X:\\z.mp3"
       << "X:\\a.mp3"
       << "X:\\z.mp3";
    model.setBuild(viewbuild::build(c, c.node(Collection::PlaylistNode), context, search), {}, 2);
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "z");
    EXPECT_EQ(model.firstCurrentRow(), 2); // the second "z", not the first
    EXPECT_FALSE(model.isCurrent(1));

    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

} // namespace
