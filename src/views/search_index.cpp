#include "search_index.h"

#include "title_lists.h"
#include "title_text.h"

#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quicksearch {

namespace {
const QString kAlphaPrefix = QStringLiteral("ALPHALIST::");
const QString kPadsKey = QStringLiteral("ALPHALIST::ALLE GEMERKTEN TITEL");

void appendUpper(QByteArray& out, QStringView text) {
    const qsizetype from = out.size();
    out.append(text.toUtf8());
    char* p = out.data() + from;
    char* end = out.data() + out.size();
    for (; p != end; ++p)
        if (*p >= 'a' && *p <= 'z') *p = char(*p - 32);
    out.append('\n');
}
} // namespace

std::vector<SearchIndex::Source> SearchIndex::snapshot(const TitleLists& lists) {
    std::vector<Source> out;
    for (int i = TitleLists::FixedCount; i < lists.count(); ++i)
        if (lists.key(i).startsWith(kAlphaPrefix, Qt::CaseInsensitive))
            out.push_back({lists.key(i), lists.list(i)});
    return out;
}

SearchIndex::SearchIndex(std::vector<Source> sources) {
    qsizetype total = 0;
    for (const Source& s : sources)
        total += s.titles.size();
    titles_.reserve(total);
    lineStart_.reserve(size_t(total) + 1);
    nameStart_.reserve(size_t(total) + 1);
    for (const Source& s : sources) {
        const qsizetype first = titles_.size();
        for (const QString& line : s.titles) {
            // Offsets are 32-bit: stop indexing rather than wrap past 4 GiB of text.
            if (quint64(lines_.size()) + quint64(line.size()) * 3 + 1 >= 0xFFFFFFFFull) break;
            lineStart_.push_back(quint32(lines_.size()));
            nameStart_.push_back(quint32(names_.size()));
            appendUpper(lines_, line);
            appendUpper(names_, titletext::displayName(line));
            titles_.append(line);
        }
        if (asciiUpper(s.key) == kPadsKey) pads_.push_back({first, titles_.size()});
    }
    lineStart_.push_back(quint32(lines_.size()));
    nameStart_.push_back(quint32(names_.size()));
    lines_.squeeze();
    names_.squeeze();
}

namespace {
// The first occurrence of the needle in [p, end), or nullptr. Tests 16 positions at a time
// for the needle's first and last byte before comparing the rest.
const char* find(const char* p, const char* end, const QByteArray& needle) {
    const size_t k = size_t(needle.size());
    const char* n = needle.constData();
    if (size_t(end - p) < k) return nullptr;
#if defined(__SSE2__)
    if (k >= 2) {
        const __m128i first = _mm_set1_epi8(n[0]);
        const __m128i last = _mm_set1_epi8(n[k - 1]);
        while (p + k - 1 + 16 <= end) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k - 1));
            unsigned mask = unsigned(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            while (mask) {
                const int bit = std::countr_zero(mask);
                if (std::memcmp(p + bit + 1, n + 1, k - 2) == 0) return p + bit;
                mask &= mask - 1;
            }
            p += 16;
        }
    }
#endif
    return static_cast<const char*>(memmem(p, size_t(end - p), n, k));
}

// Sets the bit of every title in [first, last) whose text contains the needle.
void scanTitles(const QByteArray& needle, const char* base, const quint32* start, size_t first,
                size_t last, quint64* bits) {
    const char* p = base + start[first];
    const char* end = base + start[last];
    size_t title = first;
    while (p < end) {
        const void* hit = memmem(p, size_t(end - p), needle.constData(), size_t(needle.size()));
        if (!hit) break;
        const quint32 at = quint32(static_cast<const char*>(hit) - base);
        while (start[title + 1] <= at)
            ++title;
        bits[title / 64] |= quint64(1) << (title % 64);
        // One hit per title is enough: go on with the next line.
        p = base + start[title + 1];
    }
}

bool lineContains(const QByteArray& needle, const char* base, const quint32* start, size_t title) {
    return find(base + start[title], base + start[title + 1], needle) != nullptr;
}
} // namespace

