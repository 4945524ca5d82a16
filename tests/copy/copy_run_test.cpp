#include "copy_run.h"
#include "file_copy.h"
#include "media_access.h"
#include "task_service.h"
#include "test_peers.h"
#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <sys/stat.h>

namespace {

QByteArray pattern(qint64 size, char seed) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(seed + (i * 131) % 251);
    return data;
}

// Files left under a folder whose names show a temporary copy.
QStringList leftovers(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (f.contains(QStringLiteral(".vorlune-copy-"))) found << f;
    }
    return found;
}

TEST(FileCopy, CopiesAndLeavesNoPartialFile) {
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src.bin"));
    const QByteArray data = pattern(3 * 1024 * 1024 + 17, 3);
    ASSERT_TRUE(writeFile(src, data));
    QDir().mkpath(dir.filePath(QStringLiteral("out")));

    struct Case {
        const char* name;
        QString destination;
        bool abort;
        filecopy::Result::Status status;
    };
    QDir().mkpath(dir.filePath(QStringLiteral("out/taken.bin/inner")));
    QFile::link(src, dir.filePath(QStringLiteral("out/link.bin")));
    const QString shm = QStringLiteral("/dev/shm");
    const Case cases[] = {
        {"plain", dir.filePath(QStringLiteral("out/a.bin")), false, filecopy::Result::Copied},
        {"replace", dir.filePath(QStringLiteral("out/a.bin")), false, filecopy::Result::Copied},
        {"aborted", dir.filePath(QStringLiteral("out/b.bin")), true, filecopy::Result::Aborted},
        {"directory in the way", dir.filePath(QStringLiteral("out/taken.bin")), false,
         filecopy::Result::Failed},
        {"missing folder", dir.filePath(QStringLiteral("nope/c.bin")), false,
         filecopy::Result::Failed},
        {"itself", src, false, filecopy::Result::SameFile},
        {"itself through a link", dir.filePath(QStringLiteral("out/link.bin")), false,
         filecopy::Result::SameFile},
    };
    for (const Case& c : cases) {
        std::atomic<bool> abort{c.abort};
        filecopy::Options options;
        options.abort = &abort;
        options.sync = true;
        const filecopy::Result r = filecopy::copyFile(src, c.destination, options);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.error.isEmpty(), c.status != filecopy::Result::Failed) << c.name;
        if (c.status == filecopy::Result::Copied) {
            EXPECT_EQ(readFile(c.destination), data) << c.name;
            EXPECT_EQ(r.bytes, data.size());
        }
        if (c.status == filecopy::Result::Aborted) {
            EXPECT_FALSE(QFile::exists(c.destination));
        }
        EXPECT_EQ(readFile(src), data) << c.name;
        EXPECT_TRUE(leftovers(dir.path()).isEmpty()) << c.name;
    }
    // Across file systems the data are the same.
    if (QFileInfo(shm).isWritable()) {
        QTemporaryDir other(shm + QStringLiteral("/copytest-XXXXXX"));
        ASSERT_TRUE(other.isValid());
        const QString there = other.filePath(QStringLiteral("x.bin"));
        EXPECT_EQ(filecopy::copyFile(src, there).status, filecopy::Result::Copied);
        EXPECT_EQ(readFile(there), data);
        const QString back = dir.filePath(QStringLiteral("out/back.bin"));
        EXPECT_EQ(filecopy::copyFile(there, back).status, filecopy::Result::Copied);
        EXPECT_EQ(readFile(back), data);
    }
}

// A medium folder per label under VORLUNE_MEDIA_ROOTS, a destination folder and the real
// media access with a scripted user for the insert-medium dialog.
class CopyRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        options.tempDir = temp.filePath(QStringLiteral("tmp"));
        QDir().mkpath(options.tempDir);
        dest = temp.filePath(QStringLiteral("ziel"));
        setup.pathTemplate = dest + QStringLiteral("/%C/%A/%T%E");
        setup.playlistFile = temp.filePath(QStringLiteral("liste.m3u"));
        setup.context.profile = QStringLiteral("Stick");
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(roots.join(u':')));
    }
    void TearDown() override { qunsetenv("VORLUNE_MEDIA_ROOTS"); }

    // A medium root with its identification file.
    QString addMedium(const QString& label) {
        const QString root = temp.filePath(QStringLiteral("medium%1").arg(roots.size()));
        QDir().mkpath(root);
        writeFile(root + u'/' + label + QStringLiteral(".id"), "MEDIATYPE::USB\r\n");
        roots << root;
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(roots.join(u':')));
        return root;
    }

    // Runs to the end; returns whether it completed.
    bool runToEnd(CopyRun& run, const QStringList& titles) {
        QSignalSpy finished(&run, &CopyRun::finished);
        EXPECT_TRUE(run.start(titles, setup));
        EXPECT_TRUE(finished.wait(20000));
        EXPECT_FALSE(run.isRunning());
        return !finished.isEmpty() && finished.first().first().toBool();
    }

    QStringList playlistLines() const {
        return QString::fromUtf8(readFile(setup.playlistFile)).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir temp;
    QStringList roots;
    QString dest;
    MediaAccess::Options options;
    ScriptedPrompts prompts;
    CopyRun::Setup setup;
};

