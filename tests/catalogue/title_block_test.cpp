#include "index_file.h"
#include "name_order.h"
#include "title_block.h"
#include "title_lists.h"
#include "title_text.h"

#include <gtest/gtest.h>

#include <random>

namespace {

QStringList L(std::initializer_list<const char16_t*> lines) {
    QStringList out;
    for (const char16_t* l : lines)
        out << QString::fromUtf16(l);
    return out;
}

std::vector<QStringView> views(const QStringList& lines) {
    return {lines.begin(), lines.end()};
}

// Every way of reading a block gives back the lines it was made of.
void expectSameLines(const TitleBlock& block, const QStringList& lines) {
    ASSERT_EQ(block.count(), lines.size());
    QString buffer;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(block.length(i), lines[i].size()) << i;
        EXPECT_EQ(block.line(i), lines[i]) << i;
        EXPECT_EQ(block.view(i, buffer), lines[i]) << i;
    }
}

} // namespace

TEST(TitleBlock, KeepsEveryLineExactlyInEitherForm) {
    const QString longLatin1 =
        QString::fromUtf16(u"R:\\Brücke 2580\\Größe ÿ\\01 Straße - Ärger Über.mp3");
    struct Case {
        const char* name;
        QStringList lines;
        bool latin1;
    };
    const Case cases[] = {
        {"ascii", L({u"A:\\x.mp3", u"A:\\Folder\\y.mp3"}), true},
        {"latin-1 beyond ASCII",
         QStringList{longLatin1, longLatin1.left(3), longLatin1 + longLatin1}, true},
        {"euro sign after 16 characters", L({u"A:\\0123456789abcdef€.mp3", u"A:\\b.mp3"}), false},
        {"euro sign in a later line", L({u"A:\\a.mp3", u"A:\\b.mp3", u"€"}), false},
        {"surrogate pair", L({u"A:\\\U0001F3B5 Lied.mp3", u"A:\\ä.mp3"}), false},
        {"character just past Latin-1", L({u"A:\\\u0100.mp3"}), false},
        {"empty lines among others", L({u"", u"A:\\x.mp3", u""}), true},
        {"no lines", QStringList(), true},
        {"folders met again after others",
         L({u"M:\\A\\1.mp3", u"M:\\A\\B\\2.mp3", u"M:\\A\\3.mp3", u"x", u"M:\\A\\", u"\\",
            u"M:\\A\\B\\"}),
         true},
        {"a folder beyond Latin-1 shared by lines",
         L({u"M:\\€\\1.mp3", u"M:\\€\\2.mp3", u"M:\\ä\\3.mp3", u"M:\\€\\4"}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<QStringView> v = views(c.lines);
        const TitleBlock block(v.data(), qsizetype(v.size()));
        EXPECT_EQ(block.isLatin1(), c.latin1);
        expectSameLines(block, c.lines);
        // A line outlives its block.
        if (!c.lines.isEmpty()) {
            QString kept;
            {
                const TitleBlock local(v.data(), qsizetype(v.size()));
                kept = local.line(c.lines.size() - 1);
            }
            EXPECT_EQ(kept, c.lines.last());
        }
    }
}

TEST(TitleBlock, PackingGivesEachListItsLinesAsParts) {
    const QStringList original[] = {
        L({u"M:\\root.mp3"}), {}, L({u"M:\\A\\1.mp3", u"M:\\A\\2.mp3"}), L({u"M:\\B\\€.mp3"}), {}};
    std::vector<QStringList> lists(std::begin(original), std::end(original));
    std::vector<QStringList*> pointers;
    for (QStringList& l : lists)
        pointers.push_back(&l);
    std::vector<std::vector<TitlePart>> parts;
    titleblock::pack(pointers, parts);
    ASSERT_EQ(parts.size(), lists.size());
    for (size_t i = 0; i < lists.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(lists[i].isEmpty());
        EXPECT_EQ(parts[i].empty(), original[i].isEmpty());
        EXPECT_EQ((TitleSpan{nullptr, &parts[i]}.toList()), original[i]);
    }
}

// A list holds QStrings of its own (written to it) and runs of block lines after them; every
// reader sees the same titles in the same order, and the kept display order goes when the
// list changes.
TEST(TitleBlock, ListsMixingOwnTitlesAndPartsReadAlike) {
    std::mt19937 rng(7);
    const QStringList words = L({u"Ärger", u"liebe", u"Liebe", u"€uro", u"zeit", u"Über", u"b",
                                 u"Best Of The Very Long Titles Collection Vol"});
    const auto word = [&] { return words[int(rng() % unsigned(words.size()))]; };
    const auto lines = [&](int n, const QString& label) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << label + ":\\" + word() + "\\" + word() + " " + word() + ".mp3";
        return out;
    };
    const auto parts = [](QStringList l) {
        std::vector<std::vector<TitlePart>> out;
        titleblock::pack({&l}, out);
        return out[0];
    };

    TitleLists lists;
    const int index = lists.add(QStringLiteral("ALPHALIST::Liebe"));
    QStringList expected;
    for (int round = 0; round < 6; ++round) {
        const QStringList more = lines(int(rng() % 40) + (round == 0 ? 3000 : 1), "M" + word());
        lists.appendParts(index, parts(more));
        expected += more;
        if (round == 2) {
            // Written to: becomes QStrings of its own, later parts follow them.
            lists.list(index).append(QStringLiteral("X:\\own.mp3"));
            expected << QStringLiteral("X:\\own.mp3");
        }
        SCOPED_TRACE(round);
        ASSERT_EQ(lists.size(index), expected.size());
        EXPECT_EQ(lists.titles(index), expected);
        const TitleSpan span = lists.span(index);
        QStringList seen;
        span.forEach([&](QStringView line) { seen << line.toString(); });
        EXPECT_EQ(seen, expected);
        const TitleAt at(span);
        QStringList walked;
        at.forRange(0, at.size(), [&](qsizetype i, QStringView line) {
            EXPECT_EQ(line, at.line(i));
            walked << line.toString();
        });
        EXPECT_EQ(walked, expected);
        EXPECT_EQ(nameorder::sortedByName(span, 2), nameorder::sortedByName(expected, 1));

        lists.setNameOrder(index, nameorder::sortedByName(span));
        EXPECT_NE(lists.nameOrder(index), nullptr);
    }
    lists.appendParts(index, parts(lines(1, "N")));
    EXPECT_EQ(lists.nameOrder(index), nullptr);
    // Read as one list of QStrings, the list keeps what it held.
    expected = lists.titles(index);
    EXPECT_EQ(std::as_const(lists).list(index), expected);
    EXPECT_EQ(lists.size(index), expected.size());
    // A kept order goes when the list may be written to, or when an empty one is set.
    lists.setNameOrder(index, nameorder::sortedByName(lists.span(index)));
    ASSERT_NE(lists.nameOrder(index), nullptr);
    EXPECT_EQ(*lists.nameOrder(index), nameorder::sortedByName(expected));
    lists.list(index);
    EXPECT_EQ(lists.nameOrder(index), nullptr);
    lists.setNameOrder(index, nameorder::sortedByName(lists.span(index)));
    lists.setNameOrder(index, {});
    EXPECT_EQ(lists.nameOrder(index), nullptr);
    EXPECT_EQ(lists.titles(index), expected);
}

// Random access finds every line, whatever the sizes of the parts around it: parts shorter
// and longer than the buckets the look-up starts from, empty ones, with and without titles
// of the list's own before them.
TEST(TitleBlock, EveryLineIsFoundByItsPlaceAmongManyParts) {
    struct Case {
        const char* name;
        int own;
        std::vector<int> sizes;
    };
    const Case cases[] = {
        {"one part", 0, {5}},
        {"parts of one line", 0, std::vector<int>(200, 1)},
        {"parts across buckets", 3, {63, 1, 64, 65, 0, 2, 130, 7}},
        {"empty parts between", 1, {0, 10, 0, 0, 70, 0, 1}},
        {"own titles only", 4, {}},
        {"one long part", 0, {1000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList own;
        for (int i = 0; i < c.own; ++i)
            own << QStringLiteral("O:\\own %1.mp3").arg(i);
        QStringList expected = own;
        std::vector<TitlePart> parts;
        const QStringView spareLine = u"S:\\spare.mp3";
        const auto spare = std::make_shared<const TitleBlock>(&spareLine, 1);
        for (size_t k = 0; k < c.sizes.size(); ++k) {
            if (c.sizes[k] == 0) {
                parts.push_back({spare, 1, 0});
                continue;
            }
            QStringList lines;
            for (int i = 0; i < c.sizes[k]; ++i)
                lines << QStringLiteral("M%1:\\F%2\\%3.mp3").arg(k).arg(i % 3).arg(i);
            expected += lines;
            // The part starts inside its block, not at its first line.
            QStringList before = {QStringLiteral("skip")};
            std::vector<std::vector<TitlePart>> packed;
            titleblock::pack({&before, &lines}, packed);
            ASSERT_EQ(packed[1].size(), 1u);
            EXPECT_EQ(packed[1][0].first, 1u);
            parts.push_back(std::move(packed[1][0]));
        }
        const TitleAt at(TitleSpan{&own, &parts});
        ASSERT_EQ(at.size(), expected.size());
        // Backwards and in a scattered order, so that no look-up follows from the last.
        QString buffer;
        for (qsizetype i = expected.size() - 1; i >= 0; --i)
            EXPECT_EQ(at.line(i), expected[i]) << i;
        for (qsizetype k = 0; k < expected.size(); ++k) {
            const qsizetype i = (k * 37) % expected.size();
            EXPECT_EQ(at.view(i, buffer), expected[i]) << i;
        }
        for (const qsizetype from : {qsizetype(0), expected.size() / 2, expected.size() - 1}) {
            QStringList walked;
            at.forRange(from, at.size(),
                        [&](qsizetype, QStringView line) { walked << line.toString(); });
            EXPECT_EQ(walked, expected.mid(from)) << from;
        }
    }
}

// Names that share more than the sort key's first characters are ordered by their texts,
// read from the parts while later ones are asked for early: runs shorter and longer than
// that look-ahead, runs of names held whole between them, own titles among the runs, names
// beyond Latin-1, and runs spread over many blocks.
TEST(TitleBlock, LongSharedNamesAreOrderedFromTheirParts) {
    struct Case {
        const char* name;
        int own;      // own titles before the parts
        int lines;    // lines in all
        int partSize; // lines per part
        int runs;     // distinct long prefixes
    };
    const Case cases[] = {
        {"one run", 0, 40, 40, 1},
        {"short runs", 0, 300, 7, 150},
        {"runs longer than the look-ahead", 5, 900, 13, 9},
        {"many parts, mixed runs", 17, 3000, 3, 40},
        {"own titles only", 50, 50, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(unsigned(c.lines));
        const auto title = [&](int i) {
            const int run = int(rng() % unsigned(c.runs));
            switch (i % 5) {
            case 0: // held whole by the key; ties only by case
                return QStringLiteral("X:\\a\\Run %1 %2.mp3").arg(run).arg(rng() % 2 ? "A" : "a");
            case 1: // beyond Latin-1 after the shared prefix
                return QStringLiteral("X:\\b\\01 Long Shared Artist %1 - \u0160%2.ogg")
                    .arg(run, 4, 10, QLatin1Char('0'))
                    .arg(rng() % 9);
            case 2: // Latin-1 letters whose folding differs, held whole or not
                return QStringLiteral("X:\\d\\%1 \u00C9t\u00E9 %2 \u00B5%3.mp3")
                    .arg(rng() % 2 ? "\u00C4" : "\u00E4")
                    .arg(run)
                    .arg(rng() % 3 ? "" : "\u00DF long enough to pass the key's end");
            default: // long and differing late, in case only or not at all
                return QStringLiteral("X:\\c\\01 Long Shared Artist %1 - %2 Title %3.mp3")
                    .arg(run, 4, 10, QLatin1Char('0'))
                    .arg(rng() % 2 ? "Blue" : "blue")
                    .arg(rng() % 6);
            }
        };
        QStringList own, all;
        for (int i = 0; i < c.own; ++i)
            own << title(i);
        all = own;
        std::vector<TitlePart> parts;
        for (int i = c.own; i < c.lines; i += c.partSize) {
            QStringList lines;
            for (int k = i; k < std::min(c.lines, i + c.partSize); ++k)
                lines << title(k);
            all += lines;
            std::vector<std::vector<TitlePart>> packed;
            titleblock::pack({&lines}, packed);
            ASSERT_EQ(packed[0].size(), 1u);
            parts.push_back(std::move(packed[0][0]));
        }
        std::vector<int> expected(size_t(all.size()));
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = int(i);
        std::stable_sort(expected.begin(), expected.end(), [&](int x, int y) {
            return indexfile::compareCatalogue(titletext::displayName(all[x]),
                                               titletext::displayName(all[y])) < 0;
        });
        const TitleSpan span{&own, &parts};
        EXPECT_EQ(nameorder::sortedByName(span, 1), expected);
        EXPECT_EQ(nameorder::sortedByName(all, 1), expected);
    }
}
