#include "index_file.h"

#include "atomic_file.h"
#include "control_characters.h"
#include "text_codec.h"

#include <QFile>
#include <QRegularExpression>
#include <QTime>
#include <QVarLengthArray>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace indexfile {

namespace {

constexpr qint64 kMaxIndexFileSize = 256LL * 1024 * 1024;

inline char16_t foldChar(char16_t c) {
    return foldCatalogueChar(c);
}

bool startsWithCi(QStringView line, QLatin1StringView tag) {
    if (line.size() < tag.size()) return false;
    for (qsizetype i = 0; i < tag.size(); ++i) {
        char16_t c = line[i].unicode();
        if (c >= u'a' && c <= u'z') c -= 32;
        if (c != tag[i].unicode()) return false;
    }
    return true;
}

struct TagRule {
    QLatin1StringView tag;
    LineKind kind;
};

constexpr TagRule kTags[] = {
    {QLatin1StringView("BEGIN::"), LineKind::Marker},
    {QLatin1StringView("AUTHOR::"), LineKind::Author},
    {QLatin1StringView("LABEL::"), LineKind::Label},
    {QLatin1StringView("VERSION::"), LineKind::Version},
    {QLatin1StringView("COMMENT::"), LineKind::Comment},
    {QLatin1StringView("STYLE::"), LineKind::Style},
    {QLatin1StringView("MEDIATYPE::"), LineKind::MediaType},
};

struct CodeRule {
    const char* code;
    int number;
};
constexpr CodeRule kCodes[] = {{"PAD", MediaPad}, {"DSK", MediaDsk}, {"USB", MediaUsb},
                               {"RAM", MediaRam}, {"CDR", MediaCdr}, {"HDD", MediaHdd},
                               {"LAN", MediaLan}, {"WWW", MediaWww}};

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

ClassifiedLine classifyLine(QStringView line) {
    // Cheap reject: every tag contains "::" within its first 11 characters.
    if (line.size() >= 7 && line.left(12).contains(u"::")) {
        for (const TagRule& r : kTags)
            if (startsWithCi(line, r.tag)) return {r.kind, line.mid(r.tag.size())};
    }
    if (line.endsWith(u'\\')) return {LineKind::Folder, line};
    return {LineKind::Title, line};
}

bool isBlankLine(QStringView line) {
    for (QChar c : line)
        if (c.unicode() > u' ') return false;
    return true;
}

bool beginsWithMarker(QStringView line) {
    return startsWithCi(line, kMarker);
}

int mediaTypeNumber(QStringView code) {
    if (code.size() != 3) return MediaUnknown;
    for (const CodeRule& r : kCodes)
        if (code.compare(QLatin1StringView(r.code), Qt::CaseInsensitive) == 0) return r.number;
    return MediaUnknown;
}

QString mediaTypeCode(int number) {
    for (const CodeRule& r : kCodes)
        if (r.number == number) return QString::fromLatin1(r.code);
    return QString();
}

MediaTypeValue parseMediaTypeValue(QStringView value) {
    MediaTypeValue v;
    const qsizetype sep = value.indexOf(u"::");
    QStringView code = value;
    if (sep >= 0) {
        code = value.left(sep);
        v.resource = value.mid(sep + 2).toString();
    }
    v.code = code.toString().toUpper();
    v.number = mediaTypeNumber(code);
    return v;
}

namespace {

// Calls fn(QStringView item) for every item of a comma list (see splitCommaText); items with
// quotes are unquoted into `buffer`, the others are views of the text.
template <typename Buffer, typename Fn>
void forEachCommaItem(QStringView text, Buffer& buffer, Fn&& fn) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isSep = [](QChar c) { return c.unicode() <= u' ' || c == u','; };
    while (i < n) {
        while (i < n && isSep(text[i]))
            ++i;
        if (i >= n) break;
        if (text[i] == u'"') {
            buffer.clear();
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        buffer.append(u'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                buffer.append(text[i++]);
            }
            // Text glued to a closing quote belongs to the item.
            while (i < n && !isSep(text[i]))
                buffer.append(text[i++]);
            fn(QStringView(buffer.constData(), buffer.size()));
        } else {
            const qsizetype s = i;
            while (i < n && !isSep(text[i]))
                ++i;
            fn(text.sliced(s, i - s));
        }
    }
}

} // namespace

