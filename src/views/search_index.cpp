#include "search_index.h"

#include "free_memory.h"
#include "name_order.h"
#include "title_lists.h"
#include "title_text.h"

#include <QHash>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <thread>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VORLUNE_SEARCH_X86 1
#endif

namespace quicksearch {

namespace {
const QString kPadsKey = QStringLiteral("ALPHALIST::ALLE GEMERKTEN TITEL");

// Titles per block of work; a multiple of 64, so blocks never share a word of bits.
constexpr size_t kBlock = 4096;
// Below this many titles the search runs on the calling thread alone.
constexpr size_t kParallelFrom = 4 * kBlock;
constexpr quint64 kMaxText = 0xFFFFFFF0ull; // offsets are 32-bit
// Bytes after the end of each text, so that a comparison may read a whole word.
constexpr qsizetype kPad = 64;
// Terms scanned together in one pass.
constexpr size_t kGroupMax = 8;

void upperAscii(char* p, char* end) {
    for (; p != end; ++p)
        if (*p >= 'a' && *p <= 'z') *p = char(*p - 32);
}

// Appends the text as UTF-8 with ASCII letters upper-cased, without a temporary array.
void appendUpper(QByteArray& out, QStringView text) {
    const qsizetype from = out.size();
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    // Grown by a quarter at a time, not doubled: the texts are long and kept.
    if (out.capacity() < from + n * 3)
        out.reserve(std::max(from + n * 3, out.capacity() + out.capacity() / 4));
    out.resize(from + n * 3);
    char* d = out.data() + from;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *d++ = (c >= u'a' && c <= u'z') ? char(c - 32) : char(c);
        } else if (c < 0x800) {
            *d++ = char(0xC0 | (c >> 6));
            *d++ = char(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c > 0xDFFF) {
            *d++ = char(0xE0 | (c >> 12));
            *d++ = char(0x80 | ((c >> 6) & 0x3F));
            *d++ = char(0x80 | (c & 0x3F));
        } else {
            // Surrogates (paired or not): the rest as the codec writes it.
            const QByteArray rest = text.mid(i).toUtf8();
            const qsizetype at = d - out.data();
            out.resize(at + rest.size());
            d = out.data() + at;
            std::memcpy(d, rest.constData(), size_t(rest.size()));
            upperAscii(d, d + rest.size());
            d += rest.size();
            break;
        }
    }
    out.resize(d - out.data());
}

void setBit(quint64* bits, size_t i) {
    bits[i / 64] |= quint64(1) << (i % 64);
}
bool testBit(const quint64* bits, size_t i) {
    return (bits[i / 64] >> (i % 64)) & 1;
}

int workerCount() {
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
}

// Runs work(block) for blocks 0..blocks-1 on up to workerCount() threads.
template <typename Work> void forBlocks(size_t blocks, bool parallel, const Work& work) {
    const size_t threads = parallel ? std::min<size_t>(size_t(workerCount()), blocks) : 1;
    if (threads <= 1) {
        for (size_t b = 0; b < blocks; ++b)
            work(b);
        return;
    }
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (size_t b; (b = next.fetch_add(1)) < blocks;)
            work(b);
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& t : pool)
        t.join();
}
} // namespace

// A term ready for scanning: its bytes and the offsets of its two rarest bytes, which the
// scan tests first.
struct SearchIndex::Needle {
    QByteArray bytes;
    size_t rare1 = 0;
    size_t rare2 = 0;
    size_t rare3 = 0; // the third rarest (rare1 for fewer than three bytes)
    qsizetype lastSlash = -1;
    bool impossible = false; // no title line can hold it
    quint64 head = 0;        // the first eight bytes (fewer: zero-filled)
    quint64 headMask = 0;    // which bytes of head belong to the needle

    Needle(const QString& term, const std::array<quint32, 256>& counts) : bytes(term.toUtf8()) {
        impossible = bytes.isEmpty() || bytes.contains('\n') || bytes.contains('\r');
        char h[8] = {};
        char m[8] = {};
        for (qsizetype i = 0; i < std::min<qsizetype>(bytes.size(), 8); ++i) {
            h[i] = bytes[i];
            m[i] = char(0xFF);
        }
        std::memcpy(&head, h, 8);
        std::memcpy(&headMask, m, 8);
        lastSlash = bytes.lastIndexOf('\\');
        const auto count = [&](size_t i) { return counts[static_cast<unsigned char>(bytes[i])]; };
        const size_t k = size_t(bytes.size());
        for (size_t i = 1; i < k; ++i)
            if (count(i) < count(rare1)) rare1 = i;
        rare2 = rare1 == 0 && k > 1 ? 1 : 0;
        for (size_t i = 0; i < k; ++i)
            if (i != rare1 && count(i) < count(rare2)) rare2 = i;
        rare3 = rare1;
        for (size_t i = 0; i < k; ++i)
            if (i != rare1 && i != rare2 && (rare3 == rare1 || count(i) < count(rare3))) rare3 = i;
    }
};

