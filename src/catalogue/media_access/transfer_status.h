#pragma once

#include <QLocale>
#include <QString>

// Status texts of a running transfer: remaining time and speed, refreshed at most every
// half second.
namespace transferstatus {

// "n:ss" below an hour, "h:nn:ss" from then on.
QString formatRemaining(qint64 seconds);

// Speed in bytes per second as "<number> <unit>": divided by 1024 while it is 1024 or
// more, units Byte, kB, MB, GB, TB, with 0, 1, 2, 2, 2 decimals.
QString formatSpeed(double bytesPerSecond, const QLocale& locale = QLocale());

} // namespace transferstatus

class TransferMeter {
public:
    enum Direction { Download, Upload };

    explicit TransferMeter(const QLocale& locale = QLocale()) : locale_(locale) {}

    // maximum: the announced length, or the expected size when none is announced.
    void start(Direction direction, qint64 maximum, qint64 nowMs);
    void setMaximum(qint64 maximum) { maximum_ = maximum; }

    // Returns true when the status text changed (at most every 500 ms).
    bool update(qint64 bytesSoFar, qint64 nowMs);

    qint64 maximum() const { return maximum_; }
    qint64 value() const { return value_; }
    QString statusText() const { return status_; }
    QString remainingText() const { return remaining_; }
    QString speedText() const { return speed_; }

    // "Datei herunterladen..." or "Datei hochladen..."
    QString baseText() const;

private:
    QLocale locale_;
    Direction direction_ = Download;
    qint64 maximum_ = 0;
    qint64 value_ = 0;
    qint64 startMs_ = 0;
    qint64 lastUpdateMs_ = 0;
    qint64 remainingSeconds_ = -1;
    QString status_;
    QString remaining_;
    QString speed_;
};
