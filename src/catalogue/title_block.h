#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <memory>
#include <vector>

// Title lines written once and kept for as long as the collection: one byte per character
// when every character of the block fits (Latin-1), else UTF-16, and the part up to the last
// backslash (the folder) once for all lines that share it. A QString is made only when a line
// is asked for.
class TitleBlock {
public:
    // The lines in order; at most kMaxChars characters in all.
    explicit TitleBlock(const QStringView* lines, qsizetype count);

    static constexpr qsizetype kMaxChars = 0xFFFFFF00;

    qsizetype count() const { return count_; }
    bool isLatin1() const { return wide_.isNull(); }
    qsizetype length(qsizetype i) const {
        const quint32* line = index_.data() + 2 * i;
        const quint32* folder = folderStarts() + line[1];
        return qsizetype(folder[1] - folder[0]) + qsizetype(line[2] - line[0]);
    }
    // The line as a QString.
    QString line(qsizetype i) const;
    // The line as UTF-16 in `buffer` (the view is valid until the buffer changes).
    QStringView view(qsizetype i, QString& buffer) const;
    // The same for the line without its folder part (all a display name needs), the block's
    // own text where it is UTF-16.
    QStringView rest(qsizetype i, QString& buffer) const;
    // The line without its folder part as the block holds it: Latin-1 or UTF-16.
    QAnyStringView stored(qsizetype i) const {
        const quint32* line = index_.data() + 2 * i;
        const qsizetype start = qsizetype(line[0]);
        const qsizetype n = qsizetype(line[2]) - start;
        if (isLatin1()) return QLatin1String(latin1_.constData() + start, n);
        return QStringView(wide_.constData() + start, n);
    }
    // Bytes the block holds.
    qsizetype bytes() const;

    // Ask for the memory of line i early: its place, then (once that is there) its text.
    void prefetchPlace(qsizetype i) const { __builtin_prefetch(index_.data() + 2 * i); }
    void prefetchText(qsizetype i) const {
        const quint32* line = index_.data() + 2 * i;
        prefetchUnit(line[0]);
        prefetchUnit(folderStarts()[line[1]]);
    }

    // The same for line i without its folder part, all that rest() and stored() read.
    void prefetchRest(qsizetype i) const {
        const quint32* line = index_.data() + 2 * i;
        prefetchUnit(line[0]);
        prefetchUnit(line[2] > line[0] ? line[2] - 1 : line[0]);
    }

    // Writes line i (length(i) units) to `to`.
    void copyLine(qsizetype i, char16_t* to) const;

    // The text itself, for scanning it: Latin-1 bytes (readable kTail bytes past the end) or,
    // for a UTF-16 block, null.
    static constexpr qsizetype kTail = 8;
    const char* latin1Text() const { return isLatin1() ? latin1_.constData() : nullptr; }
    // The end of what may be read of the Latin-1 text (past the tail).
    const char* latin1Limit() const { return latin1_.constData() + latin1_.size(); }
    const char16_t* wideText() const {
        return isLatin1() ? nullptr : reinterpret_cast<const char16_t*>(wide_.constData());
    }
    // Line i without its folder part is [places()[2 * i], places()[2 * i + 2]) of the text,
    // and places()[2 * i + 1] is its folder.
    const quint32* places() const { return index_.data(); }
    // Folder f is [folderStart(f), folderStart(f + 1)) of the text.
    quint32 folderStart(quint32 f) const { return folderStarts()[f]; }

    // QStrings of n lines sharing one new block of text: at(k) gives the block and place of
    // line k, put(k, QString&&) takes its string.
    template <typename At, typename Put>
    static void linesSharingBlock(qsizetype n, At at, Put put) {
        if (n <= 0) return;
        qsizetype total = 0;
        for (qsizetype k = 0; k < n; ++k) {
            const auto [block, i] = at(k);
            total += block->length(i) + 1;
        }
        QString text(total, Qt::Uninitialized);
        char16_t* d = reinterpret_cast<char16_t*>(text.data());
        QString::DataPointer& shared = text.data_ptr();
        qsizetype from = 0;
        for (qsizetype k = 0; k < n; ++k) {
            const auto [block, i] = at(k);
            const qsizetype len = block->length(i);
            block->copyLine(i, d + from);
            d[from + len] = 0; // each string ends as QString expects
            shared.d_ptr()->ref();
            put(k, QString(QString::DataPointer(shared.d_ptr(), d + from, len)));
            from += len + 1;
        }
    }

private:
    // Asks for the memory of the text's unit at `at`.
    void prefetchUnit(quint32 at) const {
        if (isLatin1())
            __builtin_prefetch(latin1_.constData() + at);
        else
            __builtin_prefetch(wide_.constData() + at);
    }

    const quint32* folderStarts() const { return index_.data() + 2 * count_ + 1; }

    // The folder parts of the lines, each once, then the rest of every line.
    QByteArray latin1_;
    QString wide_;
    // In one array, so that a line's place is one look-up: for each line the start of its
    // rest and its folder part, the end of the last line, then the start of each folder part
    // and the end of the last.
    std::vector<quint32> index_;
    qsizetype count_ = 0;
};

