#include "collection_views.h"
#include "name_order.h"
#include "quick_search.h"
#include "search_tips_window.h"
#include "test_collection.h"
#include "title_list_model.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class QuickSearchWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        addMedium(c, "CD1",
                  {"CD1:\\Rock\\", "CD1:\\Rock\\Zebra live.mp3", "CD1:\\Rock\\Alpha live.mp3",
                   "CD1:\\Rock\\Beta.mp3"});
        views.setCollection(&c);
        views.show();
    }
    // Waits until the search started last is shown.
    static bool shown(QuickSearch& search) {
        return QTest::qWaitFor([&] { return !search.searching(); }, 10000);
    }
    bool shown() { return shown(qs); }

    Collection c;
    CollectionViews views;
    QComboBox box;
    QPushButton go{"&Go!"};
    QuickSearch qs{&box, &go, &views};
};

TEST_F(QuickSearchWidgetTest, GoFillsResultsStatusAndMru) {
    QSignalSpy status(&views, &CollectionViews::statusTextChanged);
    qs.setText("live -zebra");
    go.click();
    ASSERT_TRUE(shown());
    EXPECT_EQ(views.currentNode(), c.node(Collection::SearchNode));
    EXPECT_EQ(views.selectedCount(), 0);
    EXPECT_EQ(c.titleLists.list(TitleLists::SearchResults),
              QStringList{"CD1:\\Rock\\Alpha live.mp3"});
    EXPECT_EQ(views.statusText(), "Ergebnis der Suche nach \"live -zebra\": 1 Treffer.");
    EXPECT_EQ(qs.mru(), QStringList{"live -zebra"});

    // Enter in the field searches as well; a search without hits stays out of the MRU.
    qs.setText("nothing");
    QTest::keyClick(box.lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(shown());
    EXPECT_EQ(views.statusText(), "Ergebnis der Suche nach \"nothing\": 0 Treffer.");
    EXPECT_FALSE(views.listVisible());
    EXPECT_EQ(qs.mru(), QStringList{"live -zebra"});

    // Sorted by display name in the list; limited in visiting order.
    quicksearch::SearchOptions o;
    o.reslimit = true;
    o.reslimitcnt = 1;
    qs.setOptions(o);
    qs.setText("live");
    qs.run();
    ASSERT_TRUE(shown());
    EXPECT_EQ(c.titleLists.list(TitleLists::SearchResults),
              QStringList{"CD1:\\Rock\\Alpha live.mp3"});
    EXPECT_EQ(views.statusText(),
              "Ergebnis der Suche nach \"live\": 2 Treffer, beschränkt auf die ersten 1 Einträge.");
    EXPECT_EQ(qs.mru(), QStringList({"live", "live -zebra"}));

    // Picking an MRU entry runs it.
    box.setCurrentIndex(-1);
    emit box.activated(1);
    ASSERT_TRUE(shown());
    EXPECT_EQ(qs.text(), "live -zebra");
    EXPECT_EQ(qs.lastSearch().searchText, "live -zebra");
}

// The history offers what was typed before, in a list below the field; what was typed
// itself is never extended in place.
TEST_F(QuickSearchWidgetTest, HistoryCompletesInAListAndEnterSearchesWhatWasTyped) {
    qs.setMru({"love song -live", "beta", "Love Alpha"});
    box.show();
    QTest::keyClicks(box.lineEdit(), "love");
    EXPECT_EQ(qs.text(), "love");
    EXPECT_FALSE(box.lineEdit()->hasSelectedText());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QCompleter* completer = box.completer();
    ASSERT_NE(completer, nullptr);
    QAbstractItemView* popup = completer->popup();
    ASSERT_EQ(QApplication::activePopupWidget(), popup);
    QStringList offered;
    for (int i = 0; i < completer->completionCount(); ++i) {
        completer->setCurrentRow(i);
        offered << completer->currentCompletion();
    }
    EXPECT_EQ(offered, QStringList({"love song -live", "Love Alpha"}));

    // Enter without picking an entry searches the typed text.
    popup->setCurrentIndex({});
    QTest::keyClick(popup, Qt::Key_Return);
    EXPECT_FALSE(popup->isVisible());
    ASSERT_TRUE(shown());
    EXPECT_EQ(qs.lastSearch().searchText, "love");
    EXPECT_EQ(qs.text(), "love");

    // Picking an entry searches it.
    box.lineEdit()->clear();
    QTest::keyClicks(box.lineEdit(), "lo");
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 2000));
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    ASSERT_TRUE(shown());
    EXPECT_EQ(qs.text(), "love song -live");
    EXPECT_EQ(qs.lastSearch().searchText, "love song -live");
    EXPECT_EQ(views.currentNode(), c.node(Collection::SearchNode));
}

TEST_F(QuickSearchWidgetTest, HistoryKeepsItsOrderAndTheNewestFifty) {
    QStringList stored;
    for (int i = 0; i < 60; ++i)
        stored << QStringLiteral("live %1").arg(i);
    qs.setMru(stored);
    EXPECT_EQ(qs.mru(), stored.mid(0, 50));
    qs.setText("zebra");
    qs.run();
    ASSERT_TRUE(shown());
    const QStringList after = qs.mru();
    ASSERT_EQ(after.size(), 50);
    EXPECT_EQ(after.first(), "zebra");
    EXPECT_EQ(after.mid(1), stored.mid(0, 49));
}

