#include "name_order.h"
#include "search_index.h"
#include "search_query.h"
#include "test_collection.h"
#include "view_build.h"

#include "title_text.h"

#include <gtest/gtest.h>

#include <random>

using namespace quicksearch;

namespace {

QStringList L(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* i : items)
        out << QString::fromUtf8(i);
    return out;
}

TEST(QuickSearchTokens, QuotesGroupAndEmptyTokenEndsTheList) {
    EXPECT_EQ(tokenize(u"  beatles   -live "), L({"beatles", "-live"}));
    EXPECT_EQ(tokenize(u"\"live at\" +wembley"), L({"live at", "+wembley"}));
    EXPECT_EQ(tokenize(u"\"+love song\" x"), L({"+love song", "x"}));
    // An empty pair of quotes yields an empty token: nothing after it counts.
    EXPECT_TRUE(tokenize(u"\"\" beatles").isEmpty());
    EXPECT_EQ(tokenize(u"a \"\" b"), L({"a"}));
    EXPECT_EQ(tokenize(u"a\"b c\"d"), L({"ab cd"}));
    EXPECT_TRUE(tokenize(u"   ").isEmpty());
}

TEST(QuickSearchTerms, ClassifiesDropsDuplicatesAndBuildsTheSearchText) {
    SearchOptions o;
    SearchTerms t = parseSearch(u"\"live at\" +wembley", o);
    EXPECT_EQ(t.plain, L({"LIVE AT"}));
    EXPECT_EQ(t.plus, L({"WEMBLEY"}));
    EXPECT_TRUE(t.minus.isEmpty());
    EXPECT_EQ(t.searchText, "live at +wembley");

    t = parseSearch(u"song song SONG", o);
    EXPECT_EQ(t.plain, L({"SONG"}));
    EXPECT_EQ(t.searchText, "song");

    t = parseSearch(u"Beatles -Live +Help -LIVE", o);
    EXPECT_EQ(t.minus, L({"LIVE"}));
    EXPECT_EQ(t.searchText, "Beatles -Live +Help");

    // A sign alone or before blanks in quotes gives an empty or blank term.
    t = parseSearch(u"+ \"- \" x", o);
    EXPECT_EQ(t.plain, L({"X"}));
    EXPECT_TRUE(t.plus.isEmpty() && t.minus.isEmpty());
    EXPECT_EQ(t.searchText, "x");

    // Only a to z are upper-cased: umlauts stay as typed.
    t = parseSearch(u"müller", o);
    EXPECT_EQ(t.plain, L({"MüLLER"}));
}

TEST(QuickSearchTerms, MinimumLengthCountsWithoutTheSign) {
    SearchOptions o;
    o.minln = true;
    o.minlncnt = 3;
    EXPECT_TRUE(parseSearch(u"ab", o).empty());
    SearchTerms t = parseSearch(u"+abc -ab xyz", o);
    EXPECT_EQ(t.plus, L({"ABC"}));
    EXPECT_TRUE(t.minus.isEmpty());
    EXPECT_EQ(t.searchText, "+abc xyz");
    o.minln = false;
    EXPECT_EQ(parseSearch(u"ab", o).plain, L({"AB"}));
}

TEST(QuickSearchMru, AddsNewSuccessfulSearchesFirst) {
    SearchOptions o;
    QStringList mru{"old"};
    EXPECT_FALSE(insertMru(mru, "beatles", parseSearch(u"beatles", o), 0)); // no result
    EXPECT_FALSE(insertMru(mru, "\"\" x", parseSearch(u"\"\" x", o), 5));   // no search text
    EXPECT_TRUE(insertMru(mru, "beatles -live", parseSearch(u"beatles -live", o), 3));
    EXPECT_FALSE(insertMru(mru, "BEATLES -LIVE", parseSearch(u"BEATLES -LIVE", o), 3));
    EXPECT_EQ(mru, L({"beatles -live", "old"}));
}

TEST(QuickSearchMru, KeepsTheNewestFiftyEntries) {
    SearchOptions o;
    QStringList mru;
    for (int i = 0; i < 55; ++i) {
        const QString s = QStringLiteral("suche %1").arg(i);
        EXPECT_TRUE(insertMru(mru, s, parseSearch(s, o), 1));
    }
    ASSERT_EQ(mru.size(), 50);
    EXPECT_EQ(mru.first(), "suche 54");
    EXPECT_EQ(mru.last(), "suche 5"); // the oldest went first
}

