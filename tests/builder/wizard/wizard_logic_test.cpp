#include "wizard_logic.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace reapwell;

TEST(LabelCleaning, RemovesForbiddenCharactersRunsOfSpacesAndLeadingBlanks) {
    struct Case {
        const char* typed;
        int caret;
        const char* text;
        int newCaret;
    };
    const Case cases[] = {
        {"Rock", 4, "Rock", 4},
        // A colon typed at position 2: gone, caret back where it was before typing.
        {"Ro:ck", 3, "Rock", 2},
        {"Ro/ck", 3, "Rock", 2},
        {"a/\\|+*?\"<>:b", 12, "ab", 2},
        {"a   b", 5, "a b", 3},
        // The second space of a run typed in the middle.
        {"Best  of", 5, "Best of", 5},
        {"   Rock", 3, "Rock", 0},
        {" \t Rock  Pop ", 13, "Rock Pop ", 9},
        // Removed characters between spaces leave one space.
        {"a : b", 5, "a b", 3},
        {":", 1, "", 0},
        {"Ä:Ö", 2, "ÄÖ", 1},
    };
    for (const Case& c : cases) {
        const TextEdit out = cleanLabel(QString::fromUtf8(c.typed), c.caret);
        EXPECT_EQ(out.text, QString::fromUtf8(c.text)) << c.typed;
        EXPECT_EQ(out.caret, c.newCaret) << c.typed;
        // Cleaning is idempotent: a cleaned text stays as it is.
        EXPECT_EQ(cleanLabel(out.text, out.caret), out) << c.typed;
    }
}

TEST(UrlField, AppendsASlashKeepingTheCaret) {
    EXPECT_EQ(appendUrlSlash(u"http://host", 11), (TextEdit{"http://host/", 11}));
    EXPECT_EQ(appendUrlSlash(u"http://host/a", 9), (TextEdit{"http://host/a/", 9}));
    EXPECT_EQ(appendUrlSlash(u"http://host/", 12), (TextEdit{"http://host/", 12}));
    EXPECT_EQ(appendUrlSlash(u"", 0), (TextEdit{"", 0}));
}

TEST(UrlField, ASlashTypedBeforeTheTrailingSlashStepsOverIt) {
    // "http://host/" with the caret before the appended slash; "/" typed there.
    EXPECT_EQ(editUrl(u"http://host/", u"http://host//", 12), (TextEdit{"http://host/", 12}));
    // Anywhere else the slash is kept.
    EXPECT_EQ(editUrl(u"http://host/", u"http://host//", 13), (TextEdit{"http://host//", 13}));
    EXPECT_EQ(editUrl(u"http://", u"http:///", 8), (TextEdit{"http:///", 8}));
    EXPECT_EQ(editUrl(u"http://h/", u"http:///h/", 7), (TextEdit{"http:///h/", 7}));
    // Other edits only get the slash appended.
    EXPECT_EQ(editUrl(u"http://h/", u"http://ho/", 9), (TextEdit{"http://ho/", 9}));
    EXPECT_EQ(editUrl(u"http://ho/", u"http://ho", 9), (TextEdit{"http://ho/", 9}));
    EXPECT_EQ(editUrl(u"x/", u"", 0), (TextEdit{"", 0}));
}

TEST(UrlField, TypingRuleNeedsWebSchemeHostAndNothingAfterTheLastSlash) {
    for (const char* good : {"http://host/", "HTTP://host/dir/", "ftp://ftp.example.org/pub/mp3/",
                             "Ftp://user:pw@host/", "http://host"}) {
        EXPECT_TRUE(urlAccepted(QString::fromLatin1(good))) << good;
    }
    for (const char* bad :
         {"http://", "http:///", "http://host:8080/", "http://host:80/", "http://host/index.html",
          "http://host/a/#/", "http://host/#x/", "http://host/?a=b/", "https://host/",
          "file:///tmp/", "host/", "http://ho st/", ""}) {
        EXPECT_FALSE(urlAccepted(QString::fromLatin1(bad))) << bad;
    }
}

