// The web view's logic without the engine: templates, generated pages, "stats.js", the
// command protocol and the FTP listing page.
#include "browser_commands.h"
#include "collection.h"
#include "ftp_listing.h"
#include "web_pages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using browsercmd::Invocation;
using browsercmd::ParsedUrl;

TEST(WebPages, SubstitutesPlaceholdersInAnyCase) {
    const webpages::Placeholders v{"/data/", "/tmp/t/", "res://C:\\Prog\\x.exe"};
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"%RESOURCE%/vorlune_css", "res://C:\\Prog\\x.exe/vorlune_css"},
        {"%resource%/a %Resource%/b", "res://C:\\Prog\\x.exe/a res://C:\\Prog\\x.exe/b"},
        {"'%JRESOURCE%/mt_png'", "'res://C:\\\\Prog\\\\x.exe/mt_png'"},
        {"%jresource%", "res://C:\\\\Prog\\\\x.exe"},
        {"%TEMP%stats.js %temp%data.js", "/tmp/t/stats.js /tmp/t/data.js"},
        {"%VORLUNE%x %vorlune%", "/data/x /data/"},
        {"100% %TEMPO%", "100% %TEMPO%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(webpages::substitute(QString::fromUtf8(c.in), v), QString::fromUtf8(c.out))
            << c.in;
}

TEST(WebPages, TemplatesCarryTheirTitlesAndNoPlaceholderIsLeft) {
    const webpages::Placeholders v{"/d/", "/t/", "res://vorlune"};
    const std::pair<const char*, const char*> pages[] = {
        {webpages::AlphaList, "<title>Alphabetische Liste</title>"},
        {webpages::BrainList, "<title>Merkzettel</title>"},
        {webpages::DetailList, "<title>Medien-Details</title>"},
        {webpages::DetailWait, "<title>Medien-Details</title>"},
        {webpages::PlayList, "<title>Wiedergabeliste</title>"},
    };
    for (const auto& [name, title] : pages) {
        const QString text = webpages::loadTemplate(QString::fromLatin1(name));
        ASSERT_FALSE(text.isNull()) << name;
        EXPECT_TRUE(text.contains(QString::fromUtf8(title))) << name;
        const QString done = webpages::substitute(text, v);
        EXPECT_FALSE(done.contains(QLatin1String("RESOURCE%"), Qt::CaseInsensitive)) << name;
        EXPECT_FALSE(done.contains(QLatin1String("%TEMP%"), Qt::CaseInsensitive)) << name;
        // Only the wait page has no links at its foot.
        EXPECT_EQ(done.contains(QLatin1String("vorlune:about")),
                  QLatin1String(name) != QLatin1String(webpages::DetailWait))
            << name;
    }
    EXPECT_TRUE(webpages::loadTemplate(QStringLiteral("nosuch_html")).isNull());
}

