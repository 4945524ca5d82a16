// Tables, pools, work space and node arrays that keep their room from one use to the next:
// what is taken again must hold nothing of the last use.
#include "collection.h"
#include "flat_table.h"
#include "folded_prefix.h"
#include "index_file.h"
#include "text_codec.h"
#include "tree_node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

// A key whose hash is its value modulo `spread`: few spreads make long runs of probes.
struct Clashing {
    int value;
    int spread;
    bool operator==(const Clashing& o) const { return value == o.value; }
    friend size_t qHash(const Clashing& k, size_t = 0) { return size_t(k.value % k.spread); }
};

TEST(KeptRoom, FlatTablesFindWhatWasAddedSinceTheyWereEmptied) {
    struct Case {
        int entries;
        int spread;
        bool keepsRoom;
    };
    const Case cases[] = {{0, 1000, false},
                          {1, 1000, true},
                          {200, 1000, true},
                          {200, 1, true},
                          {300, 7, true},
                          {int(kKeptRoom), 5000, true},
                          {int(kKeptRoom) + 1, 5000, false}};
    FlatTable<Clashing, int> reused;
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.entries << " spread " << k.spread);
        FlatTable<Clashing, int> table;
        for (FlatTable<Clashing, int>* t : {&table, &reused}) {
            for (int i = 0; i < k.entries; ++i)
                t->insert({i, k.spread}, i * 3);
            EXPECT_EQ(t->size(), k.entries);
            // Added again: replaced, not added.
            if (k.entries > 0) (*t)[{0, k.spread}] = -5;
            EXPECT_EQ(t->size(), k.entries);
            for (int i = 1; i < k.entries; ++i)
                EXPECT_EQ(t->value({i, k.spread}, -1), i * 3);
            const qsizetype room = t->capacity();
            t->clear();
            EXPECT_TRUE(t->isEmpty());
            for (int i = 0; i < k.entries; ++i)
                ASSERT_FALSE(t->contains({i, k.spread})) << i;
            if (t == &table) {
                EXPECT_EQ(t->capacity(), k.keepsRoom ? room : 0);
            }
            // Filled again with other keys: only those are found.
            for (int i = 0; i < 50; ++i)
                t->insert({k.entries + i, k.spread}, -i);
            EXPECT_EQ(t->size(), 50);
            for (int i = 0; i < 50; ++i)
                EXPECT_EQ(t->value({k.entries + i, k.spread}, 1), -i);
            if (k.entries > 0) {
                EXPECT_FALSE(t->contains({k.entries - 1, k.spread}));
            }
            t->clear();
        }
    }
}

TEST(KeptRoom, FoldedMapClearedFindsOnlyWhatIsAddedAfter) {
    const QStringList rounds[] = {{"a", "b\\c", "d"}, {"b\\c", "x"}, {}, {"a", "a\\b", "a\\b\\c"}};
    foldedprefix::FoldedMap<int> map;
    QStringList before;
    for (const QStringList& round : rounds) {
        SCOPED_TRACE(round.join(u' ').toStdString());
        map.clear();
        map.reserve(round.size());
        for (int i = 0; i < round.size(); ++i)
            EXPECT_TRUE(map.insert(round[i], i));
        EXPECT_EQ(map.size(), round.size());
        for (int i = 0; i < round.size(); ++i) {
            const int* found = map.find(round[i], foldedprefix::PrefixHashes::hashOf(round[i]));
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(*found, i);
        }
        for (const QString& old : std::as_const(before))
            if (!round.contains(old)) {
                EXPECT_FALSE(map.contains(old)) << old.toStdString();
            }
        before = round;
    }
}

TEST(KeptRoom, PoolCopiesOutliveAClearAndANewBlockIsWrittenOnlyWhenFree) {
    struct Case {
        QStringList kept;  // copies held across the clear
        QStringList after; // copies made after it
    };
    const Case cases[] = {
        {{"Rock (2)", "Jazz (3)"}, {"Pop (2)", "Blues (9)"}},
        {{}, {"one", "two", "three"}},
        {{"x"}, {"yy"}},
        {{}, {}},
    };
    textcodec::TextPool pool;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kept.join(u' ').toStdString());
        std::vector<QString> kept(size_t(k.kept.size()));
        for (qsizetype i = 0; i < k.kept.size(); ++i) {
            const QStringView part = k.kept[i];
            pool.copies(&part, 1, &kept[size_t(i)]);
        }
        // A copy dropped before the clear leaves the block to the pool alone when no other
        // copy holds it.
        {
            QString dropped;
            const QStringView part = u"dropped";
            pool.copies(&part, 1, &dropped);
        }
        pool.clear();
        std::vector<QString> after(size_t(k.after.size()));
        for (qsizetype i = 0; i < k.after.size(); ++i) {
            const QStringView parts[] = {k.after[i], u"!"};
            pool.joined(parts, 2, &after[size_t(i)]);
        }
        for (qsizetype i = 0; i < k.kept.size(); ++i)
            EXPECT_EQ(kept[size_t(i)], k.kept[i]);
        for (qsizetype i = 0; i < k.after.size(); ++i)
            EXPECT_EQ(after[size_t(i)], k.after[i] + u'!');
        pool.clear();
    }
}