namespace {
using Needle = SearchIndex::Needle;

// Whether the needle starts at p; reads eight bytes there (the texts are padded).
inline bool equalAt(const char* p, const Needle& n) {
    quint64 x;
    std::memcpy(&x, p, 8);
    if ((x ^ n.head) & n.headMask) return false;
    const size_t k = size_t(n.bytes.size());
    return k <= 8 || std::memcmp(p + 8, n.bytes.constData() + 8, k - 8) == 0;
}

#if VORLUNE_SEARCH_X86
// Tests 32 (or 16) starting positions at a time for the needle's two rarest bytes before
// comparing the whole needle.
__attribute__((target("avx2"))) const char* findAvx2(const char* p, const char* end,
                                                     const Needle& n) {
    const size_t k = size_t(n.bytes.size());
    const char* s = n.bytes.constData();
    const __m256i b1 = _mm256_set1_epi8(s[n.rare1]);
    const __m256i b2 = _mm256_set1_epi8(s[n.rare2]);
    const char* last = end - k; // the last possible start
    for (; p + 31 <= last; p += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n.rare1));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n.rare2));
        unsigned mask = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(x, b1), _mm256_cmpeq_epi8(y, b2))));
        while (mask) {
            const int bit = std::countr_zero(mask);
            if (equalAt(p + bit, n)) return p + bit;
            mask &= mask - 1;
        }
    }
    for (; p <= last; ++p)
        if (p[n.rare1] == s[n.rare1] && equalAt(p, n)) return p;
    return nullptr;
}

const char* findSse2(const char* p, const char* end, const Needle& n) {
    const size_t k = size_t(n.bytes.size());
    const char* s = n.bytes.constData();
    const __m128i b1 = _mm_set1_epi8(s[n.rare1]);
    const __m128i b2 = _mm_set1_epi8(s[n.rare2]);
    const char* last = end - k;
    for (; p + 15 <= last; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n.rare1));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n.rare2));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, b1), _mm_cmpeq_epi8(y, b2))));
        while (mask) {
            const int bit = std::countr_zero(mask);
            if (equalAt(p + bit, n)) return p + bit;
            mask &= mask - 1;
        }
    }
    for (; p <= last; ++p)
        if (p[n.rare1] == s[n.rare1] && equalAt(p, n)) return p;
    return nullptr;
}

const bool kHasAvx2 = [] {
    // VORLUNE_SEARCH_NO_AVX2 takes the path of processors without AVX2 (tests run both).
    if (qEnvironmentVariableIsSet("VORLUNE_SEARCH_NO_AVX2")) return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// Needles scanned together: a hit of any of them counts.
struct Group {
    const Needle* n[kGroupMax];
    size_t count = 0;
    size_t maxLen = 0;
};

#if VORLUNE_SEARCH_X86
// Sets the bit of every item in [first, last) whose text contains any of the first N
// needles of the group; bits[0] stands for item `origin`. 32 starting positions at a time
// are tested for each needle's three rarest bytes (all its bytes when it has no more), the
// items told apart by their line ends, so that dense hits cost no branches of their own.
__attribute__((target("avx2"), always_inline)) inline __m256i at(const char* p, size_t offset) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + offset));
}

template <size_t N>
__attribute__((target("avx2,popcnt"))) void markAnyAvx2(const Group& g, const char* base,
                                                        const quint32* start, size_t first,
                                                        size_t last, size_t origin, quint64* out) {
    __m256i b1[N], b2[N], b3[N];
    size_t r1[N], r2[N], r3[N];
    bool exact[N];
    for (size_t j = 0; j < N; ++j) {
        const Needle& n = *g.n[j];
        r1[j] = n.rare1;
        r2[j] = n.rare2;
        r3[j] = n.rare3;
        b1[j] = _mm256_set1_epi8(n.bytes[qsizetype(r1[j])]);
        b2[j] = _mm256_set1_epi8(n.bytes[qsizetype(r2[j])]);
        b3[j] = _mm256_set1_epi8(n.bytes[qsizetype(r3[j])]);
        exact[j] = n.bytes.size() <= 3;
    }
    const __m256i lineEnd = _mm256_set1_epi8('\n');
    const char* p = base + start[first];
    const char* end = base + start[last];
    size_t item = first - origin;
    // Every load and every candidate of a step lies before end.
    for (; end - p >= ptrdiff_t(31 + g.maxLen); p += 32) {
        unsigned hits = 0;
        for (size_t j = 0; j < N; ++j) {
            const __m256i eq =
                _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(at(p, r1[j]), b1[j]),
                                                  _mm256_cmpeq_epi8(at(p, r2[j]), b2[j])),
                                 _mm256_cmpeq_epi8(at(p, r3[j]), b3[j]));
            unsigned m = unsigned(_mm256_movemask_epi8(eq));
            if (exact[j]) {
                hits |= m;
                continue;
            }
            for (; m; m &= m - 1) {
                const int bit = std::countr_zero(m);
                if (equalAt(p + bit, *g.n[j])) hits |= 1u << bit;
            }
        }
        const unsigned lines = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(at(p, 0), lineEnd)));
        for (; hits; hits &= hits - 1) {
            const unsigned below = (1u << std::countr_zero(hits)) - 1;
            setBit(out, item + size_t(_mm_popcnt_u32(lines & below)));
        }
        item += size_t(_mm_popcnt_u32(lines));
    }
    for (; p < end; ++p) {
        if (*p == '\n') {
            ++item;
            continue;
        }
        for (size_t j = 0; j < N; ++j)
            if (size_t(end - p) >= size_t(g.n[j]->bytes.size()) && equalAt(p, *g.n[j]))
                setBit(out, item);
    }
}

