#include "name_order.h"

#include "index_file.h"
#include "title_lists.h"
#include "title_text.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

namespace nameorder {

namespace {

// Lists this long are sorted in groups (see sortedInGroups), about this many.
constexpr size_t kGroupedFrom = 20000;
constexpr size_t kGroups = 16;
// Where the names of a long list lie is held for this share of them at a time.
constexpr size_t kRounds = 2;

// The first characters of a display name, case-folded, packed so that comparing keys
// compares the names in the catalogue order: one byte per character (code + 1, 0 after
// the end), most significant first. A character beyond the byte range saturates and ends
// the key. A name that the key holds whole also carries which of its characters are as
// written folded: between names that fold alike, the one with the first capital comes first
// (written below 0x100, capitals have the lower codes), so equal keys need no look at the
// texts. Other names with equal keys are compared in full.
struct NameKey {
    static constexpr int kChars = 24;
    static constexpr quint32 kWhole = 1u << 31;
    quint64 part[3];
    int index;
    quint32 written; // kWhole and a bit per character, first most significant; 0: not whole
};

// The folded unit of a character as the catalogue compares it.
char16_t foldedUnit(QChar c) {
    return indexfile::foldCatalogueChar(c.unicode());
}
// The display name of a line (see titletext::displayName), Latin-1 or UTF-16.
// The same for Latin-1 lines, found with memrchr.
QLatin1String displayOf(QLatin1String line) {
    const char* s = line.data();
    const size_t n = size_t(line.size());
    size_t start = 0;
    if (const auto* at = static_cast<const char*>(memrchr(s, '\\', n))) start = size_t(at - s) + 1;
    if (const auto* at = static_cast<const char*>(memrchr(s + start, ':', n - start)))
        start = size_t(at - s) + 1;
    const auto* dot = static_cast<const char*>(memrchr(s + start, '.', n - start));
    if (dot && size_t(dot - s) > start)
        return line.sliced(qsizetype(start), dot - s - qsizetype(start));
    return line.sliced(qsizetype(start));
}

template <typename View> View displayOf(View line) {
    const qsizetype n = line.size();
    qsizetype start = n, dot = -1;
    for (; start > 0; --start) {
        const char16_t c = line[start - 1].unicode();
        if (c == u'\\' || c == u':') break;
        if (c == u'.' && dot < 0) dot = start - 1;
    }
    return dot > start ? line.sliced(start, dot - start) : line.sliced(start);
}

// The key's byte of each Latin-1 character (see nameKeyOf) and whether the character is as
// written folded.
struct Latin1Codes {
    std::array<quint8, 256> code;
    std::array<quint8, 256> same;
};
const Latin1Codes kLatin1 = [] {
    Latin1Codes t{};
    for (int u = 0; u < 256; ++u) {
        const char16_t c = indexfile::foldCatalogueChar(char16_t(u));
        t.code[size_t(u)] = quint8(c < 0xFF ? c + 1 : 0xFF);
        t.same[size_t(u)] = c == u;
    }
    return t;
}();

// The same as the template below for Latin-1 names, through one table.
NameKey nameKeyOf(QLatin1String name, int index, qsizetype chars) {
    NameKey k{{0, 0, 0}, index, 0};
    const qsizetype n = std::min<qsizetype>(name.size(), chars);
    const auto* s = reinterpret_cast<const uchar*>(name.data());
    uchar bytes[NameKey::kChars] = {};
    quint32 written = 0;
    bool whole = name.size() <= NameKey::kChars;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar code = kLatin1.code[s[i]];
        bytes[i] = code;
        if (code == 0xFF) {
            whole = false;
            break;
        }
        written |= quint32(kLatin1.same[s[i]]) << (NameKey::kChars - 1 - i);
    }
    for (int j = 0; j < 3; ++j)
        k.part[j] = qFromBigEndian<quint64>(bytes + 8 * j);
    if (whole) k.written = NameKey::kWhole | written;
    return k;
}

template <typename View> NameKey nameKeyOf(View name, int index, qsizetype chars) {
    NameKey k{{0, 0, 0}, index, 0};
    const qsizetype n = std::min<qsizetype>(name.size(), chars);
    quint32 written = 0;
    bool whole = name.size() <= NameKey::kChars;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t raw = name[i].unicode();
        const char16_t c = foldedUnit(name[i]);
        const quint64 code = c < 0xFF ? quint64(c) + 1 : 0xFF;
        k.part[i / 8] |= code << (56 - 8 * (i % 8));
        if (code == 0xFF) {
            whole = false;
            break;
        }
        if (raw >= 0x100) whole = false;
        if (raw == c) written |= 1u << (NameKey::kChars - 1 - i);
    }
    if (whole) k.written = NameKey::kWhole | written;
    return k;
}

