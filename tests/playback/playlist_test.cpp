#include "play_history.h"
#include "playlist.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

QStringList lines(int n) {
    QStringList out;
    for (int i = 0; i < n; ++i)
        out.append(QStringLiteral("M:\\%1.mp3").arg(QChar(u'A' + i)));
    return out;
}

bool isPermutation(const std::vector<int>& order, int n) {
    if (int(order.size()) != n) return false;
    std::vector<bool> seen(size_t(n), false);
    for (int v : order) {
        if (v < 0 || v >= n || seen[size_t(v)]) return false;
        seen[size_t(v)] = true;
    }
    return true;
}

} // namespace

TEST(Playlist, ThreeTitlesInOrderStopAtTheEndOrWrapWithRepeat) {
    Playlist list;
    list.setTitles(lines(3));
    EXPECT_EQ(list.order(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list.position(), 0);
    EXPECT_FALSE(list.prevEnabled());
    EXPECT_TRUE(list.nextEnabled());
    EXPECT_FALSE(list.prev());
    EXPECT_TRUE(list.next());
    EXPECT_TRUE(list.next());
    EXPECT_EQ(list.currentLine(), "M:\\C.mp3");
    EXPECT_FALSE(list.nextEnabled());
    EXPECT_FALSE(list.next());
    EXPECT_EQ(list.position(), 2);

    list.setRepeat(true);
    EXPECT_TRUE(list.nextEnabled());
    EXPECT_TRUE(list.next());
    EXPECT_EQ(list.currentLine(), "M:\\A.mp3");
    EXPECT_TRUE(list.prev());
    EXPECT_EQ(list.position(), 2);
}

TEST(Playlist, SkipCountsMoveSeveralTitles) {
    Playlist list;
    list.setTitles(lines(10));
    list.setPosition(1);
    EXPECT_TRUE(list.next(3));
    EXPECT_EQ(list.position(), 4);
    EXPECT_TRUE(list.prev(4));
    EXPECT_EQ(list.position(), 0);
    EXPECT_FALSE(list.prev(1));
    list.setPosition(8);
    EXPECT_FALSE(list.next(2)); // past the end without repeat: nothing moves
    EXPECT_EQ(list.position(), 8);

    list.setRepeat(true);
    EXPECT_TRUE(list.next(3)); // 8 + 3 - 10
    EXPECT_EQ(list.position(), 1);
    EXPECT_TRUE(list.prev(3)); // 1 + 10 - 3
    EXPECT_EQ(list.position(), 8);
    // Counts beyond a whole pass stay inside the order.
    EXPECT_TRUE(list.next(25));
    EXPECT_EQ(list.position(), 3);
    EXPECT_TRUE(list.prev(27));
    EXPECT_EQ(list.position(), 6);
}

TEST(Playlist, ShuffleDrawsPermutationsAndKeepsThePosition) {
    Playlist list;
    list.seed(7);
    list.setTitles(lines(5));
    list.setPosition(1);
    list.setShuffle(true);
    EXPECT_EQ(list.position(), 1);
    EXPECT_TRUE(isPermutation(list.order(), 5));
    // Several draws do not all come out the same.
    QSet<QString> seen;
    for (int i = 0; i < 20; ++i) {
        list.BuildPlayOrder();
        QString key;
        for (int v : list.order())
            key += QString::number(v);
        seen.insert(key);
        EXPECT_TRUE(isPermutation(list.order(), 5));
    }
    EXPECT_GT(seen.size(), 5);

    // Wrapping with repeat and shuffle draws a new order first.
    list.setRepeat(true);
    list.setPosition(4);
    const std::vector<int> before = list.order();
    int changed = 0;
    for (int i = 0; i < 10; ++i) {
        list.setPosition(4);
        const std::vector<int> old = list.order();
        ASSERT_TRUE(list.next());
        EXPECT_EQ(list.position(), 0);
        changed += list.order() != old;
    }
    EXPECT_GT(changed, 5);

    // One title: no shuffling, and the order is the identity.
    list.setTitles(lines(1));
    EXPECT_EQ(list.order(), std::vector<int>{0});

    // A large list shuffles in linear time.
    list.setTitles(lines(1) + QStringList(20000, QStringLiteral("M:\\x.mp3")));
    EXPECT_TRUE(isPermutation(list.order(), 20001));
}

TEST(Playlist, JumpTargetsByTitleLineAndOrder) {
    Playlist list;
    list.setTitles(lines(4));
    EXPECT_EQ(list.indexOfLine(QStringLiteral("m:\\c.MP3")), 2);
    EXPECT_EQ(list.indexOfLine(QStringLiteral("M:\\Z.mp3")), -1);
    list.seed(3);
    list.setShuffle(true);
    const int k = list.orderPositionOf(2);
    ASSERT_GE(k, 0);
    EXPECT_EQ(list.indexAt(k), 2);
    EXPECT_EQ(list.orderPositionOf(-1), -1);
    list.clear();
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(list.currentLine(), QString());
    EXPECT_FALSE(list.next());
}

TEST(PlayHistory, CountsPerTitleWithoutRegardToCaseAndInTotal) {
    const QLocale german(QLocale::German, QLocale::Germany);
    PlayHistory history(german);
    history.load({{QStringLiteral("M:\\Old.mp3"), QStringLiteral("7")}}, 40);
    const QDate first(2026, 12, 8);
    history.countPlay(QStringLiteral("M:\\New.mp3"), first);
    const QString date1 = german.toString(first, QLocale::ShortFormat);
    EXPECT_EQ(history.value(QStringLiteral("M:\\New.mp3")), "1:" + date1);
    history.countPlay(QStringLiteral("m:\\NEW.MP3"), first.addDays(1));
    EXPECT_EQ(history.value(QStringLiteral("M:\\New.mp3")),
              "2:" + german.toString(first.addDays(1), QLocale::ShortFormat));
    // A stored value without a date counts on.
    history.countPlay(QStringLiteral("M:\\Old.mp3"), first);
    EXPECT_EQ(history.value(QStringLiteral("M:\\Old.mp3")), "8:" + date1);
    EXPECT_EQ(history.songsPlayed(), 43);
    // First-play order, one entry per title.
    EXPECT_EQ(history.titles(), QStringList({"M:\\Old.mp3", "M:\\New.mp3"}));
    EXPECT_EQ(history.values().size(), 2);
    const auto records = history.records();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].first, "M:\\New.mp3");
    EXPECT_TRUE(records[1].second.startsWith("2:"));
}
