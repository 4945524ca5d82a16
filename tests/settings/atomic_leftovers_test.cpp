// Temporary files that a killed writer left behind are removed; those a live writer holds,
// recent ones and anything that merely looks similar stay.

#include "atomic_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { File, Folder, Link };

struct Entry {
    const char* name;
    Kind kind;
    bool old;    // last changed two minutes ago
    bool locked; // held by a live writer
    bool removed;
};

void age(const QByteArray& path) {
    const time_t then = ::time(nullptr) - 120;
    const struct timespec times[2] = {{then, 0}, {then, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0)
        << path.constData();
}

} // namespace

TEST(AtomicFile, LeftoversOfKilledWritersAreRemovedAndNothingElse) {
    const Entry entries[] = {
        {".vorlune-a1B2c3", Kind::File, true, false, true},
        {".vorlune-copy-Zz9Yy8", Kind::File, true, false, true},
        {".vorlune-x7Q2w1", Kind::File, false, false, false}, // maybe just begun
        {".vorlune-LOCKED", Kind::File, true, true, false},
        {".vorlune-copy-LOCKED", Kind::File, true, true, false},
        {".vorlune-copy-0123abcd", Kind::File, true, false, false}, // a share's name, not ours
        {".vorlune-abc", Kind::File, true, false, false},
        {".vorlune-abcdefg", Kind::File, true, false, false},
        {".vorlune-ab.def", Kind::File, true, false, false},
        {"vorlune-a1B2c3", Kind::File, true, false, false},
        {".vorlune-keep", Kind::File, true, false, false},
        {".vorlune-Folder", Kind::Folder, true, false, false},
        {".vorlune-LinkAb", Kind::Link, true, false, false},
        {"Titel.mp3", Kind::File, true, false, false},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile outside(dir.filePath("outside"));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("outside");
    outside.close();
    QList<int> holders;
    int expected = 0;
    for (const Entry& e : entries) {
        const QByteArray path = QFile::encodeName(dir.filePath(QString::fromLatin1(e.name)));
        if (e.kind == Kind::Folder) {
            ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
        } else if (e.kind == Kind::Link) {
            ASSERT_EQ(
                ::symlink(QFile::encodeName(outside.fileName()).constData(), path.constData()), 0);
        } else {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::write(fd, "part", 4), 4);
            if (e.locked) {
                atomicfile::holdWhileWriting(fd);
                holders << fd;
            } else {
                ::close(fd);
            }
        }
        if (e.old) age(path);
        expected += e.removed;
    }

    EXPECT_EQ(atomicfile::removeLeftovers(dir.path()), expected);
    for (const Entry& e : entries)
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QString::fromLatin1(e.name))) ||
                      QFileInfo(dir.filePath(QString::fromLatin1(e.name))).isSymLink(),
                  !e.removed)
            << e.name;
    EXPECT_TRUE(QFileInfo::exists(outside.fileName()));

    // The writer is gone: its files go too, at any age once asked so.
    for (int fd : holders)
        ::close(fd);
    EXPECT_EQ(atomicfile::removeLeftovers(dir.path(), 0), 3); // LOCKED, copy-LOCKED, x7Q2w1
    EXPECT_EQ(atomicfile::removeLeftovers(dir.path(), 0), 0);
}

TEST(AtomicFile, AWriteClearsItsFolderOfOldLeftoversOnly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray stale = QFile::encodeName(dir.filePath(".vorlune-Stale1"));
    const QByteArray held = QFile::encodeName(dir.filePath(".vorlune-Held12"));
    for (const QByteArray& path : {stale, held}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
        age(path);
    }
    const int holder = ::open(held.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    atomicfile::holdWhileWriting(holder);

    QString reason;
    ASSERT_TRUE(atomicfile::write(dir.filePath("einstellungen.json"), "{}", &reason))
        << reason.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(stale)));
    EXPECT_TRUE(QFileInfo::exists(QFile::decodeName(held)));
    ::close(holder);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({".vorlune-Held12", "einstellungen.json"}));
}
