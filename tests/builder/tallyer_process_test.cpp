#include "tallyer.h"

#include "index_file.h"
#include "media_roots.h"
#include "small_file_system.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

// The built tool, run as a process.
namespace {

struct Result {
    int exitCode = -1;
    QString out;
};

class TallyerProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work_.isValid());
        ASSERT_TRUE(runtime_.isValid());
        ASSERT_TRUE(media_.isValid());
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        return env;
    }

    void start(QProcess& p, const QStringList& args, const QString& mediaRoots = {},
               const QString& workDir = {}) const {
        p.setProgram(QStringLiteral(TALLYER_PATH));
        p.setArguments(args);
        p.setWorkingDirectory(workDir.isEmpty() ? work_.path() : workDir);
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("VORLUNE_MEDIA_ROOTS"));
        if (!mediaRoots.isEmpty()) env.insert(QStringLiteral("VORLUNE_MEDIA_ROOTS"), mediaRoots);
        p.setProcessEnvironment(env);
        p.start();
    }

    Result run(const QStringList& args) const {
        QProcess p;
        start(p, args);
        Result r;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return r;
        r.exitCode = p.exitCode();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        return r;
    }

    void touch(const QString& relative) const {
        const QString path = media_.filePath(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    QByteArray indexFile(const QString& label) const {
        QFile f(work_.filePath(label + QStringLiteral(".cd")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList indexLines(const QString& label) const {
        return QString::fromLatin1(indexFile(label)).split(QStringLiteral("\r\n"));
    }

    static QString banner() { return tallyer::bannerLine(QDate::currentDate().year()); }

    static QString block(const QStringList& message) {
        return tallyer::messageBlock(banner(), message).join(u'\n') + u'\n';
    }

    QTemporaryDir work_;
    QTemporaryDir runtime_;
    QTemporaryDir media_;
};

} // namespace

TEST_F(TallyerProcess, HelpForEightArgumentsOrMissingLabel) {
    const QStringList eight = {
        QStringLiteral("BASEDIR=") + media_.path(),
        QStringLiteral("LABEL=Rock"),
        QStringLiteral("TYPE=CDR"),
        QStringLiteral("AUTHOR=a"),
        QStringLiteral("VERSION=v"),
        QStringLiteral("COMMENT=c"),
        QStringLiteral("RES=x"),
        QStringLiteral("COMMENT=d"),
    };
    const Result many = run(eight);
    EXPECT_EQ(many.exitCode, 255);
    const QString head =
        banner() + QStringLiteral("\n\n Erstellt für ein Medium eine Titelliste, wie sie von\n"
                                  " \"Vorlune\" verwendet wird.\"\n\n"
                                  "Aufruf: TALLYER BASEDIR=<Stammverzeichnis>[\\] "
                                  "LABEL=<Medienbezeichnung>\n");
    EXPECT_TRUE(many.out.startsWith(head)) << qPrintable(many.out);
    EXPECT_TRUE(many.out.endsWith(QStringLiteral("enthält; ersetzt die drei Einzelangaben.\n")));

    const Result noLabel = run({QStringLiteral("BASEDIR=") + media_.path()});
    EXPECT_EQ(noLabel.exitCode, 255);
    EXPECT_EQ(noLabel.out, many.out);
    EXPECT_TRUE(QDir(work_.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(TallyerProcess, ErrorsEndWithTheirExitCodesAndWriteNothing) {
    const QString missing = media_.filePath(QStringLiteral("fehlt"));
    Result r = run({QStringLiteral("BASEDIR=") + missing, QStringLiteral("LABEL=Rock")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, block({QStringLiteral(" Fehler:   Kann Verzeichnis nicht finden:"),
                            QStringLiteral("            \"%1\"").arg(missing)}));

    r = run({QStringLiteral("LABEL=Rock:1"), QStringLiteral("BASEDIR=") + media_.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, block({QStringLiteral(" Fehler:   Ungültige Medien-Bezeichnung:"),
                            QStringLiteral("            \"Rock:1\"")}));

    r = run({QStringLiteral("BASEDIR=") + media_.path(), QStringLiteral("LABEL=Rock"),
             QStringLiteral("TYPE=dvd")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, block({QStringLiteral(" Fehler:   Ungültiger Medientyp: \"dvd\"")}));

    const QString info = work_.filePath(QStringLiteral("x.cdi"));
    r = run({QStringLiteral("BASEDIR=") + media_.path(), QStringLiteral("LABEL=Rock"),
             QStringLiteral("INFOFILE=") + info});
    EXPECT_EQ(r.exitCode, 8);
    EXPECT_EQ(r.out, block({QStringLiteral(" Fehler:   Datei nicht vorhanden:"),
                            QStringLiteral("            \"%1\"").arg(info)}));

    EXPECT_TRUE(QDir(work_.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(TallyerProcess, WritesTheIndexFileWithHeaderAndListing) {
    touch(QStringLiteral("Best/a.mp3"));
    touch(QStringLiteral("Best/b.txt"));
    touch(QStringLiteral("Über.mp3"));
    touch(QStringLiteral("VORLUNE/c.mp3"));
    const Result r =
        run({QStringLiteral("BASEDIR=") + media_.path() + u'\\', QStringLiteral("LABEL=Rock"),
             QStringLiteral("TYPE=cdr"), QStringLiteral("AUTHOR=<b>Ich</b> %DATE%"),
             QStringLiteral("VERSION=1.0"), QStringLiteral("COMMENT=Meine Lieder")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);

    const QByteArray expected = banner().toLatin1() + "\r\n"
                                                      "\r\n"
                                                      "BEGIN::CD\r\n"
                                                      "LABEL::Rock\r\n"
                                                      "AUTHOR::<b>Ich</b> %DATE%\r\n"
                                                      "VERSION::1.0\r\n"
                                                      "COMMENT::Meine Lieder\r\n"
                                                      "MEDIATYPE::CDR\r\n"
                                                      "Rock:\\Best\\\r\n"
                                                      "Rock:\\Best\\a.mp3\r\n"
                                                      "Rock:\\\xdc"
                                                      "ber.mp3\r\n";
    EXPECT_EQ(indexFile(QStringLiteral("Rock")), expected);
}

// Without a trailing separator the lines keep the path below the media root, by the
// definition vorlune finds titles with: the file resolves from the root that holds the
// medium's identification file. Roots from VORLUNE_MEDIA_ROOTS count; a tmpfs does not.
TEST_F(TallyerProcess, WithoutTrailingSeparatorThePathBelowTheMediaRootStays) {
    touch(QStringLiteral("Music/Best/a.mp3"));
    const QString media = QFileInfo(media_.path()).canonicalFilePath();
    const QString base = media + QStringLiteral("/Music");
    struct Case {
        const char* name;
        QString roots;        // VORLUNE_MEDIA_ROOTS
        QString expectedRoot; // where the identification file belongs
    };
    const QString tmpfsMedia = QStringLiteral("/dev/shm");
    const Case cases[] = {
        {"a folder named as a media root", media, media},
        {"a media root given through a link", work_.path() + QStringLiteral("/link"), media},
        {"no media root below the system's", QString(),
         mediaroots::rootHolding(base, mediaroots::mountRoots())},
    };
    ASSERT_TRUE(QFile::link(media, work_.path() + QStringLiteral("/link")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess p;
        start(p, {QStringLiteral("LABEL=Rock"), QStringLiteral("BASEDIR=") + base}, c.roots);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0);
        ASSERT_FALSE(c.expectedRoot.isEmpty());
        const QStringList lines = indexLines(QStringLiteral("Rock"));
        ASSERT_GE(lines.size(), 6);
        EXPECT_EQ(
            mediaroots::titleFilePath(c.expectedRoot, lines.at(5)),
            media_.filePath(QStringLiteral("Music/Best/a.mp3")).replace(media_.path(), media));
        // The root vorlune would use for this medium is that root.
        qputenv("VORLUNE_MEDIA_ROOTS", c.roots.toLocal8Bit());
        EXPECT_EQ(mediaroots::rootHolding(base, mediaroots::localRoots()), c.expectedRoot);
        qunsetenv("VORLUNE_MEDIA_ROOTS");
    }
    // A tmpfs is no media root: its mount point is never the medium part.
    if (QFileInfo(tmpfsMedia).isDir()) {
        const QString table = QStringLiteral("/dev/vda / ext4 rw 0 0\n"
                                             "tmpfs /dev/shm tmpfs rw 0 0\n"
                                             "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                                             "/dev/sdb1 /media/usb vfat rw 0 0\n");
        const QStringList roots = mediaroots::parseMountTable(table.toUtf8());
        EXPECT_FALSE(roots.contains(tmpfsMedia));
        EXPECT_EQ(mediaroots::rootHolding(tmpfsMedia, roots), QStringLiteral("/"));
    }
}

// Empty BASEDIR= or LABEL= values are refused on their own, not answered with help.
TEST_F(TallyerProcess, EmptyBaseOrLabelIsRefusedWithItsOwnCode) {
    struct Case {
        QStringList args;
        int exitCode;
        QString message;
    };
    const Case cases[] = {
        {{QStringLiteral("BASEDIR="), QStringLiteral("LABEL=Rock")},
         5,
         QStringLiteral(" Fehler:   Kein Verzeichnis angegeben (BASEDIR= ist leer).")},
        {{QStringLiteral("BASEDIR=") + media_.path(), QStringLiteral("LABEL=")},
         6,
         QStringLiteral(" Fehler:   Keine Medien-Bezeichnung angegeben (LABEL= ist leer).")},
        {{QStringLiteral("label="), QStringLiteral("basedir=")},
         5,
         QStringLiteral(" Fehler:   Kein Verzeichnis angegeben (BASEDIR= ist leer).")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, block({c.message}));
    }
    EXPECT_TRUE(QDir(work_.path()).entryList(QDir::Files).isEmpty());
}

// Names that differ in case only are different files; names that are not UTF-8 or hold
// control characters are reported and left out.
TEST_F(TallyerProcess, CaseTwinsStayAndNamesThatAreNotUtf8AreReported) {
    touch(QStringLiteral("A.mp3"));
    touch(QStringLiteral("a.mp3"));
    touch(QStringLiteral("Live/x.mp3"));
    touch(QStringLiteral("live/y.mp3"));
    touch(QStringLiteral("gut/\u00fc.mp3"));
    const QByteArray root = QFile::encodeName(media_.path());
    for (const QByteArray& bad :
         {root + "/b\xe4"
                 "d.mp3",
          root + "/Ordner \xff/t.mp3", root + "/z\r\nMEDIATYPE::LAN::\\\\host\\share\t.mp3"}) {
        ::mkdir(bad.left(bad.lastIndexOf('/')).constData(), 0755); // raw bytes, no decoding
        FILE* f = std::fopen(bad.constData(), "w");
        ASSERT_NE(f, nullptr) << bad.constData();
        std::fclose(f);
    }
    const Result r =
        run({QStringLiteral("BASEDIR=") + media_.path() + u'/', QStringLiteral("LABEL=Rock")});
    // Qt cannot remove names it cannot decode: they go first.
    ::unlink((root + "/b\xe4"
                     "d.mp3")
                 .constData());
    ::unlink((root + "/Ordner \xff/t.mp3").constData());
    ::unlink((root + "/z\r\nMEDIATYPE::LAN::\\\\host\\share\t.mp3").constData());
    ::rmdir((root + "/Ordner \xff").constData());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("b\\xe4d.mp3\""))) << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Ordner \\xff/\""))) << qPrintable(r.out);
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("z\\x0d\\x0aMEDIATYPE::LAN::\\\\host\\share\\x09.mp3\"")))
        << qPrintable(r.out);
    QFile file(work_.filePath(QStringLiteral("Rock.cd")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList lines;
    QString error;
    ASSERT_TRUE(indexfile::readIndexFile(file.fileName(), lines, &error));
    const QStringList listing = lines.mid(lines.indexOf(QStringLiteral("LABEL::Rock")) + 1);
    EXPECT_EQ(
        listing,
        (QStringList{QStringLiteral("Rock:\\A.mp3"), QStringLiteral("Rock:\\a.mp3"),
                     QStringLiteral("Rock:\\gut\\"), QStringLiteral("Rock:\\gut\\\u00fc.mp3"),
                     QStringLiteral("Rock:\\Live\\"), QStringLiteral("Rock:\\live\\"),
                     QStringLiteral("Rock:\\Live\\x.mp3"), QStringLiteral("Rock:\\live\\y.mp3")}));
}

TEST_F(TallyerProcess, ResourceGuessAndPlaceholders) {
    touch(QStringLiteral("a.mp3"));
    const QDate before = QDate::currentDate();
    const Result r =
        run({QStringLiteral("BASEDIR=") + media_.path() + u'/', QStringLiteral("LABEL=Netz"),
             QStringLiteral("RES=\\\\nas\\mp3"), QStringLiteral("VERSION=%date% und %Date%"),
             QStringLiteral("COMMENT=Stand: %HTMLDATE%")});
    const QDate after = QDate::currentDate();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              block({QStringLiteral(" Warnung:  Kein Medientyp angegeben, vermute \"LAN\" anhand"),
                     QStringLiteral("           der Ressource \"\\\\nas\\mp3\"...")}));

    const QStringList lines = indexLines(QStringLiteral("Netz"));
    EXPECT_TRUE(lines.contains(QStringLiteral("MEDIATYPE::LAN::\\\\nas\\mp3")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Netz:\\a.mp3")));
    const QString version = lines.value(4);
    ASSERT_TRUE(version.startsWith(QStringLiteral("VERSION::")));
    EXPECT_FALSE(version.contains(u'%'));
    const QString date = version.mid(9).section(QStringLiteral(" und "), 0, 0);
    EXPECT_FALSE(date.isEmpty());
    EXPECT_EQ(version, QStringLiteral("VERSION::%1 und %1").arg(date));
    const QString comment = lines.value(5);
    EXPECT_TRUE(comment == QStringLiteral("COMMENT::Stand: ") + tallyer::htmlDate(before) ||
                comment == QStringLiteral("COMMENT::Stand: ") + tallyer::htmlDate(after))
        << qPrintable(comment);
}

TEST_F(TallyerProcess, InfoFileTextsAndItsWarning) {
    touch(QStringLiteral("a.mp3"));
    const QString info = work_.filePath(QStringLiteral("m.cdi"));
    {
        QFile f(info);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Verlag\r\nV1\r\nBeschreibung\r\n");
    }
    const Result r =
        run({QStringLiteral("BASEDIR=") + media_.path() + u'/', QStringLiteral("LABEL=Info"),
             QStringLiteral("INFOFILE=") + info, QStringLiteral("AUTHOR=Manuell")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              block({QStringLiteral(" Warnung:  Benutze Daten aus \"%1\", ignoriere die").arg(info),
                     QStringLiteral("           manuell angegebenen Daten...")}));
    EXPECT_EQ(
        indexLines(QStringLiteral("Info")).mid(2, 6),
        (QStringList{QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::Info"),
                     QStringLiteral("AUTHOR::Verlag"), QStringLiteral("VERSION::V1"),
                     QStringLiteral("COMMENT::Beschreibung"), QStringLiteral("Info:\\a.mp3")}));
}

TEST_F(TallyerProcess, TellsARunningInstanceToReload) {
    touch(QStringLiteral("a.mp3"));
    QLocalServer server;
    ASSERT_TRUE(server.listen(runtime_.filePath(QStringLiteral("vorlune.sock"))));

    QProcess p;
    start(p, {QStringLiteral("BASEDIR=") + media_.path() + u'/', QStringLiteral("LABEL=Rock")});
    ASSERT_TRUE(server.waitForNewConnection(20000));
    QLocalSocket* client = server.nextPendingConnection();
    ASSERT_NE(client, nullptr);
    // The index file is complete before the message goes out.
    EXPECT_TRUE(indexFile(QStringLiteral("Rock")).endsWith("Rock:\\a.mp3\r\n"));
    client->write("VORLUNE 4242\n");
    ASSERT_TRUE(client->waitForBytesWritten(5000));
    QByteArray line;
    while (!line.contains('\n') && client->waitForReadyRead(5000))
        line += client->readAll();
    EXPECT_EQ(line, QByteArray("REFRESH 4242\n"));
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(TallyerProcess, NoRunningInstanceIsNoError) {
    touch(QStringLiteral("a.mp3"));
    // A socket file left behind by an ended instance.
    {
        QFile stale(runtime_.filePath(QStringLiteral("vorlune.sock")));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    const Result r =
        run({QStringLiteral("BASEDIR=") + media_.path() + u'/', QStringLiteral("LABEL=Rock")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(indexFile(QStringLiteral("Rock")).endsWith("Rock:\\a.mp3\r\n"));
}

// On a full disk the old index file stays as it was, and the tool says so and fails.
TEST_F(TallyerProcess, AFullDiskKeepsTheOldIndexFileAndFails) {
    SmallFileSystem fs(64);
    if (!fs.mounted()) GTEST_SKIP() << fs.why().toStdString();
    for (int i = 0; i < 400; ++i)
        touch(QStringLiteral("Alben/Titel mit einem langen Namen %1.mp3").arg(i));
    const QString target = fs.filePath(QStringLiteral("Rock.cd"));
    const QByteArray old = QByteArray("LABEL::Rock\r\n").repeated(60);
    ASSERT_TRUE(putFile(target, old));
    ASSERT_TRUE(fs.fill());
    QProcess p;
    start(p, {QStringLiteral("BASEDIR=") + media_.path(), QStringLiteral("LABEL=Rock")}, {},
          fs.path());
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), int(tallyer::ExitWriteFailed));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QLatin1String(" Fehler:   ")) && out.contains(target))
        << qPrintable(out);
    EXPECT_EQ(fileBytes(target), old);
    EXPECT_EQ(fs.entries(), QStringList{QStringLiteral("Rock.cd")});

    // With room again the same run writes the listing.
    fs.release();
    p.start();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << qPrintable(QString::fromLocal8Bit(p.readAllStandardOutput()));
    EXPECT_TRUE(fileBytes(target).contains("Titel mit einem langen Namen 399.mp3"));
}
