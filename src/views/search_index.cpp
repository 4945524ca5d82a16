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

// A term in one encoding, ready for scanning without regard to the case of ASCII letters:
// byte c of a text matches byte b of the pattern when (c | fold) == b, where b is lower-cased
// and fold is 0x20 for letters, else 0.
struct SearchIndex::Pattern {
    QByteArray bytes;
    QByteArray folds;
    // By eight bytes: the bytes, their folds and which of them count.
    std::vector<quint64> word, fold, mask;
    size_t rare1 = 0;
    size_t rare2 = 0;
    size_t rare3 = 0; // the third rarest (rare1 for fewer than three bytes)
    qsizetype lastSlash = -1;
    bool impossible = false; // no title line can hold it

    Pattern() = default;
    Pattern(const QByteArray& text, const std::array<quint32, 256>& counts, bool possible)
        : bytes(text), folds(text.size(), '\0') {
        impossible = !possible || bytes.isEmpty() || bytes.contains('\n') || bytes.contains('\r');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (isLetter(bytes[i])) {
                bytes[i] = char(bytes[i] | 0x20);
                folds[i] = 0x20;
            }
        const size_t k = size_t(bytes.size());
        word.assign((k + 7) / 8, 0);
        fold.assign(word.size(), 0);
        mask.assign(word.size(), 0);
        for (size_t i = 0; i < k; ++i) {
            const unsigned shift = unsigned(i % 8) * 8;
            word[i / 8] |= quint64(static_cast<unsigned char>(bytes[qsizetype(i)])) << shift;
            fold[i / 8] |= quint64(static_cast<unsigned char>(folds[qsizetype(i)])) << shift;
            mask[i / 8] |= quint64(0xFF) << shift;
        }
        lastSlash = bytes.lastIndexOf('\\');
        const auto count = [&](size_t i) { return counts[static_cast<unsigned char>(bytes[i])]; };
        for (size_t i = 1; i < k; ++i)
            if (count(i) < count(rare1)) rare1 = i;
        rare2 = rare1 == 0 && k > 1 ? 1 : 0;
        for (size_t i = 0; i < k; ++i)
            if (i != rare1 && count(i) < count(rare2)) rare2 = i;
        rare3 = rare1;
        for (size_t i = 0; i < k; ++i)
            if (i != rare1 && i != rare2 && (rare3 == rare1 || count(i) < count(rare3))) rare3 = i;
    }

    static bool isLetter(char c) {
        const char l = char(c | 0x20);
        return l >= 'a' && l <= 'z';
    }
    size_t size() const { return size_t(bytes.size()); }
    bool byteAt(char c, size_t i) const {
        return char(c | folds[qsizetype(i)]) == bytes[qsizetype(i)];
    }
    // Whether the pattern starts at p; reads whole words (up to seven bytes past the
    // pattern's length, which every text has room for).
    bool at(const char* p) const {
        for (size_t w = 0; w < word.size(); ++w) {
            quint64 x;
            std::memcpy(&x, p + 8 * w, 8);
            if (((x | fold[w]) ^ word[w]) & mask[w]) return false;
        }
        return true;
    }
    // Whether bytes [from, from + n) of the pattern are at p, byte by byte.
    bool partAt(const char* p, size_t from, size_t n) const {
        for (size_t i = 0; i < n; ++i)
            if (!byteAt(p[i], from + i)) return false;
        return true;
    }
};

// A term ready for scanning: Latin-1 for the title blocks that hold it, UTF-8 for the folder
// parts and the copies of UTF-16 blocks.
struct SearchIndex::Needle {
    Pattern latin1;
    Pattern utf8;
    bool impossible = false; // no title line can hold it

    Needle(const QString& term, const std::array<quint32, 256>& counts)
        : latin1(
              term.toLatin1(), counts,
              std::all_of(term.begin(), term.end(), [](QChar c) { return c.unicode() < 0x100; })),
          utf8(term.toUtf8(), counts, true), impossible(utf8.impossible) {}