using MarkAny = void (*)(const Group&, const char*, const quint32*, size_t, size_t, size_t,
                         quint64*);
template <size_t... I>
constexpr std::array<MarkAny, kGroupMax> markAnyTable(std::index_sequence<I...>) {
    return {&markAnyAvx2<I + 1>...};
}
// By the number of needles, less one.
constexpr std::array<MarkAny, kGroupMax> kMarkAnyAvx2 =
    markAnyTable(std::make_index_sequence<kGroupMax>());
#endif

// The first occurrence of the needle in [p, end), or nullptr.
const char* find(const char* p, const char* end, const Needle& n) {
    const size_t k = size_t(n.bytes.size());
    if (p >= end || size_t(end - p) < k) return nullptr;
    if (k == 1) return static_cast<const char*>(std::memchr(p, n.bytes[0], size_t(end - p)));
#if VORLUNE_SEARCH_X86
    return kHasAvx2 ? findAvx2(p, end, n) : findSse2(p, end, n);
#else
    return static_cast<const char*>(memmem(p, size_t(end - p), n.bytes.constData(), k));
#endif
}

// Sets the bit in `out` of every item in [first, last) whose text (between start[i] and
// start[i + 1]) contains any needle of the group; bits[0] stands for item `origin`. Items
// whose bit is set already, or clear in `only` (when given), need not be looked at.
void scanAny(const Group& g, const char* base, const quint32* start, size_t first, size_t last,
             size_t origin, quint64* out, const quint64* only) {
#if VORLUNE_SEARCH_X86
    if (kHasAvx2) {
        kMarkAnyAvx2[g.count - 1](g, base, start, first, last, origin, out);
        return;
    }
#endif
    const auto skip = [&](size_t item) {
        return testBit(out, item - origin) || (only && !testBit(only, item - origin));
    };
    const char* end = base + start[last];
    // Without the vector scan: the next hit of each needle, found again once passed.
    const char* next[kGroupMax] = {};
    bool done[kGroupMax] = {};
    const auto findAny = [&](const char* p) -> const char* {
        const char* best = nullptr;
        for (size_t j = 0; j < g.count; ++j) {
            if (done[j]) continue;
            if (!next[j] || next[j] < p) next[j] = find(p, end, *g.n[j]);
            if (!next[j])
                done[j] = true;
            else if (!best || next[j] < best)
                best = next[j];
        }
        return best;
    };
    size_t item = first;
    while (item < last && skip(item))
        ++item;
    while (item < last) {
        const char* hit = findAny(base + start[item]);
        if (!hit) break;
        const quint32 at = quint32(hit - base);
        while (start[item + 1] <= at)
            ++item;
        setBit(out, item - origin);
        // One hit per item is enough: go on with the next one that still counts.
        do
            ++item;
        while (item < last && skip(item));
    }
}

// Sets the bit of every item in [first, last) whose text (between start[i] and
// start[i + 1]) contains the needle; bits[0] stands for item `origin`.
void scanItems(const Needle& n, const char* base, const quint32* start, size_t first, size_t last,
               size_t origin, quint64* bits) {
    const char* p = base + start[first];
    const char* end = base + start[last];
    size_t item = first;
    while (p < end) {
        const char* hit = find(p, end, n);
        if (!hit) break;
        const quint32 at = quint32(hit - base);
        while (start[item + 1] <= at)
            ++item;
        setBit(bits, item - origin);
        // One hit per item is enough: go on with the next one.
        p = base + start[item + 1];
    }
}
} // namespace

