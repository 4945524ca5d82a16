#include "index_file.h"
#include "text_codec.h"
#include "title_line.h"
#include "tree_node.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string_view>

using namespace indexfile;

TEST(IndexReader, ClassifiesLinesByTheFirstRuleThatApplies) {
    struct Case {
        const char* line;
        LineKind kind;
        const char* value;
    };
    const Case cases[] = {
        {"BEGIN::CD", LineKind::Marker, "CD"},
        {"begin::whatever", LineKind::Marker, "whatever"},
        {"author::  <b>Me</b> ", LineKind::Author, "  <b>Me</b> "}, // untrimmed
        {"LABEL::", LineKind::Label, ""},
        {"Version::05.08.2007", LineKind::Version, "05.08.2007"},
        {"COMMENT::a::b", LineKind::Comment, "a::b"},
        {"STYLE::BOLD::R:\\x.mp3", LineKind::Style, "BOLD::R:\\x.mp3"},
        {"MediaType::cdr", LineKind::MediaType, "cdr"},
        {"Rock:\\A\\", LineKind::Folder, "Rock:\\A\\"},
        {"Rock:\\A\\x.mp3", LineKind::Title, "Rock:\\A\\x.mp3"},
        // A tag-like text inside a path is still a title.
        {"Rock:\\LABEL::x.mp3", LineKind::Title, "Rock:\\LABEL::x.mp3"},
        // A tag followed by a trailing backslash stays a tag.
        {"COMMENT::dir\\", LineKind::Comment, "dir\\"},
    };
    for (const Case& c : cases) {
        const QString line = QString::fromUtf8(c.line);
        const ClassifiedLine cl = classifyLine(line);
        EXPECT_EQ(int(cl.kind), int(c.kind)) << c.line;
        EXPECT_EQ(cl.value.toString(), QString::fromUtf8(c.value)) << c.line;
    }
    EXPECT_TRUE(isBlankLine(u"   \t "));
    EXPECT_FALSE(isBlankLine(u"  x"));
}

TEST(IndexReader, ParsesStyleAttributes) {
    auto styleOf = [](const char* attrs) {
        TitleStyle s;
        applyStyleAttributes(QString::fromUtf8(attrs), s);
        return s;
    };
    TitleStyle red = styleOf("#FF0000");
    EXPECT_TRUE(red.hasColour);
    EXPECT_EQ(red.rgb, 0xFF0000u);
    EXPECT_FALSE(red.bold);
    // Fewer digits are padded on the left, more are cut after the sixth.
    EXPECT_EQ(styleOf("#ABC").rgb, 0x000ABCu);
    TitleStyle cut = styleOf("#12345678,bold");
    EXPECT_EQ(cut.rgb, 0x123456u);
    EXPECT_TRUE(cut.bold);
    // Not hexadecimal: colour unchanged; unknown words ignored; blanks and quotes.
    TitleStyle bad = styleOf("#12G456, \"italic\" underline,,nonsense STRIKEOUT");
    EXPECT_FALSE(bad.hasColour);
    EXPECT_TRUE(bad.italic && bad.underline && bad.strikeout);
    EXPECT_FALSE(bad.bold);
    EXPECT_FALSE(styleOf("#").hasColour);

    QStringView attrs, target;
    EXPECT_FALSE(splitStyleValue(u"BOLD", attrs, target));
    ASSERT_TRUE(splitStyleValue(u"#FF0000::Rock 1:\\a.mp3", attrs, target));
    EXPECT_EQ(attrs.toString(), QStringLiteral("#FF0000"));
    EXPECT_EQ(target.toString(), QStringLiteral("Rock 1:\\a.mp3"));
    EXPECT_EQ(splitCommaText(u"a,\"b c\",\"d\"\"e\""), QStringList({"a", "b c", "d\"e"}));
}

TEST(IndexReader, ParsesMediaTypes) {
    MediaTypeValue lan = parseMediaTypeValue(u"LAN::\\\\srv\\mp3");
    EXPECT_EQ(lan.number, MediaLan);
    EXPECT_EQ(lan.resource, QStringLiteral("\\\\srv\\mp3"));
    MediaTypeValue www = parseMediaTypeValue(u"www::http://host/dir/");
    EXPECT_EQ(www.number, MediaWww);
    EXPECT_EQ(www.resource, QStringLiteral("http://host/dir/"));
    EXPECT_EQ(parseMediaTypeValue(u"cdr").number, MediaCdr);
    EXPECT_EQ(parseMediaTypeValue(u"XYZ").number, MediaUnknown);
    EXPECT_EQ(parseMediaTypeValue(u"PAD").number, MediaPad);
    EXPECT_EQ(parseMediaTypeValue(u" CDR").number, MediaUnknown);
}