// The key of the display name of a line, of its first `chars` characters.
NameKey nameKey(QAnyStringView line, int index, qsizetype chars = NameKey::kChars) {
    return line.visit([&](auto view) {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1String>)
            return nameKeyOf(displayOf(view), index, chars);
        else
            return nameKeyOf(displayOf(QStringView(line.toString())), index, chars);
    });
}

// The key of a display name as stored (Latin-1 or UTF-16).
NameKey nameKeyOfName(QAnyStringView name, int index) {
    return name.visit([&](auto view) {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1String>)
            return nameKeyOf(view, index, NameKey::kChars);
        else
            return nameKeyOf(QStringView(name.toString()), index, NameKey::kChars);
    });
}

// Appends the display name of a line to `text`.
void appendDisplayName(QString& text, QAnyStringView line) {
    line.visit([&](auto view) {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1String>)
            text += displayOf(view);
        else
            text += displayOf(QStringView(line.toString()));
    });
}

// Where a display name lies, in one word: its address, its length and whether it is UTF-16;
// 0 when it does not fit (the title is then read again).
class NameAt {
public:
    // Of a display name (see displayOf).
    template <typename View> static NameAt ofName(View name) {
        NameAt at;
        const quint64 address = quint64(reinterpret_cast<quintptr>(name.data()));
        if (address == 0 || address >> 48 || name.size() > kMaxSize) return at;
        at.bits_ =
            address | quint64(name.size()) << 48 | (std::is_same_v<View, QStringView> ? kWide : 0);
        return at;
    }
    bool known() const { return bits_ != 0; }
    QAnyStringView name() const {
        const qsizetype n = qsizetype(bits_ >> 48 & kMaxSize);
        if (bits_ & kWide) return QStringView(reinterpret_cast<const char16_t*>(address()), n);
        return QLatin1String(reinterpret_cast<const char*>(address()), n);
    }
    void appendTo(QString& text) const {
        const qsizetype n = qsizetype(bits_ >> 48 & kMaxSize);
        if (bits_ & kWide)
            text += QStringView(reinterpret_cast<const char16_t*>(address()), n);
        else
            text += QLatin1String(reinterpret_cast<const char*>(address()), n);
    }
    // The name's first byte (0 for none): reading it brings the name's memory in.
    uchar firstByte() const {
        if ((bits_ >> 48 & kMaxSize) == 0) return 0;
        return *reinterpret_cast<const volatile uchar*>(address());
    }
    // Asks for the memory of the name.
    void prefetch() const {
        const quintptr a = address();
        const qsizetype bytes = qsizetype(bits_ >> 48 & kMaxSize) * (bits_ & kWide ? 2 : 1);
        __builtin_prefetch(reinterpret_cast<const void*>(a));
        if (bytes > 1) __builtin_prefetch(reinterpret_cast<const void*>(a + quintptr(bytes) - 1));
    }

private:
    static constexpr quint64 kWide = quint64(1) << 63;
    static constexpr qsizetype kMaxSize = 0x7FFF;
    quintptr address() const { return quintptr(bits_ & ((quint64(1) << 48) - 1)); }
    quint64 bits_ = 0;
};

// The display names of titles for sortRuns, by the index its keys carry: the titles' own.
template <typename Titles> struct TitleNames {
    const Titles& titles;
    void append(QString& text, int i) const { appendDisplayName(text, titles.stored(size_t(i))); }
    void prefetch(int i, int stage) const { titles.prefetch(size_t(i), stage); }
};

// The same for a group of sortedInGroups, whose keys carry places in the group.
template <typename Titles> struct GroupNames {
    const Titles& titles;
    const NameAt* names; // of the group's places
    const int* ids;      // the titles at the group's places
    void append(QString& text, int place) const {
        const NameAt at = names[place];
        if (at.known())
            at.appendTo(text);
        else
            appendDisplayName(text, titles.stored(size_t(ids[place])));
    }
    void prefetch(int place, int stage) const {
        if (stage == 0)
            __builtin_prefetch(names + place);
        else if (stage == 2 && names[place].known())
            names[place].prefetch();
    }
};

