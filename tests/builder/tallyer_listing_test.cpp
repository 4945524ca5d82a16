#include "tallyer.h"

#include "index_file.h"
#include "media_roots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tallyer;

namespace {

void touch(const QString& root, const QString& relative) {
    const QString path = root + u'/' + relative;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
}

void makeDir(const QString& root, const QString& relative) {
    ASSERT_TRUE(QDir().mkpath(root + u'/' + relative));
}

} // namespace

TEST(TallyerMounts, MediaRootsOfTheMountTableAndTheLongestHolder) {
    const QByteArray table = "/dev/sda1 / ext4 rw,relatime 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "tmpfs /run/user/0 tmpfs rw 0 0\n"
                             "/dev/sdb1 /media/usb vfat rw 0 0\n"
                             "/dev/sdc1 /media/usb\\040stick vfat rw 0 0\n"
                             "/dev/sdd1 /media/usb/inner ext4 rw 0 0\n";
    const QStringList roots = mediaroots::parseMountTable(table);
    EXPECT_EQ(roots, (QStringList{QStringLiteral("/"), QStringLiteral("/media/usb"),
                                  QStringLiteral("/media/usb stick"),
                                  QStringLiteral("/media/usb/inner")}));

    // Folders that do not exist here stand for themselves through a temporary tree.
    QTemporaryDir tmp;
    const QString t = QFileInfo(tmp.path()).canonicalFilePath();
    for (const char* sub :
         {"media/usb/inner/x", "media/usb stick/a", "media/usb2/Music", "media/usb/Music"})
        makeDir(t, QLatin1String(sub));
    QStringList local;
    for (const QString& r : roots)
        local << (r == u"/" ? r : t + r);
    struct Case {
        const char* path;
        QString root;
    };
    const Case cases[] = {
        {"/media/usb/Music", t + QStringLiteral("/media/usb")},
        {"/media/usb", t + QStringLiteral("/media/usb")},
        {"/media/usb/inner/x", t + QStringLiteral("/media/usb/inner")},
        {"/media/usb stick/a", t + QStringLiteral("/media/usb stick")},
        // A root holds a path only at a folder boundary.
        {"/media/usb2/Music", QStringLiteral("/")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(mediaroots::rootHolding(t + QLatin1String(c.path), local), c.root);
    }
    EXPECT_EQ(mediaroots::rootHolding(QStringLiteral("/home/u"), {}), QString());
}

TEST(TallyerMounts, LinePrefixKeepsThePathBelowTheMountPoint) {
    const QString label = QStringLiteral("Rock");
    EXPECT_EQ(linePrefix(label, QStringLiteral("/media/usb/Music"), true, QString()),
              QStringLiteral("Rock:"));
    EXPECT_EQ(
        linePrefix(label, QStringLiteral("/media/usb/Music"), false, QStringLiteral("/media/usb")),
        QStringLiteral("Rock:\\Music"));
    EXPECT_EQ(
        linePrefix(label, QStringLiteral("/media/usb/A/B"), false, QStringLiteral("/media/usb")),
        QStringLiteral("Rock:\\A\\B"));
    EXPECT_EQ(linePrefix(label, QStringLiteral("/media/usb"), false, QStringLiteral("/media/usb")),
              QStringLiteral("Rock:"));
    EXPECT_EQ(linePrefix(label, QStringLiteral("/home/u/Music"), false, QStringLiteral("/")),
              QStringLiteral("Rock:\\home\\u\\Music"));
    EXPECT_EQ(linePrefix(label, QStringLiteral("/"), false, QStringLiteral("/")),
              QStringLiteral("Rock:"));
}

TEST(TallyerListing, MediaExtensions) {
    for (const char* ext :
         {"MP3", "OGG",  "WAV", "MID",  "XM",  "IT",  "AVI",  "MOD", "S3M", "MP2", "MPG",
          "MPE", "MPEG", "VOC", "MIDI", "XMI", "RMI", "669",  "CDA", "STM", "CMF", "MTM",
          "ULT", "HMP",  "HMI", "MSS",  "MUS", "GMD", "MIDS", "MIZ", "HMZ", "WMV", "ASF"}) {
        const QByteArray upper = QByteArray("Titel.") + ext;
        EXPECT_TRUE(isMediaFileName(upper)) << upper.constData();
        EXPECT_TRUE(isMediaFileName(upper.toLower())) << upper.constData();
    }
    EXPECT_TRUE(isMediaFileName("a.b.Mp3"));
    EXPECT_TRUE(isMediaFileName(".mp3"));
    for (const char* name :
         {"mp3", "a.mp4", "a.flac", "a.mp3.bak", "a.mpegx", "a.", "a.m", "a.XMI2", "a.mp3 "})
        EXPECT_FALSE(isMediaFileName(name)) << name;
}

TEST(TallyerListing, ListsMediaAndTheFoldersThatHoldThem) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    touch(root, QStringLiteral("c.WMV"));
    touch(root, QStringLiteral("notes.txt"));
    touch(root, QStringLiteral("Best/a.mp3"));
    touch(root, QStringLiteral("Best/cover.jpg"));
    touch(root, QStringLiteral("Best/Live/b.Ogg"));
    touch(root, QStringLiteral("VORLUNE/x.mp3"));
    touch(root, QStringLiteral("Sub/vorlune/y.mp3"));
    touch(root, QStringLiteral("Sub/z.mid"));
    touch(root, QStringLiteral("docs/readme.txt"));
    makeDir(root, QStringLiteral("empty/one/two"));
    touch(root, QStringLiteral("deep/one/two/d.MPEG"));
    touch(root, QStringLiteral(".versteckt/.h.xm"));
    touch(root, QStringLiteral("Über/ä.wav"));

    const QStringList expected = {
        QStringLiteral("Rock:\\.versteckt\\"),
        QStringLiteral("Rock:\\.versteckt\\.h.xm"),
        QStringLiteral("Rock:\\Best\\"),
        QStringLiteral("Rock:\\Best\\a.mp3"),
        QStringLiteral("Rock:\\Best\\Live\\"),
        QStringLiteral("Rock:\\Best\\Live\\b.Ogg"),
        QStringLiteral("Rock:\\c.WMV"),
        QStringLiteral("Rock:\\deep\\"),
        QStringLiteral("Rock:\\deep\\one\\"),
        QStringLiteral("Rock:\\deep\\one\\two\\"),
        QStringLiteral("Rock:\\deep\\one\\two\\d.MPEG"),
        QStringLiteral("Rock:\\Sub\\"),
        QStringLiteral("Rock:\\Sub\\z.mid"),
        QStringLiteral("Rock:\\Über\\"),
        QStringLiteral("Rock:\\Über\\ä.wav"),
    };
    EXPECT_EQ(listMedia(root, QStringLiteral("Rock:")), expected);

    // Without the root flag the prefix carries the base folder's own path.
    const QStringList below =
        listMedia(root + QStringLiteral("/Best"), QStringLiteral("Rock:\\Best"));
    EXPECT_EQ(below, (QStringList{QStringLiteral("Rock:\\Best\\a.mp3"),
                                  QStringLiteral("Rock:\\Best\\Live\\"),
                                  QStringLiteral("Rock:\\Best\\Live\\b.Ogg")}));

    // A tree without media gives nothing; a missing folder too.
    EXPECT_TRUE(listMedia(root + QStringLiteral("/empty"), QStringLiteral("Rock:")).isEmpty());
    EXPECT_TRUE(listMedia(root + QStringLiteral("/docs"), QStringLiteral("Rock:")).isEmpty());
    EXPECT_TRUE(listMedia(root + QStringLiteral("/fehlt"), QStringLiteral("Rock:")).isEmpty());
}

