#include "collection.h"
#include "index_file.h"
#include "name_order.h"
#include "title_block.h"
#include "title_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QStringLiteral(" | ")).toStdString() << '}';
}

namespace {

class CollectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        c.CatalogDir = dir.path();
    }
    void write(const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    TreeNode* medium(const QString& text) const {
        TreeNode* list = c.mediaListNode();
        for (int i = 0; i < list->childCount(); ++i)
            if (list->child(i)->text == text) return list->child(i);
        return nullptr;
    }
    static QStringList childTexts(const TreeNode* n) {
        QStringList out;
        for (int i = 0; i < n->childCount(); ++i)
            out << n->child(i)->text;
        return out;
    }
    QStringList titlesOf(const QString& key) {
        QStringList* l = c.titleLists.find(key);
        return l ? *l : QStringList();
    }

    QTemporaryDir dir;
    Collection c;
};

struct RecordingConnector : MediumConnector {
    QStringList calls;
    void ConnectShare(const QString& medium, const QString& share) override {
        calls << "LAN " + medium + " " + share;
    }
    void ConnectWebMedium(const QString& medium, const QString& url) override {
        calls << "WWW " + medium + " " + url;
    }
    int connectionCount() const override { return int(calls.size()); }
};

} // namespace

TEST_F(CollectionTest, StartsWithTheFixedTreeAndLists) {
    EXPECT_EQ(c.root()->text, QStringLiteral("Komplette Sammlung"));
    EXPECT_EQ(childTexts(c.root()),
              QStringList({"Datenträger-Liste", "Alphabetische Liste", "Suchergebnisse",
                           "Merkzettel", "Meine Charts", "Wiedergabeliste"}));
    const int icons[] = {1, 2, 3, 7, 16, 15};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(c.root()->child(i)->icon, icons[i]);
    ASSERT_EQ(c.titleLists.count(), 4);
    EXPECT_EQ(c.titleLists.key(0), QStringLiteral("Suchergebnisse"));
    EXPECT_EQ(c.titleLists.key(3), QStringLiteral("Meine Charts"));
    EXPECT_EQ(c.titleLists.indexOf(u"wiedergabeliste"), 2);
}

TEST_F(CollectionTest, LoadsTheExampleMedium) {
    write("rock.cd",
          "Erstellt am Sonntag\r\nLABEL::Kopf\r\nBEGIN::CD\r\nLABEL::Rock 1\r\n"
          "AUTHOR::Herausgeber\r\nVERSION::05.08.2007\r\nCOMMENT::Alben der Neunziger\r\n"
          "MEDIATYPE::CDR\r\nRock 1:\\Band X\\\r\nRock 1:\\Band X\\Album Y\\\r\n"
          "Rock 1:\\Band X\\Album Y\\01 Song.mp3\r\n"
          "Rock 1:\\Band X\\Album Y\\02 Other Song.mp3\r\n"
          "STYLE::#FF0000,BOLD::Rock 1:\\Band X\\Album Y\\02 Other Song.mp3\r\n");
    const LoadReport r = c.LoadAllMedia();
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(r.media, 1);
    EXPECT_EQ(r.folders, 2);
    EXPECT_EQ(r.titles, 2);

    TreeNode* m = medium("Rock 1");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->icon, 11);
    EXPECT_EQ(m->selectedIcon, 11);
    ASSERT_TRUE(m->media);
    EXPECT_EQ(m->media->MediaType, 11);
    EXPECT_EQ(m->media->Author, QStringLiteral("Herausgeber"));
    EXPECT_EQ(m->media->Details,
              QStringLiteral("MediaFolders=2&MediaFiles=2&Author=Herausgeber&Version=05.08.2007"
                             "&Comment=Alben der Neunziger&Label=Rock%201&"));
    ASSERT_EQ(m->childCount(), 1);
    EXPECT_EQ(m->child(0)->text, QStringLiteral("Band X"));
    EXPECT_EQ(m->child(0)->icon, 5);
    EXPECT_EQ(m->child(0)->selectedIcon, 6);
    EXPECT_EQ(childTexts(m->child(0)), QStringList({"Album Y"}));
    EXPECT_EQ(titlesOf("Album Y").size(), 2);
    EXPECT_EQ(titlesOf("ALPHALIST::album y"), titlesOf("Album Y"));
    EXPECT_TRUE(titlesOf("Band X").isEmpty());

    const indexfile::TitleStyle* s =
        c.titleStyles.find(u"rock 1:\\band x\\album y\\02 other song.mp3");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->bold);
    EXPECT_EQ(s->rgb, 0xFF0000u);
    EXPECT_EQ(c.cdnames, QStringList({"Rock 1"}));
    EXPECT_EQ(c.loadedStatusText(QLocale(QLocale::German)),
              QStringLiteral("Archiv von 1 Medien mit insgesamt 2 Titeln aus 2 Ordnern geladen."));
}

