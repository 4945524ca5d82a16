#pragma once

#include <QLocale>
#include <QString>

// Byte counts as the copy dialogs show them.
namespace sizetext {

// "1,5 kByte": units " ", " k", " M", " G", " T" with 0, 1, 2, 2, 2 decimals, at most
// five significant digits, no group separators.
QString human(qint64 bytes, const QLocale& locale = QLocale());

// "1.536 Byte": the count with group separators.
QString exact(qint64 bytes, const QLocale& locale = QLocale());

// "1,5 kByte (1.536 Byte)".
QString row(qint64 bytes, const QLocale& locale = QLocale());

} // namespace sizetext