TEST(TallyerListing, NamesDifferingInCaseAreDifferentFiles) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    touch(root, QStringLiteral("a.MP3"));
    touch(root, QStringLiteral("A.mp3"));
    touch(root, QStringLiteral("Sub/t.mp3"));
    touch(root, QStringLiteral("SUB/T.mp3"));
    touch(root, QStringLiteral("SUB/u.mp3"));
    // Equal without regard to case sorts capitals first; every file keeps its line.
    EXPECT_EQ(listMedia(root, QStringLiteral("Rock:")),
              (QStringList{QStringLiteral("Rock:\\A.mp3"), QStringLiteral("Rock:\\a.MP3"),
                           QStringLiteral("Rock:\\SUB\\"), QStringLiteral("Rock:\\Sub\\"),
                           QStringLiteral("Rock:\\SUB\\T.mp3"), QStringLiteral("Rock:\\Sub\\t.mp3"),
                           QStringLiteral("Rock:\\SUB\\u.mp3")}));

    // Only lines that are exactly equal are dropped.
    QStringList lines = {QStringLiteral("b"),   QStringLiteral("B"),   QStringLiteral("a\\x"),
                         QStringLiteral("A\\"), QStringLiteral("a\\"), QStringLiteral("b")};
    sortUnique(lines);
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("A\\"), QStringLiteral("a\\"), QStringLiteral("a\\x"),
                           QStringLiteral("B"), QStringLiteral("b")}));
}

