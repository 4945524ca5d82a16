#include "title_scan.h"

#include <QFile>

#include <cmath>
#include <cstring>
#include <vector>

namespace titlescan {
namespace {

constexpr int kBlock = 65536;
// MPEG-1 Layer III bit rates in bytes per millisecond, by bit-rate index 0..14.
constexpr int kBytesPerMs[15] = {0, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 24, 28, 32, 40};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

class Walker {
public:
    // Walks data[from, size) and returns where the next block should continue: the
    // offset of an incomplete candidate at the end (when more data follows), else size.
    qsizetype walk(const unsigned char* data, qsizetype from, qsizetype size, qint64 base,
                   bool last) {
        qsizetype i = from;
        while (i < size) {
            const void* hit = std::memchr(data + i, 0xFF, size_t(size - i));
            if (!hit) return size;
            const qsizetype at = static_cast<const unsigned char*>(hit) - data;
            if (at + 2 >= size) {
                if (!last) return at;
                return size;
            }
            const unsigned char b2 = data[at + 1];
            const unsigned char b3 = data[at + 2];
            if ((b2 & 0xF0) == 0xF0 && (b2 & 0x06) != 0 && (b3 >> 4) < 15 && ((b3 >> 2) & 3) < 3) {
                candidate(base + at, b3);
                i = at + 3;
            } else {
                i = at + 1;
            }
        }
        return size;
    }

    void candidate(qint64 offset, unsigned char b3) {
        const int index = b3 >> 4;
        ++count;
        sum += kBytesPerMs[index];
        if (havePrev && prevFree) {
            const qint64 distance = offset - prevOffset - (prevPadding ? 1 : 0);
            sum += distance * prevRate / 1152000;
        }
        havePrev = true;
        prevFree = index == 0;
        prevOffset = offset;
        prevPadding = (b3 & 0x02) != 0;
        prevRate = kSampleRates[(b3 >> 2) & 3];
    }

    qint64 count = 0;
    qint64 sum = 0;

private:
    bool havePrev = false;
    bool prevFree = false;
    qint64 prevOffset = 0;
    bool prevPadding = false;
    qint64 prevRate = 0;
};

void finish(ScanResult& result, const Walker& walker) {
    if (result.abandoned || walker.count == 0) return;
    const qint64 average = std::llround(double(walker.sum) / double(walker.count));
    if (average <= 0) return;
    result.lengthMs = result.fileSize / average;
    result.bitRate = int(average * 8);
}

} // namespace

ScanResult scanBytes(const char* data, qint64 size) {
    ScanResult result;
    result.fileSize = size;
    Walker walker;
    walker.walk(reinterpret_cast<const unsigned char*>(data), 0, size, 0, true);
    finish(result, walker);
    return result;
}

ScanResult ScanTitleLength(const QString& fileName, const Progress& progress) {
    ScanResult result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return result;
    result.fileSize = std::max<qint64>(0, file.size());
    // Two bytes of room before the block for a candidate cut by the block boundary.
    std::vector<unsigned char> buffer(kBlock + 2);
    Walker walker;
    qint64 passed = 0;
    qsizetype carry = 0;
    int lastPercent = -1;
    auto report = [&](qint64 bytes) {
        if (!progress) return true;
        const int percent = result.fileSize > 0
                                ? int(std::llround(double(bytes) / double(result.fileSize) * 100.0))
                                : 100;
        if (percent == lastPercent) return true;
        lastPercent = percent;
        return progress(percent);
    };
    for (;;) {
        if (!report(passed)) {
            result.abandoned = true;
            break;
        }
        const qint64 got = file.read(reinterpret_cast<char*>(buffer.data()) + carry, kBlock);
        if (got <= 0) break;
        const qsizetype size = carry + qsizetype(got);
        const bool last = file.atEnd();
        const qint64 base = passed - carry;
        const qsizetype rest = walker.walk(buffer.data(), 0, size, base, last);
        passed += got;
        carry = size - rest;
        if (carry > 0) std::memmove(buffer.data(), buffer.data() + rest, size_t(carry));
        if (!report(passed)) {
            result.abandoned = true;
            break;
        }
        if (last) break;
    }
    finish(result, walker);
    return result;
}

QString FormatPlayTime(qint64 ms) {
    if (ms < 0) ms = 0;
    const qint64 hours = ms / 3600000;
    const int minutes = int((ms / 60000) % 60);
    const int seconds = int((ms / 1000) % 60);
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

PlayTimes playTimes(qint64 positionMs, qint64 lengthMs, int timeMode) {
    PlayTimes t;
    t.elapsed = FormatPlayTime(positionMs);
    t.remaining = QLatin1Char('-') + FormatPlayTime(lengthMs - positionMs);
    t.total = FormatPlayTime(lengthMs);
    t.clock = timeMode == 1 ? t.remaining : t.elapsed;
    t.seekpos = t.clock + QLatin1Char('/') + t.total;
    return t;
}

QString bitRateText(qint64 fileSize, qint64 lengthMs) {
    if (lengthMs <= 0) return {};
    const qint64 kbps = std::llround(double(fileSize) * 8.0 / double(lengthMs));
    const QString number = QString::number(kbps) + QStringLiteral(" kbps");
    return kbps % 32 == 0 ? number : QStringLiteral("ca. ") + number;
}

} // namespace titlescan