TEST_F(CollectionTest, SameFolderNamesGetUniqueNamesAndShareTheAlphabeticalList) {
    write("a.cd", "BEGIN::CD\nA:\\Queen\\\nA:\\Queen\\Best Of\\\nA:\\Queen\\Best Of\\1.mp3\n");
    write("b.cd", "BEGIN::CD\nB:\\Queen\\\nB:\\Queen\\Best Of\\\nB:\\Queen\\Best Of\\2.mp3\n");
    write(
        "c.cd",
        "BEGIN::CD\nC:\\best of\\\nC:\\best of\\3.mp3\nC:\\Merkzettel\\\nC:\\Merkzettel\\4.mp3\n");
    c.LoadAllMedia();
    EXPECT_EQ(childTexts(medium("b")->child(0)), QStringList({"Best Of (2)"}));
    EXPECT_EQ(titlesOf("Best Of"), QStringList({"A:\\Queen\\Best Of\\1.mp3"}));
    EXPECT_EQ(titlesOf("Best Of (2)"), QStringList({"B:\\Queen\\Best Of\\2.mp3"}));
    // A name that differs only in case is numbered too, so each folder keeps its titles.
    EXPECT_EQ(childTexts(medium("c")), QStringList({"best of (3)", "Merkzettel (2)"}));
    EXPECT_EQ(titlesOf("best of (3)"), QStringList({"C:\\best of\\3.mp3"}));
    EXPECT_EQ(titlesOf("ALPHALIST::Best Of"),
              QStringList({"A:\\Queen\\Best Of\\1.mp3", "B:\\Queen\\Best Of\\2.mp3",
                           "C:\\best of\\3.mp3"}));
    // The fixed list keeps its own contents; the folder has its own alphabetical list.
    EXPECT_TRUE(titlesOf("Merkzettel").isEmpty());
    EXPECT_EQ(titlesOf("ALPHALIST::Merkzettel"), QStringList({"C:\\Merkzettel\\4.mp3"}));

    // Alphabetical tree: one Queen node with one Best Of below it; the plain name at top.
    TreeNode* alpha = c.alphaListNode();
    EXPECT_EQ(childTexts(alpha), QStringList({"best of", "Merkzettel", "Queen"}));
    EXPECT_EQ(childTexts(alpha->child(2)), QStringList({"Best Of"}));
}

TEST_F(CollectionTest, ManySameFolderNamesAreNumberedPastNine) {
    // Twelve media with the same folder, written in changing case: each takes the next
    // free number, including a number that another folder's own name already holds.
    write("a0.cd", "BEGIN::CD\nX:\\Mix (3)\\\nX:\\Mix (3)\\t.mp3\n");
    for (int i = 1; i <= 12; ++i)
        write(QStringLiteral("a%1.cd").arg(i, 2, 10, QLatin1Char('0')),
              QStringLiteral("BEGIN::CD\nM:\\%1\\\nM:\\%1\\%2.mp3\n")
                  .arg(i % 2 ? QStringLiteral("Mix") : QStringLiteral("MIX"))
                  .arg(i)
                  .toUtf8());
    c.LoadAllMedia();
    QStringList names;
    for (int i = 0; i < c.mediaListNode()->childCount(); ++i)
        for (int k = 0; k < c.mediaListNode()->child(i)->childCount(); ++k)
            names.append(c.mediaListNode()->child(i)->child(k)->text);
    EXPECT_EQ(names,
              QStringList({"Mix (3)", "Mix", "MIX (2)", "Mix (4)", "MIX (5)", "Mix (6)", "MIX (7)",
                           "Mix (8)", "MIX (9)", "Mix (10)", "MIX (11)", "Mix (12)", "MIX (13)"}));
    EXPECT_EQ(titlesOf("mix (12)"), QStringList({"M:\\Mix\\11.mp3"}));
    EXPECT_EQ(titlesOf("ALPHALIST::mix").size(), 12);
}

TEST_F(CollectionTest, FoldersHangBelowTheirParentFolderLine) {
    write("r.cd", "R:\\A\\\nR:\\A\\B\\\nR:\\A\\B\\C\\\nR:\\D\\\nR:\\X\\Y\\\nR:\\D\\d.mp3\n");
    c.LoadAllMedia();
    TreeNode* m = medium("r");
    ASSERT_NE(m, nullptr);
    // X has no folder line, so Y hangs below the medium.
    EXPECT_EQ(childTexts(m), QStringList({"A", "D", "Y"}));
    EXPECT_EQ(childTexts(m->child(0)), QStringList({"B"}));
    EXPECT_EQ(childTexts(m->child(0)->child(0)), QStringList({"C"}));
    EXPECT_EQ(c.folderCount, 5);
    EXPECT_EQ(titlesOf("D"), QStringList({"R:\\D\\d.mp3"}));
}

TEST_F(CollectionTest, TagsActWhereverTheyFallInTheSortedOrder) {
    // "Aaa:\..." lines sort before "LABEL::" and "MEDIATYPE::".
    write("zzz.cd", "BEGIN::CD\nMEDIATYPE::hdd\nLABEL::Aaa\nAaa:\\F\\\nAaa:\\F\\t.mp3\nLABEL::\n"
                    "MEDIATYPE::XYZ\nSTYLE::BOLD\n");
    write("empty.cd", "");
    c.LoadAllMedia();
    TreeNode* m = medium("Aaa");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->icon, 12);
    EXPECT_EQ(m->media->MediaType, 12);
    EXPECT_EQ(c.titleStyles.count(), 0);
    TreeNode* e = medium("empty");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->icon, 4);
    EXPECT_EQ(e->childCount(), 0);
    EXPECT_EQ(e->media->TitleCount, 0);
    EXPECT_EQ(childTexts(c.mediaListNode()), QStringList({"Aaa", "empty"}));
    EXPECT_EQ(c.cdnames, QStringList({"Aaa", "empty"}));
}

TEST_F(CollectionTest, MerkzettelFileFilesAllTitlesUnderItsFolder) {
    write("liste.cd", "MEDIATYPE::PAD\r\nAUTHOR::Ann\r\nVERSION::x\r\nCOMMENT::c\r\n"
                      ":\\Alle gemerkten Titel\\\r\nZed:\\z.mp3\r\nAlpha:\\a\\b.mp3\r\n");
    c.LoadAllMedia();
    TreeNode* m = medium("liste");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->icon, 7);
    EXPECT_EQ(childTexts(m), QStringList({"Alle gemerkten Titel"}));
    EXPECT_EQ(titlesOf("Alle gemerkten Titel"), QStringList({"Alpha:\\a\\b.mp3", "Zed:\\z.mp3"}));
    EXPECT_EQ(titlesOf("ALPHALIST::ALLE GEMERKTEN TITEL").size(), 2);
}