TEST(QuickSearchColours, InputWordsTakeTheColourOfTheirFirstCharacter) {
    const auto spans = inputColourSpans(u"+a \"-b c\" -d x-y");
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[0].start, 0);
    EXPECT_EQ(spans[0].length, 3); // "+a " with its blank
    EXPECT_EQ(spans[0].colour, TermColour::Plus);
    EXPECT_EQ(spans[1].start, 3); // the quoted phrase is one word
    EXPECT_EQ(spans[1].length, 7);
    EXPECT_EQ(spans[1].colour, TermColour::Normal); // starts with the quote
    EXPECT_EQ(spans[2].colour, TermColour::Minus);
    EXPECT_EQ(spans[3].colour, TermColour::Normal); // "x-y": sign inside
    EXPECT_EQ(spans[3].start + spans[3].length, 16);
    EXPECT_TRUE(inputColourSpans(u"").empty());
}

TEST(QuickSearchColours, DropDownWordsTakeTheLastSignOutsideQuotes) {
    const auto spans = mruColourSpans(u"\"+a\"-b x+y-z \"-q\" w");
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[0].colour, TermColour::Minus); // the "+" is inside quotes
    EXPECT_EQ(spans[1].colour, TermColour::Minus); // "-" after "+": last wins
    EXPECT_EQ(spans[2].colour, TermColour::Normal);
    EXPECT_EQ(spans[3].colour, TermColour::Normal);
}

class QuickSearchMatch : public ::testing::Test {
protected:
    void SetUp() override {
        addMedium(c, "CD1",
                  L({"CD1:\\Beatles\\", "CD1:\\Beatles\\Help.mp3", "CD1:\\Beatles\\Help (Live).mp3",
                     "CD1:\\Beatles\\Love Me Do.mp3", "CD1:\\Pop\\", "CD1:\\Pop\\Love Song.mp3",
                     "CD1:\\Pop\\Only Song.mp3", "CD1:\\Pop\\Müller.mp3"}));
        addMedium(c, "CD2",
                  L({"CD2:\\Live at Wembley\\", "CD2:\\Live at Wembley\\Queen - One.mp3",
                     "CD2:\\Pop\\", "CD2:\\Pop\\Beatles Cover.mp3"}));
        addMedium(
            c, "Merk",
            L({"Merk:\\Alle gemerkten Titel\\", "Merk:\\Alle gemerkten Titel\\Love Theme.mp3"}));
    }
    SearchResult run(const char* input) {
        return searchTitleLists(c.titleLists, parseSearch(QString::fromUtf8(input), o), o);
    }
    QStringList names(const SearchResult& r) {
        QStringList out;
        for (const QString& t : r.titles)
            out << t.mid(t.lastIndexOf('\\') + 1);
        return out;
    }
    Collection c;
    SearchOptions o;
};

TEST_F(QuickSearchMatch, PlainTermsOrPlusTermsAndMinusTermsExclude) {
    // Order: the alphabetical lists in creation order (Beatles, Pop, Live..., Alle...).
    EXPECT_EQ(names(run("beatles -live")), L({"Help.mp3", "Love Me Do.mp3", "Beatles Cover.mp3"}));
    EXPECT_EQ(names(run("+love +song")), L({"Love Song.mp3"}));
    EXPECT_EQ(names(run("love +song")), L({"Love Song.mp3"}));
    EXPECT_EQ(names(run("help only")), L({"Help (Live).mp3", "Help.mp3", "Only Song.mp3"}));
    EXPECT_EQ(run("-live").hits, 0);
    EXPECT_EQ(run("").hits, 0);
    EXPECT_EQ(run("\"\" love").hits, 0);
    EXPECT_EQ(names(run("\"live at\" +wembley")), L({"Queen - One.mp3"}));
    // Umlauts match exactly; a to z ignore case.
    EXPECT_EQ(names(run("MüLLER")), L({"Müller.mp3"}));
    EXPECT_EQ(run("MÜLLER").hits, 0);
}