TEST(IndexReader, BodyDropsTheHeadAndBlanksAndSortsWithoutRegardToCase) {
    const QStringList file = {"LABEL::Head label", "junk",        "begin::cd",    "", "  ",
                              "b:\\x\\",           "LABEL::Real", "B:\\X\\a.mp3", "a"};
    const QStringList body = bodyLinesForLoading(file);
    EXPECT_EQ(body, QStringList({"a", "b:\\x\\", "B:\\X\\a.mp3", "begin::cd", "LABEL::Real"}));
    // Without a marker every line is body.
    EXPECT_EQ(bodyLinesForLoading({"LABEL::x", "R:\\a"}).size(), 2);
    // A text sorts before every longer text that begins with it.
    QStringList l = {"Rock:\\A B\\", "Rock:\\A\\x.mp3", "Rock:\\A\\", "rock:\\a"};
    sortCatalogue(l);
    EXPECT_EQ(l, QStringList({"rock:\\a", "Rock:\\A B\\", "Rock:\\A\\", "Rock:\\A\\x.mp3"}));
    EXPECT_LT(l.indexOf("Rock:\\A\\"), l.indexOf("Rock:\\A\\x.mp3"));
}

TEST(IndexReader, KeyOrderIsTheOrderOfTheComparison) {
    // Units around the capitals and the ASCII end, letters that fold outside ASCII, and
    // surrogates; lengths on both sides of the blocks of four the keys are folded in.
    const char16_t units[] = {u'@',  u'A',  u'Z',   u'[',   u'`',   u'a',   u'z',   u'{',  0x7F,
                              0x80,  u'\\', u':',   u' ',   u'0',   0xC4,   0xE4,   0xDF,  0x130,
                              0x3A3, 0x3C2, 0x1E9E, 0xFF21, 0xFF41, 0xD83D, 0xDE00, 0xFFFF};
    const QString prefixes[] = {"", "Rock:\\", "rOCK:\\Ab", "\u00c4rger:\\"};
    std::mt19937 random(7);
    const auto pick = [&random](size_t n) { return size_t(random() % n); };
    for (const int count : {0, 1, 2, 3, 23, 24, 25, 40, 700}) {
        QStringList texts;
        for (int i = 0; i < count; ++i) {
            // Some texts repeat, some differ from an earlier one in case only.
            if (i > 0 && pick(6) == 0) {
                texts.append(texts[qsizetype(pick(size_t(i)))]);
                continue;
            }
            if (i > 0 && pick(6) == 0) {
                const QString& other = texts[qsizetype(pick(size_t(i)))];
                texts.append(pick(2) ? other.toUpper() : other.toLower());
                continue;
            }
            QString t = prefixes[pick(std::size(prefixes))];
            for (size_t n = pick(40); n > 0; --n)
                t += QChar(units[pick(std::size(units))]);
            texts.append(t);
        }
        std::vector<int> want(size_t(texts.size()));
        std::iota(want.begin(), want.end(), 0);
        std::stable_sort(want.begin(), want.end(), [&texts](int a, int b) {
            return compareCatalogue(texts[a], texts[b]) < 0;
        });
        EXPECT_EQ(catalogueOrder({texts.cbegin(), texts.cend()}), want) << count;
        QStringList sorted = texts;
        sortCatalogue(sorted);
        ASSERT_EQ(sorted.size(), texts.size());
        for (qsizetype i = 0; i < sorted.size(); ++i)
            EXPECT_EQ(sorted[i], texts[want[size_t(i)]]) << count << " " << i;
    }
}