    const Pattern& in(bool isUtf8) const { return isUtf8 ? utf8 : latin1; }
};

namespace {
using Pattern = SearchIndex::Pattern;

#if VORLUNE_SEARCH_X86
// Tests 32 (or 16) starting positions at a time for the pattern's two rarest bytes before
// comparing the whole of it.
__attribute__((target("avx2"))) const char* findAvx2(const char* p, const char* end,
                                                     const char* limit, const Pattern& n) {
    const size_t k = n.size();
    const __m256i b1 = _mm256_set1_epi8(n.bytes[qsizetype(n.rare1)]);
    const __m256i f1 = _mm256_set1_epi8(n.folds[qsizetype(n.rare1)]);
    const __m256i b2 = _mm256_set1_epi8(n.bytes[qsizetype(n.rare2)]);
    const __m256i f2 = _mm256_set1_epi8(n.folds[qsizetype(n.rare2)]);
    const char* last = end - k; // the last possible start
    // While the loads and the comparisons stay in what may be read; starts past last masked.
    for (; p <= last && (p + 31 <= last || limit - p >= ptrdiff_t(40 + k)); p += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n.rare1));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n.rare2));
        unsigned mask = unsigned(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(x, f1), b1),
                                                  _mm256_cmpeq_epi8(_mm256_or_si256(y, f2), b2))));
        if (last - p < 31) mask &= (2u << (last - p)) - 1;
        while (mask) {
            const int bit = std::countr_zero(mask);
            if (n.at(p + bit)) return p + bit;
            mask &= mask - 1;
        }
    }
    for (; p <= last; ++p)
        if (n.byteAt(p[n.rare1], n.rare1) && n.at(p)) return p;
    return nullptr;
}

const char* findSse2(const char* p, const char* end, const char* limit, const Pattern& n) {
    const size_t k = n.size();
    const __m128i b1 = _mm_set1_epi8(n.bytes[qsizetype(n.rare1)]);
    const __m128i f1 = _mm_set1_epi8(n.folds[qsizetype(n.rare1)]);
    const __m128i b2 = _mm_set1_epi8(n.bytes[qsizetype(n.rare2)]);
    const __m128i f2 = _mm_set1_epi8(n.folds[qsizetype(n.rare2)]);
    const char* last = end - k;
    for (; p <= last && (p + 15 <= last || limit - p >= ptrdiff_t(24 + k)); p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n.rare1));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n.rare2));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(
            _mm_cmpeq_epi8(_mm_or_si128(x, f1), b1), _mm_cmpeq_epi8(_mm_or_si128(y, f2), b2))));
        if (last - p < 15) mask &= (2u << (last - p)) - 1;
        while (mask) {
            const int bit = std::countr_zero(mask);
            if (n.at(p + bit)) return p + bit;
            mask &= mask - 1;
        }
    }
    for (; p <= last; ++p)
        if (n.byteAt(p[n.rare1], n.rare1) && n.at(p)) return p;
    return nullptr;
}

const bool kHasAvx2 = [] {
    // VORLUNE_SEARCH_NO_AVX2 takes the path of processors without AVX2 (tests run both).
    if (qEnvironmentVariableIsSet("VORLUNE_SEARCH_NO_AVX2")) return false;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// The first place of the pattern in [p, end), or nullptr; the text may be read up to limit.
const char* find(const char* p, const char* end, const char* limit, const Pattern& n) {
    const size_t k = n.size();
    if (p >= end || size_t(end - p) < k) return nullptr;
#if VORLUNE_SEARCH_X86
    return kHasAvx2 ? findAvx2(p, end, limit, n) : findSse2(p, end, limit, n);
#else
    Q_UNUSED(limit);
    for (const char* last = end - k; p <= last; ++p)
        if (n.byteAt(p[n.rare1], n.rare1) && n.at(p)) return p;
    return nullptr;
#endif
}
} // namespace