TEST_F(CollectionTest, MerkzettelTitlesInAndOutsideItsFolderKeepTheirOrder) {
    // Titles under the folder's own path and titles of other labels, interleaved in the
    // sorted order, all end up in the folder in that order; without a title outside it the
    // folder keeps just its own.
    struct Case {
        const char* file;
        QStringList titles;
    };
    const Case cases[] = {
        {":\\Alle gemerkten Titel\\\n:\\Alle gemerkten Titel\\m.mp3\nZed:\\z.mp3\n"
         "Alpha:\\a\\b.mp3\n:\\Alle gemerkten Titel\\B.mp3\n:\\x.mp3\n",
         {":\\Alle gemerkten Titel\\B.mp3", ":\\Alle gemerkten Titel\\m.mp3", ":\\x.mp3",
          "Alpha:\\a\\b.mp3", "Zed:\\z.mp3"}},
        {":\\Alle gemerkten Titel\\\n:\\Alle gemerkten Titel\\m.mp3\n"
         ":\\Alle gemerkten Titel\\a.mp3\n",
         {":\\Alle gemerkten Titel\\a.mp3", ":\\Alle gemerkten Titel\\m.mp3"}},
    };
    for (const Case& k : cases) {
        c.ClearCollection();
        write("liste.cd", k.file);
        c.LoadAllMedia();
        TreeNode* m = medium("liste");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(titlesOf("Alle gemerkten Titel"), k.titles) << k.file;
        EXPECT_EQ(m->media->TitleCount, k.titles.size()) << k.file;
        EXPECT_TRUE(titlesOf(TitleLists::mediumRootKey(m->text)).isEmpty()) << k.file;
    }
}

TEST_F(CollectionTest, ProgressComesAfterEveryFileOrEveryThousandth) {
    struct Case {
        int files;
        int calls;
    };
    const Case cases[] = {{1, 1}, {3, 3}, {1000, 1000}, {1500, 1001}, {2001, 1001}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.files);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        for (int i = 0; i < k.files; ++i) {
            QFile f(folder.filePath(QStringLiteral("m%1.cd").arg(i)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("A:\\F\\\nA:\\F\\1.mp3\n");
        }
        Collection loaded;
        loaded.CatalogDir = folder.path();
        std::vector<std::pair<int, int>> calls;
        const LoadReport r =
            loaded.LoadAllMedia([&](int done, int total) { calls.emplace_back(done, total); });
        EXPECT_EQ(r.media, k.files);
        ASSERT_EQ(int(calls.size()), k.calls);
        EXPECT_EQ(calls.back(), std::make_pair(k.files, k.files));
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].second, k.files);
            if (i > 0) {
                EXPECT_GT(calls[i].first, calls[i - 1].first);
            }
        }
    }
}