// One search, prepared: the needles and which folders hold them.
struct SearchIndex::Query {
    std::vector<Needle> needles; // plain, then "+", then "-"
    int plain = 0;
    int plus = 0;
    int minus = 0;
    bool namesOnly = false;
    bool nopads = false;
    std::vector<std::vector<quint64>> folderBits; // per needle, when not namesOnly
    std::vector<quint64> anyPlainFolder;          // the folders holding any plain term
    std::vector<quint64> anyMinusFolder;          // the folders holding any "-" term
};

SearchIndex::~SearchIndex() = default;

// Copies the titles at `hits` (ascending) over the null strings out[0, count).
#if VORLUNE_SEARCH_X86
__attribute__((target("prfchw")))
#endif
void SearchIndex::copyTitles(const quint32* hits, size_t count, QString* out) const {
    if (count == 0) return;
    // The parts are found in one walk (the hits ascend).
    size_t p = size_t(std::upper_bound(partStart_.begin(), partStart_.end(), hits[0]) -
                      partStart_.begin()) -
               1;
    std::pair<const TitleBlock*, qsizetype> lines[kBlock];
    for (size_t i = 0; i < count; ++i) {
        while (partStart_[p + 1] <= hits[i])
            ++p;
        const TitlePart& part = parts_[p];
        lines[i] = {part.block.get(), qsizetype(part.first + (hits[i] - partStart_[p]))};
    }
    // The hits of a block of work share one block of text. A null string needs no
    // destruction: each is constructed in its place.
    TitleBlock::linesSharingBlock(
        qsizetype(count), [&](qsizetype k) { return lines[k]; },
        [&](qsizetype k, QString&& line) { new (out + k) QString(std::move(line)); });
}

std::vector<SearchIndex::Source> SearchIndex::snapshot(const TitleLists& lists) {
    std::vector<Source> out;
    for (int i = TitleLists::FixedCount; i < lists.count(); ++i)
        if (lists.kind(i) != TitleLists::Kind::Plain) {
            const TitleSpan span = lists.span(i);
            out.push_back({lists.key(i), span.titles ? *span.titles : QStringList(), *span.parts});
        }
    return out;
}

namespace {
// Folder parts by their upper-cased text, which is all a search reads of them: ids in a
// table of open addressing (id + 1, 0 for none), their hashes kept for growing it.
class FolderIds {
public:
    // The id of `text`, or `id` after adding it; textOf(k) gives the text of folder k.
    template <typename TextOf>
    quint32 findOrAdd(QByteArrayView text, quint32 id, const TextOf& textOf) {
        if (2 * (hashes_.size() + 1) > slots_.size()) grow();
        const size_t hash = qHash(text);
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const quint32 slot = slots_[i];
            if (slot == 0) {
                slots_[i] = id + 1;
                hashes_.push_back(hash);
                return id;
            }
            if (hashes_[slot - 1] == hash && textOf(slot - 1) == text) return slot - 1;
        }
    }

private:
    void grow() {
        slots_.assign(std::max<size_t>(64, 2 * slots_.size()), 0);
        const size_t mask = slots_.size() - 1;
        for (size_t id = 0; id < hashes_.size(); ++id) {
            size_t i = hashes_[id] & mask;
            while (slots_[i] != 0)
                i = (i + 1) & mask;
            slots_[i] = quint32(id + 1);
        }
    }

    std::vector<quint32> slots_;
    std::vector<size_t> hashes_; // by id
};
} // namespace