TEST_F(CopyRunTest, CopiesSortedTitlesAndWritesThePlaylist) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    const QString pop = addMedium(QStringLiteral("Pop"));
    const QString mp3 = playbacktest::makeMp3(rock + QStringLiteral("/Queen"),
                                              QStringLiteral("Queen - Innuendo.mp3"), 3000);
    ASSERT_FALSE(mp3.isEmpty());
    const QByteArray ogg = pattern(5000, 1);
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Song.ogg"), ogg));
    ASSERT_TRUE(writeFile(pop + QStringLiteral("/a - b.mp2"), "not really an mp2"));

    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    QStringList status;
    QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock 1:\\Song.ogg"),
                               QStringLiteral("Rock 1:\\Queen\\Queen - Innuendo.mp3"),
                               QStringLiteral("Pop:\\a - b.mp2")}));
    EXPECT_EQ(prompts.waits, 0);
    EXPECT_EQ(readFile(dest + QStringLiteral("/Rock 1/Queen/Innuendo.mp3")), readFile(mp3));
    EXPECT_EQ(readFile(dest + QStringLiteral("/Rock 1/Song/Song.ogg")), ogg);
    EXPECT_EQ(readFile(dest + QStringLiteral("/Pop/a/b.mp2")), "not really an mp2");
    EXPECT_TRUE(QFile::exists(rock + QStringLiteral("/Song.ogg")));
    EXPECT_EQ(playlistLines(),
              QStringList({"#EXTM3U", "#EXTINF:0,a - b", dest + "/Pop/a/b.mp2",
                           "#EXTINF:3,Queen - Innuendo", dest + "/Rock 1/Queen/Innuendo.mp3",
                           "#EXTINF:,Song", dest + "/Rock 1/Song/Song.ogg"}))
        << playlistLines().join(u'|').toStdString();
    EXPECT_EQ(run.progress(), 3);
    EXPECT_EQ(status.last(), "Kopieren der Titel in Zielordner abgeschlossen. (3 Titel kopiert)");
    EXPECT_TRUE(leftovers(temp.path()).isEmpty());

    // The same titles again: nothing is entered twice.
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock 1:\\Song.ogg")}));
    EXPECT_EQ(playlistLines().size(), 7);
}

TEST_F(CopyRunTest, MoveDeletesOnlyCompleteCopiesAndSkipsTheSourceItself) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/A.ogg"), pattern(70000, 2)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/B.ogg"), pattern(9000, 4)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Self.ogg"), "self"));
    // B's destination is taken by a folder: its copy fails.
    setup.pathTemplate = dest + QStringLiteral("/%F");
    QDir().mkpath(dest + QStringLiteral("/B.ogg/inside"));
    setup.mode = CopyRun::Move;

    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    run.setRetryDelay(1000);
    QSignalSpy failed(&run, &CopyRun::copyFailed);
    QSignalSpy finished(&run, &CopyRun::finished);
    ASSERT_TRUE(
        run.start({QStringLiteral("Rock 1:\\B.ogg"), QStringLiteral("Rock 1:\\A.ogg")}, setup));
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_FALSE(failed.first().first().toString().isEmpty());
    EXPECT_EQ(run.failure(), failed.first().first().toString());
    EXPECT_EQ(run.queue().front(), "Rock 1:\\B.ogg");
    // A was first in the sorted queue and is moved.
    EXPECT_EQ(readFile(dest + QStringLiteral("/A.ogg")), pattern(70000, 2));
    EXPECT_FALSE(QFile::exists(rock + QStringLiteral("/A.ogg")));
    // The retry waits a second.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_GE(clock.elapsed(), 900);
    run.cancel(); // nothing is being copied: the run ends at once
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(readFile(rock + QStringLiteral("/B.ogg")), pattern(9000, 4));
    EXPECT_TRUE(QFileInfo(dest + QStringLiteral("/B.ogg")).isDir());
    EXPECT_TRUE(leftovers(temp.path()).isEmpty());
    EXPECT_EQ(playlistLines(), QStringList({"#EXTM3U", "#EXTINF:,A", dest + "/A.ogg"}));

    // A destination that is the source itself is skipped, and the source stays.
    setup.pathTemplate = rock + QStringLiteral("/%F");
    QStringList status;
    QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock 1:\\Self.ogg")}));
    EXPECT_EQ(readFile(rock + QStringLiteral("/Self.ogg")), "self");
    // Said when it happens, and kept in the final status.
    EXPECT_TRUE(status.filter(QStringLiteral("dieselbe Datei")).size() == 2)
        << status.join('|').toStdString();
    EXPECT_TRUE(status.last().contains(QStringLiteral("dieselbe Datei")));
}

