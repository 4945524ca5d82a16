#pragma once

#include <QString>

#include <functional>

// The MPEG frame scan that measures a title's length, and the time texts.
namespace titlescan {

struct ScanResult {
    qint64 lengthMs = -1; // -1: unknown
    qint64 fileSize = 0;  // bytes; 0 when the file cannot be opened
    int bitRate = 0;      // average kbps; 0 when the scan found nothing or was abandoned
    bool abandoned = false;
};

// Gets the progress (0..100) whenever it changes; returning false abandons the scan.
using Progress = std::function<bool(int percent)>;

// Counts MPEG audio frame header candidates over the whole file and derives the
// average bit rate and the length from them.
ScanResult ScanTitleLength(const QString& fileName, const Progress& progress = {});

// The same on bytes in memory (fileSize = bytes.size()).
ScanResult scanBytes(const char* data, qint64 size);

// Milliseconds as H:MM:SS, hours unpadded.
QString FormatPlayTime(qint64 ms);

// The times of the tick at a position: elapsed, "-" remaining, total, the clock text
// for the time mode (0 elapsed, 1 remaining) and the position label "clock/total".
struct PlayTimes {
    QString elapsed;
    QString remaining;
    QString total;
    QString clock;
    QString seekpos;
};
PlayTimes playTimes(qint64 positionMs, qint64 lengthMs, int timeMode);

// "128 kbps", or "ca. 131 kbps" when the rate is no multiple of 32; empty when the
// length is unknown.
QString bitRateText(qint64 fileSize, qint64 lengthMs);

} // namespace titlescan