// Orders keys by their characters alone; equal ones keep the list order for now.
struct PartLess {
    bool operator()(const NameKey& x, const NameKey& y) const {
        if (x.part[0] != y.part[0]) return x.part[0] < y.part[0];
        if (x.part[1] != y.part[1]) return x.part[1] < y.part[1];
        if (x.part[2] != y.part[2]) return x.part[2] < y.part[2];
        return x.index < y.index;
    }
};

bool sameParts(const NameKey& x, const NameKey& y) {
    return x.part[0] == y.part[0] && x.part[1] == y.part[1] && x.part[2] == y.part[2];
}

// True when sortRun needs the texts of the run [first, last).
bool needsTexts(std::vector<NameKey>::const_iterator first,
                std::vector<NameKey>::const_iterator last) {
    if (last - first < 2) return false;
    for (auto it = first; it != last; ++it)
        if (it->written == 0) return true;
    return false;
}

// The titles whose texts sortRun will fetch, in that order, found ahead of it: each is asked
// for in steps (see TitleAt::prefetch) as it comes nearer, so that its memory is there when
// it is read.
template <typename Names> class TextsAhead {
public:
    TextsAhead(std::vector<NameKey>::const_iterator first,
               std::vector<NameKey>::const_iterator last, const Names& names)
        : scan_(first), runEnd_(first), end_(last), names_(names) {
        for (int k = 0; k < kDepth; ++k)
            push();
    }
    // Called as sortRun reads each title.
    void next() {
        ++head_;
        push();
        prefetchAt(kPlace, 1);
        prefetchAt(kText, 2);
    }

private:
    static constexpr int kDepth = 16, kPlace = 8, kText = 4; // distances in titles
    void push() {
        while (scan_ == runEnd_ && scan_ != end_) {
            auto next = scan_ + 1;
            while (next != end_ && sameParts(*scan_, *next))
                ++next;
            if (needsTexts(scan_, next))
                runEnd_ = next;
            else
                scan_ = runEnd_ = next;
        }
        const int slot = tail_++ % kDepth;
        if (scan_ == end_) {
            ring_[slot] = -1;
            return;
        }
        ring_[slot] = (scan_++)->index;
        names_.prefetch(ring_[slot], 0);
    }
    // The title `ahead` places after the one read now.
    void prefetchAt(int ahead, int stage) const {
        const int index = ring_[(head_ + ahead) % kDepth];
        if (index >= 0) names_.prefetch(index, stage);
    }
    std::vector<NameKey>::const_iterator scan_, runEnd_, end_;
    const Names& names_;
    int ring_[kDepth] = {};
    int head_ = 0, tail_ = 0; // the title read next, the next free place
};

// Puts a run of keys with equal characters in the catalogue order: names the keys hold whole
// by the written bits, the others by their texts (the display names copied into `text`).
template <typename Names>
void sortRun(std::vector<NameKey>::iterator first, std::vector<NameKey>::iterator last,
             const Names& names, TextsAhead<Names>& ahead,
             std::vector<std::pair<NameKey, qsizetype>>& run, QString& text) {
    bool allWhole = true;
    for (auto it = first; it != last && allWhole; ++it)
        allWhole = it->written != 0;
    if (allWhole) {
        std::sort(first, last, [](const NameKey& x, const NameKey& y) {
            return x.written != y.written ? x.written < y.written : x.index < y.index;
        });
        return;
    }
    run.clear();
    text.resize(0);
    for (auto it = first; it != last; ++it) {
        run.emplace_back(*it, text.size());
        names.append(text, it->index);
        ahead.next();
    }
    run.emplace_back(NameKey{}, text.size()); // the end of the last name
    const auto name = [&](const std::pair<NameKey, qsizetype>* x) {
        return QStringView(text).sliced(x->second, x[1].second - x->second);
    };
    std::vector<const std::pair<NameKey, qsizetype>*> sorted;
    sorted.reserve(run.size() - 1);
    for (size_t k = 0; k + 1 < run.size(); ++k)
        sorted.push_back(&run[k]);
    std::sort(sorted.begin(), sorted.end(), [&](const auto* x, const auto* y) {
        if (x->first.written && y->first.written)
            return x->first.written != y->first.written ? x->first.written < y->first.written
                                                        : x->first.index < y->first.index;
        const int c = indexfile::compareCatalogue(name(x), name(y));
        return c != 0 ? c < 0 : x->first.index < y->first.index;
    });
    for (const auto* x : sorted)
        *first++ = x->first;
}