TEST_F(CopyRunTest, AbsentMediumCancelledEndsTheRun) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/A.ogg"), "a"));
    prompts.onWait = [](const QString&, MediumWait&) { return QString(); };
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    QStringList status;
    QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
    EXPECT_FALSE(runToEnd(run, {QStringLiteral("Rock 1:\\A.ogg"), QStringLiteral("Weg:\\B.ogg"),
                                QStringLiteral("Zz:\\C.ogg")}));
    EXPECT_EQ(prompts.waits, 1);
    EXPECT_TRUE(QFile::exists(dest + QStringLiteral("/Rock 1/A/A.ogg")));
    EXPECT_EQ(status.last(), "Der Kopiervorgang wurde abgebrochen.");
    EXPECT_EQ(run.queue().size(), 2u);
    EXPECT_EQ(playlistLines(), QStringList({"#EXTM3U", "#EXTINF:,A", dest + "/Rock 1/A/A.ogg"}));
}

TEST_F(CopyRunTest, CancelDuringACopyFinishesItAndKeepsEarlierTitles) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    const QByteArray big = pattern(48 * 1024 * 1024, 9);
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/a.ogg"), "first"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/b.ogg"), big));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/c.ogg"), "third"));
    setup.pathTemplate = dest + QStringLiteral("/%F");
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    QObject::connect(&run, &CopyRun::copying, [&](const QString& file) {
        if (file.endsWith(QStringLiteral("b.ogg"))) run.cancel();
    });
    QSignalSpy ended(&run, &CopyRun::ended);
    EXPECT_FALSE(runToEnd(run, {QStringLiteral("Rock 1:\\c.ogg"), QStringLiteral("Rock 1:\\b.ogg"),
                                QStringLiteral("Rock 1:\\a.ogg")}));
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(readFile(dest + QStringLiteral("/b.ogg")), big);
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral("/c.ogg")));
    EXPECT_EQ(playlistLines(), QStringList({"#EXTM3U", "#EXTINF:,a", dest + "/a.ogg"}));
    EXPECT_TRUE(leftovers(temp.path()).isEmpty());
}

TEST_F(CopyRunTest, SkipAndCancelWhenSpaceIsShort) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/a.ogg"), pattern(4000, 1)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/b.ogg"), pattern(100, 1)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/c.ogg"), pattern(4000, 1)));
    setup.pathTemplate = dest + QStringLiteral("/%F");
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    run.setFreeSpaceFunction([](const QString&) { return qint64(1000); });
    QList<qint64> asked;
    int answers = 0;
    QObject::connect(&run, &CopyRun::spaceNeeded,
                     [&](const QString&, const QString& folder, qint64 need) {
                         EXPECT_EQ(folder, dest);
                         asked << need;
                         // Skip the first title that does not fit, cancel at the second.
                         QMetaObject::invokeMethod(
                             &run,
                             [&run, &answers] {
                                 run.answerSpace(answers++ == 0 ? CopyRun::Skip : CopyRun::Cancel);
                             },
                             Qt::QueuedConnection);
                     });
    EXPECT_FALSE(runToEnd(run, {QStringLiteral("Rock 1:\\a.ogg"), QStringLiteral("Rock 1:\\b.ogg"),
                                QStringLiteral("Rock 1:\\c.ogg")}));
    EXPECT_EQ(asked, QList<qint64>({4000, 4000}));
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral("/a.ogg")));
    EXPECT_TRUE(QFile::exists(dest + QStringLiteral("/b.ogg")));
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral("/c.ogg")));
    EXPECT_EQ(run.progress(), 2);
}

