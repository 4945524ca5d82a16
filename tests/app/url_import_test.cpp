#include "entry.h"
#include "http_peer.h"
#include "index_file.h"
#include "small_file_system.h"
#include "test_env.h"
#include "url_import.h"
#include "version_info.h"

#include <QTcpServer>

#include <functional>
#include <iostream>

#include <gtest/gtest.h>

namespace {

using namespace urlimport;

QStringList readLines(const QString& path) {
    QStringList lines;
    QString error;
    EXPECT_TRUE(indexfile::readIndexFile(path, lines, &error)) << error.toStdString();
    return lines;
}

QByteArray indexFile(const QString& label, const QStringList& body) {
    QByteArray out = "vorher\r\nLABEL::Falsch\r\nBEGIN::CD\r\n";
    if (!label.isNull()) out += "LABEL::" + label.toUtf8() + "\r\n";
    for (const QString& line : body)
        out += line.toUtf8() + "\r\n";
    return out;
}

TEST(UrlImportDecode, PlusPercentAndBrokenEscapes) {
    EXPECT_EQ(decodeArgument(QStringLiteral("vorlune://h/Rock+1%2Fx.cd")),
              QStringLiteral("vorlune://h/Rock 1/x.cd"));
    EXPECT_EQ(decodeArgument(QStringLiteral("a%zzb")), QStringLiteral("ab"));
    EXPECT_EQ(decodeArgument(QStringLiteral("a%00b%4")), QStringLiteral("ab"));
    EXPECT_EQ(decodeArgument(QStringLiteral("%C3%A4%2b")), QStringLiteral("ä+"));
    EXPECT_EQ(decodeArgument(QStringLiteral("%E4")),
              QStringLiteral("ä")); // not UTF-8: Windows-1252
}

TEST(UrlImportDecode, UrlPartsAndTheImportScheme) {
    ParsedUrl u = parseUrl(QStringLiteral("VorLune://example.org:8080/a/b/c.cd"));
    EXPECT_EQ(u.scheme, QStringLiteral("VorLune"));
    EXPECT_EQ(u.host, QStringLiteral("example.org"));
    EXPECT_EQ(u.port, 8080);
    EXPECT_EQ(u.path, QStringLiteral("/a/b/"));
    EXPECT_EQ(u.document, QStringLiteral("c.cd"));
    u = parseUrl(QStringLiteral("vorlune://host/dir/"));
    EXPECT_EQ(u.path, QStringLiteral("/dir/"));
    EXPECT_TRUE(u.document.isEmpty());
    u = parseUrl(QStringLiteral("vorlune://host"));
    EXPECT_EQ(u.path, QStringLiteral("/"));
    EXPECT_TRUE(isImportArgument(QStringLiteral("VORLUNE%3A//x/")));
    EXPECT_FALSE(isImportArgument(QStringLiteral("/home/user/katalog")));
    EXPECT_FALSE(isImportArgument(QStringLiteral("http://x/")));
}

TEST(UrlImportNames, LabelSearchStartsAtTheMarker) {
    EXPECT_EQ(
        labelOf({QStringLiteral("LABEL::Vorher"), QStringLiteral("begin::cd"), QStringLiteral("x"),
                 QStringLiteral("label::Rock 1"), QStringLiteral("LABEL::Zweites")}),
        QStringLiteral("Rock 1"));
    EXPECT_TRUE(labelOf({QStringLiteral("LABEL::Ohne Marke")}).isEmpty());
    EXPECT_TRUE(labelOf({QStringLiteral("BEGIN::CDX"), QStringLiteral("LABEL::x")}).isEmpty());
}

TEST(UrlImportNames, TargetNamesStayInsideTheFolder) {
    EXPECT_EQ(targetFileName(QStringLiteral("Rock 1"), QString()), QStringLiteral("Rock 1.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("Best of.old"), QString()),
              QStringLiteral("Best of.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("index.cd"), QString()), QStringLiteral("index.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("../../etc/passwd"), QString()),
              QStringLiteral("passwd.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("C:\\Musik\\..\\Rock"), QString()),
              QStringLiteral("Rock.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral(".."), QStringLiteral("list.cd")),
              QStringLiteral("list.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("a/."), QStringLiteral("..")),
              QStringLiteral("index.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral(".versteckt"), QStringLiteral("doc.cd")),
              QStringLiteral("doc.cd"));
    EXPECT_EQ(targetFileName(QStringLiteral("Zeile\nzwei\t"), QString()),
              QStringLiteral("Zeilezwei.cd"));
    EXPECT_EQ(targetFileName(QString(300, QLatin1Char('x')), QStringLiteral("d.cd")),
              QStringLiteral("d.cd"));
}

TEST(UrlImportNames, WarningTextWithItsLineBreaks) {
    EXPECT_EQ(
        warningText(QStringLiteral("a\r\nb"), QStringLiteral("index.cd"), QStringLiteral("host")),
        QStringLiteral("Fehler beim Verbinden: a  b\n\r\n\r\"index.cd\" konnte nicht von \"host\" "
                       "heruntergeladen werden."));
}

class UrlImportServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GT(peer.port(), 0); }
    QString url(const QString& rest) const {
        return QStringLiteral("vorlune://127.0.0.1:%1/%2").arg(peer.port()).arg(rest);
    }
    Result import(const QString& rest) {
        return run(url(rest), env.dataDir(),
                   QStringLiteral("Vorlune, Version ") + MyVersionInfo::current().VersionString,
                   20);
    }
    IsolatedEnvironment env;
    HttpPeer peer;
};

TEST_F(UrlImportServer, FirstImportWritesUnderTheLabelWithTheUserAgent) {
    peer.put(QStringLiteral("lists/rock.cd"),
             indexFile(QStringLiteral("Rock 1"),
                       {QStringLiteral("Rock 1:\\A\\"), QStringLiteral("Rock 1:\\A\\x.mp3")}));
    const Result r = import(QStringLiteral("lists/rock.cd"));
    EXPECT_TRUE(r.attempted);
    EXPECT_TRUE(r.imported);
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.target, env.dataDir() + QStringLiteral("/Rock 1.cd"));
    const QStringList lines = readLines(r.target);
    EXPECT_TRUE(lines.contains(QStringLiteral("Rock 1:\\A\\x.mp3")));
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QLatin1String("STYLE::")));
    EXPECT_TRUE(peer.log().contains(QStringLiteral("/lists/rock.cd\tVorlune, Version ") +
                                    MyVersionInfo::current().VersionString));
}

TEST_F(UrlImportServer, ReimportMarksTheChanges) {
    peer.put(QStringLiteral("rock.cd"),
             indexFile(QStringLiteral("Rock"),
                       {QStringLiteral("Rock:\\A\\"), QStringLiteral("Rock:\\A\\alt.mp3")}));
    ASSERT_TRUE(import(QStringLiteral("rock.cd")).imported);
    peer.put(QStringLiteral("rock.cd"),
             indexFile(QStringLiteral("Rock"),
                       {QStringLiteral("Rock:\\A\\"), QStringLiteral("Rock:\\A\\neu.mp3")}));
    const Result r = import(QStringLiteral("rock.cd"));
    ASSERT_TRUE(r.imported);
    const QString all = readLines(r.target).join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QLatin1String("STYLE::#00AA00,BOLD::Rock:\\A\\neu.mp3")))
        << all.toStdString();
    EXPECT_TRUE(all.contains(QLatin1String("STYLE::#FF0000,STRIKEOUT::Rock:\\A\\alt.mp3")))
        << all.toStdString();
}