QStringList splitCommaText(QStringView text) {
    QStringList out;
    QVarLengthArray<QChar, 64> buffer;
    // An empty item (a pair of quotes) is a null text.
    forEachCommaItem(text, buffer, [&out](QStringView item) {
        out.append(item.isEmpty() ? QString() : item.toString());
    });
    return out;
}

void applyStyleAttributes(QStringView attributes, TitleStyle& style) {
    QVarLengthArray<QChar, 64> buffer;
    forEachCommaItem(attributes, buffer, [&style](QStringView attr) {
        if (attr.isEmpty()) return;
        if (attr.startsWith(u'#')) {
            // Up to six hexadecimal digits, fewer padded on the left.
            const QStringView digits = attr.sliced(1, std::min<qsizetype>(attr.size() - 1, 6));
            if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isHexDigit)) return;
            quint32 rgb = 0;
            for (QChar c : digits) {
                const char16_t u = c.unicode();
                rgb = rgb * 16 + (u <= u'9' ? u - u'0' : (u | 0x20) - u'a' + 10);
            }
            style.hasColour = true;
            style.rgb = rgb;
        } else if (attr.compare(u"BOLD", Qt::CaseInsensitive) == 0) {
            style.bold = true;
        } else if (attr.compare(u"ITALIC", Qt::CaseInsensitive) == 0) {
            style.italic = true;
        } else if (attr.compare(u"UNDERLINE", Qt::CaseInsensitive) == 0) {
            style.underline = true;
        } else if (attr.compare(u"STRIKEOUT", Qt::CaseInsensitive) == 0) {
            style.strikeout = true;
        }
    });
}

bool splitStyleValue(QStringView value, QStringView& attributes, QStringView& target) {
    const qsizetype sep = value.indexOf(u"::");
    if (sep < 0) return false;
    attributes = value.left(sep);
    target = value.mid(sep + 2);
    return true;
}