SearchIndex::SearchIndex(std::vector<Source> sources) {
    qsizetype total = 0;
    size_t partCount = 0;
    for (Source& s : sources) {
        // Titles a list holds as QStrings get a block of their own.
        if (!s.titles.isEmpty()) {
            std::vector<std::vector<TitlePart>> own;
            titleblock::pack({&s.titles}, own);
            s.parts.insert(s.parts.begin(), own[0].begin(), own[0].end());
        }
        for (const TitlePart& p : s.parts)
            total += p.count;
        partCount += s.parts.size();
    }
    parts_.reserve(partCount);
    partStart_.reserve(partCount + 1);
    size_t count = 0;
    for (Source& s : sources) {
        const size_t first = count;
        for (TitlePart& part : s.parts) {
            if (part.count == 0) continue;
            partStart_.push_back(count);
            count += part.count;
            parts_.push_back(std::move(part));
        }
        if (asciiUpper(s.key) == kPadsKey) pads_.push_back({qsizetype(first), qsizetype(count)});
    }
    partStart_.push_back(count);
    sources = {};
    // The display order first: its work space is given back before the texts take room.
    byName_ = nameorder::sortedByName(TitleSpan{nullptr, &parts_});
    returnFreedMemory();

    fileStart_.reserve(size_t(total) + 1);
    // The titles of one folder mostly follow each other.
    FolderIds folderIds;
    QString lastFolder;
    bool haveLast = false;
    quint32 lastId = 0;
    bool full = false;
    size_t indexed = 0;
    QString buffer;
    for (size_t k = 0; k < parts_.size() && !full; ++k) {
        prefetchAhead(parts_, k);
        const TitlePart& part = parts_[k];
        for (quint32 i = 0; i < part.count; ++i) {
            const QStringView line = part.block->view(qsizetype(part.first + i), buffer);
            const qsizetype cut = titletext::lastOf(line, u'\\') + 1; // 0 without a backslash
            const QStringView folder = line.left(cut);
            if (quint64(files_.size()) + quint64(line.size() - cut) * 3 + 1 >= kMaxText ||
                quint64(folders_.size()) + quint64(cut) * 3 + 1 >= kMaxText) {
                // Stop indexing rather than wrap the offsets.
                full = true;
                break;
            }
            if (!haveLast || folder != lastFolder) {
                lastFolder = folder.toString();
                haveLast = true;
                // Appended, and taken back when an earlier folder reads the same.
                const qsizetype from = folders_.size();
                appendUpper(folders_, folder);
                const auto textOf = [&](quint32 f) {
                    const quint32 end =
                        f + 1 < folderStart_.size() ? folderStart_[f + 1] : quint32(from);
                    return QByteArrayView(folders_.constData() + folderStart_[f],
                                          end - 1 - folderStart_[f]);
                };
                const quint32 id = quint32(folderStart_.size());
                lastId = folderIds.findOrAdd(
                    QByteArrayView(folders_.constData() + from, folders_.size() - from), id,
                    textOf);
                if (lastId == id) {
                    folderStart_.push_back(quint32(from));
                    folders_.append('\n');
                } else {
                    folders_.resize(from);
                }
            }
            fileStart_.push_back(quint32(files_.size()));
            if (folderRuns_.empty() || folderRuns_.back().folder != lastId)
                folderRuns_.push_back({quint32(indexed), lastId});
            appendUpper(files_, line.sliced(cut));
            files_.append('\n');
            ++indexed;
        }
    }
    folderIds = {};
    fileStart_.push_back(quint32(files_.size()));
    folderStart_.push_back(quint32(folders_.size()));
    if (indexed < count) {
        // The titles past the last one indexed are dropped, and the order made again.
        const size_t p = size_t(std::upper_bound(partStart_.begin(), partStart_.end(), indexed) -
                                partStart_.begin()) -
                         1;
        parts_[p].count = quint32(indexed - partStart_[p]);
        const size_t keep = parts_[p].count > 0 ? p + 1 : p;
        parts_.resize(keep);
        partStart_.resize(keep);
        partStart_.push_back(indexed);
        for (Range& r : pads_) {
            r.begin = std::min(r.begin, qsizetype(indexed));
            r.end = std::min(r.end, qsizetype(indexed));
        }
        count = indexed;
        byName_ = nameorder::sortedByName(TitleSpan{nullptr, &parts_});
    }
    folderRuns_.push_back({quint32(count), 0});
    folderRuns_.shrink_to_fit();
    titleCount_ = qsizetype(count);
    // Four tables in turn, so that equal bytes in a row do not wait for each other.
    std::array<std::array<quint32, 256>, 4> counts{};
    for (const QByteArray* text : {&files_, &folders_}) {
        const auto* p = reinterpret_cast<const unsigned char*>(text->constData());
        const size_t n = size_t(text->size());
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++counts[0][p[i]];
            ++counts[1][p[i + 1]];
            ++counts[2][p[i + 2]];
            ++counts[3][p[i + 3]];
        }
        for (; i < n; ++i)
            ++counts[0][p[i]];
    }
    for (size_t b = 0; b < 256; ++b)
        byteCount_[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
    for (QByteArray* text : {&files_, &folders_}) {
        text->append(QByteArray(kPad, '\n'));
        text->squeeze();
    }
    returnFreedMemory(); // the folder table and what the texts outgrew
}

SearchIndex::Span SearchIndex::nameOf(size_t t) const {
    // The display name within the file part: after its last ":", without the last extension.
    // Both marks are ASCII, so the UTF-8 bytes are read as they are.
    const char* text = files_.constData();
    const quint32 end = fileStart_[t + 1] - 1; // before the "\n"
    quint32 begin = fileStart_[t];
    for (quint32 i = end; i > begin; --i)
        if (text[i - 1] == ':') {
            begin = i;
            break;
        }
    for (quint32 i = end; i > begin + 1; --i)
        if (text[i - 1] == '.') return {begin, i - 1};
    return {begin, end};
}

void SearchIndex::folderHits(const quint64* folders, size_t first, size_t last,
                             quint64* bits) const {
    for (size_t t = first, r = runOf(first); t < last; ++r) {
        const size_t end = std::min<size_t>(last, folderRuns_[r + 1].first);
        if (testBit(folders, folderRuns_[r].folder))
            for (; t < end; ++t)
                setBit(bits, t - first);
        t = end;
    }
}