TEST_F(QuickSearchMatch, ExcludingMediaAndFoldersMatchesTheDisplayNameOnly) {
    EXPECT_EQ(run("cd2").hits, 2);
    EXPECT_EQ(run("mp3").hits, 9);
    o.nomedia = true;
    EXPECT_EQ(run("cd2").hits, 0);
    EXPECT_EQ(run("mp3").hits, 0); // the extension is not part of the name
    EXPECT_EQ(names(run("beatles")), L({"Beatles Cover.mp3"}));
}

TEST_F(QuickSearchMatch, StoredMerkzettelCanBeSkipped) {
    EXPECT_EQ(names(run("love")), L({"Love Me Do.mp3", "Love Song.mp3", "Love Theme.mp3"}));
    o.nopads = true;
    EXPECT_EQ(names(run("love")), L({"Love Me Do.mp3", "Love Song.mp3"}));
    EXPECT_EQ(run("love").hits, 2);
}

TEST_F(QuickSearchMatch, LimitKeepsTheFirstHitsAndCountsAll) {
    o.reslimit = true;
    o.reslimitcnt = 2;
    SearchResult r = run("mp3");
    EXPECT_EQ(r.hits, 9);
    EXPECT_TRUE(r.limited);
    EXPECT_EQ(names(r), L({"Help (Live).mp3", "Help.mp3"}));
    o.reslimitcnt = 9;
    r = run("mp3");
    EXPECT_FALSE(r.limited);
    EXPECT_EQ(r.titles.size(), 9);
    o.reslimitcnt = 0;
    r = run("help");
    EXPECT_TRUE(r.limited);
    EXPECT_TRUE(r.titles.isEmpty());
    EXPECT_EQ(r.hits, 2);
}

TEST(QuickSearchMatchLarge, LimitOf50With120HitsAndWordBoundaries) {
    Collection c;
    QStringList body{"X:\\F\\"};
    for (int i = 0; i < 120; ++i)
        body << QStringLiteral("X:\\F\\Track %1 live.mp3").arg(i, 3, 10, QChar('0'));
    for (int i = 0; i < 70; ++i) // spans more than one 64-title block
        body << QStringLiteral("X:\\F\\Other %1.mp3").arg(i);
    addMedium(c, "X", body);
    SearchOptions o;
    o.reslimit = true;
    o.reslimitcnt = 50;
    const SearchTerms t = parseSearch(u"live", o);
    const SearchResult r = searchTitleLists(c.titleLists, t, o);
    EXPECT_EQ(r.hits, 120);
    EXPECT_EQ(r.titles.size(), 50);
    EXPECT_TRUE(r.limited);
    SearchState s{t.searchText, r.hits, r.limited, o.reslimitcnt, false, false};
    EXPECT_EQ(viewbuild::searchStatusText(s, QLocale(QLocale::German)),
              "Ergebnis der Suche nach \"live\": 120 Treffer, beschränkt auf die ersten 50 "
              "Einträge.");
    // The last title is found (the final partial block of the bitmap counts).
    const SearchResult last = searchTitleLists(c.titleLists, parseSearch(u"\"other 69\"", o), o);
    EXPECT_EQ(last.hits, 1);
    const SearchResult none = searchTitleLists(c.titleLists, parseSearch(u"-live", o), o);
    EXPECT_EQ(none.hits, 0);
}