// Puts each run of keys with equal characters in [first, last) in order.
template <typename Names>
void sortRuns(std::vector<NameKey>::iterator first, std::vector<NameKey>::iterator last,
              const Names& names) {
    std::vector<std::pair<NameKey, qsizetype>> run;
    QString text;
    TextsAhead<Names> ahead(first, last, names);
    for (auto it = first; it != last;) {
        auto next = it + 1;
        while (next != last && sameParts(*it, *next))
            ++next;
        if (next - it > 1) sortRun(it, next, names, ahead, run, text);
        it = next;
    }
}

// The first two characters of a name as the top of its key.
quint16 headOfName(QLatin1String name) {
    const auto* s = reinterpret_cast<const uchar*>(name.data());
    const quint16 first = name.size() > 0 ? kLatin1.code[s[0]] : 0;
    const quint16 second = name.size() > 1 && first != 0xFF ? kLatin1.code[s[1]] : 0;
    return quint16(first << 8 | second);
}
quint16 headOfName(QStringView name) {
    return quint16(nameKeyOf(name, 0, 2).part[0] >> 48);
}

// Calls fn(head, name) with the display name of a line (Latin-1 or UTF-16 as stored) and
// its first two characters as the top of its key.
template <typename Fn> void withName(QAnyStringView line, Fn&& fn) {
    line.visit([&](auto view) {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1String>) {
            const View name = displayOf(view);
            fn(headOfName(name), name);
        } else {
            const QString text = line.toString();
            const QStringView name = displayOf(QStringView(text));
            fn(headOfName(name), QStringView()); // a name that does not last: not noted
        }
    });
}

// Long lists are put in groups by the first two characters of their names (a group holds
// names of a few such pairs, or of one), and each group sorted on its own: its keys are made
// only then, so that the keys of a group or two are held at a time rather than all. Where
// each name lies is noted while the titles are read in their order, so that a group's names
// are then read with one look-up each.
template <typename Titles>
std::vector<int> sortedInGroups(size_t n, const Titles& titles, int threads) {
    const bool parallel = threads > 1 && std::thread::hardware_concurrency() > 1;
    const size_t half = parallel ? n / 2 : n;
    const auto inHalves = [&](auto&& fn) { // fn(first, last, 0 or 1)
        if (half == n) return fn(size_t(0), n, 0);
        std::thread other(fn, half, n, 1);
        fn(size_t(0), half, 0);
        other.join();
    };
    std::vector<int> order(n);
    // Places as 32 bits (titles are counted in int): the tables of pairs stay small.
    std::vector<quint32> start(0x10001, 0);
    std::array<std::vector<quint32>, 2> count;
    inHalves([&](size_t first, size_t last, int part) {
        std::vector<quint32>& counted = count[size_t(part)];
        counted.assign(0x10000, 0);
        titles.forStored(first, last, [&](size_t, QAnyStringView line) {
            withName(line, [&](quint16 h, auto) { ++counted[h]; });
        });
    });
    for (size_t h = 0; h < 0x10000; ++h)
        start[h + 1] = start[h] + count[0][h] + (half == n ? 0 : count[1][h]);
    // Groups of whole pairs, each from its first pair's first place.
    const size_t most = std::max<size_t>(n / kGroups, 1);
    std::vector<size_t> groups{0}, groupHead{0};
    for (size_t h = 0; h + 1 < start.size(); ++h)
        if (start[h + 1] - groups.back() > most && start[h] > groups.back()) {
            groups.push_back(start[h]);
            groupHead.push_back(h);
        }
    groups.push_back(n);
    groupHead.push_back(0x10000);
    // The groups in rounds of about equal size: where the names lie is held for one round.
    std::vector<size_t> rounds{0};
    for (size_t g = 1; g + 1 < groups.size(); ++g)
        if (groups[g] - groups[rounds.back()] >= n / kRounds) rounds.push_back(g);
    rounds.push_back(groups.size() - 1);

    std::vector<NameAt> names; // by place, from the round's first
    std::vector<NameKey> keys;
    std::vector<int> ids;
    for (size_t r = 0; r + 1 < rounds.size(); ++r) {
        const size_t firstGroup = rounds[r], lastGroup = rounds[r + 1];
        const size_t firstPlace = groups[firstGroup], lastPlace = groups[lastGroup];
        const size_t firstHead = groupHead[firstGroup], lastHead = groupHead[lastGroup];
        names.assign(lastPlace - firstPlace, NameAt{});
        // The round's titles of each pair in their list order, the first half's first.
        inHalves([&](size_t first, size_t last, int part) {
            std::vector<quint32> next(start.begin(), start.end() - 1);
            if (part == 1)
                for (size_t h = 0; h < 0x10000; ++h)
                    next[h] += count[0][h];
            titles.forStored(first, last, [&](size_t i, QAnyStringView line) {
                withName(line, [&](quint16 h, auto name) {
                    if (h < firstHead || h >= lastHead) return;
                    const size_t place = next[h]++;
                    order[place] = int(i);
                    names[place - firstPlace] = NameAt::ofName(name);
                });
            });
        });

        // One group at a time: on a second thread the group sort took more processor time
        // (the two contend for memory) and held a second group's keys.
        for (size_t g = firstGroup; g < lastGroup; ++g) {
            const size_t first = groups[g], last = groups[g + 1];
            const NameAt* at = names.data() + (first - firstPlace);
            keys.resize(last - first);
            ids.assign(order.begin() + qsizetype(first), order.begin() + qsizetype(last));
            // Keys carry places in the group: in it the list order is the order of places.
            // The names lie apart: a batch of them is read once first, each read independent
            // of the others, so that their memory comes in side by side.
            constexpr size_t kBatch = 32;
            for (size_t b = 0; b < last - first; b += kBatch) {
                const size_t e = std::min(last - first, b + kBatch);
                for (size_t k = b; k < e; ++k)
                    at[k].firstByte(); // a volatile read: made here, its memory used below
                for (size_t k = b; k < e; ++k)
                    keys[k] = at[k].known() ? nameKeyOfName(at[k].name(), int(k))
                                            : nameKey(titles.stored(size_t(ids[k])), int(k));
            }
            std::sort(keys.begin(), keys.end(), PartLess{});
            sortRuns(keys.begin(), keys.end(), GroupNames<Titles>{titles, at, ids.data()});
            for (size_t k = first; k < last; ++k)
                order[k] = ids[size_t(keys[k - first].index)];
        }
    }
    return order;
}

