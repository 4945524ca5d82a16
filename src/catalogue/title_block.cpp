#include "title_block.h"

#include "flat_table.h"
#include "title_text.h"

#include <QHash>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Latin-1 bytes to UTF-16.
void widen(const unsigned char* s, qsizetype n, char16_t* d) {
    qsizetype k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= n; k += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm_unpacklo_epi8(b, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k + 8), _mm_unpackhi_epi8(b, zero));
    }
#endif
    for (; k < n; ++k)
        d[k] = s[k];
}

// UTF-16 below 0x100 to Latin-1; false (with part of it written) when a unit does not fit.
bool narrow(const char16_t* s, qsizetype n, char* d) {
    qsizetype k = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(qint16(0xFF00));
    for (; k + 16 <= n; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k + 8));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(a, b), high),
                                              _mm_setzero_si128())) != 0xFFFF)
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm_packus_epi16(a, b));
    }
#endif
    for (; k < n; ++k) {
        if (s[k] >= 0x100) return false;
        d[k] = char(s[k]);
    }
    return true;
}

} // namespace

namespace {
// The work space of making a block, kept from block to block on each thread.
struct BlockScratch {
    FlatTable<QStringView, quint32> ids;
    std::vector<QStringView> folders;
    std::vector<quint32> folderOf;

    // Lets go of the views; a large block's room is given back.
    void finish() {
        if (folderOf.capacity() > size_t(kKeptRoom)) {
            *this = BlockScratch();
            return;
        }
        ids.clear();
        folders.clear();
        folderOf.clear();
    }
};
} // namespace

TitleBlock::TitleBlock(const QStringView* lines, qsizetype count) : count_(count) {
    static thread_local BlockScratch scratch;
    // The folder parts (up to the last backslash) once each, the names after them.
    FlatTable<QStringView, quint32>& ids = scratch.ids;
    std::vector<QStringView>& folders = scratch.folders;
    std::vector<quint32>& folderOf = scratch.folderOf;
    folderOf.resize(static_cast<size_t>(count));
    qsizetype folderChars = 0, total = 0;
    QStringView last;
    quint32 lastId = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const QStringView line = lines[i];
        const QStringView folder = line.left(titletext::lastOf(line, u'\\') + 1);
        if (i == 0 || folder != last) {
            if (const quint32* id = ids.find(folder)) {
                lastId = *id;
            } else {
                lastId = quint32(folders.size());
                ids.insert(folder, lastId);
                folders.push_back(folder);
                folderChars += folder.size();
            }
            last = folder;
        }
        folderOf[size_t(i)] = lastId;
        total += line.size() - folder.size();
    }
    total += folderChars;
    index_.resize(size_t(2 * count + 1) + folders.size() + 1);
    quint32* place = index_.data();
    quint32* folderStart = place + 2 * count + 1;
    // Latin-1 first; a character beyond it starts again in UTF-16.
    const auto write = [&](auto&& put) {
        qsizetype at = 0;
        for (size_t f = 0; f < folders.size(); ++f) {
            folderStart[f] = quint32(at);
            if (!put(folders[f], at)) return false;
            at += folders[f].size();
        }
        folderStart[folders.size()] = quint32(at);
        for (qsizetype i = 0; i < count; ++i) {
            const quint32 folder = folderOf[size_t(i)];
            const QStringView name = lines[i].sliced(folders[folder].size());
            place[2 * i] = quint32(at);
            place[2 * i + 1] = folder;
            if (!put(name, at)) return false;
            at += name.size();
        }
        place[2 * count] = quint32(at);
        return true;
    };
    // No room to grow: allocated as needed, with a zeroed tail for word-wide reading.
    latin1_ = QByteArray(total + kTail, Qt::Uninitialized);
    char* narrowed = latin1_.data();
    std::memset(narrowed + total, 0, size_t(kTail));
    if (!write([&](QStringView text, qsizetype at) {
            return narrow(text.utf16(), text.size(), narrowed + at);
        })) {
        latin1_ = QByteArray();
        wide_ = QString(total, Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(wide_.data());
        write([&](QStringView text, qsizetype at) {
            if (!text.isEmpty())
                std::memcpy(d + at, text.utf16(), size_t(text.size()) * sizeof(char16_t));
            return true;
        });
    }
    scratch.finish();
}

