#include "media_access.h"
#include "media_device.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

MediaDevice::Options silent(int openTimeoutMs = 10000) {
    MediaDevice::Options options;
    options.audioOutput = QStringLiteral("null");
    options.videoOutput = QStringLiteral("null");
    options.openTimeoutMs = openTimeoutMs;
    return options;
}

// True when the process has mapped a library whose file name holds `name`.
bool libraryMapped(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

bool fileOpenHere(const QString& path) {
    return MediaAccess::openFiles().contains(QFileInfo(path).canonicalFilePath());
}

} // namespace

TEST(MediaDevice, OpenAnswersLaterWithTheFileOrTheReason) {
    QTemporaryDir dir;
    const QString good = playbacktest::makeMp3(dir.path(), QStringLiteral("good.mp3"), 2000);
    ASSERT_FALSE(good.isEmpty()) << "lame is needed";
    const QString bad = dir.filePath(QStringLiteral("bad.mp3"));
    ASSERT_TRUE(playbacktest::writeFile(bad, QByteArray(4000, 'x')));
    struct Case {
        QString file;
        bool plays;
    } cases[] = {{good, true}, {bad, false}, {dir.filePath(QStringLiteral("none.mp3")), false}};
    MediaDevice device(silent());
    ASSERT_TRUE(device.isValid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        QSignalSpy opened(&device, &MediaDevice::opened);
        QSignalSpy failed(&device, &MediaDevice::openFailed);
        ASSERT_TRUE(device.open(c.file));
        EXPECT_TRUE(device.isOpening());
        EXPECT_EQ(device.mode(), MediaDevice::NotReady);
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() + failed.count() > 0; }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(opened.count(), c.plays ? 1 : 0);
        EXPECT_EQ(failed.count(), c.plays ? 0 : 1);
        EXPECT_FALSE(device.isOpening());
        if (!c.plays) {
            EXPECT_FALSE(failed.first().first().toString().isEmpty());
            EXPECT_EQ(device.mode(), MediaDevice::NotReady);
            continue;
        }
        EXPECT_EQ(device.fileName(), c.file);
        EXPECT_NEAR(double(device.length()), 2000.0, 100.0);
        EXPECT_EQ(device.mode(), MediaDevice::Stopped);
        device.play();
        EXPECT_EQ(device.mode(), MediaDevice::Playing);
        ASSERT_TRUE(QTest::qWaitFor([&] { return device.position() >= 300; }, 3000));
        device.pauseToggle();
        EXPECT_EQ(device.mode(), MediaDevice::Paused);
        const qint64 held = device.position();
        QTest::qWait(300);
        EXPECT_EQ(device.position(), held);
        device.seek(1500);
        EXPECT_EQ(device.position(), 1500);
        device.play();
        // The end of the file: stopped, still loaded.
        ASSERT_TRUE(QTest::qWaitFor([&] { return device.mode() == MediaDevice::Stopped; }, 3000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return device.position() >= 1900; }, 1000))
            << device.position();
    }
}

// In a process of its own (the other tests start libmpv): the library is opened with the
// first file, and a volume set before that is the one it plays at.
TEST(MediaDeviceDeathTest, StartsTheLibraryWithTheFirstFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir dir;
    const QString good = playbacktest::makeMp3(dir.path(), QStringLiteral("good.mp3"), 1000);
    ASSERT_FALSE(good.isEmpty()) << "lame is needed";
    const auto run = [&] {
        int failed = 0;
        MediaDevice device(silent());
        device.setVolume(40);
        if (libraryMapped("libmpv.so")) failed |= 1;
        QSignalSpy opened(&device, &MediaDevice::opened);
        if (!device.open(good)) failed |= 2;
        if (!libraryMapped("libmpv.so")) failed |= 4;
        if (!QTest::qWaitFor([&] { return opened.count() > 0; }, 5000)) failed |= 8;
        QTest::qWait(100);
        if (device.volume() != 40) failed |= 16;
        std::fflush(nullptr);
        std::_Exit(failed);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

TEST(MediaDevice, OpenNeverWaitsForTheFileAndANewerOpenWins) {
    QTemporaryDir dir;
    const QString good = playbacktest::makeMp3(dir.path(), QStringLiteral("good.mp3"), 2000);
    ASSERT_FALSE(good.isEmpty()) << "lame is needed";
    // A pipe nobody writes to: reading it blocks until a writer comes and goes.
    const QString pipe = dir.filePath(QStringLiteral("stuck.mp3"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    {
        MediaDevice device(silent(800));
        QSignalSpy opened(&device, &MediaDevice::opened);
        QSignalSpy failed(&device, &MediaDevice::openFailed);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(device.open(pipe));
        EXPECT_LT(clock.elapsed(), 200);
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.count() > 0; }, 3000));
        EXPECT_GE(clock.elapsed(), 700);
        EXPECT_EQ(opened.count(), 0);

        // A newer open replaces one still pending; only it answers.
        ASSERT_TRUE(device.open(pipe));
        ASSERT_TRUE(device.open(good));
        // Let the reader of the pipe go.
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() > 0; }, 5000));
        QTest::qWait(100);
        EXPECT_EQ(opened.count(), 1);
        EXPECT_EQ(failed.count(), 1);
        EXPECT_EQ(device.fileName(), good);
    }
}

TEST(MediaDevice, CloseLetsGoOfTheFile) {
    QTemporaryDir dir;
    const QString file = playbacktest::makeMp3(dir.path(), QStringLiteral("t.mp3"), 3000);
    ASSERT_FALSE(file.isEmpty()) << "lame is needed";
    MediaDevice device(silent());
    for (int round = 0; round < 3; ++round) {
        QSignalSpy opened(&device, &MediaDevice::opened);
        ASSERT_TRUE(device.open(file));
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() > 0; }, 5000));
        device.play();
        EXPECT_TRUE(fileOpenHere(file));
        EXPECT_TRUE(device.holdsFile());
        device.close();
        EXPECT_EQ(device.mode(), MediaDevice::NotReady);
        EXPECT_TRUE(device.waitReleased(3000));
        EXPECT_FALSE(device.holdsFile());
        EXPECT_FALSE(fileOpenHere(file));
    }
}
