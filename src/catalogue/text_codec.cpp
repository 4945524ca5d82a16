#include "text_codec.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textcodec {

namespace {

// 0x80..0x9F of Windows-1252. The five unassigned bytes map to the C1 control of the
// same value, as the platform's converters do, so that they survive a round trip.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// True when a unit of d[0..n) is a surrogate, tested four units at a time: a lane of
// (unit & 0xF800) ^ 0xD800 is zero exactly for a surrogate.
bool hasSurrogate(const char16_t* d, qsizetype n) {
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        quint64 w;
        std::memcpy(&w, d + i, 8);
        w = (w & 0xF800F800F800F800ULL) ^ 0xD800D800D800D800ULL;
        if ((w - 0x0001000100010001ULL) & ~w & 0x8000800080008000ULL) return true;
    }
    for (; i < n; ++i)
        if (d[i] >= 0xD800 && d[i] <= 0xDFFF) return true;
    return false;
}

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
    // Bytes from 0x80 up by table: no test per byte.
    static constexpr std::array<char16_t, 256> kTable = [] {
        std::array<char16_t, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[size_t(c)] = (c >= 0x80 && c < 0xA0) ? kHighTable[c - 0x80] : char16_t(c);
        return t;
    }();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: every byte but 0x80..0x9F is its own character, so a block
    // without those is only widened.
    const __m128i zero = _mm_setzero_si128();
    const __m128i highEnd = _mm_set1_epi8(char(0xA0)); // signed: 0x80..0x9F lie below it
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        if (_mm_movemask_epi8(_mm_cmplt_epi8(b, highEnd))) {
            for (int k = 0; k < 16; ++k)
                d[i + k] = kTable[s[i + k]];
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(b, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(b, zero));
    }
#else
    // Thirty-two bytes at a time, with one test for all; blocks of ASCII are only widened.
    for (; i + 32 <= n; i += 32) {
        quint64 w[4];
        std::memcpy(w, s + i, 32);
        if ((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ULL) {
            for (int k = 0; k < 32; ++k)
                d[i + k] = kTable[s[i + k]];
        } else {
            for (int k = 0; k < 32; ++k)
                d[i + k] = s[i + k];
        }
    }
#endif
    for (; i < n; ++i)
        d[i] = kTable[s[i]];
    return out;
}

int windows1252Byte(char16_t c) {
    // By table below the highest character of the table (U+2122): one test per character.
    static constexpr char16_t kEnd = 0x2123;
    static constexpr std::array<quint8, kEnd> kBytes = [] {
        std::array<quint8, kEnd> t{};
        for (int b = 0; b < 256; ++b)
            if (b < 0x80 || b >= 0xA0) t[size_t(b)] = quint8(b);
        for (int k = 0; k < 32; ++k)
            t[kHighTable[k]] = quint8(0x80 + k);
        return t;
    }();
    if (c >= kEnd) return -1;
    const int b = kBytes[c];
    return b != 0 || c == 0 ? b : -1;
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

namespace {

// The place of the first CR or LF in d[from, n), n when there is none.
qsizetype nextBreak(const char16_t* d, qsizetype from, qsizetype n) {
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)));
        if (mask) return i + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    for (; i < n; ++i)
        if (d[i] == u'\r' || d[i] == u'\n') return i;
    return n;
}

// The number of line breaks in d[0, n): LF, CR LF and CR alone.
qsizetype countLineBreaks(const char16_t* d, qsizetype n) {
    qsizetype count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    // Each lane counts its breaks (a match is -1), added up before a lane could overflow.
    const auto sum = [](__m128i lanes) {
        alignas(16) quint16 c[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(c), lanes);
        return qsizetype(c[0]) + c[1] + c[2] + c[3] + c[4] + c[5] + c[6] + c[7];
    };
    __m128i lanes = _mm_setzero_si128();
    int steps = 0;
    // Every LF, and every CR that no LF follows (the unit after each is read too).
    for (; i + 9 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 1));
        const __m128i lone = _mm_andnot_si128(_mm_cmpeq_epi16(after, lf), _mm_cmpeq_epi16(v, cr));
        lanes = _mm_sub_epi16(lanes, _mm_or_si128(_mm_cmpeq_epi16(v, lf), lone));
        if (++steps == 0xFFFF) {
            count += sum(lanes);
            lanes = _mm_setzero_si128();
            steps = 0;
        }
    }
    count += sum(lanes);
#endif
    for (; i < n; ++i)
        count += d[i] == u'\n' || (d[i] == u'\r' && (i + 1 == n || d[i + 1] != u'\n'));
    return count;
}

// Splits a decoded text into lines that share its one block: each line's break becomes the
// '\0' that ends it, and every line is a string into the block holding a reference to it.
// A file's lines so cost one allocation, copying one costs no cache miss of its own, and
// the block goes with its last line. Writing to a line detaches it as ever (a block held by
// one line alone may be written in place: no other line sees it then).
QStringList linesSharingText(QString text) {
    QStringList lines;
    const qsizetype n = text.size();
    if (n == 0) return lines;
    char16_t* d = reinterpret_cast<char16_t*>(text.data()); // not shared yet: no copy
    // Room for a line per break and the last: the list is not moved as it grows.
    lines.reserve(countLineBreaks(d, n) + 1);
    QString::DataPointer& block = text.data_ptr();
    const auto add = [&](qsizetype from, qsizetype len) {
        d[from + len] = 0; // the line break, or the block's own final '\0'
        block.d_ptr()->ref();
        lines.append(QString(QString::DataPointer(block.d_ptr(), d + from, len)));
    };
    qsizetype start = 0;
    for (qsizetype i = nextBreak(d, 0, n); i < n; i = nextBreak(d, start, n)) {
        const bool crLf = d[i] == u'\r' && i + 1 < n && d[i + 1] == u'\n';
        add(start, i - start);
        start = i + 1 + (crLf ? 1 : 0);
    }
    if (start < n) add(start, n - start);
    return lines;
}
} // namespace

