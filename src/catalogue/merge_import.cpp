#include "merge_import.h"

#include "folded_prefix.h"
#include "index_file.h"
#include "title_line.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace {

// Folder and title lines from the marker line on (all lines without a marker).
QStringList comparedLines(const QStringList& lines) {
    qsizetype first = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (indexfile::beginsWithMarker(lines[i])) {
            first = i;
            break;
        }
    }
    QStringList out;
    out.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        const QString& l = lines[i];
        if (!indexfile::isBlankLine(l) && !l.contains(u"::")) out.append(l);
    }
    return out;
}

QStringList foldedLines(const QStringList& lines) {
    QStringList out;
    out.reserve(lines.size());
    for (const QString& l : lines)
        out.append(l.toCaseFolded());
    return out;
}

QSet<QString> setOf(const QStringList& lines) {
    return QSet<QString>(lines.cbegin(), lines.cend());
}

} // namespace

QStringList MergeImportedIndex(const QStringList& newLines, const QStringList& oldLines) {
    using namespace indexfile;
    using foldedprefix::FoldedSet;
    using foldedprefix::PrefixHashes;
    const QStringList newCmp = comparedLines(newLines);
    const QStringList oldCmp = comparedLines(oldLines);
    // Each line folded once.
    const QStringList newFolded = foldedLines(newCmp);
    const QStringList oldFolded = foldedLines(oldCmp);
    const QSet<QString> newSet = setOf(newFolded);
    const QSet<QString> oldSet = setOf(oldFolded);

    // Red marks the old file already carries: those titles were removed before.
    QSet<QString> oldRed;
    for (const QString& l : oldLines)
        if (l.startsWith(kStyleRed, Qt::CaseInsensitive))
            oldRed.insert(l.mid(kStyleRed.size()).toCaseFolded());

    // The folder lines the written file will hold: the new ones and the removed ones kept
    // visible. Only they become tree nodes, so a parent folder is marked when it is one of
    // them. This also keeps the marks within the size of the input: a line thousands of
    // folders deep would otherwise mark thousands of ever longer parents.
    FoldedSet shownFolders;
    for (qsizetype i = 0; i < newCmp.size(); ++i)
        if (newCmp[i].endsWith(u'\\')) shownFolders.insert(newFolded[i]);
    for (qsizetype i = 0; i < oldCmp.size(); ++i) {
        if (!oldCmp[i].endsWith(u'\\')) continue;
        const QString& folded = oldFolded[i];
        if (!newSet.contains(folded) && !oldRed.contains(folded)) shownFolders.insert(folded);
    }

    // One set without duplicates (compared without regard to case; the first one added
    // stays). Marks of one style are told apart by their folded targets, which the style
    // sets below hold; a plain line (no "::") never equals a styled mark. A folder already
    // marked has its parents marked too, so the walk up a line's parents stops there.
    enum class Style { Green, Red, Plain };
    struct Mark {
        Style style;
        QString target;
        QString folded;
        quint64 hash;
    };
    std::vector<Mark> marks;
    marks.reserve(size_t(newCmp.size() + 2 * oldCmp.size()));
    PrefixHashes hashes;
    auto markParents = [&](const QString& line, const QString& folded, Style style,
                           FoldedSet& targets) {
        hashes.reset(folded);
        titleline::visitParentFolderLines(line, [&](QStringView parent) {
            const QStringView key = QStringView(folded).left(parent.size());
            const quint64 hash = hashes.of(parent.size());
            if (!shownFolders.contains(key, hash)) return true;
            QString keyText = key.toString();
            if (!targets.insert(keyText, hash)) return false;
            marks.push_back({style, parent.toString(), std::move(keyText), hash});
            return true;
        });
    };

    FoldedSet greenTargets;
    greenTargets.reserve(newCmp.size());
    for (qsizetype i = 0; i < newCmp.size(); ++i) {
        const QString& l = newCmp[i];
        const QString& folded = newFolded[i];
        if (oldSet.contains(folded)) continue;
        const quint64 hash = PrefixHashes::hashOf(folded);
        if (greenTargets.insert(folded, hash)) marks.push_back({Style::Green, l, folded, hash});
        markParents(l, folded, Style::Green, greenTargets);
    }
    FoldedSet redTargets;
    FoldedSet keptLines;
    redTargets.reserve(oldCmp.size());
    keptLines.reserve(oldCmp.size());
    for (qsizetype i = 0; i < oldCmp.size(); ++i) {
        const QString& l = oldCmp[i];
        const QString& folded = oldFolded[i];
        if (newSet.contains(folded) || oldRed.contains(folded)) continue;
        const quint64 hash = PrefixHashes::hashOf(folded);
        if (redTargets.insert(folded, hash)) marks.push_back({Style::Red, l, folded, hash});
        if (keptLines.insert(folded, hash)) marks.push_back({Style::Plain, l, folded, hash});
        markParents(l, folded, Style::Red, redTargets);
    }
    // A target marked both ways gained and lost: orange replaces the green mark, the
    // red mark goes.
    struct Written {
        const QLatin1StringView* style; // nullptr for a plain line
        const QString* target;
        QString text;
    };
    std::vector<Written> written;
    written.reserve(marks.size());
    const auto add = [&written](const QLatin1StringView* style, const QString& target) {
        QString text;
        if (!style) {
            text = target;
        } else {
            text.reserve(style->size() + target.size());
            text += *style;
            text += target;
        }
        written.push_back({style, &target, std::move(text)});
    };
    for (const Mark& m : marks) {
        switch (m.style) {
        case Style::Red:
            if (!greenTargets.contains(m.folded, m.hash)) add(&kStyleRed, m.target);
            break;
        case Style::Green:
            add(redTargets.contains(m.folded, m.hash) ? &kStyleOrange : &kStyleGreen, m.target);
            break;
        case Style::Plain:
            add(nullptr, m.target);
            break;
        }
    }
    // One sort at the end: the marks are unique, so the order does not depend on the one
    // they were made in. Marks of one style compare as their targets do (the style is a
    // common prefix), without going over it each time.
    const auto writtenLess = [](const Written& a, const Written& b) {
        if (a.style == b.style) return compareCatalogue(*a.target, *b.target) < 0;
        return compareCatalogue(a.text, b.text) < 0;
    };
    QStringList out;
    out.reserve(qsizetype(written.size()));
    if (std::is_sorted(written.cbegin(), written.cend(), writtenLess)) {
        for (Written& w : written)
            out.append(std::move(w.text));
        return out;
    }
    std::vector<QStringView> texts;
    texts.reserve(written.size());
    for (const Written& w : written)
        texts.emplace_back(w.text);
    for (int i : catalogueOrder(texts))
        out.append(std::move(written[size_t(i)].text));
    return out;
}
