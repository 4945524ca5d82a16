#include "name_order.h"

#include "index_file.h"
#include "title_lists.h"
#include "title_text.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace nameorder {

namespace {

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

NameKey nameKey(QStringView name, int index) {
    NameKey k{{0, 0, 0}, index, 0};
    const qsizetype n = std::min<qsizetype>(name.size(), NameKey::kChars);
    quint32 written = 0;
    bool whole = name.size() <= NameKey::kChars;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t raw = name[i].unicode();
        const char16_t c = indexfile::foldCatalogueChar(raw);
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
template <typename Titles> class TextsAhead {
public:
    TextsAhead(std::vector<NameKey>::const_iterator first,
               std::vector<NameKey>::const_iterator last, const Titles& titles)
        : scan_(first), runEnd_(first), end_(last), titles_(titles) {
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
        titles_.prefetch(size_t(ring_[slot]), 0);
    }
    // The title `ahead` places after the one read now.
    void prefetchAt(int ahead, int stage) const {
        const int index = ring_[(head_ + ahead) % kDepth];
        if (index >= 0) titles_.prefetch(size_t(index), stage);
    }
    std::vector<NameKey>::const_iterator scan_, runEnd_, end_;
    const Titles& titles_;
    int ring_[kDepth] = {};
    int head_ = 0, tail_ = 0; // the title read next, the next free place
};

// Puts a run of keys with equal characters in the catalogue order: names the keys hold whole
// by the written bits, the others by their texts (the display names copied into `text`).
template <typename Titles>
void sortRun(std::vector<NameKey>::iterator first, std::vector<NameKey>::iterator last,
             const Titles& titles, TextsAhead<Titles>& ahead,
             std::vector<std::pair<NameKey, qsizetype>>& run, QString& text, QString& buffer) {
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
        text += titletext::displayName(titles.view(size_t(it->index), buffer));
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

// The median by characters of keys spread evenly over the list.
NameKey middlingKey(const std::vector<NameKey>& keys) {
    constexpr size_t kSample = 255;
    std::vector<NameKey> sample;
    sample.reserve(kSample);
    for (size_t k = 0; k < kSample; ++k)
        sample.push_back(keys[k * keys.size() / kSample]);
    const auto middle = sample.begin() + kSample / 2;
    std::nth_element(sample.begin(), middle, sample.end(), PartLess{});
    return *middle;
}

// The order of n titles: titles.view(i, buffer) gives title i for a moment, titles.line(i)
// to keep.
template <typename Titles> std::vector<int> sortedBy(size_t n, const Titles& titles, int threads) {
    std::vector<NameKey> keys(n);
    // Keys of [first, last), sorted by their characters; the index breaks ties, so an
    // unstable sort gives the stable order.
    const auto sortPart = [&](size_t first, size_t last) {
        titles.forRange(first, last, [&](size_t i, QStringView line) {
            keys[i] = nameKey(titletext::displayName(line), int(i));
        });
        std::sort(keys.begin() + qsizetype(first), keys.begin() + qsizetype(last), PartLess{});
    };
    // Then each run of equal characters in [first, last) put in order.
    const auto sortRuns = [&](size_t first, size_t last) {
        const auto end = keys.begin() + qsizetype(last);
        std::vector<std::pair<NameKey, qsizetype>> run;
        QString text, buffer;
        TextsAhead<Titles> ahead(keys.cbegin() + qsizetype(first), end, titles);
        for (auto it = keys.begin() + qsizetype(first); it != end;) {
            auto next = it + 1;
            while (next != end && sameParts(*it, *next))
                ++next;
            if (next - it > 1) sortRun(it, next, titles, ahead, run, text, buffer);
            it = next;
        }
    };
    // Long lists: the keys made in two halves at once, then split at a middling key into
    // the lesser and the others (a run of equal characters stays on one side), each side
    // sorted on a thread of its own. No merge, so no room for one.
    if (threads > 1 && n >= 20000 && std::thread::hardware_concurrency() > 1) {
        const auto makeKeys = [&](size_t first, size_t last) {
            titles.forRange(first, last, [&](size_t i, QStringView line) {
                keys[i] = nameKey(titletext::displayName(line), int(i));
            });
        };
        std::thread other(makeKeys, n / 2, n);
        makeKeys(0, n / 2);
        other.join();
        const NameKey pivot = middlingKey(keys);
        const auto cut = std::partition(keys.begin(), keys.end(), [&](const NameKey& k) {
            return PartLess{}(k, pivot) && !sameParts(k, pivot);
        });
        const size_t mid = size_t(cut - keys.begin());
        const auto sortSide = [&](size_t first, size_t last) {
            std::sort(keys.begin() + qsizetype(first), keys.begin() + qsizetype(last), PartLess{});
            sortRuns(first, last);
        };
        std::thread second(sortSide, mid, n);
        sortSide(0, mid);
        second.join();
    } else {
        sortPart(0, n);
        sortRuns(0, n);
    }
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = keys[i].index;
    return order;
}

} // namespace

namespace {

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
    QStringView view(size_t i, QString&) const { return at(i); }
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

// Titles of a span, the lines of blocks made QStrings only where needed.
struct Spanned {
    TitleAt at;
    template <typename Fn> void forRange(size_t first, size_t last, Fn&& fn) const {
        at.forRange(qsizetype(first), qsizetype(last),
                    [&](qsizetype i, QStringView line) { fn(size_t(i), line); });
    }
    QStringView view(size_t i, QString& buffer) const { return at.view(qsizetype(i), buffer); }
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

qsizetype prepareOrders(TitleLists& lists, int threads) {
    const TitleLists& read = lists;
    std::vector<int> work;
    for (int i = TitleLists::FixedCount; i < read.count(); ++i)
        if (read.size(i) >= kKeepFrom) work.push_back(i);
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
    qsizetype kept = 0;
    for (size_t w = 0; w < work.size(); ++w) {
        kept += qsizetype(orders[w].size());
        lists.setNameOrder(work[w], std::move(orders[w]));
    }
    return kept;
}

} // namespace nameorder