namespace {
// Patterns scanned together: a hit of any of them counts.
struct Group {
    const Pattern* n[kGroupMax];
    size_t count = 0;
    size_t maxLen = 0;
};

using Segment = SearchIndex::Segment;

// Sets the bit of item `item` when the pattern of `len` bytes found at `pos` of the text lies
// inside it; `item` is advanced to the item holding pos.
inline void markHit(const Segment& s, quint32 pos, size_t len, size_t& item, size_t first,
                    size_t bit0, quint64* bits) {
    while (s.at(item + 1) <= pos)
        ++item;
    if (pos + len <= s.at(item + 1)) setBit(bits, bit0 + (item - first));
}

#if VORLUNE_SEARCH_X86
__attribute__((target("avx2"), always_inline)) inline __m256i at(const char* p, size_t offset) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + offset));
}
// Which bytes of x match b, the bits of f set in x first.
__attribute__((target("avx2"), always_inline)) inline __m256i eq(__m256i x, __m256i f, __m256i b) {
    return _mm256_cmpeq_epi8(_mm256_or_si256(x, f), b);
}

// Sets the bit of every item in [first, last) whose text contains any of the first N
// patterns of the group; bit0 stands for item `first`. 32 starting positions at a time are
// tested for each pattern's three rarest bytes (all its bytes when it has no more).
template <size_t N>
__attribute__((target("avx2"))) void markAnyAvx2(const Group& g, const Segment& s, size_t first,
                                                 size_t last, size_t bit0, quint64* out) {
    __m256i b1[N], b2[N], b3[N], f1[N], f2[N], f3[N];
    size_t r1[N], r2[N], r3[N], len[N];
    bool exact[N];
    for (size_t j = 0; j < N; ++j) {
        const Pattern& n = *g.n[j];
        r1[j] = n.rare1;
        r2[j] = n.rare2;
        r3[j] = n.rare3;
        b1[j] = _mm256_set1_epi8(n.bytes[qsizetype(r1[j])]);
        b2[j] = _mm256_set1_epi8(n.bytes[qsizetype(r2[j])]);
        b3[j] = _mm256_set1_epi8(n.bytes[qsizetype(r3[j])]);
        f1[j] = _mm256_set1_epi8(n.folds[qsizetype(r1[j])]);
        f2[j] = _mm256_set1_epi8(n.folds[qsizetype(r2[j])]);
        f3[j] = _mm256_set1_epi8(n.folds[qsizetype(r3[j])]);
        exact[j] = n.size() <= 3;
        len[j] = n.size();
    }
    const char* base = s.base;
    const char* p = base + s.at(first);
    const char* end = base + s.at(last);
    size_t item = first; // the item holding p, or one before it
    // While the loads and the comparisons stay in what may be read; places past end masked.
    for (; p < end &&
           (end - p >= ptrdiff_t(31 + g.maxLen) || s.limit - p >= ptrdiff_t(40 + g.maxLen));
         p += 32) {
        __builtin_prefetch(p + 512); // the runs are short for the hardware to stream them
        const unsigned inside = end - p >= 32 ? ~0u : (1u << (end - p)) - 1;
        unsigned m[N];
        unsigned any = 0;
        for (size_t j = 0; j < N; ++j) {
            m[j] = inside & unsigned(_mm256_movemask_epi8(
                                _mm256_and_si256(_mm256_and_si256(eq(at(p, r1[j]), f1[j], b1[j]),
                                                                  eq(at(p, r2[j]), f2[j], b2[j])),
                                                 eq(at(p, r3[j]), f3[j], b3[j]))));
            any |= m[j];
        }
        if (!any) continue;
        const quint32 here = quint32(p - base);
        while (s.at(item + 1) <= here)
            ++item;
        for (size_t j = 0; j < N; ++j) {
            size_t it = item;
            for (; m[j]; m[j] &= m[j] - 1) {
                const int bit = std::countr_zero(m[j]);
                if (exact[j] || g.n[j]->at(p + bit))
                    markHit(s, here + quint32(bit), len[j], it, first, bit0, out);
            }
        }
    }
    for (; p < end; ++p) {
        const quint32 here = quint32(p - base);
        for (size_t j = 0; j < N; ++j)
            if (size_t(end - p) >= len[j] && g.n[j]->at(p))
                markHit(s, here, len[j], item, first, bit0, out);
    }
}