TEST(WebPages, StatsJsBytesEscapeEveryTextValue) {
    MyMediaInfo info;
    info.Resource = QStringLiteral("\\\\server\\share\\musik");
    info.Author = QStringLiteral("Ich");
    info.Comment = QStringLiteral("\";location=\"vorlune:clearbrainlist");
    info.Version = QStringLiteral("zeile1\r\nzeile2");
    info.MediaType = 13;
    info.FolderCount = 4;
    info.TitleCount = 120;
    QTemporaryDir dir;
    webpages::PageWriter writer(dir.path(), dir.path(), QStringLiteral("res://vorlune"));
    ASSERT_TRUE(writer.writeStats(QStringLiteral("Rock \"1\""), info));
    QFile f(dir.filePath(QStringLiteral("stats.js")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray expected = "medium    = \"Rock \\\"1\\\"\";\r\n"
                                "resource  = \"\\\\\\\\server\\\\share\\\\musik\";\r\n"
                                "author    = \"Ich\";\r\n"
                                "version   = \"zeile1\\r\\nzeile2\";\r\n"
                                "comment   = \"\\\";location=\\\"vorlune:clearbrainlist\";\r\n"
                                "mediatype = 13;\r\n"
                                "folders   = 4;\r\n"
                                "files     = 120;\r\n";
    EXPECT_EQ(f.readAll(), expected);
}

TEST(WebPages, PagesGoToTheTempFolderAndAreDeletedAgain) {
    QTemporaryDir dir;
    webpages::PageWriter writer(dir.path(), QStringLiteral("/d"), QStringLiteral("res://vorlune"));
    writer.ticks = [] { return quint32(0x00ABCDEF); };
    const auto a = writer.writePage(QStringLiteral("PlayList_HTML"));
    const auto b = writer.writePage(QStringLiteral("alphalist_html"));
    EXPECT_EQ(QFileInfo(a.file).fileName(), QStringLiteral("00ABCDEF.html"));
    EXPECT_EQ(QFileInfo(b.file).fileName(), QStringLiteral("00ABCDF0.html")); // same tick
    QFile page(a.file);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains((dir.path() + QStringLiteral("/data.js")).toUtf8()));
    page.close();
    QFile::copy(a.file, dir.filePath(QStringLiteral("data.js")));

    const auto missing = writer.writePage(QStringLiteral("nosuch_html"));
    EXPECT_TRUE(missing.file.isEmpty());
    EXPECT_TRUE(missing.error.contains(QStringLiteral("nosuch_html")));

    writer.cleanup();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    webpages::PageWriter nowhere(dir.filePath(QStringLiteral("gone/x")), QString(), QString());
    const auto failed = nowhere.writePage(QStringLiteral("playlist_html"));
    EXPECT_TRUE(failed.file.isEmpty());
    EXPECT_TRUE(failed.error.contains(QStringLiteral("kann nicht beschrieben werden")));
    EXPECT_TRUE(webpages::errorPage(QStringLiteral("<b>")).contains(QStringLiteral("&lt;b&gt;")));
}

TEST(WebPages, MediumQueryEncodesThePlayingFile) {
    EXPECT_EQ(webpages::mediumQuery(QStringLiteral("/m/A & B/x=1 #2.mp3"),
                                    QStringLiteral("MediaFolders=1&")),
              QStringLiteral("?Playing=x%3D1%20%232&FullName=%2Fm%2FA%20%26%20B%2Fx%3D1%20%232.mp3&"
                             "MediaFolders=1&"));
    EXPECT_EQ(webpages::mediumQuery(QString(), QString()), QStringLiteral("?Playing=&FullName=&"));
    EXPECT_EQ(webpages::basicAuthorization(QStringLiteral("u"), QStringLiteral("p")),
              QByteArray("Basic dTpw"));
    EXPECT_TRUE(webpages::basicAuthorization(QString(), QString()).isEmpty());
}

TEST(BrowserCommands, UrlGrammar) {
    const struct {
        const char* url;
        ParsedUrl::Kind kind;
        const char* name;
        const char* parameters;
    } cases[] = {
        {"vorlune:PLAY?x", ParsedUrl::Command, "PLAY", "x"},
        {"VORLUNE:play?x", ParsedUrl::Command, "PLAY", "x"},
        {"vorlune:play?play", ParsedUrl::Command, "PLAY", ""},
        {"vorlune:play?PLAY", ParsedUrl::Command, "PLAY", ""},
        {"vorlune:next?3?4", ParsedUrl::Command, "NEXT", "3?4"},
        {"vorlune:options", ParsedUrl::Command, "OPTIONS", ""},
        {"vorlune:Resource?PlayList_Html", ParsedUrl::Resource, "playlist_html", ""},
        {"vorlune://x", ParsedUrl::Other, "", ""},
        {"VORLUNE://x", ParsedUrl::Other, "", ""},
        {"http://vorlune:80/", ParsedUrl::Other, "", ""},
        {"file:///tmp/a.tmp", ParsedUrl::Other, "", ""},
    };
    for (const auto& c : cases) {
        const ParsedUrl p = browsercmd::parse(QString::fromLatin1(c.url));
        EXPECT_EQ(p.kind, c.kind) << c.url;
        EXPECT_EQ(p.name, QLatin1String(c.name)) << c.url;
        EXPECT_EQ(p.parameters, QLatin1String(c.parameters)) << c.url;
    }
}

TEST(BrowserCommands, DebounceSkipsGroupOneOnlyForTheSameUrl) {
    browsercmd::Protocol protocol;
    const struct {
        const char* url;
        int invocations;
        bool toggleAfter;
    } steps[] = {
        {"vorlune:copy?1", 1, true},  {"vorlune:copy?1", 0, false},  {"vorlune:copy?1", 1, true},
        {"vorlune:stop", 1, false},   {"vorlune:stop", 1, true},     {"vorlune:options", 1, false},
        {"vorlune:options", 1, true}, {"vorlune:unknown", 0, false}, {"vorlune:copy", 0, true},
    };
    for (const auto& s : steps) {
        const auto d = protocol.handle(QString::fromLatin1(s.url));
        EXPECT_EQ(d.invocations.size(), s.invocations) << s.url;
        EXPECT_EQ(protocol.debounceToggle(), s.toggleAfter) << s.url;
    }
}

TEST(BrowserCommands, CommandsAndTheirArguments) {
    browsercmd::Protocol protocol;
    QString playing;
    protocol.currentLine = [&playing] { return playing; };
    auto run = [&protocol](const char* url) {
        const auto d = protocol.handle(QString::fromLatin1(url));
        protocol.handle(QStringLiteral("vorlune:reset")); // leaves the debounce clear
        protocol.handle(QStringLiteral("vorlune:reset2"));
        return d.invocations;
    };
    using L = QList<Invocation>;
    EXPECT_EQ(run("vorlune:next?3"), (L{{"NEXT", "3", false}}));
    EXPECT_EQ(run("vorlune:next?abc"), (L{{"NEXT", "1", false}}));
    EXPECT_EQ(run("vorlune:prev"), (L{{"PREV", "1", false}}));
    EXPECT_EQ(run("vorlune:play?play"), L{});
    EXPECT_EQ(run("vorlune:options"), (L{{"OPTIONS", "4", false}}));
    EXPECT_EQ(run("vorlune:showbrainlist"), (L{{"SHOWBRAINLIST", "", false}}));
    EXPECT_EQ(run("vorlune:properties"), L{}); // nothing plays
    playing = QStringLiteral("Rock 1:\\A b\\ü.mp3");
    EXPECT_EQ(run("vorlune:properties"), (L{{"PLAYINGPROPERTIES", "Rock 1:\\A b\\ü.mp3", false}}));
    EXPECT_EQ(protocol.selection(), QStringLiteral("Rock%201:\\A%20b\\%C3%BC.mp3"));
    // A bare COPY finds the selection PROPERTIES left; PLAY takes it away.
    EXPECT_EQ(run("vorlune:copy?1"), (L{{"COPY", protocol.selection(), true}}));
    EXPECT_EQ(run("vorlune:properties?a=R:%5Cx.mp3&R:%5Cy.mp3"),
              (L{{"PROPERTIES", "R:\\x.mp3", false}}));
    EXPECT_EQ(run("vorlune:play?R:%5Cz.mp3"), (L{{"PLAY", "R:%5Cz.mp3", true}}));
    EXPECT_TRUE(protocol.selection().isEmpty());
    EXPECT_EQ(run("vorlune:remember?R:%5Cw.mp3"), (L{{"REMEMBER", "R:%5Cw.mp3", true}}));
    EXPECT_EQ(browsercmd::titleLines(QStringLiteral("R:%5Ca%20b.mp3&&%20&S:%5Cc.mp3")),
              (QStringList{"R:\\a b.mp3", "S:\\c.mp3"}));
    // A line with a control character is no title: it would write lines of its own.
    for (const char* hostile :
         {"R:%5Ca.mp3%0D%0AMEDIATYPE::LAN::%5C%5Chost%5Cs", "R:%5Cb%0ALABEL::x", "R:%5Cc%0D.mp3",
          "R:%5Ct%09.mp3", "R:%5Cn%00.mp3", "R:%5Cd%7F.mp3"})
        EXPECT_EQ(browsercmd::titleLines(QLatin1String(hostile) + QLatin1String("&S:%5Cc.mp3")),
                  QStringList{"S:\\c.mp3"})
            << hostile;
}

TEST(FtpListing, ListsFoldersAndTitlesWithoutCredentials) {
    const QByteArray listing = "drwxr-xr-x   2 u g  4096 Jan  1 10:00 Rock & Pop\r\n"
                               "-rw-r--r--   1 u g  1234 Jan  1  2020 <b>.mp3\r\n"
                               "drwxr-xr-x   2 u g  4096 Jan  1 10:00 ..\r\n"
                               "01-02-20  10:00AM       <DIR>          Jazz\r\n"
                               "01-02-20  10:00AM                 55 Zz - Yy.mp3\r\n"
                               "total 12\r\n";
    const QList<ftplisting::Entry> entries = ftplisting::parse(listing);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0].name, QStringLiteral("Jazz"));
    EXPECT_TRUE(entries[1].folder);
    EXPECT_EQ(entries[2].name, QStringLiteral("<b>.mp3"));
    const QString html =
        ftplisting::page(QStringLiteral("ftp://h:21/m/sub/"), QStringLiteral("ftp://h:21/m"),
                         QStringLiteral("Web 1"), entries);
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"ftp://h:21/m/sub/Rock%20%26%20Pop/\"")));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"vorlune:play?Web%201:\\sub\\%3Cb%3E.mp3\"")));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;.mp3")));
    EXPECT_TRUE(html.contains(QStringLiteral("href=\"ftp://h:21/m/\">[..]")));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>.mp3")));
}
