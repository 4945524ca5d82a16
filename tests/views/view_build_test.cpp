#include "index_file.h"
#include "test_collection.h"
#include "title_text.h"
#include "tree_node.h"
#include "view_build.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QLocale de(QLocale::German);

class ViewBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        addMedium(c, "CD1",
                  {"CD1:\\Beatles\\", "CD1:\\Beatles\\Get Back.mp3", "CD1:\\Beatles\\Help.mp3",
                   "CD1:\\Beatles\\anthology.mp3", "CD1:\\Beatles\\Live\\",
                   "CD1:\\Beatles\\Live\\Twist.mpeg",
                   "STYLE::#FF0000,BOLD::CD1:\\Beatles\\Live\\"});
        addMedium(c, "CD2", {"CD2:\\Beatles\\", "CD2:\\Beatles\\Yesterday.mp3"});
        context.today = QDate(2026, 12, 8);
    }
    ViewBuild build(TreeNode* node) { return viewbuild::build(c, node, context, search, de); }
    QStringList shown(const ViewBuild& b) {
        QStringList out;
        for (int i : b.order)
            out << titletext::displayName(b.titles[i]).toString();
        return out;
    }
    TreeNode* beatles() { return childNamed(childNamed(c.mediaListNode(), "CD1"), "Beatles"); }
    void fillCharts(int entries) {
        QStringList& charts = c.titleLists.list(TitleLists::Charts);
        for (int i = 0; i < entries; ++i) {
            charts << QStringLiteral("CD1:\\C\\T%1.mp3").arg(i);
            context.chartValues << QStringLiteral("%1:08.12.2026").arg(i + 1);
        }
    }

    Collection c;
    ViewContext context;
    quicksearch::SearchState search;
};

TEST_F(ViewBuildTest, KeysAndPanelChoice) {
    ViewBuild b = build(c.root());
    EXPECT_FALSE(b.keyFound);
    EXPECT_FALSE(b.showList);
    EXPECT_EQ(b.statusText, "Keine Einträge vorhanden.");
    b = build(childNamed(c.mediaListNode(), "CD1")); // medium nodes have no list
    EXPECT_FALSE(b.keyFound);
    EXPECT_EQ(b.statusText, "Keine Einträge vorhanden.");

    b = build(beatles());
    EXPECT_EQ(b.key, "Beatles");
    EXPECT_TRUE(b.showList);
    EXPECT_EQ(shown(b), QStringList({"anthology", "Get Back", "Help"})); // by caption
    EXPECT_EQ(b.statusText, "3 Titel");

    // Below the alphabetical root the key is the merged list of the name.
    TreeNode* alpha = childNamed(c.alphaListNode(), "Beatles");
    b = build(alpha);
    EXPECT_EQ(b.key, "ALPHALIST::Beatles");
    EXPECT_EQ(b.titles.size(), 4);
    EXPECT_EQ(b.statusText, "4 Titel");
    EXPECT_EQ(build(childNamed(alpha, "Live")).key, "ALPHALIST::Live");
    EXPECT_EQ(build(childNamed(c.mediaListNode(), "CD2")->child(0)).key, "Beatles (2)");

    b = build(c.node(Collection::MerkzettelNode));
    EXPECT_TRUE(b.keyFound);
    EXPECT_FALSE(b.showList);
    EXPECT_EQ(b.statusText, "0 Titel");
    EXPECT_EQ(build(nullptr).statusText, "Keine Einträge vorhanden.");
}

TEST_F(ViewBuildTest, MediumNodeShowsTheTitlesInItsRoot) {
    addMedium(c, "Mix", {"Mix:\\b.mp3", "Mix:\\A.mp3", "Mix:\\Extra\\", "Mix:\\Extra\\c.mp3"});
    const ViewBuild b = build(childNamed(c.mediaListNode(), "Mix"));
    EXPECT_EQ(b.key, "Mix:\\");
    EXPECT_TRUE(b.showList);
    EXPECT_EQ(shown(b), QStringList({"A", "b"}));
    EXPECT_EQ(b.statusText, "2 Titel");
}