QStringList childTexts(const TreeNode* n) {
    QStringList out;
    for (int i = 0; i < n->childCount(); ++i)
        out << n->child(i)->text;
    return out;
}

TEST(KeptRoom, ChildrenTakenAgainAreInTheirOrderWithTheirRows) {
    // Counts in and past the arrays kept for children, in turn on the same tree.
    const int counts[] = {3, 1, 17, 0, 40, 1100, 2, 64};
    TreeNode root(QStringLiteral("root"), 0, 0);
    TreeNode* top = root.addChild(QStringLiteral("top"), 1, 1);
    std::mt19937 random(7);
    for (int round = 0; round < 2; ++round) {
        for (int count : counts) {
            SCOPED_TRACE(count);
            QStringList texts;
            for (int i = 0; i < count; ++i)
                texts << QString(QChar(u'a' + int(random() % 5))) + QString::number(random() % 9);
            top->removeChildren();
            std::vector<TreeNode*> nodes;
            for (const QString& t : std::as_const(texts)) {
                TreeNode* child = top->addChild(t, 2, 3);
                // A grandchild for some: their arrays go back with them.
                if (child->text.endsWith(u'1')) child->addChild(t + u'x', 4, 4);
                nodes.push_back(child);
            }
            top->sortChildren();
            QStringList want = texts;
            std::stable_sort(want.begin(), want.end(), [](const QString& a, const QString& b) {
                return indexfile::compareCatalogue(a, b) < 0;
            });
            EXPECT_EQ(childTexts(top), want);
            EXPECT_EQ(top->childCount(), count);
            for (int i = 0; i < top->childCount(); ++i) {
                EXPECT_EQ(top->child(i)->row(), i);
                EXPECT_EQ(top->child(i)->parent(), top);
            }
            // Equal texts keep the order they were added in.
            for (size_t a = 0; a < nodes.size(); ++a)
                for (size_t b = a + 1; b < nodes.size(); ++b)
                    if (nodes[a]->text == nodes[b]->text) {
                        EXPECT_LT(nodes[a]->row(), nodes[b]->row());
                    }
            int grandchildren = 0;
            for (const QString& t : std::as_const(texts))
                grandchildren += t.endsWith(u'1');
            EXPECT_EQ(top->descendantCount(), count + grandchildren);
            EXPECT_EQ(root.descendantCount(), 1 + count + grandchildren);
        }
    }
}

TEST(KeptRoom, ViewsOfABodySortAsItsTexts) {
    // Few lines, runs to merge, and lines in no order (sorted by keys).
    std::vector<QStringList> files = {
        {},
        {"b", "A"},
        {"x", "begin::cd", "  ", "c:\\b\\", "C:\\B\\a", "c:\\a", "", "Label::y"},
    };
    QStringList runs, shuffled;
    for (int i = 0; i < 60; ++i)
        runs << QStringLiteral("R:\\%1\\t%2").arg(i % 3).arg(i / 3, 2, 10, QChar(u'0'));
    files.push_back(runs);
    std::mt19937 random(3);
    for (int i = 0; i < 200; ++i)
        shuffled << QString(QChar(u'A' + int(random() % 4))) + QStringLiteral(":\\") +
                        QString::number(random() % 50);
    files.push_back(shuffled);
    std::vector<QStringView> views;
    for (const QStringList& file : files) {
        SCOPED_TRACE(file.size());
        const QStringList want = indexfile::bodyLinesForLoading(file);
        indexfile::bodyViewsForLoading(file, views);
        ASSERT_EQ(qsizetype(views.size()), want.size());
        for (size_t i = 0; i < views.size(); ++i) {
            EXPECT_EQ(views[i], want[qsizetype(i)]) << i;
            // Views of the file's own lines, not of copies.
            EXPECT_TRUE(std::any_of(file.cbegin(), file.cend(), [&](const QString& line) {
                return line.constData() == views[i].data();
            }));
        }
    }
}