int compareCatalogue(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = a.utf16();
    const char16_t* pb = b.utf16();
    qsizetype i = 0;
    // Lines of one file share long prefixes: skip equal blocks of four characters (loaded
    // as words rather than through memcmp, which the sanitizers intercept).
    for (; i + 4 <= n; i += 4) {
        quint64 x, y;
        std::memcpy(&x, pa + i, 8);
        std::memcpy(&y, pb + i, 8);
        if (x != y) break;
    }
    for (; i < n; ++i) {
        if (pa[i] == pb[i]) continue;
        const char16_t fa = foldChar(pa[i]);
        const char16_t fb = foldChar(pb[i]);
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (i = 0; i < n; ++i)
        if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
    return 0;
}

namespace {

void putUnit(unsigned char* out, char16_t c) {
    out[0] = static_cast<unsigned char>(c >> 8);
    out[1] = static_cast<unsigned char>(c & 0xFF);
}

// The folded units of a text as big-endian bytes (two per unit), so that comparing keys
// with memcmp compares the folded texts unit by unit.
void foldKey(const char16_t* s, qsizetype n, unsigned char* out) {
    qsizetype i = 0;
    // Eight units at a time, as two words tested together. In a word of units below 0x80,
    // bit 7 of unit + 0x3F is set from 'A' on and that of unit + 0x25 from 'Z' + 1 on:
    // together they mark the capitals.
    const auto asciiWord = [](quint64 w) {
        const quint64 capitals =
            (w + 0x003F003F003F003FULL) & ~(w + 0x0025002500250025ULL) & 0x0080008000800080ULL;
        w |= capitals >> 2;
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
            w = ((w & 0x00FF00FF00FF00FFULL) << 8) | ((w >> 8) & 0x00FF00FF00FF00FFULL);
        return w;
    };
    for (; i + 8 <= n; i += 8) {
        quint64 w[2];
        std::memcpy(w, s + i, 16);
        if ((w[0] | w[1]) & 0xFF80FF80FF80FF80ULL) {
            for (qsizetype k = i; k < i + 8; ++k)
                putUnit(out + 2 * k, foldChar(s[k]));
            continue;
        }
        w[0] = asciiWord(w[0]);
        w[1] = asciiWord(w[1]);
        std::memcpy(out + 2 * i, w, 16);
    }
    for (; i < n; ++i)
        putUnit(out + 2 * i, foldChar(s[i]));
}

} // namespace

std::vector<int> catalogueOrder(const std::vector<QStringView>& texts) {
    const size_t n = texts.size();
    // The first four folded units are also kept as a number (zeros after the end, which
    // sort before any unit but a zero one, as a shorter text does): most comparisons end
    // there, without going to the bytes.
    struct Key {
        quint64 head;
        const unsigned char* bytes;
        size_t size;
        int index;
    };
    size_t total = 0;
    for (QStringView t : texts)
        total += size_t(t.size()) * 2;
    std::vector<unsigned char> bytes(total + 8); // a word may be read from any key's last byte
    std::vector<Key> keys(n);
    unsigned char* at = bytes.data();
    for (size_t i = 0; i < n; ++i) {
        const QStringView t = texts[i];
        const size_t size = size_t(t.size()) * 2;
        foldKey(t.utf16(), t.size(), at);
        unsigned char head[8] = {};
        std::memcpy(head, at, std::min<size_t>(size, 8));
        keys[i] = {qFromBigEndian<quint64>(head), at, size, int(i)};
        at += size;
    }
    std::sort(keys.begin(), keys.end(), [&texts](const Key& a, const Key& b) {
        if (a.head != b.head) return a.head < b.head;
        // The rest eight bytes at a time as big-endian words; the bytes after the shorter
        // key are shifted out of its last word (the buffer has room to read past the end).
        const size_t m = std::min(a.size, b.size);
        for (size_t i = 8; i < m; i += 8) {
            quint64 x = qFromBigEndian<quint64>(a.bytes + i);
            quint64 y = qFromBigEndian<quint64>(b.bytes + i);
            if (m - i < 8) {
                x >>= 64 - 8 * (m - i);
                y >>= 64 - 8 * (m - i);
            }
            if (x != y) return x < y;
        }
        if (a.size != b.size) return a.size < b.size;
        // Folded alike: as written (the first unit that differs), equal texts by place.
        const char16_t* x = texts[size_t(a.index)].utf16();
        const auto [p, q] = std::mismatch(x, x + a.size / 2, texts[size_t(b.index)].utf16());
        return p != x + a.size / 2 ? *p < *q : a.index < b.index;
    });
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = keys[i].index;
    return order;
}

namespace {
// Up to this many lines, sorting by keys costs more than it saves.
constexpr qsizetype kFewLines = 24;

// Puts lines[order[k]] at k for every k, following the cycles of the order (which is used
// up): no second list.
template <typename T> void permute(T* lines, std::vector<int>& order) {
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] < 0 || size_t(order[i]) == i) continue;
        T first = std::move(lines[i]);
        size_t j = i;
        while (size_t(order[j]) != i) {
            const size_t from = size_t(order[j]);
            lines[j] = std::move(lines[from]);
            order[j] = -1;
            j = from;
        }
        lines[j] = std::move(first);
        order[j] = -1;
    }
}

// Merges the sorted runs [first, middle) and [middle, last); equal lines keep their order.
// Views are merged through a buffer kept from call to call, texts in place.
template <typename T> void mergeRuns(T* first, T* middle, T* last) {
    const auto less = [](const T& a, const T& b) { return catalogueLess(a, b); };
    if constexpr (std::is_same_v<T, QStringView>) {
        static thread_local std::vector<QStringView> buffer;
        buffer.assign(first, middle);
        const QStringView* a = buffer.data();
        const QStringView* aEnd = a + buffer.size();
        T* out = first;
        while (a != aEnd && middle != last)
            *out++ = less(*middle, *a) ? *middle++ : *a++;
        std::copy(a, aEnd, out);
        // A large file's room is not kept for good.
        if (buffer.capacity() > 4096) buffer = std::vector<QStringView>();
    } else {
        std::inplace_merge(first, middle, last, less);
    }
}