// Titles whose medium label names no plain file are still found and copied; a label that
// cannot name its identification file at all is reported by title and reason, and the
// other titles go on.
TEST_F(CopyRunTest, LabelsWithSeparatorsAreFoundAndUnfindableOnesReported) {
    const QString acdc = addMedium(QStringLiteral("AC-DC"));
    const QString pop = addMedium(QStringLiteral("Pop"));
    ASSERT_TRUE(writeFile(acdc + QStringLiteral("/Back in Black.ogg"), "acdc"));
    ASSERT_TRUE(writeFile(acdc + QStringLiteral("/Highway.ogg"), "highway"));
    ASSERT_TRUE(writeFile(pop + QStringLiteral("/Abba - SOS.ogg"), "sos"));
    const QString longLabel(241, u'x');
    setup.pathTemplate = dest + QStringLiteral("/%C/%F");
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    QStringList status;
    QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
    ASSERT_TRUE(runToEnd(
        run, {QStringLiteral("AC/DC:\\Back in Black.ogg"), QStringLiteral("AC\\DC:\\Highway.ogg"),
              longLabel + QStringLiteral(":\\Lost.ogg"), QStringLiteral("Pop:\\Abba - SOS.ogg")}));
    EXPECT_EQ(prompts.waits, 0);
    EXPECT_EQ(readFile(dest + QStringLiteral("/AC-DC/Back in Black.ogg")), "acdc");
    EXPECT_EQ(readFile(dest + QStringLiteral("/AC-DC/Highway.ogg")), "highway");
    EXPECT_EQ(readFile(dest + QStringLiteral("/Pop/Abba - SOS.ogg")), "sos");
    ASSERT_EQ(run.notes().size(), 1);
    EXPECT_TRUE(run.notes()[0].contains(QStringLiteral("\"Lost\"")));
    EXPECT_TRUE(run.notes()[0].contains(longLabel));
    EXPECT_TRUE(run.notes()[0].contains(QStringLiteral("zu lang")));
    EXPECT_TRUE(status.last().startsWith(QStringLiteral(
        "Kopieren der Titel in Zielordner abgeschlossen. (3 Titel kopiert, 1 übersprungen)")))
        << status.last().toStdString();
    EXPECT_TRUE(status.last().contains(run.notes()[0]));
    EXPECT_EQ(playlistLines().size(), 7);
}