TEST(KeptRoom, StyleAttributesReadWithoutTemporaryTexts) {
    struct Case {
        const char* attributes;
        bool hasColour;
        quint32 rgb;
        bool bold, italic, underline, strikeout;
    };
    const Case cases[] = {
        {"#a0b1C2", true, 0xA0B1C2, false, false, false, false},
        {"#0", true, 0, false, false, false, false},
        {"\"#12\"34,\"bo\"\"ld\"", true, 0x1234, false, false, false, false},
        {"\"bold\"x, \"ITALIC", false, 0, false, true, false, false},
        {"\"\",underline\tStrikeOut", false, 0, false, false, true, true},
        {"#12 #zz,bOLD", true, 0x12, true, false, false, false},
        {"#1234567 #", true, 0x123456, false, false, false, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.attributes);
        indexfile::TitleStyle style;
        indexfile::applyStyleAttributes(QString::fromUtf8(k.attributes), style);
        EXPECT_EQ(style.hasColour, k.hasColour);
        EXPECT_EQ(style.rgb, k.rgb);
        EXPECT_EQ(style.bold, k.bold);
        EXPECT_EQ(style.italic, k.italic);
        EXPECT_EQ(style.underline, k.underline);
        EXPECT_EQ(style.strikeout, k.strikeout);
    }
    // A pair of quotes is an empty item, read as a null text.
    const QStringList items = indexfile::splitCommaText(u"\"\",a\"b");
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0].isNull());
    EXPECT_EQ(items[1], QStringLiteral("a\"b"));
}

// Everything a load leaves in a collection, as text.
QStringList dump(const Collection& c) {
    QStringList out;
    std::function<void(const TreeNode*, int)> walk = [&](const TreeNode* n, int depth) {
        QString line = QString(depth, u' ') + n->text + u' ' + QString::number(n->icon) + u'/' +
                       QString::number(n->selectedIcon);
        if (n->media) line += u' ' + n->media->Details + u' ' + n->media->Resource;
        out << line;
        for (int i = 0; i < n->childCount(); ++i)
            walk(n->child(i), depth + 1);
    };
    walk(c.root(), 0);
    for (int i = 0; i < c.titleLists.count(); ++i)
        out << c.titleLists.key(i) + QStringLiteral(" = ") + c.titleLists.titles(i).join(u'|');
    for (int i = 0; i < c.titleStyles.count(); ++i) {
        const indexfile::TitleStyle& s = c.titleStyles.style(i);
        out << c.titleStyles.target(i) + QStringLiteral(" %1 %2%3%4%5")
                                             .arg(s.hasColour ? qint64(s.rgb) : -1)
                                             .arg(s.bold)
                                             .arg(s.italic)
                                             .arg(s.underline)
                                             .arg(s.strikeout);
    }
    out << c.cdnames.join(u'|');
    return out;
}

TEST(KeptRoom, ACollectionClearedAndLoadedAgainEqualsANewOne) {
    // Each set of files loaded into one collection after the others (cleared in between)
    // and into a new one.
    const std::vector<QStringList> sets[] = {
        {{"LABEL::Rock", "R:\\A\\", "R:\\A\\1.mp3", "R:\\A\\B\\", "R:\\A\\B\\2.mp3", "R:\\top.mp3",
          "STYLE::BOLD,#FF0000::R:\\A\\1.mp3"},
         {"LABEL::Rock", "R:\\a\\", "R:\\a\\3.mp3", "MEDIATYPE::LAN::\\\\srv\\x"}},
        {{"LABEL::Jazz 1", "J:\\A\\", "J:\\a\\x.mp3", "J:\\C\\", "J:\\C\\A\\", "J:\\C\\A\\y.mp3"},
         {"LABEL::Jazz 1", "J:\\A (2)\\", "J:\\a (2)\\z.mp3"},
         {"J:\\A\\", "J:\\A\\w.mp3"}},
        {{"MEDIATYPE::PAD", ":\\Alle gemerkten Titel\\", "Zed:\\z.mp3", "Alpha:\\a\\b.mp3"}},
        {{}, {"only a title"}},
        {{"LABEL::Rock", "R:\\A\\", "R:\\A\\1.mp3", "R:\\A\\B\\", "R:\\A\\B\\2.mp3"}},
    };
    Collection reused;
    for (const std::vector<QStringList>& files : sets) {
        SCOPED_TRACE(files.front().join(u' ').toStdString());
        reused.ClearCollection();
        Collection fresh;
        for (size_t i = 0; i < files.size(); ++i) {
            const QString name = QStringLiteral("m%1").arg(i);
            reused.addMedium(name, files[i]);
            fresh.addMedium(name, files[i]);
        }
        EXPECT_EQ(dump(reused), dump(fresh));
    }
}

} // namespace
