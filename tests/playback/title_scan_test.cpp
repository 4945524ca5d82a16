#include "media_device.h"
#include "test_support.h"
#include "title_scan.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace titlescan;
using playbacktest::writeFile;

namespace {

void put(QByteArray& data, qsizetype at, const char* header) {
    data.replace(at, 3, QByteArray(header, 3));
}

} // namespace

TEST(TitleScan, ConstantRateHeadersGiveLengthAndRate) {
    // 128 kbps (index 9): 16 bytes per millisecond.
    QByteArray data(1600, '\0');
    for (int at = 0; at < 1600; at += 400)
        put(data, at, "\xFF\xFB\x90");
    const ScanResult r = scanBytes(data.constData(), data.size());
    EXPECT_EQ(r.lengthMs, 100);
    EXPECT_EQ(r.bitRate, 128);
    EXPECT_EQ(r.fileSize, 1600);
    EXPECT_FALSE(r.abandoned);
}

TEST(TitleScan, RejectedPatternsAndNoCandidatesGiveMinusOne) {
    QByteArray data(200, '\0');
    put(data, 0, "\xFF\xF9\x90");  // layer bits both zero
    put(data, 10, "\xFF\xFB\xF0"); // bit-rate index 15
    put(data, 20, "\xFF\xFB\x9C"); // sampling-rate index 3
    put(data, 30, "\xFF\xEB\x90"); // high nibble E
    const ScanResult r = scanBytes(data.constData(), data.size());
    EXPECT_EQ(r.lengthMs, -1);
    EXPECT_EQ(r.bitRate, 0);
    EXPECT_EQ(r.fileSize, 200);

    const ScanResult empty = scanBytes("", 0);
    EXPECT_EQ(empty.lengthMs, -1);
}

TEST(TitleScan, WalkIsByteByByteAndResumesAfterTheThirdByte) {
    // FF FF FB: the second byte passes, the third (index 15) fails; the walk then finds
    // the header that starts at the second FF.
    QByteArray data(100, '\0');
    data.replace(0, 4, QByteArray("\xFF\xFF\xFB\x90", 4));
    ScanResult r = scanBytes(data.constData(), data.size());
    EXPECT_EQ(r.bitRate, 128);
    EXPECT_EQ(r.lengthMs, 100 / 16);

    // Two headers back to back count twice: 40 and 4 bytes/ms average to 22.
    QByteArray pair(440, '\0');
    pair.replace(0, 6, QByteArray("\xFF\xFB\xE0\xFF\xFB\x10", 6));
    r = scanBytes(pair.constData(), pair.size());
    EXPECT_EQ(r.bitRate, 22 * 8);
    EXPECT_EQ(r.lengthMs, 440 / 22);
}

TEST(TitleScan, FreeFormatAddsDistanceTimesRateAndHonoursPadding) {
    // Free format at 48 kHz at 0, index 14 (40 bytes/ms) at 1176, index 3 (6) at 3000.
    // Without padding: 0 + 40 + 1176*48000/1152000 (= 49) + 6 = 95 -> average 32.
    QByteArray data(4000, '\0');
    put(data, 0, "\xFF\xFB\x04");
    put(data, 1176, "\xFF\xFB\xE4");
    put(data, 3000, "\xFF\xFB\x34");
    ScanResult r = scanBytes(data.constData(), data.size());
    EXPECT_EQ(r.bitRate, 256);
    EXPECT_EQ(r.lengthMs, 4000 / 32);

    // Padding on the free-format frame takes one byte off the distance: 48, average 31.
    put(data, 0, "\xFF\xFB\x06");
    r = scanBytes(data.constData(), data.size());
    EXPECT_EQ(r.bitRate, 248);
    EXPECT_EQ(r.lengthMs, 4000 / 31);

    // Free-format frames alone, close together, average 0: unknown.
    QByteArray close(50, '\0');
    put(close, 0, "\xFF\xFB\x00");
    put(close, 3, "\xFF\xFB\x00");
    r = scanBytes(close.constData(), close.size());
    EXPECT_EQ(r.lengthMs, -1);
    EXPECT_EQ(r.bitRate, 0);
}