void TitleBlock::copyLine(qsizetype i, char16_t* d) const {
    const quint32* line = index_.data() + 2 * i;
    const quint32* folder = folderStarts() + line[1];
    const qsizetype f = qsizetype(folder[0]);
    const qsizetype fn = qsizetype(folder[1]) - f;
    const qsizetype start = qsizetype(line[0]);
    const qsizetype n = qsizetype(line[2]) - start;
    if (isLatin1()) {
        const auto* text = reinterpret_cast<const unsigned char*>(latin1_.constData());
        widen(text + f, fn, d);
        widen(text + start, n, d + fn);
    } else {
        const char16_t* text = reinterpret_cast<const char16_t*>(wide_.constData());
        std::memcpy(d, text + f, size_t(fn) * sizeof(char16_t));
        std::memcpy(d + fn, text + start, size_t(n) * sizeof(char16_t));
    }
}

QString TitleBlock::line(qsizetype i) const {
    QString out(length(i), Qt::Uninitialized);
    copyLine(i, reinterpret_cast<char16_t*>(out.data()));
    return out;
}

QStringView TitleBlock::view(qsizetype i, QString& buffer) const {
    const qsizetype n = length(i);
    if (buffer.size() < n) buffer.resize(std::max(n, qsizetype(256)));
    char16_t* d = reinterpret_cast<char16_t*>(buffer.data());
    copyLine(i, d);
    return QStringView(d, n);
}

QStringView TitleBlock::rest(qsizetype i, QString& buffer) const {
    const quint32* line = index_.data() + 2 * i;
    const qsizetype start = qsizetype(line[0]);
    const qsizetype n = qsizetype(line[2]) - start;
    if (!isLatin1()) return QStringView(wide_.constData() + start, n);
    if (buffer.size() < n) buffer.resize(std::max(n, qsizetype(256)));
    char16_t* d = reinterpret_cast<char16_t*>(buffer.data());
    widen(reinterpret_cast<const unsigned char*>(latin1_.constData()) + start, n, d);
    return QStringView(d, n);
}

qsizetype TitleBlock::bytes() const {
    return qsizetype(sizeof(TitleBlock)) + latin1_.capacity() + wide_.capacity() * 2 +
           qsizetype(index_.capacity() * sizeof(quint32));
}

qsizetype TitleSpan::size() const {
    qsizetype n = titles ? titles->size() : 0;
    if (parts)
        for (const TitlePart& p : *parts)
            n += p.count;
    return n;
}

QStringList TitleSpan::toList() const {
    if (!parts || parts->empty()) return titles ? *titles : QStringList(); // shared, not copied
    QStringList out;
    out.reserve(size());
    if (titles) out.append(*titles);
    if (parts) {
        // The lines of the parts in one block of text.
        std::vector<std::pair<const TitleBlock*, qsizetype>> lines;
        lines.reserve(size_t(out.capacity() - out.size()));
        for (const TitlePart& p : *parts)
            for (quint32 i = p.first; i < p.first + p.count; ++i)
                lines.emplace_back(p.block.get(), qsizetype(i));
        TitleBlock::linesSharingBlock(
            qsizetype(lines.size()), [&](qsizetype k) { return lines[size_t(k)]; },
            [&](qsizetype, QString&& line) { out.append(std::move(line)); });
    }
    return out;
}

TitleAt::TitleAt(TitleSpan span) : span_(span) {
    const qsizetype own = span.titles ? span.titles->size() : 0;
    size_ = own;
    if (span.parts) {
        partStart_.reserve(span.parts->size() + 1);
        for (const TitlePart& p : *span.parts) {
            partStart_.push_back(size_);
            size_ += p.count;
        }
    }
    partStart_.push_back(size_);
    bucketPart_.resize(size_t(((size_ - own) >> kBucketShift) + 1));
    quint32 p = 0;
    for (size_t b = 0; b < bucketPart_.size(); ++b) {
        const qsizetype first = own + (qsizetype(b) << kBucketShift);
        while (p + 1 < partStart_.size() - 1 && partStart_[p + 1] <= first)
            ++p;
        bucketPart_[b] = p;
    }
}