// A run of lines of a block.
struct TitlePart {
    std::shared_ptr<const TitleBlock> block;
    quint32 first = 0;
    quint32 count = 0;
};

// Walking parts in order, each in a block of its own: their memory asked for ahead.
inline void prefetchAhead(const std::vector<TitlePart>& parts, size_t p) {
    if (p + 8 < parts.size()) __builtin_prefetch(parts[p + 8].block.get());
    if (p + 4 < parts.size()) parts[p + 4].block->prefetchPlace(parts[p + 4].first);
    if (p + 2 < parts.size()) parts[p + 2].block->prefetchText(parts[p + 2].first);
}

// The titles of a list: its own QStrings first, then the lines of its parts.
struct TitleSpan {
    const QStringList* titles = nullptr;
    const std::vector<TitlePart>* parts = nullptr;

    qsizetype size() const;
    // Calls fn(QStringView line) for every line in order (views of Latin-1 lines last until
    // the next call).
    template <typename Fn> void forEach(Fn&& fn) const {
        if (titles)
            for (const QString& line : *titles)
                fn(QStringView(line));
        if (!parts) return;
        QString buffer;
        for (size_t k = 0; k < parts->size(); ++k) {
            prefetchAhead(*parts, k);
            const TitlePart& p = (*parts)[k];
            for (quint32 i = p.first; i < p.first + p.count; ++i)
                fn(p.block->view(qsizetype(i), buffer));
        }
    }
    // Every line as a QString.
    QStringList toList() const;
};

// Random access into a span: the place of each part is looked up by halving.
class TitleAt {
public:
    explicit TitleAt(TitleSpan span);
    qsizetype size() const { return size_; }
    QString line(qsizetype i) const;
    QStringView view(qsizetype i, QString& buffer) const;
    // Line i without its folder part (see TitleBlock::rest); a line held as a QString whole.
    QStringView rest(qsizetype i, QString& buffer) const;
    // Asks early for the memory rest(i) and stored(i) read, in three steps a few look-ups
    // apart: the block (stage 0), the line's place (1), its text (2).
    void prefetch(qsizetype i, int stage) const {
        const qsizetype own = span_.titles ? span_.titles->size() : 0;
        if (i < own) return;
        const size_t p = partOf(i);
        const TitlePart& part = (*span_.parts)[p];
        const qsizetype at = qsizetype(part.first) + (i - partStart_[p]);
        if (stage == 0)
            __builtin_prefetch(part.block.get());
        else if (stage == 1)
            part.block->prefetchPlace(at);
        else
            part.block->prefetchRest(at);
    }
    // Line i as stored (see TitleBlock::stored); a line held as a QString whole.
    QAnyStringView stored(qsizetype i) const;
    // Calls fn(i, QStringView line) for the lines [from, to) in order.
    template <typename Fn> void forRange(qsizetype from, qsizetype to, Fn&& fn) const {
        forEachIn(
            from, to, [&](qsizetype i, QStringView own) { fn(i, own); },
            [&](qsizetype i, const TitleBlock& b, qsizetype at, QString& buffer) {
                fn(i, b.view(at, buffer));
            });
    }
    // The same with fn(i, QAnyStringView), the lines of blocks as stored.
    template <typename Fn> void forStored(qsizetype from, qsizetype to, Fn&& fn) const {
        forEachIn(
            from, to, [&](qsizetype i, QStringView own) { fn(i, QAnyStringView(own)); },
            [&](qsizetype i, const TitleBlock& b, qsizetype at, QString&) { fn(i, b.stored(at)); });
    }

private:
    template <typename Own, typename InBlock>
    void forEachIn(qsizetype from, qsizetype to, Own&& own, InBlock&& inBlock) const {
        const qsizetype ownCount = span_.titles ? span_.titles->size() : 0;
        qsizetype i = from;
        for (; i < std::min(to, ownCount); ++i)
            own(i, QStringView(span_.titles->at(i)));
        if (i >= to) return;
        QString buffer;
        size_t p = partOf(i);
        for (; i < to; ++p) {
            prefetchAhead(*span_.parts, p);
            const TitlePart& part = (*span_.parts)[p];
            qsizetype at = qsizetype(part.first) + (i - partStart_[p]);
            for (const qsizetype end = std::min(to, partStart_[p + 1]); i < end; ++i, ++at)
                inBlock(i, *part.block, at, buffer);
        }
    }
    size_t partOf(qsizetype i) const;

    static constexpr int kBucketShift = 6;
    TitleSpan span_;
    std::vector<qsizetype> partStart_; // place of each part's first line; the count last
    // The part that holds the first line of each bucket of 64 lines after the own titles:
    // a look-up walks on from there rather than halving over all parts.
    std::vector<quint32> bucketPart_;
    qsizetype size_ = 0;
};

namespace titleblock {

// Packs the lists into new blocks (a second block begins where one would grow too long) and
// empties them: each list's lines become the parts in out[list] (none for an empty list).
void pack(const std::vector<QStringList*>& lists, std::vector<std::vector<TitlePart>>& out);

// The same for lines given as views, list l being lines[listStarts[l], listStarts[l + 1]).
void pack(const QStringView* lines, const qsizetype* listStarts, size_t lists,
          std::vector<std::vector<TitlePart>>& out);

} // namespace titleblock