using MarkAny = void (*)(const Group&, const Segment&, size_t, size_t, size_t, quint64*);
template <size_t... I>
constexpr std::array<MarkAny, kGroupMax> markAnyTable(std::index_sequence<I...>) {
    return {&markAnyAvx2<I + 1>...};
}
// By the number of patterns, less one.
constexpr std::array<MarkAny, kGroupMax> kMarkAnyAvx2 =
    markAnyTable(std::make_index_sequence<kGroupMax>());
#endif

// Sets the bit of every item in [first, last) whose text contains the pattern; bit0 stands
// for item `first`.
void scanItems(const Pattern& n, const Segment& s, size_t first, size_t last, size_t bit0,
               quint64* bits) {
    const char* base = s.base;
    const char* p = base + s.at(first);
    const char* end = base + s.at(last);
    size_t item = first;
    while (p < end) {
        const char* hit = find(p, end, s.limit, n);
        if (!hit) break;
        const quint32 at = quint32(hit - base);
        while (s.at(item + 1) <= at)
            ++item;
        if (at + n.size() <= s.at(item + 1)) {
            setBit(bits, bit0 + (item - first));
            // One hit per item is enough: go on with the next one.
            p = base + s.at(item + 1);
        } else {
            p = hit + 1; // across the end of the item
        }
    }
}

// Sets the bit of every item in [first, last) whose text contains any pattern of the group;
// bit0 stands for item `first`.
void scanAny(const Group& g, const Segment& s, size_t first, size_t last, size_t bit0,
             quint64* out) {
#if VORLUNE_SEARCH_X86
    if (kHasAvx2) {
        kMarkAnyAvx2[g.count - 1](g, s, first, last, bit0, out);
        return;
    }
#endif
    for (size_t j = 0; j < g.count; ++j)
        scanItems(*g.n[j], s, first, last, bit0, out);
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

namespace {
// Appends Latin-1 text as UTF-8 with ASCII letters upper-cased.
void appendUpperLatin1(QByteArray& out, const char* s, qsizetype n) {
    const qsizetype from = out.size();
    out.resize(from + n * 2);
    char* d = out.data() + from;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            *d++ = (c >= 'a' && c <= 'z') ? char(c - 32) : char(c);
        } else {
            *d++ = char(0xC0 | (c >> 6));
            *d++ = char(0x80 | (c & 0x3F));
        }
    }
    out.resize(d - out.data());
}
} // namespace