// The catalogue order for a list of texts or of views (see sortCatalogue).
template <typename Lines> void sortLines(Lines& list) {
    // Files are written in this order, or hold a few runs in it (tag lines, groups of folders
    // written one after another): the runs are found in one pass and merged. Lines in no
    // order at all are sorted by keys.
    const qsizetype n = qsizetype(list.size());
    const auto* in = std::as_const(list).data(); // read without detaching
    QVarLengthArray<qsizetype, 64> runs{0};
    for (qsizetype i = 1; i < n; ++i)
        if (catalogueLess(in[i], in[i - 1])) runs.push_back(i);
    if (runs.size() == 1) return;
    auto* lines = list.data();
    if (n <= kFewLines) {
        // Few lines: moved into place one by one, compared as they are.
        for (qsizetype i = 1; i < n; ++i) {
            qsizetype j = i;
            for (; j > 0 && catalogueLess(lines[i], lines[j - 1]); --j) {
            }
            if (j < i) std::rotate(lines + j, lines + i, lines + i + 1);
        }
        return;
    }
    if (runs.size() > n / 8 + 2) {
        std::vector<QStringView> views(lines, lines + n);
        std::vector<int> order = catalogueOrder(views);
        permute(lines, order);
        return;
    }
    runs.push_back(n);
    // Neighbouring runs merged pairwise until one is left; merging keeps equal lines in the
    // order they came in.
    while (runs.size() > 2) {
        qsizetype kept = 1;
        for (qsizetype k = 0; k + 2 < runs.size(); k += 2) {
            mergeRuns(lines + runs[k], lines + runs[k + 1], lines + runs[k + 2]);
            runs[kept++] = runs[k + 2];
        }
        if (runs.size() % 2 == 0) runs[kept++] = runs.back(); // an odd run out waits
        runs.resize(kept);
    }
}
} // namespace

void sortCatalogue(QStringList& lines) {
    sortLines(lines);
}

void sortCatalogue(std::vector<QStringView>& lines) {
    sortLines(lines);
}

bool insertSortedUnique(QStringList& list, const QString& text) {
    auto it =
        std::lower_bound(list.begin(), list.end(), text, [](const QString& x, const QString& y) {
            return x.compare(y, Qt::CaseInsensitive) < 0;
        });
    if (it != list.end() && it->compare(text, Qt::CaseInsensitive) == 0) return false;
    list.insert(it, text);
    return true;
}

namespace {

// The bytes of a plain file of at most kMaxIndexFileSize bytes, read straight from the
// system; false for anything else or on any failure (QFile then reads it, with its messages).
bool readPlainFile(const QString& path, QByteArray& out) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIndexFileSize;
    QByteArray bytes;
    if (ok) {
        // One byte more than the size, to see the end where it should be.
        bytes = QByteArray(qsizetype(st.st_size) + 1, Qt::Uninitialized);
        qsizetype have = 0;
        while (have < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            have += n;
        }
        ok = ok && have == qsizetype(st.st_size);
        bytes.truncate(have);
    }
    ::close(fd);
    if (ok) out = std::move(bytes);
    return ok;
}

} // namespace

bool readIndexFile(const QString& path, QStringList& lines, QString* error) {
    QByteArray plain;
    if (readPlainFile(path, plain)) {
        lines = textcodec::decodeIndexLines(plain);
        return true;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Die Indexdatei \"%1\" kann nicht gelesen werden: %2")
                         .arg(path, f.errorString());
        return false;
    }
    if (f.size() > kMaxIndexFileSize) {
        if (error) *error = QStringLiteral("Die Indexdatei \"%1\" ist zu groß.").arg(path);
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Die Indexdatei \"%1\" kann nicht gelesen werden: %2")
                         .arg(path, f.errorString());
        return false;
    }
    lines = textcodec::decodeIndexLines(bytes);
    return true;
}

namespace {
// The place of the first line that begins with the marker, 0 when none does.
qsizetype bodyStart(const QStringList& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (beginsWithMarker(lines[i])) return i;
    return 0;
}
} // namespace

QStringList bodyLinesForLoading(QStringList lines) {
    const qsizetype first = bodyStart(lines);
    // Lines are moved out of a list held here alone; a list shared with the caller is
    // read, not copied for the move.
    const bool own = lines.isDetached();
    QStringList body;
    body.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        const QString& line = std::as_const(lines)[i];
        if (isBlankLine(line)) continue;
        if (own)
            body.append(std::move(lines[i]));
        else
            body.append(line);
    }
    sortCatalogue(body);
    return body;
}

void bodyViewsForLoading(const QStringList& lines, std::vector<QStringView>& body) {
    const qsizetype first = bodyStart(lines);
    body.clear();
    body.reserve(size_t(lines.size() - first));
    for (qsizetype i = first; i < lines.size(); ++i)
        if (!isBlankLine(lines[i])) body.emplace_back(lines[i]);
    sortCatalogue(body);
}