// Failures no retry can mend leave their title out at once, with the reason, while the
// rest of the run goes on: a name longer than the file system takes, a source that is
// a FIFO without a writer (opening it would block for ever) or a folder.
TEST_F(CopyRunTest, TitlesThatCannotBeCopiedAreLeftOutWithTheirReason) {
    const QString rock = addMedium(QStringLiteral("Rock"));
    const QString longName = QString(200, u'n') + QStringLiteral(".ogg");
    ASSERT_TRUE(writeFile(rock + u'/' + longName, "long"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(rock + QStringLiteral("/Rohr.ogg")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(rock + QStringLiteral("/Ordner.ogg")));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Gut.ogg"), "gut"));
    // Twice the file name: the long one does not fit into one name.
    setup.pathTemplate = dest + QStringLiteral("/%T%F");
    const struct {
        QString title;
        QString reason;
    } cases[] = {
        {QStringLiteral("Rock:\\") + longName, filecopy::errorText(ENAMETOOLONG)},
        {QStringLiteral("Rock:\\Rohr.ogg"), filecopy::notRegularText()},
        {QStringLiteral("Rock:\\Ordner.ogg"), filecopy::notRegularText()},
    };
    QStringList titles{QStringLiteral("Rock:\\Gut.ogg")};
    for (const auto& c : cases)
        titles << c.title;
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    QSignalSpy failed(&run, &CopyRun::copyFailed);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(runToEnd(run, titles));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(failed.isEmpty()); // nothing was tried again
    EXPECT_EQ(readFile(dest + QStringLiteral("/GutGut.ogg")), "gut");
    EXPECT_EQ(run.copiedCount(), 1);
    EXPECT_EQ(run.progress(), 4);
    ASSERT_EQ(run.notes().size(), 3) << run.notes().join('|').toStdString();
    for (const auto& c : cases) {
        const QString name = pathtemplate::splitTitleLine(c.title).displayName;
        EXPECT_EQ(run.notes().filter(QStringLiteral("\"%1\"").arg(name)).size(), 1)
            << name.toStdString();
        EXPECT_EQ(run.notes().filter(c.reason).size(),
                  c.reason == filecopy::notRegularText() ? 2 : 1)
            << c.reason.toStdString();
    }
    EXPECT_TRUE(leftovers(temp.path()).isEmpty());
}

// Titles of one run that come out under one name (".." and "." both become "_", the same
// file name in two folders) get names of their own; the same title twice is copied once.
TEST_F(CopyRunTest, NameCollisionsInOneRunGetDistinctNames) {
    const QString rock = addMedium(QStringLiteral("Rock"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/...ogg"), "two dots"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/..ogg"), "one dot"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/A/Song.ogg"), "a"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/B/song.ogg"), "b"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/C/Song.ogg"), "c"));
    setup.pathTemplate = dest + QStringLiteral("/%T%E");
    MediaAccess access(options, &prompts);
    CopyRun run(&access);
    ASSERT_TRUE(runToEnd(
        run, {QStringLiteral("Rock:\\..ogg"), QStringLiteral("Rock:\\...ogg"),
              QStringLiteral("Rock:\\A\\Song.ogg"), QStringLiteral("Rock:\\B\\song.ogg"),
              QStringLiteral("Rock:\\C\\Song.ogg"), QStringLiteral("Rock:\\A\\Song.ogg")}));
    // Sorted: "...ogg" comes before "..ogg", A before B before C.
    const std::pair<const char*, QByteArray> expected[] = {
        {"/_.ogg", "two dots"}, {"/_ (2).ogg", "one dot"}, {"/Song.ogg", "a"},
        {"/song (2).ogg", "b"}, {"/Song (3).ogg", "c"},
    };
    for (const auto& [name, data] : expected)
        EXPECT_EQ(readFile(dest + QLatin1String(name)), data) << name;
    EXPECT_EQ(QDir(dest).entryList(QDir::Files).size(), 5);
    EXPECT_EQ(run.copiedCount(), 6);
    // A new run starts afresh: the same name is replaced, as any existing file is.
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock:\\C\\Song.ogg")}));
    EXPECT_EQ(readFile(dest + QStringLiteral("/Song.ogg")), "c");
}

// The final status keeps what went wrong on the way: titles left out, a playlist that
// could not be read or written.
TEST_F(CopyRunTest, FinalStatusKeepsSkipsAndPlaylistErrors) {
    const QString rock = addMedium(QStringLiteral("Rock"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Self.ogg"), "self"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Other.ogg"), "other"));
    ASSERT_TRUE(writeFile(temp.filePath(QStringLiteral("datei")), "no folder"));
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("ordner.m3u"))));
    const struct {
        const char* name;
        QString playlist;
        QString kept; // the playlist's part of the final status
    } cases[] = {
        {"playlist written", temp.filePath(QStringLiteral("liste.m3u")), QString()},
        {"playlist cannot be written", temp.filePath(QStringLiteral("datei/liste.m3u")),
         QStringLiteral("konnte nicht gespeichert werden")},
        {"playlist is a folder", temp.filePath(QStringLiteral("ordner.m3u")),
         QStringLiteral("kann nicht gelesen werden")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setup.playlistFile = c.playlist;
        // Self.ogg's destination is the source itself: skipped.
        setup.pathTemplate = rock + QStringLiteral("/%F");
        MediaAccess access(options, &prompts);
        CopyRun run(&access);
        QStringList status;
        QObject::connect(&run, &CopyRun::statusText, [&](const QString& s) { status << s; });
        ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock:\\Self.ogg")}));
        const QString last = status.last();
        EXPECT_TRUE(last.startsWith(QStringLiteral("Kopieren der Titel in Zielordner "
                                                   "abgeschlossen. (0 Titel kopiert, 1 "
                                                   "übersprungen)")))
            << last.toStdString();
        EXPECT_TRUE(last.contains(QStringLiteral("Titel \"Self\" übersprungen: Quelle und Ziel "
                                                 "sind dieselbe Datei.")))
            << last.toStdString();
        if (!c.kept.isEmpty()) {
            EXPECT_TRUE(last.contains(c.kept)) << last.toStdString();
            EXPECT_TRUE(last.contains(c.playlist)) << last.toStdString();
        }
        // A playlist that could not be read is left as it is, not written over.
        EXPECT_EQ(last.contains(QStringLiteral("gespeichert")),
                  c.kept.contains(QStringLiteral("gespeichert")))
            << last.toStdString();
        // Without anything left out the text is the plain one.
        setup.pathTemplate = dest + QStringLiteral("/%F");
        status.clear();
        ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock:\\Other.ogg")}));
        const QString plain =
            QStringLiteral("Kopieren der Titel in Zielordner abgeschlossen. (1 Titel kopiert)");
        if (c.kept.isEmpty())
            EXPECT_EQ(status.last(), plain);
        else
            EXPECT_TRUE(status.last().startsWith(plain + u' ') && status.last().contains(c.kept))
                << status.last().toStdString();
    }
}