size_t SearchIndex::runOf(size_t title) const {
    return size_t(std::upper_bound(folderRuns_.begin(), folderRuns_.end(), title,
                                   [](size_t t, const FolderRun& r) { return t < r.first; }) -
                  folderRuns_.begin()) -
           1;
}

void SearchIndex::termBits(const Query& q, int term, size_t first, size_t last, quint64* bits,
                           bool withFolders) const {
    const Needle& n = q.needles[size_t(term)];
    if (n.impossible) return;
    const size_t k = size_t(n.bytes.size());
    if (q.namesOnly) {
        // Only the display name counts: the hit must lie inside it.
        const char* base = files_.constData();
        const char* p = base + fileStart_[first];
        const char* end = base + fileStart_[last];
        size_t t = first;
        while (p < end) {
            const char* hit = find(p, end, n);
            if (!hit) break;
            const quint32 at = quint32(hit - base);
            while (fileStart_[t + 1] <= at)
                ++t;
            const Span s = nameOf(t);
            if (at >= s.begin && at + k <= s.end) {
                setBit(bits, t - first);
                p = base + fileStart_[t + 1];
            } else if (at < s.begin) {
                p = base + s.begin;
            } else {
                p = base + fileStart_[t + 1];
            }
        }
        return;
    }
    if (withFolders) folderHits(q.folderBits[size_t(term)].data(), first, last, bits);
    if (n.lastSlash < 0) {
        scanItems(n, files_.constData(), fileStart_.data(), first, last, first, bits);
        return;
    }
    // A term with a backslash ends its folder part where the file part begins: its part
    // up to the last backslash ends the folder part, the rest begins the file part.
    const QByteArrayView head(n.bytes.constData(), n.lastSlash + 1);
    const QByteArrayView tail = QByteArrayView(n.bytes).sliced(n.lastSlash + 1);
    for (size_t t = first, r = runOf(first); t < last; ++t) {
        while (folderRuns_[r + 1].first <= t)
            ++r;
        const quint32 f = folderRuns_[r].folder;
        const QByteArrayView folder(folders_.constData() + folderStart_[f],
                                    folderStart_[f + 1] - folderStart_[f] - 1);
        const QByteArrayView file(files_.constData() + fileStart_[t],
                                  fileStart_[t + 1] - fileStart_[t] - 1);
        if (folder.endsWith(head) && file.startsWith(tail)) setBit(bits, t - first);
    }
}

void SearchIndex::anyTermBits(const Query& q, int from, int to, size_t first, size_t last,
                              quint64* out, const quint64* only) const {
    Group g;
    const auto flush = [&] {
        if (g.count)
            scanAny(g, files_.constData(), fileStart_.data(), first, last, first, out, only);
        g = Group();
    };
    for (int i = from; i < to; ++i) {
        const Needle& n = q.needles[size_t(i)];
        if (q.namesOnly || n.lastSlash >= 0) {
            termBits(q, i, first, last, out, false);
            continue;
        }
        if (n.impossible) continue;
        g.n[g.count++] = &n;
        g.maxLen = std::max(g.maxLen, size_t(n.bytes.size()));
        if (g.count == kGroupMax) flush();
    }
    flush();
}

bool SearchIndex::titleContains(const Query& q, int term, size_t t) const {
    const Needle& n = q.needles[size_t(term)];
    if (n.impossible) return false;
    const char* base = files_.constData();
    if (q.namesOnly) {
        const Span s = nameOf(t);
        return find(base + s.begin, base + s.end, n) != nullptr;
    }
    const quint32 f = folderRuns_[runOf(t)].folder;
    if (testBit(q.folderBits[size_t(term)].data(), f)) return true;
    const char* file = base + fileStart_[t];
    const char* fileEnd = base + fileStart_[t + 1] - 1;
    if (n.lastSlash < 0) return find(file, fileEnd, n) != nullptr;
    const QByteArrayView folder(folders_.constData() + folderStart_[f],
                                folderStart_[f + 1] - folderStart_[f] - 1);
    return folder.endsWith(QByteArrayView(n.bytes.constData(), n.lastSlash + 1)) &&
           QByteArrayView(file, fileEnd - file)
               .startsWith(QByteArrayView(n.bytes).sliced(n.lastSlash + 1));
}