// The index against a plain reading of the matching rules, on a collection large enough to
// be searched in parallel blocks, with titles in media roots and a stored Merkzettel.
TEST(QuickSearchMatchLarge, AgreesWithPlainMatchingOnEveryKindOfQuery) {
    const QStringList words = L({"Liebe", "Nacht", "Müller", "Love", "Night", "Ärger", "Best Of",
                                 "Fire", "a:b", "Zeit", "♪"});
    std::mt19937 rng(7);
    const auto word = [&] { return words[int(rng() % unsigned(words.size()))]; };
    Collection c;
    for (int m = 0; m < 60; ++m) {
        const QString label = QStringLiteral("Medium %1").arg(m);
        QStringList body;
        for (int r = 0; r < 5; ++r)
            body << label + ":\\" + word() + QStringLiteral(" %1.mp3").arg(r);
        for (int f = 0; f < 25; ++f) {
            // Folders alike but for case, in one medium and across media.
            const QString name = f % 3 ? word() : word().toUpper();
            const QString folder = label + ":\\" + name + QStringLiteral(" %1\\").arg(f % 7);
            const QString sub = folder + word() + "\\";
            body << folder << sub;
            for (int t = 0; t < 12; ++t)
                body << (t % 3 ? sub : folder) + word() + " - " + word() +
                            (t % 5 ? ".mp3" : ".Ogg");
        }
        addMedium(c, label, body);
    }
    addMedium(c, "Merk",
              L({":\\Alle gemerkten Titel\\", "1999:\\Love Night.mp3", "Zed:\\x\\Fire.mp3"}));
    const auto sources = SearchIndex::snapshot(c.titleLists);
    const SearchIndex index(sources);
    ASSERT_GT(index.titleCount(), 16384); // several blocks, searched on all cores
    // The same with the display order made beforehand, as the load makes it.
    QStringList all;
    for (const auto& s : sources)
        all += TitleSpan{&s.titles, &s.parts}.toList();
    const SearchIndex ordered(
        sources, std::make_shared<const std::vector<int>>(nameorder::sortedByName(all)));

    const char* queries[] = {"liebe",       "love night fire", "\"best of\"",
                             "mp3",         "+love +night",    "love -night -fire",
                             "müller +ogg", "ärger",           "\"of\\\"",
                             "\"3\\love\"", "\"medium 1:\\\"", "a:b",
                             "medium",      "+zeit -medium",   "\"1999:\\love\"",
                             "♪",           "xyzzy",           "e",
                             "mp3liebe",    "3lo ggn",         "+mp3 -mp3a"};
    for (const bool nomedia : {false, true})
        for (const bool nopads : {false, true})
            for (const char* query : queries) {
                SCOPED_TRACE(std::string(query) + (nomedia ? " nomedia" : "") +
                             (nopads ? " nopads" : ""));
                SearchOptions o;
                o.nomedia = nomedia;
                o.nopads = nopads;
                const SearchTerms t = parseSearch(QString::fromUtf8(query), o);
                QStringList expected;
                for (const auto& s : sources) {
                    if (nopads && asciiUpper(s.key) == "ALPHALIST::ALLE GEMERKTEN TITEL") continue;
                    for (const QString& line : TitleSpan{&s.titles, &s.parts}.toList()) {
                        const QString subject =
                            asciiUpper(nomedia ? titletext::displayName(line).toString() : line);
                        const auto has = [&](const QString& term) {
                            return subject.contains(term);
                        };
                        bool match = t.plain.isEmpty()
                                         ? !t.plus.isEmpty()
                                         : std::any_of(t.plain.begin(), t.plain.end(), has);
                        match = match && std::all_of(t.plus.begin(), t.plus.end(), has) &&
                                std::none_of(t.minus.begin(), t.minus.end(), has);
                        if (match) expected << line;
                    }
                }
                for (const int limit : {-1, 3000}) {
                    o.reslimit = limit >= 0;
                    o.reslimitcnt = limit;
                    const SearchResult r = index.search(t, o);
                    const QStringList kept = limit >= 0 ? expected.mid(0, limit) : expected;
                    EXPECT_EQ(r.hits, expected.size());
                    EXPECT_EQ(r.limited, kept.size() < expected.size());
                    EXPECT_EQ(r.titles, kept);
                    // Long results come with their display order, made from the index's.
                    if (kept.size() >= nameorder::kKeepFrom)
                        EXPECT_EQ(r.order, nameorder::sortedByName(kept));
                    else
                        EXPECT_TRUE(r.order.empty());
                    const SearchResult same = ordered.search(t, o);
                    EXPECT_EQ(same.titles, r.titles);
                    EXPECT_EQ(same.order, r.order);
                }
            }
    // Titles in a medium's root are found.
    SearchOptions o;
    EXPECT_GT(index.search(parseSearch(u"\"medium 3:\\\"", o), o).hits, 0);
}