TEST_F(UrlImportServer, NoLabelUsesTheDocumentAndASlashMeansIndexCd) {
    peer.put(QStringLiteral("a/liste.cd"), indexFile(QString(), {QStringLiteral("X:\\t.mp3")}));
    Result r = import(QStringLiteral("a/liste.cd"));
    ASSERT_TRUE(r.imported);
    EXPECT_EQ(r.target, env.dataDir() + QStringLiteral("/liste.cd"));
    peer.put(QStringLiteral("dir/index.cd"), indexFile(QString(), {QStringLiteral("X:\\t.mp3")}));
    r = import(QStringLiteral("dir/"));
    ASSERT_TRUE(r.imported);
    EXPECT_EQ(r.target, env.dataDir() + QStringLiteral("/index.cd"));
    EXPECT_TRUE(peer.log().contains(QLatin1String("/dir/index.cd\t")));
}

TEST_F(UrlImportServer, HostileLabelCannotLeaveTheDataFolder) {
    peer.put(QStringLiteral("evil.cd"),
             indexFile(QStringLiteral("..\\../../boese/../x.y"), {QStringLiteral("X:\\t.mp3")}));
    Result r = import(QStringLiteral("evil.cd"));
    ASSERT_TRUE(r.imported);
    EXPECT_EQ(r.target, env.dataDir() + QStringLiteral("/x.cd"));
    peer.put(QStringLiteral("dots.cd"),
             indexFile(QStringLiteral("/.."), {QStringLiteral("X:\\t.mp3")}));
    r = import(QStringLiteral("dots.cd"));
    ASSERT_TRUE(r.imported);
    EXPECT_EQ(r.target, env.dataDir() + QStringLiteral("/dots.cd"));
    EXPECT_EQ(QDir(env.dataDir()).entryList(QDir::Files).size(), 2);
}