void SearchIndex::searchBlock(const Query& q, size_t first, size_t last, quint64* bits) const {
    const size_t words = (last - first + 63) / 64;
    if (q.plain > 0) {
        // Titles whose folder holds any plain term, in one pass; then the file parts of the
        // others, all terms in one pass.
        if (!q.namesOnly) folderHits(q.anyPlainFolder.data(), first, last, bits);
        anyTermBits(q, 0, q.plain, first, last, bits, nullptr);
    } else {
        std::fill(bits, bits + words, ~quint64(0));
        if ((last - first) % 64) bits[words - 1] &= (quint64(1) << ((last - first) % 64)) - 1;
    }
    if (q.nopads) {
        for (const Range& r : pads_) {
            const size_t b = std::max<size_t>(size_t(r.begin), first);
            const size_t e = std::min<size_t>(size_t(r.end), last);
            for (size_t i = b; i < e; ++i)
                bits[(i - first) / 64] &= ~(quint64(1) << ((i - first) % 64));
        }
    }
    // "+" terms one by one, then all "-" terms together.
    std::array<quint64, kBlock / 64> scratch;
    const int plusEnd = q.plain + q.plus;
    const int minusEnd = plusEnd + q.minus;
    for (int i = q.plain; i < minusEnd; i = i < plusEnd ? i + 1 : minusEnd) {
        const bool keep = i < plusEnd;
        const int to = keep ? i + 1 : minusEnd;
        size_t candidates = 0;
        for (size_t w = 0; w < words; ++w)
            candidates += size_t(std::popcount(bits[w]));
        if (candidates == 0) return;
        if (candidates * 8 >= last - first) {
            // Many candidates: scan the block once.
            std::fill(scratch.begin(), scratch.begin() + qsizetype(words), 0);
            if (keep) {
                termBits(q, i, first, last, scratch.data());
            } else {
                if (!q.namesOnly) folderHits(q.anyMinusFolder.data(), first, last, scratch.data());
                anyTermBits(q, i, to, first, last, scratch.data(), bits);
            }
            for (size_t w = 0; w < words; ++w)
                bits[w] &= keep ? scratch[w] : ~scratch[w];
            continue;
        }
        // Few candidates: test their lines one by one.
        for (size_t w = 0; w < words; ++w) {
            quint64 left = bits[w];
            while (left) {
                const int b = std::countr_zero(left);
                left &= left - 1;
                const size_t t = first + w * 64 + size_t(b);
                bool has = false;
                for (int j = i; j < to && !has; ++j)
                    has = titleContains(q, j, t);
                if (has != keep) bits[w] &= ~(quint64(1) << b);
            }
        }
    }
}

namespace {
// Writes the list places of the hits among byName[first, last) to `out` and returns how
// many: a title's place is the number of hits before it. No branch depends on the hits.
template <typename Count>
inline __attribute__((always_inline)) size_t
placesInNameOrder(const int* byName, size_t first, size_t last, const quint64* match,
                  const quint32* before, quint32 kept, int* out, Count count) {
    size_t c = 0;
    for (size_t i = first; i < last; ++i) {
        const size_t t = size_t(byName[i]);
        const quint64 word = match[t / 64];
        const unsigned bit = unsigned(t % 64);
        const quint32 place = before[t / 64] + count(word & ((quint64(1) << bit) - 1));
        out[c] = int(place);
        c += size_t((word >> bit) & 1) & size_t(place < kept);
    }
    return c;
}

size_t placesGeneric(const int* byName, size_t first, size_t last, const quint64* match,
                     const quint32* before, quint32 kept, int* out) {
    return placesInNameOrder(byName, first, last, match, before, kept, out,
                             [](quint64 x) { return quint32(std::popcount(x)); });
}

#if VORLUNE_SEARCH_X86
__attribute__((target("popcnt"))) size_t placesPopcnt(const int* byName, size_t first, size_t last,
                                                      const quint64* match, const quint32* before,
                                                      quint32 kept, int* out) {
    return placesInNameOrder(byName, first, last, match, before, kept, out,
                             [](quint64 x) { return quint32(__builtin_popcountll(x)); });
}

const bool kHasPopcnt = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") != 0;
}();
#endif
} // namespace

std::vector<int> SearchIndex::displayOrder(const std::vector<quint64>& match, size_t kept,
                                           bool parallel) const {
    const size_t words = match.size();
    std::vector<quint32> before(words);
    quint32 sum = 0;
    for (size_t w = 0; w < words; ++w) {
        before[w] = sum;
        sum += quint32(std::popcount(match[w]));
    }
    const auto places =
#if VORLUNE_SEARCH_X86
        kHasPopcnt ? placesPopcnt :
#endif
                   placesGeneric;
    // Parts of the name order at once, joined in order.
    const size_t n = byName_.size();
    // Each part writes where its titles lie in the name order, then the parts are joined.
    const size_t parts = parallel ? size_t(workerCount()) * 2 : 1;
    const std::unique_ptr<int[]> buffer(new int[n]);
    std::vector<size_t> found(parts);
    forBlocks(parts, parallel, [&](size_t p) {
        const size_t from = n * p / parts;
        found[p] = places(byName_.data(), from, n * (p + 1) / parts, match.data(), before.data(),
                          quint32(kept), buffer.get() + from);
    });
    std::vector<int> order;
    order.reserve(kept);
    for (size_t p = 0; p < parts; ++p) {
        const int* from = buffer.get() + n * p / parts;
        order.insert(order.end(), from, from + found[p]);
    }
    return order;
}