TEST_F(QuickSearchWidgetTest, ReloadRebuildsTheIndex) {
    views.beginReload();
    c.ClearCollection();
    addMedium(c, "CD9", {"CD9:\\Jazz\\", "CD9:\\Jazz\\Gamma live.mp3"});
    views.endReload();
    qs.setText("live");
    qs.run();
    ASSERT_TRUE(shown());
    EXPECT_EQ(c.titleLists.list(TitleLists::SearchResults),
              QStringList{"CD9:\\Jazz\\Gamma live.mp3"});
}

TEST_F(QuickSearchWidgetTest, LongResultsAreShownInNameOrderWithTheOrderTheSearchMade) {
    views.beginReload();
    c.ClearCollection();
    QStringList body{"CD2:\\Pop\\"};
    for (int i = 0; i < 3000; ++i) // names out of order, some equal, mixed case
        body << QStringLiteral("CD2:\\Pop\\%1 %2.mp3")
                    .arg(i % 2 ? "song" : "Song")
                    .arg((i * 7919) % 1000, 4, 10, QChar('0'));
    addMedium(c, "CD2", body);
    views.endReload();
    for (const int limit : {-1, 2500}) {
        quicksearch::SearchOptions o;
        o.reslimit = limit >= 0;
        o.reslimitcnt = limit;
        qs.setOptions(o);
        qs.setText("song");
        qs.run();
        ASSERT_TRUE(shown());
        const QStringList& hits = std::as_const(c.titleLists).list(TitleLists::SearchResults);
        ASSERT_EQ(hits.size(), limit >= 0 ? limit : 3000);
        // The view was built from the order the search handed over, not sorted again.
        ASSERT_NE(c.titleLists.nameOrder(TitleLists::SearchResults), nullptr) << limit;
        const std::vector<int> want = nameorder::sortedByName(hits);
        ASSERT_EQ(views.itemCount(), int(want.size()));
        for (int row = 0; row < views.itemCount(); ++row)
            ASSERT_EQ(views.listModel()->lineAt(row), hits[want[size_t(row)]]) << row;
    }
}

TEST_F(QuickSearchWidgetTest, TypingColoursSignedWords) {
    qs.setText("a +b -c");
    // Colouring goes through an input method event: it must keep text, caret and selection.
    EXPECT_EQ(qs.text(), "a +b -c");
    box.lineEdit()->setCursorPosition(2);
    box.lineEdit()->insert("x");
    EXPECT_EQ(qs.text(), "a x+b -c");
    EXPECT_EQ(box.lineEdit()->cursorPosition(), 3);
}

TEST_F(QuickSearchWidgetTest, TipsTimerAndKeyPresses) {
    EXPECT_EQ(qs.tipsTimer()->interval(), 3000);
    box.show();
    QTest::mouseMove(box.lineEdit(), QPoint(5, 5));
    EXPECT_TRUE(qs.tipsTimer()->isActive());
    QTest::keyClick(box.lineEdit(), Qt::Key_X);
    EXPECT_FALSE(qs.tipsWindow()->isVisible());
    EXPECT_TRUE(qs.tipsTimer()->isActive());

    quicksearch::SearchOptions o;
    o.noballoon = true;
    qs.setOptions(o);
    EXPECT_FALSE(qs.tipsTimer()->isActive());
    QTest::mouseMove(box.lineEdit(), QPoint(9, 7));
    EXPECT_FALSE(qs.tipsTimer()->isActive());
}

TEST(SearchTips, PlacementTextsAndClosing) {
    const QRect screen(0, 0, 1024, 768);
    const QSize size(TForm7a::kWidth, TForm7a::kHeight);
    EXPECT_EQ(TForm7a::placement({300, 40}, 60, screen, size), QPoint(244, 60));
    // Near the right edge the window ends at the screen edge.
    EXPECT_EQ(TForm7a::placement({1010, 40}, 60, screen, size), QPoint(1024 - 304, 60));
    EXPECT_EQ(TForm7a::placement({10, 40}, 60, screen, size).x(), 0);

    TForm7a tips;
    QStringList texts;
    for (QLabel* l : tips.findChildren<QLabel*>())
        texts << l->text();
    const QString all = texts.join('\n');
    EXPECT_TRUE(all.contains("Tips für ein effizienteres Suchen"));
    EXPECT_TRUE(all.contains("Dies entspricht einer OR-Verknüpfung."));
    EXPECT_TRUE(all.contains("Ergebnissen &nbsp;der Suche ausgeschlossen."));
    EXPECT_TRUE(all.contains("vor dem ersten Anführungs- zeichen notiert werden."));
    EXPECT_TRUE(all.contains("&quot;Alles begriffen?&quot;"));
    tips.showAt({300, 40}, 60, screen);
    EXPECT_TRUE(tips.isVisible());
    EXPECT_EQ(tips.pos(), QPoint(244, 60));
    // An icon stands left of the title, on its line, inside the balloon's body.
    auto* icon = tips.findChild<QLabel*>(QStringLiteral("tipsIcon"));
    ASSERT_NE(icon, nullptr);
    ASSERT_FALSE(icon->pixmap().isNull());
    for (QLabel* l : tips.findChildren<QLabel*>())
        if (l->text().contains("Tips für ein effizienteres Suchen")) {
            EXPECT_LT(icon->geometry().right(), l->geometry().left());
            EXPECT_TRUE(icon->geometry().top() < l->geometry().bottom() &&
                        l->geometry().top() < icon->geometry().bottom());
        }
    EXPECT_GE(icon->geometry().top(), 32);
    QTest::keyClick(&tips, Qt::Key_A);
    EXPECT_FALSE(tips.isVisible());
    EXPECT_EQ(tips.size(), size);
}

} // namespace