TEST_F(UrlImportServer, RedirectsAreFollowedAndHttpErrorsAreDownloadFailures) {
    peer.put(QStringLiteral("real.cd"), indexFile(QStringLiteral("Umgeleitet"), {}));
    Result r = import(QStringLiteral("redirect/real.cd"));
    EXPECT_TRUE(r.imported);
    EXPECT_TRUE(QFile::exists(env.dataDir() + QStringLiteral("/Umgeleitet.cd")));

    // Error answers carry a body that would import as "Fehlerseite.cd"; an older copy
    // of it must stay untouched.
    const QString older = env.dataDir() + QStringLiteral("/Fehlerseite.cd");
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BEGIN::CD\r\nLABEL::Fehlerseite\r\nFehlerseite:\\alt.mp3\r\n");
    }
    struct Case {
        QString path;
        QString document;
        QString statusLine; // empty: silent, nothing imported
    };
    const Case cases[] = {
        {QStringLiteral("gibtsnicht.cd"), QStringLiteral("gibtsnicht.cd"),
         QStringLiteral("HTTP/1.0 404 File not found")},
        {QStringLiteral("status/404/a.cd"), QStringLiteral("a.cd"),
         QStringLiteral("HTTP/1.0 404 Not Found")},
        {QStringLiteral("status/500/b.cd"), QStringLiteral("b.cd"),
         QStringLiteral("HTTP/1.0 500 Internal Server Error")},
        {QStringLiteral("status/403/"), QStringLiteral("index.cd"),
         QStringLiteral("HTTP/1.0 403 Forbidden")},
        {QStringLiteral("status/204/c.cd"), QStringLiteral("c.cd"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        r = import(c.path);
        EXPECT_TRUE(r.attempted);
        EXPECT_FALSE(r.imported);
        EXPECT_EQ(r.error, c.statusLine);
        QString warned;
        int calls = 0;
        const int code = entry::importStep(
            url(c.path), env.dataDir(),
            [&](const QString& text) {
                warned = text;
                ++calls;
            },
            20);
        if (c.statusLine.isEmpty()) {
            EXPECT_EQ(code, entry::kGoOn);
            EXPECT_EQ(calls, 0);
        } else {
            EXPECT_EQ(code, 255);
            EXPECT_EQ(calls, 1);
            EXPECT_EQ(warned, warningText(c.statusLine, c.document, QStringLiteral("127.0.0.1")));
        }
    }
    EXPECT_EQ(readLines(older).size(), 3);
    EXPECT_EQ(QDir(env.dataDir()).entryList(QDir::Files).size(), 2);
}

TEST_F(UrlImportServer, OversizedDownloadIsRefusedWithTheWarning) {
    QString warned;
    const int code = entry::importStep(
        url(QStringLiteral("huge.cd")), env.dataDir(), [&](const QString& text) { warned = text; },
        60);
    EXPECT_EQ(code, 255);
    EXPECT_TRUE(warned.startsWith(QLatin1String("Fehler beim Verbinden: ")))
        << warned.toStdString();
    EXPECT_TRUE(warned.endsWith(QStringLiteral(
        "\n\r\n\r\"huge.cd\" konnte nicht von \"127.0.0.1\" heruntergeladen werden.")));
    EXPECT_TRUE(QDir(env.dataDir()).entryList(QDir::Files).isEmpty());
}

// A download that worked but cannot be stored is no connection fault, and an old copy
// it cannot read or replace stays as it was (its change marks would be lost).
TEST_F(UrlImportServer, AnImportThatCannotBeStoredKeepsTheOldCopy) {
    SmallFileSystem fs(128);
    peer.put(QStringLiteral("rock.cd"),
             indexFile(QStringLiteral("Rock"), {QStringLiteral("Rock:\\A\\neu.mp3")}));
    const QByteArray old = indexFile(QStringLiteral("Rock"), {QStringLiteral("Rock:\\A\\alt.mp3")});
    struct Case {
        const char* name;
        std::function<bool(const QString& dataDir)> spoil; // false: cannot be set up here
    } cases[] = {
        {"old copy is a folder",
         [](const QString& d) { return QDir().mkpath(d + QStringLiteral("/Rock.cd")); }},
        {"old copy is a dangling link",
         [](const QString& d) {
             return QFile::link(d + QStringLiteral("/weg.cd"), d + QStringLiteral("/Rock.cd"));
         }},
        {"full disk",
         [&fs, &old](const QString& d) {
             return fs.mounted() && putFile(d + QStringLiteral("/Rock.cd"), old) && fs.fill();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dataDir = QString::fromLatin1(c.name) == QLatin1String("full disk")
                                    ? fs.path()
                                    : env.path(QString::fromLatin1(c.name).replace(u' ', u'_'));
        QDir().mkpath(dataDir);
        if (!c.spoil(dataDir)) {
            std::cout << "[  SKIPPED ] " << c.name << ": " << fs.why().toStdString() << "\n";
            continue;
        }
        const QFileInfo before(dataDir + QStringLiteral("/Rock.cd"));
        const QByteArray bytesBefore = fileBytes(before.filePath());
        const QStringList entriesBefore = fs.entries(dataDir);
        const Result r =
            run(url(QStringLiteral("rock.cd")), dataDir, QStringLiteral("Vorlune"), 20);
        EXPECT_FALSE(r.imported);
        EXPECT_FALSE(r.error.isEmpty());
        EXPECT_FALSE(r.warning.contains(QLatin1String("Verbinden"))) << r.warning.toStdString();
        EXPECT_TRUE(r.warning.contains(QLatin1String("rock.cd"))) << r.warning.toStdString();
        const QFileInfo after(before.filePath());
        EXPECT_EQ(after.isDir(), before.isDir());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        EXPECT_EQ(fileBytes(after.filePath()), bytesBefore);
        EXPECT_EQ(fs.entries(dataDir), entriesBefore);
    }
}

TEST(UrlImportFailure, ConnectionErrorGivesExitCode255AndWritesNothing) {
    IsolatedEnvironment env;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close(); // nothing listens there now
    QString warned;
    int calls = 0;
    const int code = entry::importStep(
        QStringLiteral("vorlune://127.0.0.1:%1/x/").arg(port), env.dataDir(),
        [&](const QString& text) {
            warned = text;
            ++calls;
        },
        10);
    EXPECT_EQ(code, 255);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(warned.contains(
        QStringLiteral("\"index.cd\" konnte nicht von \"127.0.0.1\" heruntergeladen werden.")));
    EXPECT_TRUE(QDir(env.dataDir()).entryList(QDir::Files).isEmpty());
    // Not an import: the entry goes on.
    EXPECT_EQ(entry::importStep(env.path(), env.dataDir(), {}, 10), entry::kGoOn);
}

TEST(EntryCatalogue, FirstArgumentFolderOrDataFolder) {
    IsolatedEnvironment env;
    EXPECT_EQ(entry::catalogDir(env.path(), QStringLiteral("/d")), QDir::cleanPath(env.path()));
    EXPECT_EQ(entry::catalogDir(env.path(QStringLiteral("nicht-da")), QStringLiteral("/d")),
              QStringLiteral("/d"));
    EXPECT_EQ(entry::catalogDir(QStringLiteral("vorlune://x/"), QStringLiteral("/d")),
              QStringLiteral("/d"));
    EXPECT_EQ(entry::catalogDir(QString(), QStringLiteral("/d")), QStringLiteral("/d"));
}

} // namespace