// The order of n titles: titles.view(i, buffer) gives title i (or at least its part that
// holds the display name) for a moment, titles.stored(i) the same as stored, and
// titles.forStored(first, last, fn) each in turn.
template <typename Titles> std::vector<int> sortedBy(size_t n, const Titles& titles, int threads) {
    if (n >= kGroupedFrom) return sortedInGroups(n, titles, threads);
    std::vector<NameKey> keys(n);
    // The unstable sort gives the stable order: the index breaks ties.
    titles.forStored(0, n, [&](size_t i, QAnyStringView line) { keys[i] = nameKey(line, int(i)); });
    std::sort(keys.begin(), keys.end(), PartLess{});
    sortRuns(keys.begin(), keys.end(), TitleNames<Titles>{titles});
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = keys[i].index;
    return order;
}

// Titles held as QStrings, the i-th at(i).
template <typename At> struct Strings {
    At at;
    size_t n;
    template <typename Fn> void forRange(size_t first, size_t last, Fn&& fn) const {
        constexpr size_t kAhead = 8; // the texts lie far apart: fetch them early
        for (size_t i = first; i < last; ++i) {
            if (i + kAhead < n) __builtin_prefetch(at(i + kAhead).constData());
            fn(i, QStringView(at(i)));
        }
    }
    template <typename Fn> void forStored(size_t first, size_t last, Fn&& fn) const {
        forRange(first, last, [&](size_t i, QStringView line) { fn(i, QAnyStringView(line)); });
    }
    QStringView view(size_t i, QString&) const { return at(i); }
    QAnyStringView stored(size_t i) const { return QStringView(at(i)); }
    void prefetch(size_t i, int stage) const {
        if (stage == 0)
            __builtin_prefetch(&at(i));
        else if (stage == 2)
            __builtin_prefetch(at(i).constData());
    }
};
template <typename At> Strings<At> strings(At at, size_t n) {
    return {std::move(at), n};
}

// Titles of a span, the lines of blocks made QStrings only where needed. Only display
// names are read, so the lines of blocks come without their folder parts.
struct Spanned {
    TitleAt at;
    template <typename Fn> void forStored(size_t first, size_t last, Fn&& fn) const {
        at.forStored(qsizetype(first), qsizetype(last),
                     [&](qsizetype i, QAnyStringView line) { fn(size_t(i), line); });
    }
    QStringView view(size_t i, QString& buffer) const { return at.rest(qsizetype(i), buffer); }
    QAnyStringView stored(size_t i) const { return at.stored(qsizetype(i)); }
    void prefetch(size_t i, int stage) const { at.prefetch(qsizetype(i), stage); }
};

} // namespace

