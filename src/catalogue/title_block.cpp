#include "title_block.h"

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

TitleBlock::TitleBlock(const QStringView* lines, qsizetype count) {
    // The folder parts (up to the last backslash) once each, the names after them.
    QHash<QStringView, quint32> ids;
    std::vector<QStringView> folders;
    folder_.resize(size_t(count));
    qsizetype folderChars = 0, total = 0;
    QStringView last;
    quint32 lastId = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const QStringView line = lines[i];
        const QStringView folder = line.left(titletext::lastOf(line, u'\\') + 1);
        if (i == 0 || folder != last) {
            auto it = ids.constFind(folder);
            if (it == ids.cend()) {
                it = ids.insert(folder, quint32(folders.size()));
                folders.push_back(folder);
                folderChars += folder.size();
            }
            last = folder;
            lastId = *it;
        }
        folder_[size_t(i)] = lastId;
        total += line.size() - folder.size();
    }
    total += folderChars;
    folderStarts_.reserve(folders.size() + 1);
    starts_.reserve(size_t(count) + 1);
    // Latin-1 first; a character beyond it starts again in UTF-16.
    const auto write = [&](auto&& put) {
        folderStarts_.clear();
        starts_.clear();
        qsizetype at = 0;
        for (const QStringView f : folders) {
            folderStarts_.push_back(quint32(at));
            if (!put(f, at)) return false;
            at += f.size();
        }
        folderStarts_.push_back(quint32(at));
        for (qsizetype i = 0; i < count; ++i) {
            const QStringView name = lines[i].sliced(folders[folder_[size_t(i)]].size());
            starts_.push_back(quint32(at));
            if (!put(name, at)) return false;
            at += name.size();
        }
        starts_.push_back(quint32(at));
        return true;
    };
    latin1_ = QByteArray(total, Qt::Uninitialized); // no room to grow: allocated as needed
    char* narrowed = latin1_.data();
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
}

void TitleBlock::copyLine(qsizetype i, char16_t* d) const {
    const quint32 folder = folder_[size_t(i)];
    const qsizetype f = qsizetype(folderStarts_[folder]);
    const qsizetype fn = qsizetype(folderStarts_[folder + 1]) - f;
    const qsizetype n = qsizetype(starts_[size_t(i) + 1] - starts_[size_t(i)]);
    if (isLatin1()) {
        const auto* text = reinterpret_cast<const unsigned char*>(latin1_.constData());
        widen(text + f, fn, d);
        widen(text + starts_[size_t(i)], n, d + fn);
    } else {
        const char16_t* text = reinterpret_cast<const char16_t*>(wide_.constData());
        std::memcpy(d, text + f, size_t(fn) * sizeof(char16_t));
        std::memcpy(d + fn, text + starts_[size_t(i)], size_t(n) * sizeof(char16_t));
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

qsizetype TitleBlock::bytes() const {
    return qsizetype(sizeof(TitleBlock)) + latin1_.capacity() + wide_.capacity() * 2 +
           qsizetype((starts_.capacity() + folder_.capacity() + folderStarts_.capacity()) *
                     sizeof(quint32));
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
