#include "text_codec.h"

#include <cstring>

namespace textcodec {

namespace {

// 0x80..0x9F of Windows-1252. The five unassigned bytes map to the C1 control of the
// same value, as the platform's converters do, so that they survive a round trip.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool allAscii(const char* p, qsizetype n) {
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL) return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80) return false;
    return true;
}

} // namespace

bool isValidUtf8(const char* data, qsizetype size) {
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < size) {
        // Skip ASCII runs quickly.
        if (i + 8 <= size) {
            quint64 w;
            std::memcpy(&w, s + i, 8);
            if (!(w & 0x8080808080808080ULL)) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > size) return false;
        for (int k = 1; k < len; ++k) {
            const unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

QString decodeWindows1252(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        d[i] = (c >= 0x80 && c < 0xA0) ? kHighTable[c - 0x80] : char16_t(c);
    }
    return out;
}

int windows1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int k = 0; k < 32; ++k)
        if (kHighTable[k] == c) return 0x80 + k;
    return -1;
}

bool encodeWindows1252(QStringView text, QByteArray& out) {
    QByteArray buf(text.size(), Qt::Uninitialized);
    char* d = buf.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = windows1252Byte(text[i].unicode());
        if (b < 0) return false;
        d[i] = static_cast<char>(b);
    }
    out = std::move(buf);
    return true;
}

QString decodeIndexText(QByteArrayView bytes) {
    const char* p = bytes.data();
    qsizetype n = bytes.size();
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
        // fromUtf8 would drop further marks at the start too: they belong to the text.
        QString marks;
        qsizetype at = 3;
        while (n - at >= 3 && std::memcmp(p + at, "\xEF\xBB\xBF", 3) == 0) {
            marks += QChar(0xFEFF);
            at += 3;
        }
        return marks + QString::fromUtf8(p + at, n - at);
    }
    if (allAscii(p, n)) return QString::fromLatin1(p, n);
    if (isValidUtf8(p, n)) return QString::fromUtf8(p, n);
    return decodeWindows1252(bytes);
}

QByteArray encodeIndexText(QStringView text) {
    // Windows-1252 only when the reader takes it for that again: bytes that happen to be
    // UTF-8 (or to begin with its mark) would read as other characters.
    QByteArray out;
    if (encodeWindows1252(text, out) && !out.startsWith("\xEF\xBB\xBF") &&
        (allAscii(out.constData(), out.size()) || !isValidUtf8(out.constData(), out.size())))
        return out;
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QStringList splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    const QChar* d = text.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i].unicode();
        if (c == u'\n' || c == u'\r') {
            lines.append(QString(d + start, i - start));
            if (c == u'\r' && i + 1 < n && d[i + 1] == u'\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) lines.append(QString(d + start, n - start));
    return lines;
}

QStringList decodeIndexLines(QByteArrayView bytes) {
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    // A byte order mark: decoded whole, as decodeIndexText does.
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) return splitLines(decodeIndexText(bytes));
    enum { Latin1, Utf8, Cp1252 } codec = Latin1;
    if (!allAscii(p, n)) codec = isValidUtf8(p, n) ? Utf8 : Cp1252;
    // CR and LF never occur inside a multi-byte sequence: lines decode alike.
    const auto decode = [&](qsizetype from, qsizetype len) {
        switch (codec) {
        case Latin1:
            return QString::fromLatin1(p + from, len);
        case Utf8: {
            // fromUtf8 drops a byte order mark at the start; inside the text it is kept.
            QString bom;
            while (len >= 3 && std::memcmp(p + from, "\xEF\xBB\xBF", 3) == 0) {
                bom += QChar(0xFEFF);
                from += 3;
                len -= 3;
            }
            return bom.isEmpty() ? QString::fromUtf8(p + from, len)
                                 : bom + QString::fromUtf8(p + from, len);
        }
        default:
            return decodeWindows1252(QByteArrayView(p + from, len));
        }
    };
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '\n' || c == '\r') {
            lines.append(decode(start, i - start));
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) lines.append(decode(start, n - start));
    return lines;
}

QString joinLinesCrLf(const QStringList& lines) {
    qsizetype total = 0;
    for (const QString& l : lines)
        total += l.size() + 2;
    QString out;
    out.reserve(total);
    for (const QString& l : lines) {
        out += l;
        out += QLatin1String("\r\n");
    }
    return out;
}

} // namespace textcodec