TEST(TitleScan, FileScanFindsHeadersAcrossBlockBoundariesAndReportsProgress) {
    QTemporaryDir dir;
    // Headers cut by the 64 KiB block boundary after one and after two bytes.
    QByteArray data(200000, '\0');
    put(data, 65535, "\xFF\xFB\x90");
    put(data, 131070, "\xFF\xFB\x90");
    const QString file = dir.filePath(QStringLiteral("cut.mp3"));
    ASSERT_TRUE(writeFile(file, data));
    QList<int> progress;
    const ScanResult r = ScanTitleLength(file, [&](int p) {
        progress.append(p);
        return true;
    });
    EXPECT_EQ(r.fileSize, 200000);
    EXPECT_EQ(r.bitRate, 128);
    EXPECT_EQ(r.lengthMs, 200000 / 16);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.last(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.size(), 3);

    const ScanResult inMemory = scanBytes(data.constData(), data.size());
    EXPECT_EQ(inMemory.lengthMs, r.lengthMs);
}

TEST(TitleScan, AbandonedAndUnreadableScansGiveMinusOne) {
    QTemporaryDir dir;
    QByteArray data(300000, '\0');
    for (int at = 0; at < data.size(); at += 418)
        put(data, at, "\xFF\xFB\x90");
    const QString file = dir.filePath(QStringLiteral("a.mp3"));
    ASSERT_TRUE(writeFile(file, data));
    const ScanResult abandoned = ScanTitleLength(file, [](int p) { return p < 30; });
    EXPECT_TRUE(abandoned.abandoned);
    EXPECT_EQ(abandoned.lengthMs, -1);
    EXPECT_EQ(abandoned.bitRate, 0);
    EXPECT_EQ(abandoned.fileSize, 300000);

    const ScanResult whole = ScanTitleLength(file);
    EXPECT_EQ(whole.bitRate, 128);

    const ScanResult missing = ScanTitleLength(dir.filePath(QStringLiteral("none.mp3")));
    EXPECT_EQ(missing.lengthMs, -1);
    EXPECT_EQ(missing.fileSize, 0);
}

TEST(TitleScan, RealLameOutputMeasuresWithinOnePercent) {
    QTemporaryDir dir;
    for (int kbps : {128, 192}) {
        const QString mp3 =
            playbacktest::makeMp3(dir.path(), QStringLiteral("t%1.mp3").arg(kbps), 20000, kbps);
        ASSERT_FALSE(mp3.isEmpty()) << "lame is needed";
        const ScanResult r = ScanTitleLength(mp3);
        EXPECT_EQ(r.bitRate, kbps);
        EXPECT_NEAR(double(r.lengthMs), 20000.0, 200.0);

        MediaDevice device({QStringLiteral("null"), QStringLiteral("null"), 10000});
        QSignalSpy opened(&device, &MediaDevice::opened);
        ASSERT_TRUE(device.open(mp3));
        ASSERT_TRUE(opened.wait(5000));
        EXPECT_NEAR(double(device.length()), double(r.lengthMs), 200.0);
    }
}

TEST(TitleScan, TimeTexts) {
    EXPECT_EQ(FormatPlayTime(3725000), "1:02:05");
    EXPECT_EQ(FormatPlayTime(59000), "0:00:59");
    EXPECT_EQ(FormatPlayTime(59999), "0:00:59");
    EXPECT_EQ(FormatPlayTime(0), "0:00:00");
    EXPECT_EQ(FormatPlayTime(36000000), "10:00:00");
    EXPECT_EQ(FormatPlayTime(-500), "0:00:00");

    const PlayTimes remaining = playTimes(65000, 200000, 1);
    EXPECT_EQ(remaining.seekpos, "-0:02:15/0:03:20");
    EXPECT_EQ(remaining.clock, "-0:02:15");
    const PlayTimes elapsed = playTimes(65000, 200000, 0);
    EXPECT_EQ(elapsed.seekpos, "0:01:05/0:03:20");
    EXPECT_EQ(elapsed.remaining, "-0:02:15");
    EXPECT_EQ(elapsed.total, "0:03:20");
}

TEST(TitleScan, BitRateText) {
    EXPECT_EQ(bitRateText(4000000, 250000), "128 kbps");
    EXPECT_EQ(bitRateText(4100000, 250000), "ca. 131 kbps");
    EXPECT_EQ(bitRateText(6000000, 250000), "192 kbps");
    EXPECT_EQ(bitRateText(1000, 0), "");
    EXPECT_EQ(bitRateText(1000, -1), "");
}