bool writeIndexFile(const QString& path, const QStringList& lines, QString* error) {
    // A line with a control character, or one that would not read back, is refused:
    // nothing is written.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool control = hasControlCharacter(lines[i]);
        if (control || hasUnpairedSurrogate(lines[i])) {
            if (error)
                *error = QStringLiteral("Die Datei \"%1\" wird nicht geschrieben: Zeile %2 "
                                        "enthält %3.")
                             .arg(path, QLocale().toString(i + 1),
                                  control ? QStringLiteral("Steuerzeichen")
                                          : QStringLiteral("ungültige Zeichen"));
            return false;
        }
    }
    QString reason;
    if (atomicfile::write(path, textcodec::encodeIndexText(textcodec::joinLinesCrLf(lines)),
                          &reason))
        return true;
    if (error)
        *error =
            QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2").arg(path, reason);
    return false;
}

QString localTimeText(const QTime& time, const QLocale& locale) {
    QString fmt = locale.timeFormat(QLocale::LongFormat);
    // Drop the time zone and the blanks around it.
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    fmt.replace(zone, QString());
    return locale.toString(time, fmt.trimmed());
}

QString listDateTimeText(const QDateTime& when, const QLocale& locale) {
    const QDate d = when.date();
    return QStringLiteral("%1-%2-%3 %4")
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(std::array{"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG",
                                            "SEP", "OCT", "NOV",
                                            "DEC"}[std::clamp(d.month(), 1, 12) - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(localTimeText(when.time(), locale));
}

QStringList toolIndexLines(const ToolIndex& index) {
    QStringList out;
    out.reserve(index.listing.size() + 10);
    out << index.banner << QString() << QString(kMarker) << QStringLiteral("LABEL::") + index.label;
    if (!index.author.isEmpty()) out << QStringLiteral("AUTHOR::") + index.author;
    if (!index.version.isEmpty()) out << QStringLiteral("VERSION::") + index.version;
    if (!index.comment.isEmpty()) out << QStringLiteral("COMMENT::") + index.comment;
    if (!index.typeCode.isEmpty()) {
        const QString code = index.typeCode.toUpper();
        if ((code == u"LAN" || code == u"WWW") && !index.resource.isEmpty())
            out << QStringLiteral("MEDIATYPE::%1::%2").arg(code, index.resource);
        else
            out << QStringLiteral("MEDIATYPE::") + code;
    }
    out.append(index.listing);
    return out;
}

namespace {

// Saved and mailed lists leave out what would not read back as that title: lines with a
// control character or a broken character, blank lines, and lines that read as a tag or
// a folder.
void appendTitles(QStringList& out, const QStringList& titles) {
    for (const QString& t : titles)
        if (!hasControlCharacter(t) && !hasUnpairedSurrogate(t) && !isBlankLine(t) &&
            classifyLine(t).kind == LineKind::Title)
            out.append(t);
}

} // namespace

QStringList savedMerkzettelLines(const QString& owner, const QString& dateTime,
                                 const QString& versionString, const QStringList& titles) {
    QStringList out;
    out << QStringLiteral("MEDIATYPE::PAD") << QStringLiteral("AUTHOR::") + owner
        << QStringLiteral("VERSION::") + dateTime
        << QStringLiteral("COMMENT::Gespeichert mit Vorlune, Version ") + versionString
        << QString(kMerkzettelFolder);
    appendTitles(out, titles);
    return out;
}

QStringList mailedMerkzettelLines(const QStringList& head, const QString& owner,
                                  const QString& dateTime, const QString& versionString,
                                  const QStringList& titles) {
    QStringList out = head;
    out << QString() << QString() << QString() << QString(kMarker)
        << QStringLiteral("MEDIATYPE::PAD") << QStringLiteral("AUTHOR::") + owner
        << QStringLiteral("VERSION::") + dateTime
        << QStringLiteral("COMMENT::Versandt durch Vorlune, Version ") + versionString
        << QString(kMerkzettelFolder);
    appendTitles(out, titles);
    return out;
}

QStringList infoFileLines(const QString& author, const QString& version, const QString& comment) {
    return {author, version, comment};
}

} // namespace indexfile
