#include "tallyer.h"

#include "index_file.h"

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

TEST(TallyerMounts, MountTableAndLongestMountPoint) {
    const QByteArray table = "/dev/sda1 / ext4 rw,relatime 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "/dev/sdb1 /media/usb vfat rw 0 0\n"
                             "/dev/sdc1 /media/usb\\040stick vfat rw 0 0\n"
                             "/dev/sdd1 /media/usb/inner ext4 rw 0 0\n";
    const QStringList mounts = parseMountPoints(table);
    EXPECT_EQ(mounts, (QStringList{QStringLiteral("/"), QStringLiteral("/proc"),
                                   QStringLiteral("/media/usb"), QStringLiteral("/media/usb stick"),
                                   QStringLiteral("/media/usb/inner")}));

    EXPECT_EQ(mountPointFor(QStringLiteral("/media/usb/Music"), mounts),
              QStringLiteral("/media/usb"));
    EXPECT_EQ(mountPointFor(QStringLiteral("/media/usb"), mounts), QStringLiteral("/media/usb"));
    EXPECT_EQ(mountPointFor(QStringLiteral("/media/usb/inner/x"), mounts),
              QStringLiteral("/media/usb/inner"));
    EXPECT_EQ(mountPointFor(QStringLiteral("/media/usb stick/a"), mounts),
              QStringLiteral("/media/usb stick"));
    // A mount point holds a path only at a folder boundary.
    EXPECT_EQ(mountPointFor(QStringLiteral("/media/usb2/Music"), mounts), QStringLiteral("/"));
    EXPECT_EQ(mountPointFor(QStringLiteral("/home/u"), {}), QStringLiteral("/"));
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

TEST(TallyerListing, DuplicatesWithoutRegardToCaseAreListedOnce) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    touch(root, QStringLiteral("a.MP3"));
    touch(root, QStringLiteral("A.mp3"));
    touch(root, QStringLiteral("Sub/t.mp3"));
    touch(root, QStringLiteral("SUB/T.mp3"));
    touch(root, QStringLiteral("SUB/u.mp3"));
    // Of equal lines the one sorting first by code stays: capitals first.
    EXPECT_EQ(
        listMedia(root, QStringLiteral("Rock:")),
        (QStringList{QStringLiteral("Rock:\\A.mp3"), QStringLiteral("Rock:\\SUB\\"),
                     QStringLiteral("Rock:\\SUB\\T.mp3"), QStringLiteral("Rock:\\SUB\\u.mp3")}));

    QStringList lines = {QStringLiteral("b"),   QStringLiteral("B"),   QStringLiteral("a\\x"),
                         QStringLiteral("A\\"), QStringLiteral("a\\"), QStringLiteral("b")};
    sortUnique(lines);
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("A\\"), QStringLiteral("a\\x"), QStringLiteral("B")}));
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
        EXPECT_FALSE(sorted[i - 1].size() == sorted[i].size() &&
                     sorted[i - 1].compare(sorted[i], Qt::CaseInsensitive) == 0);
    }
    // Every text is there, itself or as an equal one without regard to case.
    for (const QString& line : lines)
        EXPECT_TRUE(sorted.contains(line, Qt::CaseInsensitive)) << qPrintable(line);
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

TEST(TallyerListing, PrefixFromTheRealMountPoint) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString base = QFileInfo(tmp.path()).canonicalFilePath();
    const QString mount = QStorageInfo(base).rootPath();
    ASSERT_FALSE(mount.isEmpty());
    EXPECT_EQ(systemMountPointFor(base), mount);

    QString below = mount == u"/" ? base : base.mid(mount.size());
    below.replace(u'/', u'\\');
    EXPECT_EQ(linePrefix(QStringLiteral("Rock"), base, false, systemMountPointFor(base)),
              QStringLiteral("Rock:") + below);
    EXPECT_EQ(systemMountPointFor(QStringLiteral("/")), QStringLiteral("/"));
}
