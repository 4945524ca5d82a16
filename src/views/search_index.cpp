#include "search_index.h"

#include "title_lists.h"
#include "title_text.h"

#include <QtGlobal>

#include <bit>
#include <cstring>

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

std::vector<quint64> SearchIndex::matches(const QString& term, bool namesOnly) const {
    const qsizetype n = titleCount();
    std::vector<quint64> bits(size_t((n + 63) / 64), 0);
    const QByteArray needle = term.toUtf8();
    const QByteArray& hay = namesOnly ? names_ : lines_;
    const std::vector<quint32>& start = namesOnly ? nameStart_ : lineStart_;
    if (needle.isEmpty() || n == 0) return bits;
    const char* base = hay.constData();
    const char* end = base + hay.size();
    const char* p = base;
    size_t title = 0;
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
    return bits;
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
    for (const QString& t : terms.plus) {
        const auto m = matches(t, options.nomedia);
        for (size_t w = 0; w < words; ++w)
            match[w] &= m[w];
    }
    for (const QString& t : terms.minus) {
        const auto m = matches(t, options.nomedia);
        for (size_t w = 0; w < words; ++w)
            match[w] &= ~m[w];
    }
    if (options.nopads) {
        for (const Range& r : pads_)
            for (qsizetype i = r.begin; i < r.end; ++i)
                match[size_t(i / 64)] &= ~(quint64(1) << (i % 64));
    }
    if (words && titleCount() % 64) match.back() &= (quint64(1) << (titleCount() % 64)) - 1;

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