TEST_F(CollectionTest, UnreadableFileIsReportedAndTheOthersStillLoad) {
    write("a.cd", "A:\\F\\\nA:\\F\\1.mp3\n");
    write("c.cd", "C:\\G\\\nC:\\G\\1.mp3\n");
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("b.cd")));
    const LoadReport r = c.LoadAllMedia();
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].contains("b.cd"));
    EXPECT_EQ(r.media, 2);
    EXPECT_EQ(r.titles, 2);
    QString error;
    EXPECT_FALSE(c.LoadMedium("missing.cd", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(CollectionTest, ReloadKeepsFixedListsAndDropsEverythingElse) {
    write("a.cd", "A:\\F\\\nA:\\F\\1.mp3\nSTYLE::BOLD::A:\\F\\1.mp3\n");
    c.LoadAllMedia();
    c.titleLists.list(TitleLists::Merkzettel) << "A:\\F\\1.mp3";
    c.ClearCollection();
    EXPECT_EQ(c.titleLists.count(), 4);
    EXPECT_EQ(c.titleLists.list(TitleLists::Merkzettel), QStringList({"A:\\F\\1.mp3"}));
    EXPECT_EQ(c.mediaListNode()->childCount(), 0);
    EXPECT_EQ(c.alphaListNode()->childCount(), 0);
    EXPECT_EQ(c.titleStyles.count(), 0);
    EXPECT_TRUE(c.cdnames.isEmpty());
    c.LoadAllMedia();
    // The same names come back without numbers after a reload.
    EXPECT_EQ(titlesOf("F"), QStringList({"A:\\F\\1.mp3"}));
    EXPECT_EQ(c.mediaCount, 1);
}

TEST_F(CollectionTest, FirstStyleForATargetWinsAndFoldersAndTitlesAreKeptApart) {
    write("a.cd",
          "STYLE::#0000FF::A:\\F\\\nSTYLE::#00FF00::a:\\f\\\nSTYLE::italic::A:\\F\\x.mp3\n");
    c.LoadAllMedia();
    EXPECT_EQ(c.titleStyles.find(u"A:\\F\\")->rgb, 0x0000FFu);
    EXPECT_TRUE(c.titleStyles.find(u"A:\\F\\x.mp3")->italic);
    EXPECT_EQ(c.titleStyles.find(u"A:\\F"), nullptr);
}

TEST_F(CollectionTest, NetworkMediaCallTheConnectorWithTheirResource) {
    RecordingConnector connector;
    c.setConnector(&connector);
    write("n.cd", "LABEL::Netz\nMEDIATYPE::LAN::\\\\srv\\mp3\n");
    write("w.cd", "MEDIATYPE::WWW::http://host/dir/\n");
    write("x.cd", "MEDIATYPE::LAN\nMEDIATYPE::CDR::ignored\n");
    c.LoadAllMedia();
    EXPECT_EQ(connector.calls, QStringList({"LAN Netz \\\\srv\\mp3", "WWW w http://host/dir/"}));
    EXPECT_EQ(medium("Netz")->media->Resource, QStringLiteral("\\\\srv\\mp3"));
    EXPECT_EQ(medium("x")->media->Resource, QString());
    // Sorted, the LAN line comes last and wins; without a resource nothing connects.
    EXPECT_EQ(medium("x")->icon, 13);
    EXPECT_TRUE(c.loadedStatusText().endsWith(" 2 Netzlaufwerk(e) sind verbunden."));
}

TEST_F(CollectionTest, AlphabeticalNodesAreFoundDepthFirstWithinTheParentSubtree) {
    write("a.cd",
          "A:\\Abba\\\nA:\\Abba\\Gold\\\nA:\\Abba\\Gold\\CD1\\\nA:\\Abba\\Gold\\CD1\\1.mp3\n");
    write("b.cd",
          "B:\\CD1\\\nB:\\CD1\\2.mp3\nB:\\Zappa\\\nB:\\Zappa\\CD1\\\nB:\\Zappa\\CD1\\3.mp3\n");
    c.LoadAllMedia();
    TreeNode* alpha = c.alphaListNode();
    // B's top-level CD1 reuses the first CD1 met depth first below the alphabetical root.
    EXPECT_EQ(childTexts(alpha), QStringList({"Abba", "Zappa"}));
    // Below Zappa none exists yet, so Zappa gets its own.
    EXPECT_EQ(childTexts(alpha->child(1)), QStringList({"CD1"}));
    EXPECT_EQ(titlesOf("ALPHALIST::CD1").size(), 3);
}

TEST_F(CollectionTest, DepthFirstOrderFollowsTheSortedTreeNotTheLoadingOrder) {
    write("a.cd", "A:\\Zappa\\\nA:\\Zappa\\CD1\\\nA:\\Zappa\\CD1\\1.mp3\n");
    write("b.cd", "B:\\Abba\\\nB:\\Abba\\CD1\\\nB:\\Abba\\CD1\\2.mp3\n");
    write("c.cd", "C:\\CD1\\\nC:\\CD1\\Bonus\\\nC:\\CD1\\Bonus\\3.mp3\n");
    c.LoadAllMedia();
    TreeNode* alpha = c.alphaListNode();
    ASSERT_EQ(childTexts(alpha), QStringList({"Abba", "Zappa"}));
    // Abba sorts first, so its CD1 is met first and takes C's top-level CD1 and Bonus.
    EXPECT_EQ(childTexts(alpha->child(0)->child(0)), QStringList({"Bonus"}));
    EXPECT_EQ(alpha->child(1)->child(0)->childCount(), 0);
    EXPECT_EQ(childTexts(c.mediaListNode()), QStringList({"a", "b", "c"}));
}

TEST(DetailsLabel, EscapesBlanksSpecialsAndHighBytes) {
    EXPECT_EQ(encodeDetailsLabel(u"Rock 1*#%<>ä&€"),
              QStringLiteral("Rock%201%2A%23%25%3C%3E%E4&%80"));
    EXPECT_EQ(encodeDetailsLabel(QString::fromUtf8("♪")), QStringLiteral("%E2%99%AA"));
    // Outside Windows-1252: the UTF-8 bytes of two, three and four bytes; a lone surrogate
    // (either half, at the end too) as "?".
    const struct {
        QString label;
        const char* encoded;
    } cases[] = {
        {QString(QChar(0x80)) + QChar(0x7FF), "%C2%80%DF%BF"},
        {QString(QChar(0x800)) + QChar(0xFFFF), "%E0%A0%80%EF%BF%BF"},
        {QString::fromUtf8("a\xF0\x9F\x8E\xB5"
                           "b"),
         "a%F0%9F%8E%B5b"},
        {QString(QChar(0xD83C)) + u'x' + QChar(0xDFB5), "%3Fx%3F"},
        {QString(QChar(0xDFB5)) + QChar(0xD83C), "%3F%3F"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encodeDetailsLabel(c.label), QString::fromLatin1(c.encoded)) << c.encoded;
}

// Where each title of an index file is listed, whatever its place in the sorted order.
TEST_F(CollectionTest, EachTitleIsFiledUnderItsOwnFolder) {
    struct Case {
        const char* name;
        QByteArray file;
        std::vector<std::pair<QString, QStringList>> lists; // key, titles
    };
    const Case cases[] = {
        {"title beside a subfolder",
         "Q:\\Queen\\\nQ:\\Queen\\Live\\\nQ:\\Queen\\Live\\a.mp3\nQ:\\Queen\\Zero.mp3\n"
         "Q:\\Queen\\Alpha.mp3\n",
         {{"Queen", {"Q:\\Queen\\Alpha.mp3", "Q:\\Queen\\Zero.mp3"}},
          {"Live", {"Q:\\Queen\\Live\\a.mp3"}},
          {"ALPHALIST::Live", {"Q:\\Queen\\Live\\a.mp3"}}}},
        {"title in a folder without a line of its own",
         "Q:\\A\\\nQ:\\A\\B\\C\\x.mp3\nQ:\\A\\Z\\\nQ:\\A\\Z\\z.mp3\n",
         {{"A", {"Q:\\A\\B\\C\\x.mp3"}}, {"Z", {"Q:\\A\\Z\\z.mp3"}}}},
        {"folder line in another case",
         "Q:\\Rock\\\nq:\\ROCK\\r.mp3\n",
         {{"Rock", {"q:\\ROCK\\r.mp3"}}}},
        {"burned CD: titles in the root",
         "LABEL::Mix\nMix:\\01 Intro.mp3\nMix:\\Bonus\\\nMix:\\Bonus\\b.mp3\nMix:\\Zugabe.mp3\n",
         {{"Mix:\\", {"Mix:\\01 Intro.mp3", "Mix:\\Zugabe.mp3"}},
          {"Bonus", {"Mix:\\Bonus\\b.mp3"}}}},
        {"Merkzettel with labels sorting before its folder line",
         "MEDIATYPE::PAD\n:\\Alle gemerkten Titel\\\n1999 Hits:\\a.mp3\n(Live):\\b.mp3\n"
         "!Neu:\\c.mp3\nZed:\\Band\\z.mp3\n",
         {{"Alle gemerkten Titel",
           {"!Neu:\\c.mp3", "(Live):\\b.mp3", "1999 Hits:\\a.mp3", "Zed:\\Band\\z.mp3"}},
          {"ALPHALIST::Alle gemerkten Titel",
           {"!Neu:\\c.mp3", "(Live):\\b.mp3", "1999 Hits:\\a.mp3", "Zed:\\Band\\z.mp3"}}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Collection fresh;
        QStringList lines = QString::fromUtf8(k.file).split(u'\n', Qt::SkipEmptyParts);
        fresh.addMedium(QStringLiteral("m"), lines);
        for (const auto& [key, titles] : k.lists) {
            const QStringList* l = fresh.titleLists.find(key);
            ASSERT_NE(l, nullptr) << key.toStdString();
            EXPECT_EQ(*l, titles) << key.toStdString();
        }
        EXPECT_TRUE(fresh.titleLists.list(TitleLists::SearchResults).isEmpty());
        int filed = 0;
        for (int i = TitleLists::FixedCount; i < fresh.titleLists.count(); ++i)
            if (!fresh.titleLists.key(i).startsWith(QLatin1StringView("ALPHALIST::")))
                filed += int(fresh.titleLists.list(i).size());
        EXPECT_EQ(filed, fresh.titleCount); // every title once, in one folder or the root
    }
}

TEST_F(CollectionTest, RootTitlesBelongToTheirMediumAndReloadsLeaveTheFixedListsAlone) {
    write("mix.cd", "BEGIN::CD\nLABEL::Mix\nMix:\\a.mp3\nMix:\\b.mp3\nMix:\\Extra\\\n"
                    "Mix:\\Extra\\c.mp3\n");
    write("pad.cd", "MEDIATYPE::PAD\n1999 Hits:\\x.mp3\n:\\Alle gemerkten Titel\\\n");
    c.titleLists.list(TitleLists::SearchResults) << "Alt:\\treffer.mp3";
    for (int load = 0; load < 3; ++load) {
        c.ClearCollection();
        c.LoadAllMedia();
        EXPECT_EQ(titlesOf("Mix:\\"), QStringList({"Mix:\\a.mp3", "Mix:\\b.mp3"}));
        EXPECT_EQ(titlesOf("Alle gemerkten Titel"), QStringList({"1999 Hits:\\x.mp3"}));
        for (int i = 0; i < TitleLists::FixedCount; ++i)
            EXPECT_EQ(c.titleLists.list(i).size(), i == TitleLists::SearchResults ? 1 : 0);
        EXPECT_EQ(c.titleLists.count(), 4 + 1 + 2 + 2); // root, folder pairs
    }
    // A medium without root titles has no list of its own.
    EXPECT_FALSE(c.titleLists.contains(u"pad:\\"));
}

TEST_F(CollectionTest, DeepTitleLinesAreFiledUnderTheirNearestFolder) {
    // Looking a title's folders up one by one hashed ever shorter paths: a line 100,000
    // folders deep took minutes. Each case files one such line.
    QString deep;
    for (int d = 0; d < 100000; ++d)
        deep += QStringLiteral("d\\");
    struct Case {
        const char* name;
        QStringList folders;
        QString title;
        QString key; // the list that must hold the title
    } cases[] = {
        {"below a top folder", {"R:\\A\\"}, "R:\\A\\" + deep + "t.mp3", "A"},
        {"nearest of two", {"R:\\A\\", "R:\\A\\B\\"}, "R:\\A\\B\\" + deep + "t.mp3", "B"},
        {"in no folder", {"R:\\X\\"}, "R:\\" + deep + "t.mp3", TitleLists::mediumRootKey("R")},
        {"folder case differs", {"R:\\A\\D\\"}, "R:\\a\\d\\" + deep + "t.mp3", "D"},
    };
    for (const Case& k : cases) {
        Collection fresh;
        fresh.addMedium(QStringLiteral("R"), k.folders + QStringList{k.title});
        const QStringList* list = std::as_const(fresh.titleLists).find(k.key);
        ASSERT_NE(list, nullptr) << k.name;
        EXPECT_EQ(*list, QStringList{k.title}) << k.name;
    }
}

TEST_F(CollectionTest, LongListsKeepTheirDisplayOrderFromTheLoadUntilChanged) {
    // Names in mixed case, with duplicates and umlauts; one folder long enough to keep its
    // order, one too short, both also under the alphabetical list.
    const QStringList names = {"b", "A", "ä", "a", "B", "10", "1", "Zz", "zZ", "a b", "a.b"};
    const auto folder = [&](const QString& label, const QString& name, int count) {
        QByteArray text = "BEGIN::CD\r\n" + (label + ":\\" + name + "\\\r\n").toUtf8();
        for (int i = 0; i < count; ++i)
            text += (label + ":\\" + name + "\\" + names[(i * 7) % names.size()] +
                     QString::number(i % 13) + (i % 2 ? ".mp3" : ".MP3") + "\r\n")
                        .toUtf8();
        return text;
    };
    write("one.cd", folder("One", "Long", int(nameorder::kKeepFrom) + 5));
    write("two.cd", folder("Two", "Short", 40));
    write("three.cd", folder("Three", "Long", 30000));
    c.LoadAllMedia();

    // The titles a quick search reads, taken together, keep their order too.
    QStringList searched;
    for (int i = TitleLists::FixedCount; i < c.titleLists.count(); ++i)
        if (c.titleLists.kind(i) != TitleLists::Kind::Plain) searched += c.titleLists.titles(i);
    ASSERT_NE(c.titleLists.searchedOrder(), nullptr);
    EXPECT_EQ(*c.titleLists.searchedOrder(), nameorder::sortedByName(searched, 1));

    struct Case {
        QString key;
        bool kept;
    } cases[] = {{"Long", true},
                 {"Long (2)", true},
                 {"ALPHALIST::Long", true},
                 {"Short", false},
                 {"ALPHALIST::Short", false}};
    for (const Case& k : cases) {
        const int index = c.titleLists.indexOf(k.key);
        ASSERT_GE(index, 0) << k.key.toStdString();
        const QStringList& titles = std::as_const(c.titleLists).list(index);
        const std::vector<int>* kept = c.titleLists.nameOrder(index);
        ASSERT_EQ(kept != nullptr, k.kept) << k.key.toStdString();
        const std::vector<int> order = kept ? *kept : nameorder::sortedByName(titles, 1);
        ASSERT_EQ(qsizetype(order.size()), titles.size());
        EXPECT_EQ(order, nameorder::sortedByName(titles, 2)) << k.key.toStdString();
        // In catalogue order by display name, equal names in list order.
        for (size_t i = 1; i < order.size(); ++i) {
            const int cmp =
                indexfile::compareCatalogue(titletext::displayName(titles[order[i - 1]]),
                                            titletext::displayName(titles[order[i]]));
            ASSERT_TRUE(cmp < 0 || (cmp == 0 && order[i - 1] < order[i]))
                << k.key.toStdString() << " at " << i;
        }
    }
    // A list that is written to forgets its order rather than show a stale one.
    const int index = c.titleLists.indexOf(QStringLiteral("Long"));
    c.titleLists.list(index).append(QStringLiteral("One:\\Long\\0.mp3"));
    EXPECT_EQ(c.titleLists.nameOrder(index), nullptr);
    // A folder's list is no part of what the search reads; an alphabetical one is.
    EXPECT_NE(c.titleLists.searchedOrder(), nullptr);
    const int alpha = c.titleLists.indexOf(QStringLiteral("ALPHALIST::Short"));
    c.titleLists.list(alpha).append(QStringLiteral("Two:\\Short\\0.mp3"));
    EXPECT_EQ(c.titleLists.searchedOrder(), nullptr);
}

TEST_F(CollectionTest, AlphabeticalNodesBelowAFlatParentAreFoundAsInADeepOne) {
    // The alphabetical tree as "name(children...)" for each case of index files.
    const std::function<QString(const TreeNode*)> shape = [&](const TreeNode* n) {
        QString s = n->text;
        if (n->childCount()) {
            QStringList kids;
            for (int i = 0; i < n->childCount(); ++i)
                kids << shape(n->child(i));
            s += u'(' + kids.join(u',') + u')';
        }
        return s;
    };
    const struct {
        std::vector<QByteArray> files;
        QString alpha;
    } cases[] = {
        // A folder named like its parent goes to the parent's node, as found depth first.
        {{"A:\\Queen\\\nA:\\Queen\\Queen\\\nA:\\Queen\\Queen\\1.mp3\n"}, "Queen"},
        // The same name below one parent, from several media: one node; another case is
        // another node.
        {{"A:\\Queen\\\nA:\\Queen\\Best Of\\\nA:\\Queen\\Best Of\\1.mp3\n",
          "B:\\Queen\\\nB:\\Queen\\Best Of\\\nB:\\Queen\\Best Of\\2.mp3\n",
          "C:\\Queen\\\nC:\\Queen\\best of\\\nC:\\Queen\\best of\\3.mp3\n"},
         "Queen(Best Of,best of)"},
        // A folder named like the fixed node stays a folder of its own.
        {{"A:\\Alphabetische Liste\\\nA:\\Alphabetische Liste\\1.mp3\n",
          "B:\\Alphabetische Liste\\\nB:\\Alphabetische Liste\\2.mp3\n"},
         "Alphabetische Liste"},
        // Once the parent has grandchildren, the first node depth first still counts.
        {{"A:\\Abba\\\nA:\\Abba\\Gold\\\nA:\\Abba\\Gold\\CD1\\\nA:\\Abba\\Gold\\CD1\\1.mp3\n",
          "B:\\Abba\\\nB:\\Abba\\CD1\\\nB:\\Abba\\CD1\\2.mp3\n"},
         "Abba(Gold(CD1))"},
    };
    for (const auto& tc : cases) {
        Collection fresh;
        QTemporaryDir d;
        fresh.CatalogDir = d.path();
        for (size_t i = 0; i < tc.files.size(); ++i) {
            QFile f(d.filePath(QString::number(i) + QStringLiteral(".cd")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(tc.files[i]);
        }
        fresh.LoadAllMedia();
        QStringList top;
        for (int i = 0; i < fresh.alphaListNode()->childCount(); ++i)
            top << shape(fresh.alphaListNode()->child(i));
        EXPECT_EQ(top.join(u';'), tc.alpha);
        // Every title is still in the collection's alphabetical lists.
        qsizetype listed = 0;
        for (int i = TitleLists::FixedCount; i < fresh.titleLists.count(); ++i)
            if (fresh.titleLists.key(i).startsWith(QStringLiteral("ALPHALIST::")))
                listed += fresh.titleLists.list(i).size();
        EXPECT_EQ(listed, fresh.titleCount);
    }
}

TEST(CollectionAlphabetical, FoldersMergeIntoTheFirstNodeOfTheirNameAsAWalkOfTheTreeFinds) {
    // A plain model of the rule: a folder joins the first node of its exact name met depth
    // first below its parent's alphabetical node (the node itself included), in the order
    // the tree shows (top nodes sorted, the others as added); else it gets a new child.
    struct Node {
        QString text;
        int seq = 0;
        std::vector<std::unique_ptr<Node>> kids;
    };
    const auto ordered = [](const Node& n, bool top) {
        std::vector<const Node*> v;
        for (const auto& k : n.kids)
            v.push_back(k.get());
        if (top)
            std::stable_sort(v.begin(), v.end(), [](const Node* a, const Node* b) {
                return indexfile::compareCatalogue(a->text, b->text) < 0;
            });
        return v;
    };
    const std::function<Node*(Node&, const QString&, bool)> first =
        [&](Node& n, const QString& name, bool top) -> Node* {
        if (!top && n.text == name) return &n;
        for (const Node* k : ordered(n, top))
            if (Node* f = first(*const_cast<Node*>(k), name, false)) return f;
        return nullptr;
    };
    const std::function<QString(const Node&, bool)> modelShape = [&](const Node& n, bool top) {
        QStringList kids;
        for (const Node* k : ordered(n, top))
            kids << modelShape(*k, false);
        return top ? kids.join(u';')
                   : n.text + (kids.isEmpty() ? QString() : u'(' + kids.join(u',') + u')');
    };
    const std::function<QString(const TreeNode*, bool)> shape = [&](const TreeNode* n, bool top) {
        QStringList kids;
        for (int i = 0; i < n->childCount(); ++i)
            kids << shape(n->child(i), false);
        return top ? kids.join(u';')
                   : n->text + (kids.isEmpty() ? QString() : u'(' + kids.join(u',') + u')');
    };

    const QStringList words = {"Abba", "Queen", "Best Of", "CD1", "Zappa", "Gold"};
    quint32 seed = 12345;
    const auto next = [&](quint32 n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 300; ++round) {
        Collection c;
        Node root;
        int seq = 0;
        const int media = 1 + int(next(6));
        for (int m = 0; m < media; ++m) {
            const QString label = QStringLiteral("M%1").arg(m);
            QStringList lines;
            for (int f = 0, n = 1 + int(next(6)); f < n; ++f) {
                QString path = label + QStringLiteral(":\\");
                for (int d = 0, depth = 1 + int(next(3)); d < depth; ++d) {
                    path += words[qsizetype(next(quint32(words.size())))] + u'\\';
                    if (!lines.contains(path)) lines << path;
                }
                lines << path + QStringLiteral("t.mp3");
            }
            c.addMedium(label, lines);
            // The model takes the folder lines in the loader's order.
            QStringList folders;
            for (const QString& l : lines)
                if (l.endsWith(u'\\')) folders << l;
            indexfile::sortCatalogue(folders);
            QHash<QString, Node*> alphaOf; // folder path -> its alphabetical node
            for (const QString& path : folders) {
                const QString inner = path.left(path.size() - 1);
                const qsizetype cut = inner.lastIndexOf(u'\\');
                const QString name = inner.mid(cut + 1);
                const QString parentPath = inner.left(cut + 1);
                const bool top = !alphaOf.contains(parentPath);
                Node* parent = top ? &root : alphaOf.value(parentPath);
                Node* found = first(*parent, name, top);
                if (!found) {
                    parent->kids.push_back(std::make_unique<Node>());
                    found = parent->kids.back().get();
                    found->text = name;
                    found->seq = seq++;
                }
                alphaOf.insert(path, found);
            }
            ASSERT_EQ(shape(c.alphaListNode(), true), modelShape(root, true))
                << "round " << round << " after medium " << m;
        }
    }
}

namespace {
// The titles' places in the order of their display names, equal names in their order.
std::vector<int> stableNameOrder(const QStringList& titles) {
    std::vector<int> order(size_t(titles.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return indexfile::compareCatalogue(titletext::displayName(titles[x]),
                                           titletext::displayName(titles[y])) < 0;
    });
    return order;
}
} // namespace

TEST(NameOrder, EqualsAStableSortOfTheDisplayNames) {
    // Names alike in their first characters, in case, past the key's length, beyond Latin-1.
    const QStringList stems = {"01 Blue 703 - Liebe Sommer Wind und Regen",
                               "01 blue 703 - liebe sommer wind und regen",
                               "01 Blue 703 - Liebe",
                               "01 BLUE 703 - LIEBE",
                               "Über Brücke – Straße",
                               "über brücke – straße ",
                               "Łódź Nacht",
                               "łódź nacht",
                               "A",
                               "a",
                               ""};
    quint32 seed = 7;
    const auto next = [&](quint32 n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (const int count : {0, 1, 2, 50, 3000, 25000}) {
        QStringList titles;
        for (int i = 0; i < count; ++i) {
            QString name = stems[qsizetype(next(quint32(stems.size())))];
            if (next(3) == 0) name += QString::number(next(20));
            if (next(4) == 0) name.insert(qsizetype(next(quint32(name.size() + 1))), QChar(0x20AC));
            titles << QStringLiteral("M%1:\\Folder\\%2.mp3").arg(next(4)).arg(name);
        }
        const std::vector<int> expected = stableNameOrder(titles);
        EXPECT_EQ(nameorder::sortedByName(titles, 1), expected) << count;
        EXPECT_EQ(nameorder::sortedByName(titles, 2), expected) << count;
    }
}

TEST(NameOrder, LongListsSplitAnywhereKeepTheOrder) {
    // Lists long enough to be sorted on two threads, split wherever their names fall.
    const int count = 24000;
    const struct {
        const char* name;
        std::function<QString(int)> title;
    } cases[] = {
        {"one name", [](int) { return QStringLiteral("M:\\F\\Same.mp3"); }},
        {"two names",
         [](int i) { return i % 2 ? QStringLiteral("B.mp3") : QStringLiteral("a.mp3"); }},
        {"one odd name first", [](int i) { return i ? QStringLiteral("b") : QStringLiteral("A"); }},
        {"one odd name last",
         [](int i) { return i == count - 1 ? QStringLiteral("a") : QStringLiteral("B"); }},
        {"ascending", [](int i) { return QStringLiteral("%1").arg(i, 6, 10, QChar(u'0')); }},
        {"descending",
         [](int i) { return QStringLiteral("%1").arg(count - i, 6, 10, QChar(u'0')); }},
        {"long names alike past the key",
         [](int i) {
             return QStringLiteral("01 Liebe 703 - Sommer Regen Wind %1 %2")
                 .arg(i % 7 ? u'x' : u'X')
                 .arg(i % 13);
         }},
        {"beyond Latin-1",
         [](int i) { return QStringLiteral("Łódź %1").arg(QChar(char16_t(0x100 + i % 300))); }},
    };
    for (const auto& tc : cases) {
        QStringList titles;
        for (int i = 0; i < count; ++i)
            titles << tc.title(i);
        const std::vector<int> expected = stableNameOrder(titles);
        EXPECT_EQ(nameorder::sortedByName(titles, 2), expected) << tc.name;
        EXPECT_EQ(nameorder::sortedByName(titles, 1), expected) << tc.name;
    }
}

TEST(NameOrder, TitlesInBlocksOrderAsTheirTexts) {
    // Held as the collection holds them (blocks of Latin-1 where every character fits, else
    // UTF-16), titles come in the order of their display names, whatever the characters:
    // ones whose folding leaves Latin-1 (µ, ÿ), colons and dots in the file name, names alike
    // past the key's length, names beyond Latin-1.
    const QStringList stems = {"µ Liebe",
                               "Μ Liebe",
                               "ÿ",
                               "Ÿ",
                               "þorn",
                               "ÞORN",
                               "Straße",
                               "STRASSE",
                               "Ärger",
                               "ärger",
                               "a:b",
                               "x.y.z",
                               ".hidden",
                               "",
                               "é",
                               "01 Brücke 2580 - Sommer Straße Wind",
                               "01 brücke 2580 - sommer",
                               "Łódź",
                               "łódź €"};
    quint32 seed = 11;
    const auto next = [&](quint32 n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (const int count : {300, 25000}) {
        QStringList titles;
        for (int i = 0; i < count; ++i) {
            QString name = stems[qsizetype(next(quint32(stems.size())))];
            if (next(2)) name += QStringLiteral(" %1").arg(next(30));
            if (next(5) == 0) name = name.toUpper();
            titles << QStringLiteral("M%1:\\F%2\\%3.mp3").arg(next(3)).arg(next(9)).arg(name);
        }
        const std::vector<int> expected = stableNameOrder(titles);
        const std::vector<QStringView> lines(titles.begin(), titles.end());
        for (const qsizetype perBlock : {qsizetype(7), qsizetype(4000)}) {
            std::vector<TitlePart> parts;
            for (qsizetype first = 0; first < titles.size(); first += perBlock) {
                const qsizetype n = std::min(perBlock, titles.size() - first);
                parts.push_back(
                    {std::make_shared<const TitleBlock>(lines.data() + first, n), 0, quint32(n)});
            }
            for (const int threads : {1, 2})
                EXPECT_EQ(nameorder::sortedByName(TitleSpan{nullptr, &parts}, threads), expected)
                    << count << " titles, " << perBlock << " a block, " << threads << " threads";
        }
    }
}

TEST(TitleListsKeys, TheFirstEntryOfAKeyIsFoundWhateverItsCase) {
    // Keys alike but for case, beyond Latin-1, numbered, and enough of them to grow the table.
    QStringList stems = {"Best Of", "best of",   "BEST OF",   "Über",    "über",    "ÜBER", "Łódź",
                         "łódź",    "Rock 1:\\", "rock 1:\\", "Σίσυφος", "ΣΊΣΥΦΟΣ", ""};
    // Beyond the 16-bit range, and a lone surrogate.
    stems << QString::fromUtf16(u"\U00010400x") << QString::fromUtf16(u"\U00010428X")
          << QString(QChar(char16_t(0xD800))) + u'a' << QString(QChar(char16_t(0xD800))) + u'A';
    const struct {
        const char* name;
        int count;
    } cases[] = {{"a few", 20}, {"many", 5000}};
    for (const auto& tc : cases) {
        TitleLists lists;
        std::map<QString, int> first; // the folded key's first entry
        for (int i = 0; i < TitleLists::FixedCount; ++i)
            first.emplace(TitleLists::fixedKey(TitleLists::Fixed(i)).toCaseFolded(), i);
        for (int i = 0; i < tc.count; ++i) {
            QString key = stems[i % stems.size()];
            if (i % 3) key += QStringLiteral(" (%1)").arg(i % 97);
            const int entry = i % 2 ? lists.add(key) : lists.add(key, foldedKey(key));
            first.emplace(key.toCaseFolded(), entry);
        }
        for (const auto& [folded, entry] : first) {
            EXPECT_EQ(lists.indexOf(folded), entry) << tc.name << " " << folded.toStdString();
            EXPECT_EQ(lists.indexOf(folded.toUpper()), entry) << tc.name;
            EXPECT_EQ(lists.indexOfFolded(foldedKey(folded)), entry) << tc.name;
        }
        EXPECT_EQ(lists.indexOf(u"Best Of (98)"), -1) << tc.name;
        EXPECT_EQ(lists.indexOf(u"Best"), -1) << tc.name;
        lists.clearNonFixed();
        EXPECT_EQ(lists.indexOf(u"best of"), -1) << tc.name;
        EXPECT_EQ(lists.indexOf(u"MERKZETTEL"), int(TitleLists::Merkzettel)) << tc.name;
        EXPECT_EQ(lists.add(QStringLiteral("Best Of")), TitleLists::FixedCount) << tc.name;
        EXPECT_EQ(lists.indexOf(u"BEST OF"), TitleLists::FixedCount) << tc.name;
    }
}

TEST(TitleListsKind, FollowsTheKeyHoweverItWasAdded) {
    const struct {
        QString key;
        TitleLists::Kind kind;
    } cases[] = {
        {"ALPHALIST::Abba", TitleLists::Kind::Alpha}, {"alphalist::abba", TitleLists::Kind::Alpha},
        {"AlphaList::", TitleLists::Kind::Alpha},     {"ALPHALIST:", TitleLists::Kind::Plain},
        {"Rock 1:\\", TitleLists::Kind::MediumRoot},  {"Rock 1:", TitleLists::Kind::Plain},
        {"Best Of", TitleLists::Kind::Plain},         {"", TitleLists::Kind::Plain},
    };
    TitleLists lists;
    for (int i = 0; i < TitleLists::FixedCount; ++i)
        EXPECT_EQ(lists.kind(i), TitleLists::Kind::Plain);
    for (int round = 0; round < 2; ++round) {
        for (const auto& tc : cases) {
            const int i = lists.add(tc.key);
            EXPECT_EQ(lists.kind(i), tc.kind) << tc.key.toStdString();
        }
        const int a = lists.addAlphaList(QStringLiteral("Zappa"), foldedKey(u"Zappa"));
        EXPECT_EQ(lists.kind(a), TitleLists::Kind::Alpha);
        lists.clearNonFixed();
        EXPECT_EQ(lists.count(), TitleLists::FixedCount);
    }
}
