#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Index files are UTF-8 when they are valid UTF-8 (BOM optional), else Windows-1252.
// They are written in Windows-1252 when every character fits, else UTF-8 with BOM,
// so that nothing is ever lost.
namespace textcodec {

bool isValidUtf8(const char* data, qsizetype size);

QString decodeWindows1252(QByteArrayView bytes);

// Returns false (and leaves out untouched) when a character has no Windows-1252 byte.
bool encodeWindows1252(QStringView text, QByteArray& out);

// The Windows-1252 byte of one character, or -1.
int windows1252Byte(char16_t c);

QString decodeIndexText(QByteArrayView bytes);
QByteArray encodeIndexText(QStringView text);

// Splits at CR LF, CR or LF. A final line break gives no extra empty line.
QStringList splitLines(QStringView text);

// splitLines(decodeIndexText(bytes)), each line decoded on its own (no copy of the whole text).
QStringList decodeIndexLines(QByteArrayView bytes);

// Joins with CR LF after every line.
QString joinLinesCrLf(const QStringList& lines);

} // namespace textcodec