// The list order against a plain stable sort by display name, on names that share long
// prefixes, differ only in case, repeat, or hold characters beyond the first plane.
TEST_F(ViewBuildTest, ListOrderIsTheStableCatalogueOrderOfTheNames) {
    const QStringList parts{"01 ", "Love", "love", "LOVE", " - ", "Ärger", "ärger", "Zeit", "z",
                            "\u266A", QString::fromUtf8("\U0001F3B5"), "b", "B", "-", "é", "Ε",
                            // Folding across the byte range and back into it.
                            "Ÿ", "ÿ", "µ", "\u212A", "k", "ß"};
    QStringList body{"X:\\Big\\"};
    unsigned seed = 11;
    for (int i = 0; i < 3000; ++i) {
        QString name;
        for (int k = int((seed = seed * 1103515245u + 12345u) >> 16) % 6; k >= 0; --k)
            name += parts[int((seed = seed * 1103515245u + 12345u) >> 16) % parts.size()];
        body << QStringLiteral("X:\\Big\\") + name + (i % 2 ? ".mp3" : ".ogg");
    }
    addMedium(c, "X", body);
    const ViewBuild b = build(childNamed(childNamed(c.mediaListNode(), "X"), "Big"));
    ASSERT_EQ(b.order.size(), size_t(b.titles.size()));
    std::vector<int> expected(size_t(b.titles.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = int(i);
    std::stable_sort(expected.begin(), expected.end(), [&](int x, int y) {
        return indexfile::compareCatalogue(titletext::displayName(b.titles[x]),
                                           titletext::displayName(b.titles[y])) < 0;
    });
    EXPECT_EQ(b.order, expected);
}

TEST_F(ViewBuildTest, SearchResultsShowTheLastSearch) {
    c.titleLists.list(TitleLists::SearchResults) << "CD1:\\Beatles\\Help.mp3";
    search = {"help", 1, false, 50, false, false};
    ViewBuild b = build(c.node(Collection::SearchNode));
    EXPECT_TRUE(b.showList);
    EXPECT_EQ(b.statusText, "Ergebnis der Suche nach \"help\": 1 Treffer.");
}

TEST_F(ViewBuildTest, PlaylistViewIsMarked) {
    c.titleLists.list(TitleLists::Playlist) << "A:\\x.mp3";
    EXPECT_TRUE(build(c.node(Collection::PlaylistNode)).playlistView);
    EXPECT_FALSE(build(beatles()).playlistView);
}

TEST_F(ViewBuildTest, ChartsRankTextsAndSize) {
    QStringList& charts = c.titleLists.list(TitleLists::Charts);
    charts << "A:\\today.mp3"
           << "A:\\yesterday.mp3"
           << "A:\\vorgestern.mp3"
           << "A:\\five.mp3"
           << "A:\\undated.mp3"
           << "A:\\twodigit.mp3";
    context.chartValues = {"3:08.12.2026", "3:07.12.2026", "3:06.12.2026", "2:03.12.2026", "2",
                           "1:07.12.26"};
    context.songsPlayed = 12;
    ViewBuild b = build(c.node(Collection::ChartsNode));
    ASSERT_EQ(b.mode, ViewBuild::Mode::Charts);
    EXPECT_EQ(shown(b),
              QStringList({"today", "undated", "yesterday", "vorgestern", "twodigit", "five"}));
    ASSERT_EQ(b.chartRows.size(), 6u);
    EXPECT_EQ(b.chartRows[0].played, "Bis heute: 3x");
    EXPECT_EQ(b.chartRows[0].frequency, "25,00%");
    EXPECT_EQ(b.chartRows[0].rank, "1");
    EXPECT_EQ(b.chartRows[1].played, "Bis heute: 2x"); // no date: today
    EXPECT_EQ(b.chartRows[2].played, "Bis gestern: 3x");
    EXPECT_EQ(b.chartRows[2].frequency, "12,50%");
    EXPECT_EQ(b.chartRows[3].played, "Bis vorgestern: 3x");
    EXPECT_EQ(b.chartRows[4].played, "Bis gestern: 1x"); // two-digit year is 2026
    EXPECT_EQ(b.chartRows[5].played, "Bis vor 5 Tagen: 2x");
    EXPECT_EQ(b.chartRows[5].rank, "6");
    EXPECT_EQ(b.statusText, "6 Titel");
}

TEST_F(ViewBuildTest, ChartsShowChartsSizeEntriesAndCountAll) {
    fillCharts(25);
    context.songsPlayed = 1000;
    context.chartsSize = 10;
    ViewBuild b = build(c.node(Collection::ChartsNode));
    EXPECT_EQ(b.order.size(), 10u);
    EXPECT_EQ(b.statusText, "25 Titel");
    EXPECT_EQ(shown(b).first(), "T24"); // most plays first
    context.chartsSize = -3;
    EXPECT_TRUE(build(c.node(Collection::ChartsNode)).order.empty());
    context.chartsSize = 100;
    EXPECT_EQ(build(c.node(Collection::ChartsNode)).order.size(), 25u);
}

TEST_F(ViewBuildTest, ChartsSurviveBrokenValuesFutureDatesAndNoPlays) {
    QStringList& charts = c.titleLists.list(TitleLists::Charts);
    charts << "A:\\garbage.mp3"
           << "A:\\future.mp3"
           << "A:\\good.mp3"
           << "A:\\nodate.mp3"
           << "A:\\missing.mp3"
           << "A:\\huge.mp3";
    context.chartValues = {"x:y", "4:01.01.2030",    "1:08.12.2026", "2:kaputt",
                           "",    "50000:08.12.2026"};
    context.songsPlayed = 1;
    ViewBuild b = build(c.node(Collection::ChartsNode));
    EXPECT_EQ(shown(b), QStringList({"huge", "good", "garbage", "future", "nodate", "missing"}));
    EXPECT_EQ(b.chartRows[0].frequency, "5.000.000,00%");
    EXPECT_EQ(b.chartRows[2].frequency, "0,00%");
    EXPECT_EQ(b.chartRows[3].frequency, "0,00%");
    EXPECT_EQ(b.chartRows[3].played, "4x");
    EXPECT_EQ(b.chartRows[4].played, "2x");

    context.songsPlayed = 0; // nothing may divide by zero
    b = build(c.node(Collection::ChartsNode));
    EXPECT_EQ(shown(b), QStringList({"garbage", "future", "good", "nodate", "missing", "huge"}));
    for (const ChartRow& r : b.chartRows)
        EXPECT_EQ(r.frequency, "0,00%");
    EXPECT_EQ(b.chartRows[2].played, "Bis heute: 1x");
}

TEST_F(ViewBuildTest, FolderStyleKeysFollowTheNodePath) {
    EXPECT_EQ(viewbuild::nodeLevel(c.root()), 0);
    EXPECT_EQ(viewbuild::folderStyleKey(childNamed(c.mediaListNode(), "CD1")), "");
    EXPECT_EQ(viewbuild::folderStyleKey(beatles()), "CD1:\\Beatles\\");
    EXPECT_EQ(viewbuild::folderStyleKey(childNamed(beatles(), "Live")), "CD1:\\Beatles\\Live\\");
    // Alphabetical nodes: the top folder stands where the label would.
    TreeNode* alpha = childNamed(c.alphaListNode(), "Beatles");
    EXPECT_EQ(viewbuild::folderStyleKey(alpha), "");
    EXPECT_EQ(viewbuild::folderStyleKey(childNamed(alpha, "Live")), "Beatles:\\Live\\");
}

TEST(TitleText, NamesLabelsAndVideoExtensions) {
    EXPECT_EQ(titletext::displayName(u"CD:\\a\\b.c\\Song.Name.mp3"), u"Song.Name");
    EXPECT_EQ(titletext::displayName(u"CD:Song.mp3"), u"Song");
    EXPECT_EQ(titletext::displayName(u"CD:\\a\\NoExt"), u"NoExt");
    EXPECT_EQ(titletext::label(u"CD1:\\x.mp3"), u"CD1");
    EXPECT_EQ(titletext::label(u"nolabel"), u"nolabel");
    for (const char* v : {"a.AVI", "a.asf", "a.Wmv", "a.mov", "a.MPG", "a.mpe", "a.MpEg"})
        EXPECT_TRUE(titletext::isVideo(QString::fromLatin1(v))) << v;
    for (const char* a : {"a.mp3", "a.mpeg4", "a.ogg", "avi", "x\\avi.mp3", "a.mp4"})
        EXPECT_FALSE(titletext::isVideo(QString::fromLatin1(a))) << a;
}

} // namespace