QStringList splitLines(QStringView text) {
    return linesSharingText(text.toString());
}

bool foldLatin1InPlace(char16_t* d, qsizetype n) {
    // The library's folding of each unit below 0x100, 0xFFFF where it gives more than one.
    static const std::array<char16_t, 256> kFolded = [] {
        std::array<char16_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const QString f = QString(QChar(c)).toCaseFolded();
            t[size_t(c)] = f.size() == 1 ? f[0].unicode() : char16_t(0xFFFF);
        }
        return t;
    }();
    qsizetype i = 0;
    // Eight ASCII units at a time: bit 7 of unit + 0x3F is set from 'A' on, that of
    // unit + 0x25 from 'Z' + 1 on; together they mark the capitals.
    for (; i + 8 <= n; i += 8) {
        quint64 w[2];
        std::memcpy(w, d + i, 16);
        if ((w[0] | w[1]) & 0xFF80FF80FF80FF80ULL) {
            for (qsizetype k = i; k < i + 8; ++k) {
                if (d[k] >= 0x100 || kFolded[d[k]] == 0xFFFF) return false;
                d[k] = kFolded[d[k]];
            }
            continue;
        }
        for (quint64& x : w)
            x |= ((x + 0x003F003F003F003FULL) & ~(x + 0x0025002500250025ULL) &
                  0x0080008000800080ULL) >>
                 2;
        std::memcpy(d + i, w, 16);
    }
    for (; i < n; ++i) {
        if (d[i] >= 0x100 || kFolded[d[i]] == 0xFFFF) return false;
        d[i] = kFolded[d[i]];
    }
    return true;
}

void copiesSharingBlock(const QStringView* parts, qsizetype n, QString* out, bool fold) {
    if (n <= 0) return;
    qsizetype total = 0;
    for (qsizetype i = 0; i < n; ++i)
        total += parts[i].size() + 1;
    QString text(total, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(text.data());
    qsizetype at = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype len = parts[i].size();
        if (len) std::memcpy(d + at, parts[i].utf16(), size_t(len) * sizeof(char16_t));
        d[at + len] = 0;
        at += len + 1;
    }
    if (fold) {
        // Folded as each part would be on its own. Without surrogates that is one code unit
        // at a time, and the block is folded in place (nothing else holds it yet); with them
        // (a lone one may become U+FFFD, depending on what came before) each part alone.
        const bool surrogates = hasSurrogate(d, total);
        if (!surrogates && !foldLatin1InPlace(d, total)) text = std::move(text).toCaseFolded();
        if (surrogates || text.size() != total) {
            for (qsizetype i = 0; i < n; ++i)
                out[i] = parts[i].toString().toCaseFolded();
            return;
        }
    }
    d = reinterpret_cast<char16_t*>(text.data());
    QString::DataPointer& block = text.data_ptr();
    at = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype len = parts[i].size();
        block.d_ptr()->ref();
        out[i] = QString(QString::DataPointer(block.d_ptr(), d + at, len));
        at += len + 1;
    }
}

namespace {
constexpr qsizetype kPoolBlock = 2048;
} // namespace

char16_t* TextPool::room(qsizetype units) {
    if (units > kPoolBlock / 4) return nullptr; // long texts get a block of their own
    if (block_.isNull() || used_ + units > block_.size()) {
        block_ = QString(kPoolBlock, Qt::Uninitialized);
        used_ = 0;
    }
    // Written past the part that copies hold: no copy sees it, so the shared block is
    // written without detaching.
    return block_.data_ptr().data() + used_;
}

QString TextPool::take(qsizetype len) {
    QString::DataPointer& block = block_.data_ptr();
    char16_t* d = block.data() + used_;
    d[len] = 0;
    block.d_ptr()->ref();
    used_ += len + 1;
    return QString(QString::DataPointer(block.d_ptr(), d, len));
}

void TextPool::copies(const QStringView* parts, qsizetype n, QString* out) {
    qsizetype total = 0;
    for (qsizetype i = 0; i < n; ++i)
        total += parts[i].size() + 1;
    if (!room(total)) {
        copiesSharingBlock(parts, n, out);
        return;
    }
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype len = parts[i].size();
        if (len) std::memcpy(room(0), parts[i].utf16(), size_t(len) * sizeof(char16_t));
        out[i] = take(len);
    }
}

void TextPool::joined(const QStringView* parts, qsizetype n, QString* out) {
    qsizetype total = 1;
    for (qsizetype i = 0; i < n; ++i)
        total += parts[i].size();
    char16_t* d = room(total);
    if (!d) {
        QString text;
        text.reserve(total);
        for (qsizetype i = 0; i < n; ++i)
            text += parts[i];
        *out = std::move(text);
        return;
    }
    qsizetype at = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype len = parts[i].size();
        if (len) std::memcpy(d + at, parts[i].utf16(), size_t(len) * sizeof(char16_t));
        at += len;
    }
    *out = take(at);
}

QStringList decodeIndexLines(QByteArrayView bytes) {
    // CR and LF never occur inside a multi-byte sequence, and a byte order mark after the
    // start is kept as a character: the whole text decodes as its lines would one by one.
    return linesSharingText(decodeIndexText(bytes));
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