// sortCatalogue gives the lines in the catalogue order, equal lines in their old order.
static void expectStableCatalogueSort(const QStringList& lines, const char* name) {
    std::vector<int> want(size_t(lines.size()));
    std::iota(want.begin(), want.end(), 0);
    std::stable_sort(want.begin(), want.end(),
                     [&lines](int a, int b) { return compareCatalogue(lines[a], lines[b]) < 0; });
    QStringList sorted = lines;
    sortCatalogue(sorted);
    ASSERT_EQ(sorted.size(), lines.size()) << name;
    for (qsizetype i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(sorted[i], lines[want[size_t(i)]]) << name << " " << i;
}

TEST(IndexReader, SortKeepsASortedTailAndMergesTheHeadIntoIt) {
    // A sorted run at the end with a head of other lines before it, as the files are
    // written: every head length, heads that repeat or differ in case from tail lines,
    // and heads that belong before, inside and after the tail.
    const QStringList tail = {"A:\\", "a:\\x\\",   "A:\\x\\1.mp3", "A:\\X\\2.mp3", "a:\\y\\",
                              "B:\\", "b:\\z.ogg", "LABEL::Late",  "Z:\\a\\b",     "\u00e4:\\q"};
    struct Case {
        const char* name;
        QStringList head;
    };
    const Case cases[] = {
        {"no head", {}},
        {"one line first", {"0"}},
        {"one line last", {"\u00fc"}},
        {"tags", {"BEGIN::CD", "LABEL::M", "MEDIATYPE::CDR", "VERSION::1"}},
        {"equal to tail lines", {"B:\\", "a:\\x\\", "Z:\\a\\b"}},
        {"case twins", {"b:\\", "A:\\X\\1.MP3", "a:\\"}},
        {"descending", {"z", "y", "m", "c", "b", "a"}},
        {"only a head", {"c", "a", "b"}},
    };
    // The tail grown by lines after its last one: beyond the few lines sorted one by one.
    QStringList longTail = tail;
    for (int k = 0; k < 30; ++k)
        longTail += tail.last() + QStringLiteral("~%1").arg(k, 2, 10, QLatin1Char('0'));
    for (const Case& c : cases) {
        QStringList lines = c.head;
        if (std::string_view(c.name) != "only a head") lines += longTail;
        expectStableCatalogueSort(lines, c.name);
        // A list that shared the lines is left as it was.
        QStringList unsorted = c.head;
        if (std::string_view(c.name) != "only a head") unsorted += longTail;
        EXPECT_EQ(lines, unsorted) << c.name;
    }
}

TEST(IndexReader, SortMergesRunsWrittenInOrder) {
    // Groups of lines each in order, written one after another in any order (folders of one
    // artist together, say), with repeats and case twins across the groups.
    const QStringList groups[] = {
        {"M:\\Feuer 3\\", "M:\\Feuer 3\\a.mp3", "M:\\Feuer 3\\B.mp3"},
        {"M:\\\u00c4rger\\", "M:\\\u00e4rger\\x.ogg"},
        {"BEGIN::CD", "LABEL::M", "MEDIATYPE::CDR", "VERSION::1"},
        {"M:\\feuer 3\\a.mp3", "M:\\Heart\\", "M:\\Heart\\z.mp3"},
        {"M:\\Feuer 3\\", "M:\\M\u00fcller\\"},
        {"a"},
        {"M:\\Heart\\z.mp3"},
    };
    struct Case {
        const char* name;
        std::vector<int> order;
    };
    const Case cases[] = {
        {"in order already", {2}},
        {"two runs", {0, 2}},
        {"three runs", {1, 0, 2}},
        {"every group", {4, 3, 6, 0, 5, 1, 2}},
        {"every group backwards", {6, 5, 4, 3, 2, 1, 0}},
        {"a group twice", {3, 0, 3, 1}},
    };
    for (const Case& c : cases) {
        // Each group grown by lines after its last one, so that the runs are long enough to
        // be merged rather than sorted line by line.
        QStringList lines;
        for (int g : c.order) {
            lines += groups[g];
            for (int k = 0; k < 10; ++k)
                lines += groups[g].last() + QStringLiteral("~%1").arg(k, 2, 10, QLatin1Char('0'));
        }
        expectStableCatalogueSort(lines, c.name);
    }
}

TEST(IndexReader, TreeChildrenSortStablyInTheCatalogueOrder) {
    // Few children are sorted in place, many by keys: both keep equal texts in the order
    // they were added, and the rows follow.
    const QString texts[] = {"b", "B", "a", "\u00c4", "\u00e4", "A", "b", "ab", "Ab", "a b", ""};
    std::mt19937 random(3);
    for (const int count : {2, 5, 16, 17, 90}) {
        TreeNode parent("p", 0, 0);
        QStringList added;
        for (int i = 0; i < count; ++i) {
            added.append(texts[random() % std::size(texts)]);
            parent.addChild(added.last(), i, i);
        }
        std::vector<int> want(static_cast<size_t>(count));
        std::iota(want.begin(), want.end(), 0);
        std::stable_sort(want.begin(), want.end(), [&added](int a, int b) {
            return compareCatalogue(added[a], added[b]) < 0;
        });
        parent.sortChildren();
        for (int row = 0; row < count; ++row) {
            const TreeNode* child = parent.child(row);
            EXPECT_EQ(child->icon, want[size_t(row)]) << count << " " << row;
            EXPECT_EQ(child->row(), row);
        }
    }
}

TEST(IndexReader, ReadsFilesAndReportsFailures) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.cd");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BEGIN::CD\r\nM\xFC:\\a.mp3\r\n");
    f.close();
    QStringList lines;
    QString error;
    ASSERT_TRUE(readIndexFile(path, lines, &error));
    EXPECT_EQ(lines, QStringList({"BEGIN::CD", "Mü:\\a.mp3"}));
    EXPECT_FALSE(readIndexFile(dir.filePath("missing.cd"), lines, &error));
    EXPECT_TRUE(error.contains("missing.cd"));
}