std::vector<int> sortedByName(const QStringList& titles, int threads) {
    return sortedBy(size_t(titles.size()),
                    strings([&](size_t i) -> const QString& { return titles[qsizetype(i)]; },
                            size_t(titles.size())),
                    threads);
}

std::vector<int> sortedByName(const std::vector<const QString*>& titles, int threads) {
    return sortedBy(titles.size(),
                    strings([&](size_t i) -> const QString& { return *titles[i]; }, titles.size()),
                    threads);
}

std::vector<int> sortedByName(const TitleSpan& titles, int threads) {
    Spanned s{TitleAt(titles)};
    return sortedBy(size_t(s.at.size()), s, threads);
}

namespace {
// Sorts the titles the quick search reads (see TitleLists::searchedOrder) as one, and keeps
// that order and, taken from it, those of the long lists among them. False when a list
// holds QStrings of its own, which a span of parts cannot take in its place.
bool prepareSearchedOrder(TitleLists& lists, int threads, qsizetype& kept) {
    const TitleLists& read = lists;
    std::vector<TitlePart> all;
    std::vector<int> longLists;
    std::vector<qsizetype> longStart, longSize; // each long list's first title in the whole
    qsizetype total = 0;
    for (int i = TitleLists::FixedCount; i < read.count(); ++i) {
        if (read.kind(i) == TitleLists::Kind::Plain) continue;
        const TitleSpan span = read.span(i);
        if (span.titles && !span.titles->isEmpty()) return false;
        const qsizetype size = span.size();
        if (size >= kKeepFrom) {
            longLists.push_back(i);
            longStart.push_back(total);
            longSize.push_back(size);
        }
        all.insert(all.end(), span.parts->begin(), span.parts->end());
        total += size;
    }
    if (total == 0) return true;
    auto order =
        std::make_shared<std::vector<int>>(sortedByName(TitleSpan{nullptr, &all}, threads));
    all = {};
    // A list's titles in the order of the whole are its titles in their own order: ties
    // are broken by the place, which both orders share.
    std::vector<std::vector<int>> own(longLists.size());
    for (size_t l = 0; l < longLists.size(); ++l)
        own[l].reserve(size_t(longSize[l]));
    for (const int title : *order) {
        const auto after = std::upper_bound(longStart.begin(), longStart.end(), qsizetype(title));
        if (after == longStart.begin()) continue;
        const size_t l = size_t(after - longStart.begin()) - 1;
        const qsizetype at = title - longStart[l];
        if (at < longSize[l]) own[l].push_back(int(at));
    }
    for (size_t l = 0; l < longLists.size(); ++l) {
        kept += qsizetype(own[l].size());
        lists.setNameOrder(longLists[l], std::move(own[l]));
    }
    lists.setSearchedOrder(std::move(order));
    return true;
}
} // namespace

qsizetype prepareOrders(TitleLists& lists, int threads) {
    const TitleLists& read = lists;
    qsizetype kept = 0;
    const bool searched = prepareSearchedOrder(lists, threads, kept);
    std::vector<int> work;
    for (int i = TitleLists::FixedCount; i < read.count(); ++i)
        if (read.size(i) >= kKeepFrom && (!searched || read.kind(i) == TitleLists::Kind::Plain))
            work.push_back(i);
    // Longest first, so that the last list started is a short one.
    std::sort(work.begin(), work.end(), [&](int a, int b) { return read.size(a) > read.size(b); });
    std::vector<std::vector<int>> orders(work.size());
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t w; (w = next.fetch_add(1)) < work.size();)
            orders[w] = sortedByName(read.span(work[w]), 1);
    };
    const size_t helpers =
        std::min(work.size(), size_t(std::max(threads, 1))) - (work.empty() ? 0 : 1);
    std::vector<std::thread> pool;
    for (size_t t = 0; t < helpers; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& t : pool)
        t.join();
    for (size_t w = 0; w < work.size(); ++w) {
        kept += qsizetype(orders[w].size());
        lists.setNameOrder(work[w], std::move(orders[w]));
    }
    return kept;
}

} // namespace nameorder
