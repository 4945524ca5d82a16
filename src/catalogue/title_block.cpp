#include "title_block.h"

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

TitleBlock::TitleBlock(const QStringView* lines, qsizetype count) {
    qsizetype total = 0;
    for (qsizetype i = 0; i < count; ++i)
        total += lines[i].size() + 1;
    starts_.reserve(size_t(count) + 1);
    // Latin-1 first; a character beyond it starts again in UTF-16.
    latin1_ = QByteArray(total, Qt::Uninitialized); // no room to grow: allocated as needed
    char* narrowed = latin1_.data();
    qsizetype at = 0;
    for (qsizetype i = 0; i < count && narrowed; ++i) {
        starts_.push_back(quint32(at));
        if (!narrow(lines[i].utf16(), lines[i].size(), narrowed + at)) narrowed = nullptr;
        at += lines[i].size();
        if (narrowed) narrowed[at++] = 0;
    }
    if (!narrowed) {
        latin1_ = QByteArray();
        starts_.clear();
        wide_ = QString(total, Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(wide_.data());
        at = 0;
        for (qsizetype i = 0; i < count; ++i) {
            starts_.push_back(quint32(at));
            if (!lines[i].isEmpty())
                std::memcpy(d + at, lines[i].utf16(), size_t(lines[i].size()) * sizeof(char16_t));
            at += lines[i].size();
            d[at++] = 0;
        }
    }
    starts_.push_back(quint32(at));
}

QString TitleBlock::line(qsizetype i) const {
    if (isLatin1()) return QString(latin1(i));
    // A string sharing the block; the 0 after each line ends it as QString expects.
    QString::DataPointer& block = const_cast<QString&>(wide_).data_ptr();
    block.d_ptr()->ref();
    return QString(
        QString::DataPointer(block.d_ptr(), const_cast<char16_t*>(utf16(i).utf16()), length(i)));
}

QStringView TitleBlock::view(qsizetype i, QString& buffer) const {
    if (!isLatin1()) return utf16(i);
    const qsizetype n = length(i);
    if (buffer.size() < n) buffer.resize(std::max(n, qsizetype(256)));
    char16_t* d = reinterpret_cast<char16_t*>(buffer.data());
    widen(reinterpret_cast<const unsigned char*>(latin1_.constData() + starts_[size_t(i)]), n, d);
    return QStringView(d, n);
}

qsizetype TitleBlock::bytes() const {
    return qsizetype(sizeof(TitleBlock)) + latin1_.capacity() + wide_.capacity() * 2 +
           qsizetype(starts_.capacity() * sizeof(quint32));
}

qsizetype TitleSpan::size() const {
    qsizetype n = titles ? titles->size() : 0;
    if (parts)
        for (const TitlePart& p : *parts)
            n += p.count;
    return n;
}

QStringList TitleSpan::toList() const {
    QStringList out;
    out.reserve(size());
    if (titles) out.append(*titles);
    if (parts)
        for (const TitlePart& p : *parts)
            for (quint32 i = p.first; i < p.first + p.count; ++i)
                out.append(p.block->line(qsizetype(i)));
    return out;
}

TitleAt::TitleAt(TitleSpan span) : span_(span) {
    size_ = span.titles ? span.titles->size() : 0;
    if (span.parts) {
        partStart_.reserve(span.parts->size() + 1);
        for (const TitlePart& p : *span.parts) {
            partStart_.push_back(size_);
            size_ += p.count;
        }
    }
    partStart_.push_back(size_);
}

size_t TitleAt::partOf(qsizetype i) const {
    return size_t(std::upper_bound(partStart_.begin(), partStart_.end(), i) - partStart_.begin()) -
           1;
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

void pack(const std::vector<QStringList*>& lists, std::vector<std::vector<TitlePart>>& out) {
    out.assign(lists.size(), {});
    std::vector<QStringView> lines;
    // Where each list's lines begin in `lines`, to cut the parts after making a block.
    std::vector<std::pair<size_t, qsizetype>> listAt; // list, first line
    qsizetype chars = 0;
    const auto flush = [&] {
        if (lines.empty()) return;
        auto block = std::make_shared<const TitleBlock>(lines.data(), qsizetype(lines.size()));
        for (size_t k = 0; k < listAt.size(); ++k) {
            const qsizetype from = listAt[k].second;
            const qsizetype to =
                k + 1 < listAt.size() ? listAt[k + 1].second : qsizetype(lines.size());
            if (to > from)
                out[listAt[k].first].push_back({block, quint32(from), quint32(to - from)});
        }
        lines.clear();
        listAt.clear();
        chars = 0;
    };
    for (size_t l = 0; l < lists.size(); ++l) {
        listAt.emplace_back(l, qsizetype(lines.size()));
        for (const QString& line : std::as_const(*lists[l])) {
            if (chars + line.size() + 1 > TitleBlock::kMaxChars) {
                flush();
                listAt.emplace_back(l, 0);
            }
            lines.push_back(line);
            chars += line.size() + 1;
        }
    }
    flush();
    for (QStringList* list : lists)
        list->clear();
}

} // namespace titleblock