TEST(IndexReader, ReadsEveryKindOfFileAsItsBytesDecode) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"no final break", "BEGIN::CD\r\nA:\\x.mp3"},
        {"utf-8 with mark", "\xEF\xBB\xBF"
                            "BEGIN::CD\nA:\\\xC3\xA4.mp3\n"},
        {"windows-1252", "BEGIN::CD\r\nM\xFC:\\\x80.mp3\r\n"},
        {"a page", QByteArray(4095, 'a') + "\n"},
        {"many pages", QByteArray(70000, 'b') + "\r\n" + QByteArray(9000, 'c')},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".cd");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(c.bytes), c.bytes.size());
        f.close();
        QStringList lines = {"old"};
        QString error;
        ASSERT_TRUE(readIndexFile(path, lines, &error)) << c.name;
        EXPECT_EQ(lines, textcodec::decodeIndexLines(c.bytes)) << c.name;
        EXPECT_TRUE(error.isEmpty()) << c.name;
    }
    // What is not a readable file is refused with the path in the message.
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("broken.cd")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.cd"));
    for (const char* name : {"missing.cd", "broken.cd", "folder.cd"}) {
        QStringList lines;
        QString error;
        EXPECT_FALSE(readIndexFile(dir.filePath(name), lines, &error)) << name;
        EXPECT_TRUE(error.contains(dir.filePath(name))) << name << " " << error.toStdString();
    }
}

TEST(IndexWriters, ToolFormIsByteExact) {
    ToolIndex idx;
    idx.banner = "*** banner ***";
    idx.label = "Rock 1";
    idx.version = "05.08.2007";
    idx.typeCode = "lan";
    idx.resource = "\\\\nas\\mp3";
    idx.listing = {"Rock 1:\\Ä\\", "Rock 1:\\Ä\\b.mp3"};
    QTemporaryDir dir;
    const QString path = dir.filePath("Rock 1.cd");
    ASSERT_TRUE(writeIndexFile(path, toolIndexLines(idx), nullptr));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("*** banner ***\r\n\r\nBEGIN::CD\r\nLABEL::Rock 1\r\n"
                                      "VERSION::05.08.2007\r\nMEDIATYPE::LAN::\\\\nas\\mp3\r\n"
                                      "Rock 1:\\\xC4\\\r\nRock 1:\\\xC4\\b.mp3\r\n"));
    // Without a resource the type stands alone; all three texts when given.
    idx.resource.clear();
    idx.author = "A";
    idx.comment = "C";
    const QStringList lines = toolIndexLines(idx);
    EXPECT_EQ(lines.mid(3, 5), QStringList({"LABEL::Rock 1", "AUTHOR::A", "VERSION::05.08.2007",
                                            "COMMENT::C", "MEDIATYPE::LAN"}));
}

TEST(IndexWriters, MerkzettelFormsAndInfoFile) {
    const QStringList titles = {"Rock:\\a.mp3", "Pop:\\b.mp3"};
    const QStringList saved =
        savedMerkzettelLines("Ann", "08-DEC-2026 17:22:38", "1.5a (Build 300)", titles);
    EXPECT_EQ(saved, QStringList({"MEDIATYPE::PAD", "AUTHOR::Ann", "VERSION::08-DEC-2026 17:22:38",
                                  "COMMENT::Gespeichert mit Vorlune, Version 1.5a (Build 300)",
                                  ":\\Alle gemerkten Titel\\", "Rock:\\a.mp3", "Pop:\\b.mp3"}));
    const QStringList mailed =
        mailedMerkzettelLines({"Hallo"}, "Ann", "x", "1.5a (Build 300)", titles);
    EXPECT_EQ(
        mailed.mid(0, 9),
        QStringList({"Hallo", "", "", "", "BEGIN::CD", "MEDIATYPE::PAD", "AUTHOR::Ann",
                     "VERSION::x", "COMMENT::Versandt durch Vorlune, Version 1.5a (Build 300)"}));
    EXPECT_EQ(mailed.mid(9), QStringList({":\\Alle gemerkten Titel\\"}) + titles);
    EXPECT_EQ(infoFileLines("a", "v", "c"), QStringList({"a", "v", "c"}));

    const QDateTime when(QDate(2026, 3, 5), QTime(7, 8, 9));
    const QString text = listDateTimeText(when, QLocale(QLocale::German));
    EXPECT_EQ(text, QStringLiteral("05-MAR-2026 07:08:09"));
}