// Many terms at once, of every length (three bytes and fewer are matched without a second
// look, long ones reach past the vector steps), against a plain reading of the rules: more
// "or" and "-" terms than one pass takes, hits at the ends of titles and of blocks.
TEST(QuickSearchMatchLarge, ManyTermsOfEveryLengthAgreeWithPlainMatching) {
    const QStringList words = L({"ab", "Abba", "Liebe", "Nacht", "b", "Love Night", "Zeit", "Über",
                                 "Best Of The Very Long Titles Collection Vol",
                                 "ein sehr langer Titelname ohne Ende", "Q", "xy"});
    std::mt19937 rng(11);
    const auto word = [&] { return words[int(rng() % unsigned(words.size()))]; };
    Collection c;
    for (int m = 0; m < 40; ++m) {
        const QString label = QStringLiteral("M%1").arg(m);
        QStringList body;
        for (int f = 0; f < 30; ++f) {
            const QString folder = label + ":\\" + word() + QStringLiteral("%1\\").arg(f % 5);
            body << folder;
            // Short and long file names, a term right at the end of some of them.
            for (int t = 0; t < 16; ++t)
                body << folder + (t % 4 ? word() + " " + word() : word()) +
                            (t % 3 ? QStringLiteral(".mp3") : QString());
        }
        addMedium(c, label, body);
    }
    const auto sources = SearchIndex::snapshot(c.titleLists);
    const SearchIndex index(sources);
    ASSERT_GT(index.titleCount(), 16384);

    const char* queries[] = {
        "b",
        "ab xy q",
        "abba liebe nacht zeit über \"love night\" xy q b",   // nine "or" terms
        "liebe nacht zeit über abba xy q \"best of\" ab mp3", // ten
        "mp3 -b -q -xy -liebe -nacht -zeit -über -abba -ab",  // nine "-" terms
        "\"ein sehr langer titelname ohne ende\" \"vol\"",
        "\"very long titles collection vol\" -\"ein sehr langer\"",
        "+mp3 -ab -\"5\\\"",
        "q \"4\\q\" \"0\\liebe\" -\"liebe 1\\\"",
        "\"m1\" -\"m1:\\\" -\"m10\"",
        "ende -ende",
        "e -mp3 -\"d\\\"",
        // Across the end of one title and the start of the next: never a hit.
        "mp3liebe 3l eab zeitabba mp3m",
        "+mp3 -mp3ab -eq",
    };
    for (const bool nomedia : {false, true})
        for (const char* query : queries) {
            SCOPED_TRACE(std::string(query) + (nomedia ? " nomedia" : ""));
            SearchOptions o;
            o.nomedia = nomedia;
            const SearchTerms t = parseSearch(QString::fromUtf8(query), o);
            QStringList expected;
            for (const auto& s : sources)
                for (const QString& line : TitleSpan{&s.titles, &s.parts}.toList()) {
                    const QString subject =
                        asciiUpper(nomedia ? titletext::displayName(line).toString() : line);
                    const auto has = [&](const QString& term) { return subject.contains(term); };
                    bool match = t.plain.isEmpty()
                                     ? !t.plus.isEmpty()
                                     : std::any_of(t.plain.begin(), t.plain.end(), has);
                    match = match && std::all_of(t.plus.begin(), t.plus.end(), has) &&
                            std::none_of(t.minus.begin(), t.minus.end(), has);
                    if (match) expected << line;
                }
            const SearchResult r = index.search(t, o);
            EXPECT_EQ(r.hits, expected.size());
            EXPECT_EQ(r.titles, expected);
            if (expected.size() >= nameorder::kKeepFrom) {
                EXPECT_EQ(r.order, nameorder::sortedByName(expected));
            }
        }
}

TEST(QuickSearchStatus, RemarksForTheExclusions) {
    const QLocale de(QLocale::German);
    SearchState s{"a b", 1234, false, 0, true, false};
    EXPECT_EQ(viewbuild::searchStatusText(s, de),
              "Ergebnis der Suche nach \"a b\" (ohne Medien und Ordner): 1.234 Treffer.");
    s.nopads = true;
    EXPECT_EQ(viewbuild::searchStatusText(s, de),
              "Ergebnis der Suche nach \"a b\" (ohne gespeicherte Merkzettel, Medien und Ordner): "
              "1.234 Treffer.");
    s.nomedia = false;
    s.hits = 0;
    EXPECT_EQ(viewbuild::searchStatusText(s, de),
              "Ergebnis der Suche nach \"a b\" (ohne gespeicherte Merkzettel): 0 Treffer.");
}

} // namespace
