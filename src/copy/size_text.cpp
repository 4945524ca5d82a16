#include "size_text.h"

#include <cmath>

namespace sizetext {

QString human(qint64 bytes, const QLocale& locale) {
    double value = double(bytes);
    const char* unit = " ";
    int decimals = 0;
    if (value > 1023) {
        unit = " k";
        value /= 1024;
        decimals = 1;
        for (const char* next : {" M", " G", " T"}) {
            if (value <= 999) break;
            unit = next;
            value /= 1024;
            decimals = 2;
        }
    }
    const int whole = value >= 1 ? int(std::floor(std::log10(value))) + 1 : 1;
    decimals = std::max(0, std::min(decimals, 5 - whole));
    QLocale plain = locale;
    plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', decimals) + QLatin1StringView(unit) + QStringLiteral("Byte");
}

QString exact(qint64 bytes, const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(bytes) + QStringLiteral(" Byte");
}

QString row(qint64 bytes, const QLocale& locale) {
    return human(bytes, locale) + QStringLiteral(" (") + exact(bytes, locale) + u')';
}

} // namespace sizetext