// Saved and mailed lists carry only titles that the loader reads back as those titles;
// a file with a line that cannot be stored is not written at all.
TEST(IndexWriters, ListsLeaveOutWhatWouldNotReadBackAsATitle) {
    const QString broken = QStringLiteral("Rock:\\") + QChar(0xD800) + QStringLiteral(".mp3");
    const struct {
        QString title;
        bool kept;
    } cases[] = {
        {QStringLiteral("Rock:\\a.mp3"), true},
        {QStringLiteral("ohne Label.mp3"), true},
        {QStringLiteral("Rock:\\a::b.mp3"), true},
        {QStringLiteral("Rock:\\a\r\nLABEL::x"), false},
        {QStringLiteral("LABEL::Fremd"), false},
        {QStringLiteral("author::x"), false},
        {QStringLiteral("BEGIN::CD"), false},
        {QStringLiteral("STYLE::#FF0000::Rock:\\a.mp3"), false},
        {QStringLiteral("Rock:\\Ordner\\"), false},
        {QStringLiteral("   "), false},
        {QString(), false},
        {broken, false},
    };
    for (const auto& c : cases) {
        const QStringList saved = savedMerkzettelLines("Ann", "x", "1.5a", {c.title});
        EXPECT_EQ(saved.size(), c.kept ? 6 : 5) << qPrintable(c.title);
        const QStringList mailed = mailedMerkzettelLines({}, "Ann", "x", "1.5a", {c.title});
        EXPECT_EQ(mailed.size(), c.kept ? 10 : 9) << qPrintable(c.title);
    }

    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(writeIndexFile(dir.filePath("a.cd"), {"BEGIN::CD", broken}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("Zeile 2"))) << qPrintable(error);
    EXPECT_FALSE(QFile::exists(dir.filePath("a.cd")));
    // A pair of surrogates is one character, stored as such.
    const QString pair = QStringLiteral("Rock:\\") + QChar(0xD83C) + QChar(0xDFB5);
    ASSERT_TRUE(writeIndexFile(dir.filePath("b.cd"), {"BEGIN::CD", pair}, &error));
    QStringList lines;
    ASSERT_TRUE(readIndexFile(dir.filePath("b.cd"), lines, &error));
    EXPECT_EQ(lines, QStringList({"BEGIN::CD", pair}));
}

TEST(TitleLine, HelpersSplitLinesAsTheViewsNeed) {
    const QString line = "Rock 1:\\Queen\\Innuendo\\01 Queen - Innuendo.live.mp3";
    EXPECT_EQ(titleline::label(line), QStringLiteral("Rock 1"));
    EXPECT_EQ(titleline::pathPart(line),
              QStringLiteral(":\\Queen\\Innuendo\\01 Queen - Innuendo.live.mp3"));
    EXPECT_EQ(titleline::displayName(line), QStringLiteral("01 Queen - Innuendo.live"));
    EXPECT_EQ(titleline::folderLine(line), QStringLiteral("Rock 1:\\Queen\\Innuendo\\"));
    EXPECT_EQ(titleline::folderLine(u"Rock 1:\\Queen\\Innuendo\\"),
              QStringLiteral("Rock 1:\\Queen\\"));
    const auto at = titleline::splitArtistTitle(u"Queen - Innuendo - Live");
    EXPECT_EQ(at.artist, QStringLiteral("Queen"));
    EXPECT_EQ(at.title, QStringLiteral("Innuendo - Live"));
    const auto whole = titleline::splitArtistTitle(u"Innuendo");
    EXPECT_EQ(whole.artist, whole.title);
    EXPECT_EQ(titleline::parentFolderLines(line),
              QStringList({"Rock 1:\\Queen\\Innuendo\\", "Rock 1:\\Queen\\"}));
    EXPECT_TRUE(titleline::parentFolderLines(u"Rock 1:\\a.mp3").isEmpty());
    EXPECT_EQ(titleline::label(u"no colon"), QStringLiteral("no colon"));
}