// A source that blocks on opening (a FIFO without a writer, as on a mount that does not
// answer) neither keeps a cancelled run going nor holds up closing.
TEST_F(CopyRunTest, CancelAndClosingDoNotWaitForABlockingSource) {
    const QString rock = addMedium(QStringLiteral("Rock"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(rock + QStringLiteral("/Rohr.ogg")).constData(), 0600), 0);
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/Zz.ogg"), "zz"));
    setup.pathTemplate = dest + QStringLiteral("/%F");
    MediaAccess access(options, &prompts);
    QElapsedTimer clock;
    {
        CopyRun run(&access);
        QSignalSpy finished(&run, &CopyRun::finished);
        QObject::connect(&run, &CopyRun::copying, &run, [&] { run.cancel(); });
        ASSERT_TRUE(
            run.start({QStringLiteral("Rock:\\Rohr.ogg"), QStringLiteral("Rock:\\Zz.ogg")}, setup));
        ASSERT_TRUE(finished.wait(3000));
        EXPECT_FALSE(run.isRunning());
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 1500);

    // A wait that hangs on the worker (free space of a mount that does not answer): the
    // cancelled run ends within about a second, the next run gets a worker of its own,
    // and closing leaves the hanging one behind.
    std::atomic<bool> release{false};
    std::atomic<int> hanging{0};
    // However the test ends, the hanging calls end before what they use goes.
    const auto wakeUp = qScopeGuard([&] {
        release = true;
        EXPECT_TRUE(QTest::qWaitFor([&] { return hanging.load() == 0; }, 3000));
    });
    auto hang = [&](const QString&) -> qint64 {
        ++hanging;
        for (int i = 0; i < 3000 && !release; ++i)
            QThread::msleep(10);
        --hanging;
        return qint64(1) << 40;
    };
    {
        CopyRun run(&access);
        run.setFreeSpaceFunction(hang);
        QSignalSpy finished(&run, &CopyRun::finished);
        ASSERT_TRUE(run.start({QStringLiteral("Rock:\\Zz.ogg")}, setup));
        ASSERT_TRUE(QTest::qWaitFor([&] { return hanging.load() == 1; }, 3000));
        clock.start();
        run.cancel();
        ASSERT_TRUE(finished.wait(3000));
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_TRUE(run.notes().filter(QStringLiteral("\"Zz\"")).size() == 1)
            << run.notes().join('|').toStdString();
        EXPECT_FALSE(QFile::exists(dest + QStringLiteral("/Zz.ogg")));

        run.setFreeSpaceFunction({});
        ASSERT_TRUE(runToEnd(run, {QStringLiteral("Rock:\\Zz.ogg")}));
        EXPECT_EQ(readFile(dest + QStringLiteral("/Zz.ogg")), "zz");
        ASSERT_TRUE(QFile::remove(dest + QStringLiteral("/Zz.ogg")));

        run.setFreeSpaceFunction(hang);
        ASSERT_TRUE(run.start({QStringLiteral("Rock:\\Zz.ogg")}, setup));
        ASSERT_TRUE(QTest::qWaitFor([&] { return hanging.load() == 2; }, 3000));
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 2000);
    // The threads left behind wake up after the run is gone, stop, and leave nothing.
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return hanging.load() == 0; }, 3000));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral("/Zz.ogg")));
    EXPECT_TRUE(leftovers(temp.path()).isEmpty());
}

