#include "merge_import.h"

#include "folded_prefix.h"
#include "index_file.h"
#include "title_line.h"

#include <QSet>

#include <algorithm>

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
    for (qsizetype i = first; i < lines.size(); ++i) {
        const QString& l = lines[i];
        if (!indexfile::isBlankLine(l) && !l.contains(u"::")) out.append(l);
    }
    return out;
}

QSet<QString> foldedSet(const QStringList& lines) {
    QSet<QString> s;
    s.reserve(lines.size());
    for (const QString& l : lines)
        s.insert(l.toCaseFolded());
    return s;
}

} // namespace

QStringList MergeImportedIndex(const QStringList& newLines, const QStringList& oldLines) {
    using namespace indexfile;
    using foldedprefix::FoldedSet;
    using foldedprefix::PrefixHashes;
    const QStringList newCmp = comparedLines(newLines);
    const QStringList oldCmp = comparedLines(oldLines);
    const QSet<QString> newSet = foldedSet(newCmp);
    const QSet<QString> oldSet = foldedSet(oldCmp);

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
    for (const QString& l : newCmp)
        if (l.endsWith(u'\\')) shownFolders.insert(l.toCaseFolded());
    for (const QString& l : oldCmp) {
        if (!l.endsWith(u'\\')) continue;
        const QString folded = l.toCaseFolded();
        if (!newSet.contains(folded) && !oldRed.contains(folded)) shownFolders.insert(folded);
    }

    // One set without duplicates (compared without regard to case; the first one added
    // stays). A folder already marked has its parents marked too, so the walk up a
    // line's parents stops there.
    QStringList marks;
    QSet<QString> added;
    auto add = [&marks, &added](const QString& s) {
        const qsizetype before = added.size();
        added.insert(s.toCaseFolded());
        if (added.size() != before) marks.append(s);
    };
    PrefixHashes hashes;
    auto markParents = [&](const QString& line, const QString& folded, QLatin1StringView style,
                           FoldedSet& targets) {
        hashes.reset(folded);
        titleline::visitParentFolderLines(line, [&](QStringView parent) {
            const QStringView key = QStringView(folded).left(parent.size());
            const quint64 hash = hashes.of(parent.size());
            if (!shownFolders.contains(key, hash)) return true;
            if (!targets.insert(key.toString(), hash)) return false;
            QString mark(style);
            mark += parent;
            add(mark);
            return true;
        });
    };

    FoldedSet greenTargets;
    for (const QString& l : newCmp) {
        const QString folded = l.toCaseFolded();
        if (oldSet.contains(folded)) continue;
        add(QString(kStyleGreen) + l);
        greenTargets.insert(folded);
        markParents(l, folded, kStyleGreen, greenTargets);
    }
    FoldedSet redTargets;
    for (const QString& l : oldCmp) {
        const QString folded = l.toCaseFolded();
        if (newSet.contains(folded) || oldRed.contains(folded)) continue;
        add(QString(kStyleRed) + l);
        add(l);
        redTargets.insert(folded);
        markParents(l, folded, kStyleRed, redTargets);
    }
    std::stable_sort(marks.begin(), marks.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });

    // A target marked both ways gained and lost: orange replaces the green mark, the
    // red mark goes.
    QStringList out;
    out.reserve(marks.size());
    for (const QString& m : std::as_const(marks)) {
        if (m.startsWith(kStyleRed, Qt::CaseInsensitive)) {
            if (greenTargets.contains(m.mid(kStyleRed.size()).toCaseFolded())) continue;
        } else if (m.startsWith(kStyleGreen, Qt::CaseInsensitive)) {
            const QString target = m.mid(kStyleGreen.size());
            if (redTargets.contains(target.toCaseFolded())) {
                out.append(QString(kStyleOrange) + target);
                continue;
            }
        }
        out.append(m);
    }
    // The orange prefix sorts elsewhere than the green one; keep the set in order.
    sortCatalogue(out);
    return out;
}