QStringView TitleAt::rest(qsizetype i, QString& buffer) const {
    const qsizetype own = span_.titles ? span_.titles->size() : 0;
    if (i < own) return span_.titles->at(i);
    const size_t p = partOf(i);
    const TitlePart& part = (*span_.parts)[p];
    return part.block->rest(qsizetype(part.first) + (i - partStart_[p]), buffer);
}

QAnyStringView TitleAt::stored(qsizetype i) const {
    const qsizetype own = span_.titles ? span_.titles->size() : 0;
    if (i < own) return QStringView(span_.titles->at(i));
    const size_t p = partOf(i);
    const TitlePart& part = (*span_.parts)[p];
    return part.block->stored(qsizetype(part.first) + (i - partStart_[p]));
}

size_t TitleAt::partOf(qsizetype i) const {
    const qsizetype own = partStart_.front();
    size_t p = bucketPart_[size_t((i - own) >> kBucketShift)];
    while (partStart_[p + 1] <= i)
        ++p;
    return p;
}

QString TitleAt::line(qsizetype i) const {
    const qsizetype own = span_.titles ? span_.titles->size() : 0;
    if (i < own) return span_.titles->at(i);
    const size_t p = partOf(i);
    const TitlePart& part = (*span_.parts)[p];
    return part.block->line(qsizetype(part.first) + (i - partStart_[p]));
}

QStringView TitleAt::view(qsizetype i, QString& buffer) const {
    const qsizetype own = span_.titles ? span_.titles->size() : 0;
    if (i < own) return span_.titles->at(i);
    const size_t p = partOf(i);
    const TitlePart& part = (*span_.parts)[p];
    return part.block->view(qsizetype(part.first) + (i - partStart_[p]), buffer);
}

namespace titleblock {

void pack(const QStringView* lines, const qsizetype* listStarts, size_t lists,
          std::vector<std::vector<TitlePart>>& out) {
    out.assign(lists, {});
    qsizetype blockFirst = listStarts[0], chars = 0;
    size_t blockList = 0; // the list the current block begins in
    // Makes the block of lines [blockFirst, end) and gives each list its part of it.
    const auto flush = [&](size_t lastList, qsizetype end) {
        if (end > blockFirst) {
            auto block = std::make_shared<const TitleBlock>(lines + blockFirst, end - blockFirst);
            for (size_t k = blockList; k <= lastList; ++k) {
                const qsizetype from = std::max(listStarts[k], blockFirst);
                const qsizetype to = std::min(listStarts[k + 1], end);
                if (to > from)
                    out[k].push_back({block, quint32(from - blockFirst), quint32(to - from)});
            }
        }
        blockFirst = end;
        blockList = lastList;
        chars = 0;
    };
    for (size_t l = 0; l < lists; ++l) {
        for (qsizetype i = listStarts[l]; i < listStarts[l + 1]; ++i) {
            // A second block begins where one would grow too long.
            if (chars + lines[i].size() + 1 > TitleBlock::kMaxChars) flush(l, i);
            chars += lines[i].size() + 1;
        }
    }
    if (lists > 0) flush(lists - 1, listStarts[lists]);
}

void pack(const std::vector<QStringList*>& lists, std::vector<std::vector<TitlePart>>& out) {
    std::vector<QStringView> lines;
    std::vector<qsizetype> starts{0};
    for (const QStringList* list : lists) {
        for (const QString& line : *list)
            lines.push_back(line);
        starts.push_back(qsizetype(lines.size()));
    }
    pack(lines.data(), starts.data(), lists.size(), out);
    for (QStringList* list : lists)
        list->clear();
}

} // namespace titleblock
