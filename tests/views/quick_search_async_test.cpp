#include "collection_views.h"
#include "name_order.h"
#include "quick_search.h"
#include "search_index.h"
#include "test_collection.h"
#include "title_list_model.h"
#include "title_text.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

// The quick search runs on a worker: its result reaches the list on the GUI thread, a
// newer search drops an older one's, and a search made before the index exists is
// answered once it does.
namespace {

using namespace quicksearch;

// Folders and titles whose words overlap, plus enough titles for the parallel scan and a
// kept display order.
void fill(Collection& c) {
    addMedium(c, "CD1",
              {"CD1:\\Rock\\", "CD1:\\Rock\\Zebra live.mp3", "CD1:\\Rock\\Alpha live.mp3",
               "CD1:\\Rock\\Beta.mp3", "CD1:\\Jazz live\\", "CD1:\\Jazz live\\Gamma.mp3",
               "CD1:\\Jazz live\\song of love.mp3"});
    QStringList body{"Live 2:\\Pop\\"};
    for (int i = 0; i < 20000; ++i)
        body << QStringLiteral("Live 2:\\Pop\\%1 %2 %3.mp3")
                    .arg(i % 3 ? "song" : "Song")
                    .arg(i % 7 ? "love" : "night")
                    .arg((i * 7919) % 5000, 5, 10, QChar('0'));
    addMedium(c, "Live 2", body);
}

class QuickSearchAsync : public ::testing::Test {
protected:
    void SetUp() override {
        fill(c);
        views.setCollection(&c);
        views.show();
    }
    // Waits until the search started last is shown.
    static bool shown(QuickSearch& search) {
        return QTest::qWaitFor([&] { return !search.searching(); }, 10000);
    }
    const QStringList& results() const {
        return std::as_const(c.titleLists).list(TitleLists::SearchResults);
    }

    Collection c;
    CollectionViews views;
    QComboBox box;
};

// What the search on the GUI thread, all at once, gives for the same input.
SearchResult synchronous(const Collection& c, const QString& input, const SearchOptions& o) {
    return searchTitleLists(c.titleLists, parseSearch(input, o), o);
}

TEST_F(QuickSearchAsync, ShowsTheRowsOfTheSynchronousSearchInNameOrder) {
    QuickSearch qs(&box, nullptr, &views);
    SearchOptions limited;
    limited.reslimit = true;
    limited.reslimitcnt = 2500;
    SearchOptions namesOnly;
    namesOnly.nomedia = true;
    const struct {
        const char* input;
        SearchOptions options;
    } cases[] = {
        {"live", {}},              // folder, label and file parts
        {"live", namesOnly},       // file names only
        {"song -night", {}},       // thousands of hits, kept order
        {"song -night", limited},  // cut by the limit in visiting order
        {"+love +song 0001", {}},  // required terms
        {"\"of love\" zebra", {}}, // a phrase or a word
        {"xyzzy", {}},             // nothing
        {"-live", {}},             // only excluded terms find nothing
    };
    for (const auto& k : cases) {
        const QString input = QString::fromUtf8(k.input);
        SCOPED_TRACE(input.toStdString());
        qs.setOptions(k.options);
        qs.setText(input);
        qs.run();
        ASSERT_TRUE(shown(qs));
        const SearchResult want = synchronous(c, input, k.options);
        EXPECT_EQ(results(), want.titles);
        EXPECT_EQ(qs.lastSearch().hits, want.hits);
        EXPECT_EQ(qs.lastSearch().limited, want.limited);
        EXPECT_EQ(views.currentNode(), c.node(Collection::SearchNode));
        if (want.titles.isEmpty()) {
            EXPECT_FALSE(views.listVisible());
            continue;
        }
        const std::vector<int> order = nameorder::sortedByName(want.titles);
        const TitleListModel* model = views.listModel();
        ASSERT_EQ(model->rowCount(), int(order.size()));
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString& line = want.titles[order[size_t(row)]];
            ASSERT_EQ(model->lineAt(row), line) << row;
            ASSERT_EQ(model->index(row, TitleListModel::NameColumn).data().toString(),
                      titletext::displayName(line).toString())
                << row;
        }
    }
}

TEST_F(QuickSearchAsync, ANewerSearchDropsTheResultOfAnOlderOne) {
    QuickSearch qs(&box, nullptr, &views);
    ASSERT_TRUE(QTest::qWaitFor([&] { return qs.indexReady(); }, 10000));
    QSignalSpy searched(&qs, &QuickSearch::searched);
    // Each result comes back through the event loop, so every earlier search is still
    // running when the next one starts.
    for (const char* input : {"song", "zebra", "gamma"}) {
        qs.setText(QString::fromUtf8(input));
        qs.run();
    }
    ASSERT_TRUE(shown(qs));
    QTest::qWait(50); // room for a late result that should have been dropped
    ASSERT_EQ(searched.count(), 1);
    EXPECT_EQ(qs.lastSearch().searchText, "gamma");
    EXPECT_EQ(results(), QStringList{"CD1:\\Jazz live\\Gamma.mp3"});
    // Only the search shown enters the history.
    EXPECT_EQ(qs.mru(), QStringList{"gamma"});
}