SearchIndex::SearchIndex(std::vector<Source> sources,
                         std::shared_ptr<const std::vector<int>> byName) {
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
            partStart_.push_back(quint32(count));
            count += part.count;
            parts_.push_back(std::move(part));
        }
        if (asciiUpper(s.key) == kPadsKey) pads_.push_back({qsizetype(first), qsizetype(count)});
    }
    partStart_.push_back(quint32(count));
    sources = {};
    // The display order first: its work space is given back before the texts take room.
    if (byName && byName->size() == count)
        byName_ = std::move(byName);
    else
        byName_ = std::make_shared<const std::vector<int>>(
            nameorder::sortedByName(TitleSpan{nullptr, &parts_}));
    returnFreedMemory();

    // The parts in the order of their text (block, then line) are the places the search
    // scans: runs of them that follow each other in one text are scanned as one.
    std::vector<quint32> byText(parts_.size());
    for (size_t k = 0; k < byText.size(); ++k)
        byText[k] = quint32(k);
    std::sort(byText.begin(), byText.end(), [&](quint32 x, quint32 y) {
        const TitleBlock* a = parts_[x].block.get();
        const TitleBlock* b = parts_[y].block.get();
        return a != b ? std::less<const TitleBlock*>()(a, b) : parts_[x].first < parts_[y].first;
    });
    // The folder parts, each once, upper-cased; the file parts of UTF-16 blocks as UTF-8.
    FolderIds folderIds;
    const TitleBlock* lastBlock = nullptr;
    quint32 lastBlockFolder = 0;
    quint32 lastId = 0;
    bool full = false;
    size_t places = 0;
    quint32 runEnd = 0;                           // the line after the last run's
    std::vector<std::pair<size_t, quint32>> wide; // runs in files_, and their first start
    pieces_.reserve(parts_.size());
    for (size_t o = 0; o < byText.size() && !full; ++o) {
        const TitlePart& part = parts_[byText[o]];
        const TitleBlock& b = *part.block;
        const quint32* lines = b.places();
        const char* narrow = b.latin1Text();
        const char16_t* utf16 = b.wideText();
        const bool continues = !runs_.empty() && (narrow ? lastBlock == &b && runEnd == part.first
                                                         : runs_.back().utf8);
        if (!continues) {
            runStart_.push_back(quint32(places));
            if (narrow) {
                runs_.push_back(
                    {narrow, lines + 2 * size_t(part.first), b.latin1Limit(), 2, false});
            } else {
                wide.emplace_back(runs_.size(), quint32(fileStart_.size()));
                runs_.push_back({nullptr, nullptr, nullptr, 1, true}); // set once files_ is whole
            }
        }
        runEnd = part.first + part.count;
        const size_t first = places;
        for (size_t line = part.first; line < size_t(part.first) + part.count; ++line) {
            const quint32 f = lines[2 * line + 1];
            const quint32 fileBegin = lines[2 * line];
            const quint32 fileEnd = lines[2 * line + 2];
            const quint32 folderBegin = b.folderStart(f);
            const quint32 folderEnd = b.folderStart(f + 1);
            if ((!narrow &&
                 quint64(files_.size()) + quint64(fileEnd - fileBegin) * 3 >= kMaxText) ||
                quint64(folders_.size()) + quint64(folderEnd - folderBegin) * 3 + 1 >= kMaxText) {
                // Stop indexing rather than wrap the offsets: the rest is never found.
                full = true;
                break;
            }
            if (&b != lastBlock || f != lastBlockFolder) {
                lastBlock = &b;
                lastBlockFolder = f;
                // Appended, and taken back when an earlier folder reads the same.
                const qsizetype from = folders_.size();
                if (narrow)
                    appendUpperLatin1(folders_, narrow + folderBegin, folderEnd - folderBegin);
                else
                    appendUpper(folders_,
                                QStringView(utf16 + folderBegin, folderEnd - folderBegin));
                const auto textOf = [&](quint32 id) {
                    const quint32 end =
                        id + 1 < folderStart_.size() ? folderStart_[id + 1] : quint32(from);
                    return QByteArrayView(folders_.constData() + folderStart_[id],
                                          end - 1 - folderStart_[id]);
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
            if (!narrow) {
                fileStart_.push_back(quint32(files_.size()));
                appendUpper(files_, QStringView(utf16 + fileBegin, fileEnd - fileBegin));
            }
            if (folderRuns_.empty() || folderRuns_.back().folder != lastId)
                folderRuns_.push_back({quint32(places), lastId});
            ++places;
        }
        lastBlock = &b;
        pieces_.push_back({quint32(first), byText[o], quint32(places - first)});
    }
    byText = {};
    folderIds = {};
    fileStart_.push_back(quint32(files_.size()));
    folderStart_.push_back(quint32(folders_.size()));
    runStart_.push_back(quint32(places));
    folderRuns_.push_back({quint32(places), 0});
    folderRuns_.shrink_to_fit();
    placeCount_ = places;
    titleCount_ = qsizetype(count);
    for (QByteArray* text : {&files_, &folders_}) {
        text->append(QByteArray(kPad, '\n'));
        text->squeeze();
    }
    fileStart_.shrink_to_fit();
    for (const auto& [run, start] : wide)
        runs_[run] = {files_.constData(), fileStart_.data() + start,
                      files_.constData() + files_.size(), 1, true};

    // How often each byte occurs, letters of either case counted as lower-case, in four
    // tables in turn, so that equal bytes in a row do not wait for each other.
    std::array<std::array<quint32, 256>, 4> counts{};
    const auto countBytes = [&](const char* text, size_t n) {
        const auto* p = reinterpret_cast<const unsigned char*>(text);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++counts[0][p[i]];
            ++counts[1][p[i + 1]];
            ++counts[2][p[i + 2]];
            ++counts[3][p[i + 3]];
        }
        for (; i < n; ++i)
            ++counts[0][p[i]];
    };
    for (size_t r = 0; r < runs_.size(); ++r) {
        const Segment& s = runs_[r];
        if (!s.utf8) countBytes(s.base + s.at(0), s.at(runStart_[r + 1] - runStart_[r]) - s.at(0));
    }
    countBytes(files_.constData(), size_t(fileStart_.back()));
    countBytes(folders_.constData(), size_t(folderStart_.back()));
    for (size_t b = 0; b < 256; ++b)
        byteCount_[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
    for (char c = 'A'; c <= 'Z'; ++c)
        byteCount_[size_t(c | 0x20)] += byteCount_[size_t(c)];
    returnFreedMemory(); // the folder table and what the texts outgrew
}

SearchIndex::Span SearchIndex::nameOf(const Segment& s, size_t i) {
    // The display name within the file part: after its last ":", without the last extension.
    // Both marks are ASCII, so the bytes are read as they are.
    const char* text = s.base;
    const quint32 end = s.at(i + 1);
    quint32 begin = s.at(i);
    for (quint32 k = end; k > begin; --k)
        if (text[k - 1] == ':') {
            begin = k;
            break;
        }
    for (quint32 k = end; k > begin + 1; --k)
        if (text[k - 1] == '.') return {begin, k - 1};
    return {begin, end};
}

size_t SearchIndex::runOf(size_t place) const {
    return size_t(std::upper_bound(runStart_.begin(), runStart_.end(), place) - runStart_.begin()) -
           1;
}

template <typename Fn>
void SearchIndex::forSegments(size_t first, size_t last, const Fn& fn) const {
    for (size_t t = first, r = runOf(first); t < last; ++r) {
        const size_t begin = runStart_[r];
        const size_t end = std::min<size_t>(last, runStart_[r + 1]);
        if (end <= t) continue; // a run without places
        if (r + 1 < runs_.size()) {
            // The next run's text lies elsewhere: its start asked for before it is read.
            const Segment& next = runs_[r + 1];
            const char* text = next.base + next.at(0);
            for (int k = 0; k < 512; k += 64)
                __builtin_prefetch(text + k);
        }
        fn(runs_[r], t - begin, end - begin, t - first);
        t = end;
    }
}

void SearchIndex::toTitles(const std::vector<quint64>& at, std::vector<quint64>& titles) const {
    size_t k = 0;
    for (size_t w = 0; w < at.size(); ++w)
        for (quint64 left = at[w]; left; left &= left - 1) {
            const size_t place = w * 64 + size_t(std::countr_zero(left));
            while (pieces_[k].place + pieces_[k].count <= place)
                ++k;
            setBit(titles.data(), partStart_[pieces_[k].part] + (place - pieces_[k].place));
        }
}

void SearchIndex::folderHits(const quint64* folders, size_t first, size_t last,
                             quint64* bits) const {
    for (size_t t = first, r = folderRunOf(first); t < last; ++r) {
        const size_t end = std::min<size_t>(last, folderRuns_[r + 1].first);
        if (testBit(folders, folderRuns_[r].folder))
            for (; t < end; ++t)
                setBit(bits, t - first);
        t = end;
    }
}

size_t SearchIndex::folderRunOf(size_t title) const {
    return size_t(std::upper_bound(folderRuns_.begin(), folderRuns_.end(), title,
                                   [](size_t t, const FolderRun& r) { return t < r.first; }) -
                  folderRuns_.begin()) -
           1;
}

bool SearchIndex::acrossSlash(const Needle& needle, const Pattern& n, quint32 folder,
                              const char* file, size_t fileLength) const {
    // A term with a backslash ends its folder part where the file part begins: its part
    // up to the last backslash ends the folder part, the rest begins the file part.
    const size_t head = size_t(needle.utf8.lastSlash + 1);
    const size_t tailFrom = size_t(n.lastSlash + 1);
    const size_t tail = n.size() - tailFrom;
    const size_t folderLength = folderStart_[folder + 1] - 1 - folderStart_[folder];
    return folderLength >= head && fileLength >= tail &&
           needle.utf8.partAt(folders_.constData() + folderStart_[folder] + folderLength - head, 0,
                              head) &&
           n.partAt(file, tailFrom, tail);
}

void SearchIndex::termBits(const Query& q, int term, size_t first, size_t last, quint64* bits,
                           bool withFolders) const {
    const Needle& needle = q.needles[size_t(term)];
    if (needle.impossible) return;
    if (q.namesOnly) {
        // Only the display name counts: the hit must lie inside it.
        forSegments(first, last, [&](const Segment& s, size_t a, size_t b, size_t bit0) {
            const Pattern& n = needle.in(s.utf8);
            if (n.impossible) return;
            const char* base = s.base;
            const char* p = base + s.at(a);
            const char* end = base + s.at(b);
            size_t i = a;
            while (p < end) {
                const char* hit = find(p, end, s.limit, n);
                if (!hit) break;
                const quint32 at = quint32(hit - base);
                while (s.at(i + 1) <= at)
                    ++i;
                const Span name = nameOf(s, i);
                if (at >= name.begin && at + n.size() <= name.end) {
                    setBit(bits, bit0 + (i - a));
                    p = base + s.at(i + 1);
                } else if (at < name.begin) {
                    p = base + name.begin;
                } else {
                    p = base + s.at(i + 1);
                }
            }
        });
        return;
    }
    if (withFolders) folderHits(q.folderBits[size_t(term)].data(), first, last, bits);
    if (needle.utf8.lastSlash < 0) {
        forSegments(first, last, [&](const Segment& s, size_t a, size_t b, size_t bit0) {
            const Pattern& n = needle.in(s.utf8);
            if (!n.impossible) scanItems(n, s, a, b, bit0, bits);
        });
        return;
    }
    forSegments(first, last, [&](const Segment& s, size_t a, size_t b, size_t bit0) {
        const Pattern& n = needle.in(s.utf8);
        if (n.impossible) return;
        for (size_t i = a, r = folderRunOf(first + bit0); i < b; ++i) {
            const size_t t = first + bit0 + (i - a);
            while (folderRuns_[r + 1].first <= t)
                ++r;
            if (acrossSlash(needle, n, folderRuns_[r].folder, s.base + s.at(i),
                            s.at(i + 1) - s.at(i)))
                setBit(bits, t - first);
        }
    });
}

void SearchIndex::anyTermBits(const Query& q, int from, int to, size_t first, size_t last,
                              quint64* out) const {
    std::vector<const Needle*> grouped;
    for (int i = from; i < to; ++i) {
        const Needle& n = q.needles[size_t(i)];
        if (q.namesOnly || n.utf8.lastSlash >= 0)
            termBits(q, i, first, last, out, false);
        else if (!n.impossible)
            grouped.push_back(&n);
    }
    if (grouped.empty()) return;
    forSegments(first, last, [&](const Segment& s, size_t a, size_t b, size_t bit0) {
        Group g;
        for (const Needle* needle : grouped) {
            const Pattern& n = needle->in(s.utf8);
            if (n.impossible) continue;
            g.n[g.count++] = &n;
            g.maxLen = std::max(g.maxLen, n.size());
            if (g.count == kGroupMax) {
                scanAny(g, s, a, b, bit0, out);
                g = Group();
            }
        }
        if (g.count) scanAny(g, s, a, b, bit0, out);
    });
}

bool SearchIndex::titleContains(const Query& q, int term, size_t t) const {
    const Needle& needle = q.needles[size_t(term)];
    if (needle.impossible) return false;
    const size_t r = runOf(t);
    const Segment& s = runs_[r];
    const size_t i = t - runStart_[r];
    const Pattern& n = needle.in(s.utf8);
    if (q.namesOnly) {
        if (n.impossible) return false;
        const Span name = nameOf(s, i);
        return find(s.base + name.begin, s.base + name.end, s.limit, n) != nullptr;
    }
    const quint32 f = folderRuns_[folderRunOf(t)].folder;
    if (testBit(q.folderBits[size_t(term)].data(), f)) return true;
    if (n.impossible) return false;
    const char* file = s.base + s.at(i);
    const size_t length = s.at(i + 1) - s.at(i);
    if (n.lastSlash < 0) return find(file, file + length, s.limit, n) != nullptr;
    return acrossSlash(needle, n, f, file, length);
}

void SearchIndex::searchBlock(const Query& q, size_t first, size_t last, quint64* bits) const {
    const size_t words = (last - first + 63) / 64;
    if (q.plain > 0) {
        // Titles whose folder holds any plain term, in one pass; then the file parts of the
        // others, all terms in one pass.
        if (!q.namesOnly) folderHits(q.anyPlainFolder.data(), first, last, bits);
        anyTermBits(q, 0, q.plain, first, last, bits);
    } else {
        std::fill(bits, bits + words, ~quint64(0));
        if ((last - first) % 64) bits[words - 1] &= (quint64(1) << ((last - first) % 64)) - 1;
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
                anyTermBits(q, i, to, first, last, scratch.data());
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
    const size_t n = byName_->size();
    // Each part writes where its titles lie in the name order, then the parts are joined.
    const size_t parts = parallel ? size_t(workerCount()) * 2 : 1;
    const std::unique_ptr<int[]> buffer(new int[n]);
    std::vector<size_t> found(parts);
    forBlocks(parts, parallel, [&](size_t p) {
        const size_t from = n * p / parts;
        found[p] = places(byName_->data(), from, n * (p + 1) / parts, match.data(), before.data(),
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
        const Segment folderTexts{folders_.constData(), folderStart_.data(),
                                  folders_.constData() + folders_.size(), 1, true};
        forBlocks(blocks, parallel, [&](size_t b) {
            const size_t first = b * kBlock;
            const size_t last = std::min(folders, first + kBlock);
            for (size_t i = 0; i < q.needles.size(); ++i)
                if (!q.needles[i].impossible)
                    scanItems(q.needles[i].utf8, folderTexts, first, last, first,
                              q.folderBits[i].data());
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

    // The scan runs over the places (titles in the order of their text), then its hits are
    // put in the list order.
    const size_t places = placeCount_;
    std::vector<quint64> at((places + 63) / 64, 0);
    forBlocks((places + kBlock - 1) / kBlock, parallel, [&](size_t b) {
        const size_t first = b * kBlock;
        searchBlock(q, first, std::min(places, first + kBlock), at.data() + first / 64);
    });
    std::vector<quint64> match((n + 63) / 64, 0);
    toTitles(at, match);
    at = {};
    if (q.nopads)
        for (const Range& r : pads_)
            for (size_t i = size_t(r.begin); i < size_t(r.end); ++i)
                match[i / 64] &= ~(quint64(1) << (i % 64));
    const size_t blocks = (n + kBlock - 1) / kBlock;
    std::vector<qint64> blockHits(blocks, 0);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t first = b * kBlock;
        const size_t last = std::min(n, first + kBlock);
        qint64 count = 0;
        for (size_t w = first / 64; w < (last + 63) / 64; ++w)
            count += std::popcount(match[w]);
        blockHits[b] = count;
    }

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
    return SearchIndex(SearchIndex::snapshot(lists), lists.searchedOrder()).search(terms, options);
}

} // namespace quicksearch