SearchResult SearchIndex::search(const SearchTerms& terms, const SearchOptions& options) const {
    SearchResult result;
    if (terms.plain.isEmpty() && terms.plus.isEmpty())
        return result; // only "-" terms, or none: nothing matches
    const size_t n = size_t(titleCount());
    if (n == 0) return result;

    Query q;
    q.namesOnly = options.nomedia;
    q.nopads = options.nopads;
    q.plain = int(terms.plain.size());
    q.plus = int(terms.plus.size());
    q.minus = int(terms.minus.size());
    for (const QStringList* list : {&terms.plain, &terms.plus, &terms.minus})
        for (const QString& t : *list)
            q.needles.emplace_back(t, byteCount_);

    const bool parallel = n >= kParallelFrom;
    if (!q.namesOnly) {
        // Which folder parts hold each term: every folder is scanned once.
        const size_t folders = folderStart_.size() - 1;
        q.folderBits.assign(q.needles.size(), std::vector<quint64>((folders + 63) / 64, 0));
        const size_t blocks = (folders + kBlock - 1) / kBlock;
        forBlocks(blocks, parallel, [&](size_t b) {
            const size_t first = b * kBlock;
            const size_t last = std::min(folders, first + kBlock);
            for (size_t i = 0; i < q.needles.size(); ++i)
                if (!q.needles[i].impossible)
                    scanItems(q.needles[i], folders_.constData(), folderStart_.data(), first, last,
                              0, q.folderBits[i].data());
        });
    }

    if (!q.namesOnly) {
        const auto any = [&](int from, int to) {
            std::vector<quint64> bits((folderStart_.size() - 1 + 63) / 64, 0);
            for (int i = from; i < to; ++i)
                for (size_t w = 0; w < bits.size(); ++w)
                    bits[w] |= q.folderBits[size_t(i)][w];
            return bits;
        };
        q.anyPlainFolder = any(0, q.plain);
        q.anyMinusFolder = any(q.plain + q.plus, q.plain + q.plus + q.minus);
    }

    std::vector<quint64> match((n + 63) / 64, 0);
    const size_t blocks = (n + kBlock - 1) / kBlock;
    std::vector<qint64> blockHits(blocks, 0);
    forBlocks(blocks, parallel, [&](size_t b) {
        const size_t first = b * kBlock;
        const size_t last = std::min(n, first + kBlock);
        quint64* bits = match.data() + first / 64;
        searchBlock(q, first, last, bits);
        qint64 count = 0;
        for (size_t w = 0; w < (last - first + 63) / 64; ++w)
            count += std::popcount(bits[w]);
        blockHits[b] = count;
    });

    // Where each block's hits go in the list; hits past the limit are counted, not kept.
    std::vector<qint64> blockStart(blocks + 1, 0);
    for (size_t b = 0; b < blocks; ++b)
        blockStart[b + 1] = blockStart[b] + blockHits[b];
    result.hits = blockStart[blocks];
    const qint64 limit = options.reslimit ? qMax(0, options.reslimitcnt) : -1;
    const qint64 kept = limit >= 0 ? std::min(limit, result.hits) : result.hits;
    result.limited = kept < result.hits;
    if (kept == 0) return result;

    result.titles.resize(kept);
    QString* out = result.titles.data(); // detached once; the blocks fill their own slots
    forBlocks(blocks, parallel && kept >= qint64(kParallelFrom), [&](size_t b) {
        qint64 pos = blockStart[b];
        if (pos >= kept || blockHits[b] == 0) return;
        const size_t first = b * kBlock;
        const size_t last = std::min(n, first + kBlock);
        quint32 hits[kBlock];
        size_t count = 0;
        for (size_t w = 0; w < (last - first + 63) / 64; ++w)
            for (quint64 left = match[first / 64 + w]; left; left &= left - 1)
                hits[count++] = quint32(first + w * 64 + size_t(std::countr_zero(left)));
        count = size_t(std::min<qint64>(qint64(count), kept - pos));
        copyTitles(hits, count, out + pos);
    });

    if (kept >= nameorder::kKeepFrom)
        result.order = displayOrder(match, size_t(kept), parallel && n >= kParallelFrom);
    return result;
}

SearchResult searchTitleLists(const TitleLists& lists, const SearchTerms& terms,
                              const SearchOptions& options) {
    return SearchIndex(SearchIndex::snapshot(lists)).search(terms, options);
}

} // namespace quicksearch