TEST_F(QuickSearchAsync, ASearchBeforeTheIndexIsBuiltIsAnsweredOnceItIs) {
    // The index is built on a worker and handed over through the event loop: right after
    // the start it cannot be there yet.
    QuickSearch qs(&box, nullptr, &views);
    ASSERT_FALSE(qs.indexReady());
    QSignalSpy searched(&qs, &QuickSearch::searched);
    qs.setText("zebra");
    qs.run();
    qs.setText("alpha");
    qs.run(); // replaces the waiting one
    EXPECT_TRUE(qs.searching());
    EXPECT_TRUE(results().isEmpty());
    ASSERT_TRUE(shown(qs));
    EXPECT_TRUE(qs.indexReady());
    ASSERT_EQ(searched.count(), 1);
    EXPECT_EQ(results(), QStringList{"CD1:\\Rock\\Alpha live.mp3"});
    EXPECT_EQ(views.itemCount(), 1);
}

TEST_F(QuickSearchAsync, ASearchRunningWhileTheCollectionIsReplacedSearchesTheNewOne) {
    QuickSearch qs(&box, nullptr, &views);
    ASSERT_TRUE(QTest::qWaitFor([&] { return qs.indexReady(); }, 10000));
    qs.setText("live");
    qs.run(); // on the old index
    views.beginReload();
    c.ClearCollection();
    addMedium(c, "CD9", {"CD9:\\Jazz\\", "CD9:\\Jazz\\Gamma live.mp3"});
    views.endReload();
    ASSERT_TRUE(shown(qs));
    EXPECT_EQ(results(), QStringList{"CD9:\\Jazz\\Gamma live.mp3"});
    EXPECT_EQ(qs.lastSearch().hits, 1);
}

// The box picks a remembered entry that matches the text when the field loses the focus
// (as the result list takes it); the entry of the text searched must be the current one.
TEST_F(QuickSearchAsync, TheFocusLeavingTheFieldAfterASearchDoesNotSearchAgain) {
    views.layout()->addWidget(&box);
    QuickSearch qs(&box, nullptr, &views);
    views.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&views));
    for (const char* input : {"zebra", "alpha", "new beta"}) {
        SCOPED_TRACE(input);
        qs.setMru({"gamma", "zebra", "alpha"});
        box.lineEdit()->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.lineEdit()->hasFocus(); }, 2000));
        QSignalSpy searched(&qs, &QuickSearch::searched);
        qs.setText(QString::fromUtf8(input));
        qs.run();
        ASSERT_TRUE(shown(qs));
        EXPECT_FALSE(box.lineEdit()->hasFocus()); // the list has it
        QTest::qWait(50);
        EXPECT_FALSE(qs.searching());
        EXPECT_EQ(searched.count(), 1);
        EXPECT_EQ(qs.text(), QString::fromUtf8(input));
    }
}

TEST_F(QuickSearchAsync, BusyWhileASearchRunsAndCallbacksForTheSearchShown) {
    QuickSearch qs(&box, nullptr, &views);
    QSignalSpy busy(&qs, &QuickSearch::searchingChanged);
    QStringList called;
    const auto note = [&](const char* what) {
        return [&called, what] { called << QString::fromUtf8(what); };
    };
    QObject context;
    qs.whenShown(&context, note("idle")); // none runs: at once
    EXPECT_EQ(called, QStringList{"idle"});

    const struct {
        QStringList inputs; // run one after the other without waiting
        QStringList called; // the callbacks registered after each run that were called
    } cases[] = {
        {{"zebra"}, {"zebra"}},
        {{"zebra", "beta"}, {"beta"}},
        {{"song", "zebra", "gamma"}, {"gamma"}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.inputs.join(',').toStdString());
        called.clear();
        busy.clear();
        for (const QString& input : k.inputs) {
            qs.setText(input);
            qs.run();
            EXPECT_TRUE(qs.searching());
            qs.whenShown(&context, [&called, input] { called << input; });
        }
        ASSERT_TRUE(shown(qs));
        QTest::qWait(20);
        EXPECT_EQ(called, k.called);
        ASSERT_EQ(busy.count(), 2);
        EXPECT_TRUE(busy.at(0).at(0).toBool());
        EXPECT_FALSE(busy.at(1).at(0).toBool());
    }

    // A collection taken away while a search waits ends the wait.
    views.setCollection(&c); // index built anew: the next search waits for it
    qs.setText("zebra");
    qs.run();
    ASSERT_TRUE(qs.searching());
    views.setCollection(nullptr);
    EXPECT_FALSE(qs.searching());
}

} // namespace

// A search asked for while the index is still built is shown later; the list takes the
// focus only when the user has not gone on to another widget meanwhile.
TEST_F(QuickSearchAsync, ALateResultTakesTheFocusOnlyFromTheSearch) {
    QLineEdit other;
    views.layout()->addWidget(&box);
    views.layout()->addWidget(&other);
    views.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&views));
    enum Then { StayInField, GoToOther, GoToList };
    const struct {
        const char* name;
        Then then;
        bool listTakesFocus;
    } cases[] = {
        {"stays in the field", StayInField, true},
        {"goes to another widget", GoToOther, false},
        {"goes to the list", GoToList, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        QuickSearch qs(&box, nullptr, &views);
        ASSERT_FALSE(qs.indexReady());
        box.lineEdit()->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return box.lineEdit()->hasFocus(); }, 2000));
        qs.setText("zebra");
        qs.run();
        if (k.then == GoToOther) other.setFocus();
        if (k.then == GoToList) views.list()->setFocus();
        ASSERT_TRUE(shown(qs));
        EXPECT_EQ(results(), QStringList{"CD1:\\Rock\\Zebra live.mp3"});
        EXPECT_EQ(views.list()->hasFocus(), k.listTakesFocus);
        EXPECT_EQ(other.hasFocus(), !k.listTakesFocus);
    }
}