TEST(TallyerListing, SortFollowsTheCatalogueOrder) {
    // Random texts over letters in both cases, umlauts, separators and the characters
    // around the backslash.
    const QString alphabet = QStringLiteral("aAbBäÄöÖßẞ\\ .~_[]0Zz");
    QRandomGenerator random(4242);
    QStringList lines;
    for (int i = 0; i < 4000; ++i) {
        QString s = QStringLiteral("R:\\");
        const int length = random.bounded(1, 7);
        for (int k = 0; k < length; ++k)
            s += alphabet.at(random.bounded(int(alphabet.size())));
        lines << s;
    }
    QStringList sorted = lines;
    sortUnique(sorted, 3);
    for (qsizetype i = 1; i < sorted.size(); ++i) {
        EXPECT_LT(indexfile::compareCatalogue(sorted[i - 1], sorted[i]), 0)
            << qPrintable(sorted[i - 1]) << " / " << qPrintable(sorted[i]);
        EXPECT_NE(sorted[i - 1], sorted[i]);
    }
    // Every text is there as itself: texts differing in case only are different names.
    for (const QString& line : lines)
        EXPECT_TRUE(sorted.contains(line, Qt::CaseSensitive)) << qPrintable(line);
    // The same with the whole text as key.
    QStringList again = lines;
    sortUnique(again);
    EXPECT_EQ(again, sorted);
}

TEST(TallyerListing, SymbolicLinksAreFollowedAndLoopsEnd) {
    QTemporaryDir tmp;
    QTemporaryDir outside;
    ASSERT_TRUE(tmp.isValid() && outside.isValid());
    const QString root = tmp.path();
    touch(root, QStringLiteral("a/x.mp3"));
    touch(outside.path(), QStringLiteral("e.mp3"));
    ASSERT_TRUE(QFile::link(QStringLiteral(".."), root + QStringLiteral("/a/up")));
    ASSERT_TRUE(QFile::link(root, root + QStringLiteral("/a/self")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/a"), root + QStringLiteral("/b")));
    ASSERT_TRUE(QFile::link(outside.path(), root + QStringLiteral("/ext")));
    ASSERT_TRUE(
        QFile::link(outside.path() + QStringLiteral("/e.mp3"), root + QStringLiteral("/l.mp3")));
    ASSERT_TRUE(
        QFile::link(root + QStringLiteral("/fehlt.mp3"), root + QStringLiteral("/tot.txt")));

    // "b" shows "a" once more below the base; the links back up are not entered.
    EXPECT_EQ(listMedia(root, QStringLiteral("R:")),
              (QStringList{QStringLiteral("R:\\a\\"), QStringLiteral("R:\\a\\x.mp3"),
                           QStringLiteral("R:\\b\\"), QStringLiteral("R:\\b\\x.mp3"),
                           QStringLiteral("R:\\ext\\"), QStringLiteral("R:\\ext\\e.mp3"),
                           QStringLiteral("R:\\l.mp3")}));
}

TEST(TallyerListing, PrefixFromTheMediaRoots) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString media = QFileInfo(tmp.path()).canonicalFilePath();
    makeDir(media, QStringLiteral("Rock/Best"));
    const QString base = media + QStringLiteral("/Rock/Best");
    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(media));
    EXPECT_EQ(mediaRootFor(base), media);
    EXPECT_EQ(linePrefix(QStringLiteral("Rock"), base, false, mediaRootFor(base)),
              QStringLiteral("Rock:\\Rock\\Best"));
    qunsetenv("VORLUNE_MEDIA_ROOTS");
    // Without it the system's roots count; "/" is always one of them or the fallback.
    EXPECT_EQ(mediaRootFor(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_NE(mediaRootFor(base), media);
}