// Nodes live in blocks of their tree's room: a subtree removed and built again (its room
// taken again) and trees of many nodes keep every node's text, parent and rows.
TEST(IndexReader, TreeNodesKeepTheirDataWhenTheirRoomIsTakenAgain) {
    TreeNode root("root", 0, 0);
    TreeNode* a = root.addChild("a", 1, 1);
    TreeNode* b = root.addChild("b", 2, 2);
    for (const int count : {1, 9, 300, 40}) {
        a->removeChildren();
        for (int i = 0; i < count; ++i) {
            TreeNode* child = a->addChild(QString::number(i), i, i);
            child->addChild(QStringLiteral("x%1").arg(i), -i, -i);
            if (i % 7 == 0) b->addChild(QStringLiteral("b%1").arg(i), i, i);
        }
        ASSERT_EQ(a->childCount(), count);
        EXPECT_EQ(a->descendantCount(), 2 * count);
        a->sortChildren();
        for (int row = 0; row < count; ++row) {
            const TreeNode* child = a->child(row);
            EXPECT_EQ(child->text, QString::number(child->icon));
            EXPECT_EQ(child->parent(), a);
            EXPECT_EQ(child->row(), row);
            ASSERT_EQ(child->childCount(), 1);
            EXPECT_EQ(child->child(0)->text, QStringLiteral("x%1").arg(child->icon));
            EXPECT_EQ(child->child(0)->icon, -child->icon);
        }
    }
    EXPECT_EQ(root.descendantCount(), 2 + 2 * 40 + b->childCount());
    // Nodes removed and added in turn, with many removed ones waiting to be taken again.
    for (int i = 0; i < 1000; ++i) {
        a->child(0)->removeChildren();
        a->child(0)->addChild(QString::number(i), i, i);
        ASSERT_EQ(a->child(0)->child(0)->text, QString::number(i));
    }
    b->sortChildren();
    for (int row = 0; row < b->childCount(); ++row)
        EXPECT_EQ(b->child(row)->text, QStringLiteral("b%1").arg(b->child(row)->icon));
}

// Before and after a pending sort the nodes are in one order: by text, equal texts in the
// order added since the children were last removed.
TEST(IndexReader, PendingSortAndRowsAgreeAcrossRemovals) {
    const struct {
        const char* name;
        QStringList texts;
    } cases[] = {
        {"none", {}},
        {"one", {"a"}},
        {"equal texts", {"a", "a", "a", "a", "a"}},
        {"case only", {"b", "B", "a", "A", "b", "a"}},
        {"many", {"Über", "über", "z", "a", "A", "ä", "m", "M", "m", "a",
                  "Z",    "ü",    "b", "a", "b", "c", "C", "c", "a", "a"}},
    };
    TreeNode root("root", 0, 0);
    TreeNode* parent = root.addChild("p", 0, 0);
    for (const auto& tc : cases)
        for (const int round : {0, 1}) {
            SCOPED_TRACE(std::string(tc.name) + (round ? " added again" : ""));
            parent->removeChildren();
            std::vector<TreeNode*> added;
            // The first round leaves children behind for the second to remove.
            for (const QString& text : tc.texts)
                added.push_back(parent->addChild(text, int(added.size()), 0));
            parent->sortChildrenLater();
            std::vector<std::vector<bool>> before(added.size(), std::vector<bool>(added.size()));
            for (size_t x = 0; x < added.size(); ++x)
                for (size_t y = 0; y < added.size(); ++y)
                    before[x][y] = precedesInPreorder(added[x], added[y]);
            std::vector<int> expected(added.size());
            std::iota(expected.begin(), expected.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](int x, int y) {
                return indexfile::compareCatalogue(tc.texts[x], tc.texts[y]) < 0;
            });
            ASSERT_EQ(parent->childCount(), int(added.size()));
            for (int row = 0; row < parent->childCount(); ++row)
                EXPECT_EQ(parent->child(row)->icon, expected[size_t(row)]) << row;
            for (size_t x = 0; x < added.size(); ++x)
                for (size_t y = 0; y < added.size(); ++y)
                    EXPECT_EQ(before[x][y], added[x]->row() < added[y]->row()) << x << " " << y;
        }
}