TEST_F(CopyRunTest, WebTitleIsFetchedFromLoopbackHttp) {
    QTemporaryDir www;
    const QByteArray song = pattern(70000, 7);
    ASSERT_TRUE(writeFile(www.path() + QStringLiteral("/musik/Queen/01 Innuendo.mp3"), song));
    PythonPeer http;
    ASSERT_TRUE(http.start(QStringLiteral("http_server.py"),
                           {www.path(), www.path() + QStringLiteral("/get.log"), "", ""}));
    MediaAccess access(options, &prompts);
    access.ConnectWebMedium(QStringLiteral("Web 1"),
                            QStringLiteral("http://127.0.0.1:%1/musik/").arg(http.port()));
    ASSERT_EQ(access.webDrives().size(), 1);
    setup.mode = CopyRun::Move; // a web title cannot be moved away: it is copied
    CopyRun run(&access);
    ASSERT_TRUE(runToEnd(run, {QStringLiteral("Web 1:\\Queen\\01 Innuendo.mp3")}));
    EXPECT_EQ(readFile(dest + QStringLiteral("/Web 1/01 Innuendo/01 Innuendo.mp3")), song);
    EXPECT_EQ(readFile(www.path() + QStringLiteral("/musik/Queen/01 Innuendo.mp3")), song);
    const QStringList lines = playlistLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("#EXTINF:"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",01 Innuendo")));
}

} // namespace

TEST_F(CopyRunTest, EachRunIsACancellableJobOfTheTaskService) {
    const QString rock = addMedium(QStringLiteral("Rock 1"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/a.ogg"), "first"));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/b.ogg"), pattern(48 * 1024 * 1024, 9)));
    ASSERT_TRUE(writeFile(rock + QStringLiteral("/c.ogg"), "third"));
    setup.pathTemplate = dest + QStringLiteral("/%F");
    MediaAccess access(options, &prompts);
    TaskService tasks;
    CopyRun run(&access);
    run.setTaskService(&tasks);
    // The copy work runs on the service's copy lane.
    QSet<QString> workedOn;
    QMutex workedOnMutex;
    run.setFreeSpaceFunction([&](const QString& folder) {
        const QMutexLocker lock(&workedOnMutex);
        workedOn << QThread::currentThread()->objectName();
        return filecopy::freeSpace(folder);
    });
    const QStringList titles = {QStringLiteral("Rock 1:\\c.ogg"), QStringLiteral("Rock 1:\\b.ogg"),
                                QStringLiteral("Rock 1:\\a.ogg")};
    struct Case {
        bool cancelAtB; // cancelled through the service when b.ogg starts
        bool ok;
        qint64 lastDone;
    } cases[] = {{false, true, 3}, {true, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cancelAtB);
        QDir(dest).removeRecursively();
        QList<qint64> done;
        QList<bool> ends;
        tasks::Id job = 0;
        QObject::connect(&tasks, &TaskService::started, &run, [&](tasks::Id id, tasks::Kind kind) {
            EXPECT_EQ(kind, tasks::Kind::Copy);
            job = id;
        });
        QObject::connect(&tasks, &TaskService::progressed, &run,
                         [&](tasks::Id, qint64 d, qint64 total) {
                             EXPECT_EQ(total, 3);
                             done << d;
                         });
        QObject::connect(&tasks, &TaskService::finished, &run,
                         [&](tasks::Id, bool ok) { ends << ok; });
        const auto copying = QObject::connect(&run, &CopyRun::copying, [&](const QString& file) {
            if (c.cancelAtB && file.endsWith(QStringLiteral("b.ogg"))) {
                EXPECT_TRUE(tasks.cancel(job));
            }
        });
        EXPECT_EQ(runToEnd(run, titles), c.ok);
        QObject::disconnect(copying);
        tasks.disconnect(&run);
        EXPECT_EQ(ends, QList<bool>{c.ok});
        ASSERT_FALSE(done.isEmpty());
        EXPECT_EQ(done.first(), 0);
        EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
        EXPECT_EQ(done.last(), c.lastDone);
        EXPECT_EQ(tasks.count(), 0);
        // Cancelled: the copy under way completed, the rest was left out.
        EXPECT_EQ(QFile::exists(dest + QStringLiteral("/c.ogg")), !c.cancelAtB);
    }
    EXPECT_EQ(workedOn, QSet<QString>{"copy"});
}