TEST(UrlField, EntryRuleAndSchemePrefix) {
    EXPECT_TRUE(urlPrefixAccepted(u"http://h/"));
    EXPECT_TRUE(urlPrefixAccepted(u"FTP://h/x"));
    EXPECT_TRUE(urlPrefixAccepted(u"hTtP://host:81/")); // the entry rule does not parse
    EXPECT_FALSE(urlPrefixAccepted(u"http://"));
    EXPECT_FALSE(urlPrefixAccepted(u"http:///")); // no character before the slash
    EXPECT_FALSE(urlPrefixAccepted(u"http://host"));
    EXPECT_FALSE(urlPrefixAccepted(u"gopher://host/"));

    EXPECT_EQ(withWebScheme("www.example.org/"), "http://www.example.org/");
    EXPECT_EQ(withWebScheme("FTP://x/"), "FTP://x/");
    EXPECT_EQ(withWebScheme("Http://x/"), "Http://x/");
    EXPECT_EQ(withWebScheme(""), "http://");
}

TEST(PageRules, NetworkPathAndBaseFolder) {
    EXPECT_TRUE(networkPathAccepted(u"\\\\s\\share"));
    EXPECT_TRUE(networkPathAccepted(u"\\\\server\\share\\mp3"));
    EXPECT_FALSE(networkPathAccepted(u"\\\\\\share")); // no server name
    EXPECT_FALSE(networkPathAccepted(u"\\\\server"));
    EXPECT_FALSE(networkPathAccepted(u"\\server\\share"));
    EXPECT_FALSE(networkPathAccepted(u"//server/share"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("a.mp3"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(baseDirAccepted(dir.path()));
    EXPECT_TRUE(baseDirAccepted("/"));
    EXPECT_FALSE(baseDirAccepted(dir.filePath("a.mp3")));
    EXPECT_FALSE(baseDirAccepted(dir.filePath("missing")));
    EXPECT_FALSE(baseDirAccepted(""));
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(QDir().mkdir("sub"));
    EXPECT_FALSE(baseDirAccepted("sub")); // relative
    QDir::setCurrent(cwd);
}

TEST(InfoFromFile, TagsWinOverLinePositions) {
    const InfoTexts current{"me", "v0", "c0"};
    const QStringList indexFile{"*** TALLYER banner", "",
                                "BEGIN::CD",          "LABEL::Rock",
                                "comment::Best of",   "AUTHOR::Label Inc.",
                                "Version::2006",      "Rock:\\a.mp3"};
    EXPECT_EQ(infoFromLines(indexFile, current), (InfoTexts{"Label Inc.", "2006", "Best of"}));

    // Without tags the first three lines are taken as they are.
    EXPECT_EQ(infoFromLines({"Anna", "1.0", "Sammlung", "more"}, current),
              (InfoTexts{"Anna", "1.0", "Sammlung"}));
    // Short files change only what they have.
    EXPECT_EQ(infoFromLines({"Anna"}, current), (InfoTexts{"Anna", "v0", "c0"}));
    EXPECT_EQ(infoFromLines({"Anna", ""}, current), (InfoTexts{"Anna", "", "c0"}));
    EXPECT_EQ(infoFromLines({}, current), current);
    // A tag found anywhere, the rest by position.
    EXPECT_EQ(infoFromLines({"x", "y", "AUTHOR::A"}, current), (InfoTexts{"A", "y", "AUTHOR::A"}));
    // The first of several equal tags counts; the value is not trimmed.
    EXPECT_EQ(infoFromLines({"AUTHOR:: one ", "AUTHOR::two"}, current).author, " one ");
}

TEST(InfoFromFile, ReadsTheIndexFilesCodec) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("info.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("J\xFCrgen\r\nVERSION::%DATE%\r\n"); // Windows-1252
    file.close();
    InfoTexts texts{"a", "b", "c"};
    ASSERT_TRUE(infoFromFile(path, texts, nullptr));
    EXPECT_EQ(texts, (InfoTexts{QString::fromUtf8("Jürgen"), "%DATE%", "c"}));

    QString error;
    EXPECT_FALSE(infoFromFile(dir.filePath("missing.txt"), texts, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ToolParameters, BaseFolderFollowsTheRootOption) {
    ToolInput input;
    input.baseDir = "/media/d/Music";
    input.label = "Rock";
    input.infoFile = "/run/t/0001ABCD.cdi";

    input.root = RootOption::RootFolder;
    ToolParameters p = toolParameters(input);
    EXPECT_EQ(p.text, R"( BASEDIR="/media/d/Music/" LABEL="Rock" INFOFILE="/run/t/0001ABCD.cdi")");
    EXPECT_EQ(p.arguments, (QStringList{"BASEDIR=/media/d/Music/", "LABEL=Rock",
                                        "INFOFILE=/run/t/0001ABCD.cdi"}));

    input.root = RootOption::SubFolder;
    p = toolParameters(input);
    EXPECT_EQ(p.text, R"( BASEDIR="/media/d/Music" LABEL="Rock" INFOFILE="/run/t/0001ABCD.cdi")");

    // A folder that already ends with the separator is passed as it is.
    input.baseDir = "/";
    input.root = RootOption::RootFolder;
    EXPECT_EQ(toolParameters(input).arguments.first(), "BASEDIR=/");
    input.root = RootOption::SubFolder;
    EXPECT_EQ(toolParameters(input).arguments.first(), "BASEDIR=/");
}

TEST(ToolParameters, TypeAndResourceByTypeIndexAndConnectBox) {
    ToolInput input;
    input.baseDir = "/m/";
    input.label = "A B";
    input.infoFile = "/t/i.cdi";
    input.networkPath = "\\\\nas\\mp3";
    input.url = "http://host/mp3/";
    const QString head = R"( BASEDIR="/m/" LABEL="A B")";
    const QString tail = R"( INFOFILE="/t/i.cdi")";

    const char* codes[] = {"", "DSK", "USB", "RAM", "CDR", "HDD", "LAN", "WWW"};
    for (int type = 0; type < 8; ++type) {
        input.typeIndex = type;
        input.connect = false;
        const QString typePart =
            type == 0 ? QString() : " TYPE=" + QString::fromLatin1(codes[type]);
        EXPECT_EQ(toolParameters(input).text, head + typePart + tail) << type;
    }

    input.connect = true;
    input.typeIndex = 0;
    EXPECT_EQ(toolParameters(input).text, head + tail);
    input.typeIndex = 6;
    EXPECT_EQ(toolParameters(input).text, head + R"( TYPE=LAN RES="\\nas\mp3")" + tail);
    EXPECT_EQ(toolParameters(input).arguments,
              (QStringList{"BASEDIR=/m/", "LABEL=A B", "TYPE=LAN", "RES=\\\\nas\\mp3",
                           "INFOFILE=/t/i.cdi"}));
    input.typeIndex = 7;
    EXPECT_EQ(toolParameters(input).text, head + R"( TYPE=WWW RES="http://host/mp3/")" + tail);
}

TEST(Naming, IndexFileOwnerAndTickName) {
    EXPECT_EQ(indexFilePath("/home/u/Sammlung", "Rock"), "/home/u/Sammlung/Rock.cd");
    EXPECT_EQ(indexFilePath("/", "Rock"), "/Rock.cd");
    EXPECT_EQ(tickName(0), "00000000");
    EXPECT_EQ(tickName(0xABCDEF), "00ABCDEF");
    EXPECT_EQ(tickName(0x1FFFFFFFFull), "FFFFFFFF"); // the tick count has 32 bits
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}$").match(tickName()).hasMatch());
    EXPECT_FALSE(registeredOwner().isEmpty());
}

TEST(Texts, LineBreaksAreLfCrAndShownAsOneBreak) {
    EXPECT_EQ(waitingText("Rock 1"),
              QString::fromUtf8("Das Medium \"Rock 1\" wird jetzt erstellt.\n\rDieser Vorgang "
                                "kann unter Umständen mehrere Minuten dauern."));
    EXPECT_EQ(cancelQuestion(), "Wenn Sie jetzt abbrechen, wird die Zusammenstellung "
                                "verworfen!\n\rWollen Sie Reapwell wirklich beenden?");
    EXPECT_EQ(shownText(cancelQuestion()), "Wenn Sie jetzt abbrechen, wird die Zusammenstellung "
                                           "verworfen!\nWollen Sie Reapwell wirklich beenden?");
    // Only an LF CR pair loses its CR.
    EXPECT_EQ(shownText("a\r\nb\rc\n\rd"), "a\r\nb\rc\nd");
}

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // Goes from page 0 to page 4 with valid inputs.
    void toTypePage() {
        flow.next();
        flow.setBaseDir(dir.path());
        flow.next();
        flow.next();
        flow.setLabel("Rock");
        flow.next();
        ASSERT_EQ(flow.page(), 4);
    }
    QTemporaryDir dir;
    WizardFlow flow;
};

TEST_F(FlowTest, StartsOnTheWelcomePage) {
    EXPECT_EQ(flow.page(), 0);
    EXPECT_TRUE(flow.nextEnabled());
    EXPECT_FALSE(flow.backEnabled());
    EXPECT_FALSE(flow.finishVisible());
    EXPECT_FALSE(flow.connectEnabled());
    EXPECT_EQ(flow.typeIndex(), 0);
    EXPECT_EQ(flow.rootOption(), RootOption::RootFolder);
    EXPECT_EQ(flow.url(), "http://");
    flow.back();
    EXPECT_EQ(flow.page(), 0);
}

TEST_F(FlowTest, EachPageAppliesItsRule) {
    flow.next();
    EXPECT_EQ(flow.page(), 1);
    EXPECT_TRUE(flow.backEnabled());
    EXPECT_FALSE(flow.nextEnabled()); // nothing selected
    flow.setBaseDir(dir.filePath("missing"));
    EXPECT_FALSE(flow.nextEnabled());
    flow.setBaseDir(dir.path());
    EXPECT_TRUE(flow.nextEnabled());

    flow.next();
    EXPECT_EQ(flow.page(), 2);
    EXPECT_TRUE(flow.nextEnabled());
    flow.next();
    EXPECT_EQ(flow.page(), 3);
    EXPECT_FALSE(flow.nextEnabled());
    flow.setLabel(" :/ ");
    EXPECT_FALSE(flow.nextEnabled()); // cleaned to nothing
    flow.setLabel("Rock");
    EXPECT_TRUE(flow.nextEnabled());
    flow.setLabel("");
    EXPECT_FALSE(flow.nextEnabled());
    flow.setLabel("Rock");

    // Back to page 1: its rule is applied again on entering.
    flow.back();
    flow.back();
    EXPECT_TRUE(flow.nextEnabled());
    flow.next();
    flow.next();
    EXPECT_TRUE(flow.nextEnabled());
    flow.next();
    flow.next();
    EXPECT_EQ(flow.page(), 7);
    flow.next();
    EXPECT_EQ(flow.page(), 8);
    EXPECT_TRUE(flow.finishVisible());
    flow.next();
    EXPECT_EQ(flow.page(), 8);
}

TEST_F(FlowTest, PagesFiveAndSixAreSkippedInBothDirections) {
    toTypePage();
    for (int type : {0, 1, 2, 3, 4, 5}) {
        flow.setTypeIndex(type);
        flow.setConnectChecked(true);
        EXPECT_FALSE(flow.connectEnabled()) << type;
        flow.next();
        EXPECT_EQ(flow.page(), 7) << type;
        flow.back();
        EXPECT_EQ(flow.page(), 4) << type;
    }

    flow.setTypeIndex(6);
    EXPECT_TRUE(flow.connectEnabled());
    flow.setConnectChecked(false);
    flow.next();
    EXPECT_EQ(flow.page(), 7); // box not checked
    flow.back();
    flow.setConnectChecked(true);
    flow.next();
    EXPECT_EQ(flow.page(), 5);
    EXPECT_FALSE(flow.nextEnabled());
    flow.setNetworkPath("\\\\nas\\mp3");
    EXPECT_TRUE(flow.nextEnabled());
    flow.next();
    EXPECT_EQ(flow.page(), 7);
    flow.back();
    EXPECT_EQ(flow.page(), 5);
    flow.back();
    EXPECT_EQ(flow.page(), 4);

    flow.setTypeIndex(7);
    flow.next();
    EXPECT_EQ(flow.page(), 6);
    EXPECT_FALSE(flow.nextEnabled()); // "http://"
    flow.back();
    EXPECT_EQ(flow.page(), 4);
}

TEST_F(FlowTest, UrlRulesOnThePageAndSchemeAfterForwardMoves) {
    toTypePage();
    flow.setTypeIndex(7);
    flow.setConnectChecked(true);
    flow.setUrl("www.example.org");
    EXPECT_EQ(flow.url(), "www.example.org/");
    flow.next();
    EXPECT_EQ(flow.page(), 6);
    EXPECT_EQ(flow.url(), "http://www.example.org/");
    EXPECT_TRUE(flow.nextEnabled());
    flow.setUrl("http://www.example.org:8080");
    EXPECT_EQ(flow.url(), "http://www.example.org:8080/");
    EXPECT_FALSE(flow.nextEnabled());
    flow.setUrl("ftp://files.example.org/mp3/");
    EXPECT_TRUE(flow.nextEnabled());

    // A backward move leaves the URL alone; the next forward move mends it.
    flow.back();
    flow.setUrl("files.example.org/mp3/");
    flow.back();
    EXPECT_EQ(flow.url(), "files.example.org/mp3/");
    flow.next();
    EXPECT_EQ(flow.url(), "http://files.example.org/mp3/");
}

TEST_F(FlowTest, ParametersUseTheConnectBoxOnlyWhileItIsEnabled) {
    toTypePage();
    flow.setRootOption(RootOption::SubFolder);
    flow.setTypeIndex(6);
    flow.setConnectChecked(true);
    flow.setNetworkPath("\\\\nas\\mp3");
    EXPECT_EQ(flow.parameters("/t/i.cdi").text,
              QString(R"( BASEDIR="%1" LABEL="Rock" TYPE=LAN RES="\\nas\mp3" INFOFILE="/t/i.cdi")")
                  .arg(dir.path()));
    flow.setTypeIndex(4);
    EXPECT_EQ(
        flow.parameters("/t/i.cdi").text,
        QString(R"( BASEDIR="%1" LABEL="Rock" TYPE=CDR INFOFILE="/t/i.cdi")").arg(dir.path()));
}

TEST(FolderTree, OpensAtHomeWithTheUsersMediaFolders) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString home = tmp.filePath("home/anna");
    const QString media = tmp.filePath("media");
    const QString runMedia = tmp.filePath("run/media");
    QDir().mkpath(home);
    const QStringList parents{media, runMedia};
    struct Case {
        const char* name;
        QStringList make; // folders created before the call
        QString home;
        QString user;
        QStringList expected;
    };
    const Case cases[] = {
        {"home only", {}, home, "anna", {home}},
        {"both media folders",
         {media + "/anna", runMedia + "/anna"},
         home,
         "anna",
         {home, media + "/anna", runMedia + "/anna"}},
        {"another user's media folder stays shut",
         {media + "/bert"},
         home,
         "anna",
         {home, media + "/anna", runMedia + "/anna"}},
        {"a missing home is left out",
         {},
         tmp.filePath("home/weg"),
         "anna",
         {media + "/anna", runMedia + "/anna"}},
        {"a user name that is a path names nothing", {}, home, "../media/anna", {home}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& folder : c.make)
            QDir().mkpath(folder);
        EXPECT_EQ(openFolders(c.home, c.user, parents), c.expected);
    }
    EXPECT_FALSE(loginName().isEmpty());
}