std::vector<quint64> SearchIndex::matches(const QString& term, bool namesOnly) const {
    const size_t n = size_t(titleCount());
    std::vector<quint64> bits((n + 63) / 64, 0);
    const QByteArray needle = term.toUtf8();
    if (needle.isEmpty() || n == 0) return bits;
    const char* base = (namesOnly ? names_ : lines_).constData();
    const quint32* start = (namesOnly ? nameStart_ : lineStart_).data();
    // Split into chunks of whole 64-title words, one per core.
    const size_t threads = std::clamp<size_t>(size_t(std::thread::hardware_concurrency()), 1, 8);
    const size_t words = bits.size();
    const size_t perChunk = (words + threads - 1) / threads;
    std::vector<std::thread> workers;
    for (size_t c = 1; c < threads && c * perChunk < words; ++c) {
        const size_t first = c * perChunk * 64;
        const size_t last = std::min(n, (c + 1) * perChunk * 64);
        workers.emplace_back(scanTitles, std::cref(needle), base, start, first, last, bits.data());
    }
    scanTitles(needle, base, start, 0, std::min(n, perChunk * 64), bits.data());
    for (std::thread& w : workers)
        w.join();
    return bits;
}

void SearchIndex::refine(const QString& term, bool namesOnly, bool keepMatching,
                         std::vector<quint64>& match) const {
    // Few candidates left: test their lines one by one instead of scanning everything.
    size_t candidates = 0;
    for (quint64 w : match)
        candidates += size_t(std::popcount(w));
    if (candidates * 16 >= size_t(titleCount())) {
        const auto m = matches(term, namesOnly);
        for (size_t w = 0; w < match.size(); ++w)
            match[w] &= keepMatching ? m[w] : ~m[w];
        return;
    }
    const QByteArray needle = term.toUtf8();
    const char* base = (namesOnly ? names_ : lines_).constData();
    const quint32* start = (namesOnly ? nameStart_ : lineStart_).data();
    for (size_t w = 0; w < match.size(); ++w) {
        quint64 bitsLeft = match[w];
        while (bitsLeft) {
            const int b = std::countr_zero(bitsLeft);
            bitsLeft &= bitsLeft - 1;
            if (lineContains(needle, base, start, w * 64 + size_t(b)) != keepMatching)
                match[w] &= ~(quint64(1) << b);
        }
    }
}

SearchResult SearchIndex::search(const SearchTerms& terms, const SearchOptions& options) const {
    SearchResult result;
    if (terms.plain.isEmpty() && terms.plus.isEmpty())
        return result; // only "-" terms, or none: nothing matches
    const size_t words = size_t((titleCount() + 63) / 64);

    std::vector<quint64> match(words, terms.plain.isEmpty() ? ~quint64(0) : 0);
    for (const QString& t : terms.plain) {
        const auto m = matches(t, options.nomedia);
        for (size_t w = 0; w < words; ++w)
            match[w] |= m[w];
    }
    if (words && titleCount() % 64) match.back() &= (quint64(1) << (titleCount() % 64)) - 1;
    if (options.nopads) {
        for (const Range& r : pads_)
            for (qsizetype i = r.begin; i < r.end; ++i)
                match[size_t(i / 64)] &= ~(quint64(1) << (i % 64));
    }
    for (const QString& t : terms.plus)
        refine(t, options.nomedia, true, match);
    for (const QString& t : terms.minus)
        refine(t, options.nomedia, false, match);

    const qint64 limit = options.reslimit ? qMax(0, options.reslimitcnt) : -1;
    for (size_t w = 0; w < words; ++w) {
        quint64 bitsLeft = match[w];
        if (!bitsLeft) continue;
        result.hits += std::popcount(bitsLeft);
        while (bitsLeft) {
            if (limit >= 0 && result.titles.size() >= limit) {
                result.limited = true;
                break;
            }
            const int b = std::countr_zero(bitsLeft);
            bitsLeft &= bitsLeft - 1;
            result.titles.append(titles_[qsizetype(w * 64 + size_t(b))]);
        }
    }
    return result;
}

SearchResult searchTitleLists(const TitleLists& lists, const SearchTerms& terms,
                              const SearchOptions& options) {
    return SearchIndex(SearchIndex::snapshot(lists)).search(terms, options);
}

} // namespace quicksearch
