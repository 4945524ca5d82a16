#include "transfer_status.h"

#include <cmath>

namespace transferstatus {

QString formatRemaining(qint64 seconds) {
    if (seconds < 0) seconds = 0;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds % 3600) / 60;
    const qint64 s = seconds % 60;
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(h)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

QString formatSpeed(double bytesPerSecond, const QLocale& locale) {
    static const char* const units[] = {"Byte", "kB", "MB", "GB", "TB"};
    int unit = 0;
    double speed = bytesPerSecond < 0 ? 0 : bytesPerSecond;
    while (speed >= 1024 && unit < 4) {
        speed /= 1024;
        ++unit;
    }
    const int decimals = unit < 2 ? unit : 2;
    return locale.toString(speed, 'f', decimals) + u' ' + QLatin1StringView(units[unit]);
}

} // namespace transferstatus

QString TransferMeter::baseText() const {
    return direction_ == Download ? QStringLiteral("Datei herunterladen...")
                                  : QStringLiteral("Datei hochladen...");
}

void TransferMeter::start(Direction direction, qint64 maximum, qint64 nowMs) {
    direction_ = direction;
    maximum_ = maximum;
    value_ = 0;
    startMs_ = lastUpdateMs_ = nowMs;
    remainingSeconds_ = -1;
    status_ = baseText();
    remaining_ = QStringLiteral("(?:?"
                                "?)");
    speed_ = QStringLiteral("(?) Byte/s");
}

bool TransferMeter::update(qint64 bytesSoFar, qint64 nowMs) {
    value_ = bytesSoFar;
    if (nowMs - lastUpdateMs_ < 500) return false;
    lastUpdateMs_ = nowMs;
    const double seconds = double(nowMs - startMs_) / 1000.0;
    const double speed = double(bytesSoFar) / (seconds + 0.001);
    if (speed > 0) remainingSeconds_ = qint64(std::ceil(double(maximum_ - bytesSoFar) / speed));
    remaining_ = remainingSeconds_ < 0 ? QStringLiteral("(?:?"
                                                        "?)")
                                       : transferstatus::formatRemaining(remainingSeconds_);
    speed_ = transferstatus::formatSpeed(speed, locale_) + QStringLiteral("/s");
    status_ = baseText() + QStringLiteral(" (noch ") + remaining_ + QStringLiteral(" bei ") +
              speed_ + u')';
    return true;
}
