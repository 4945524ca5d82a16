#include "merge_import.h"

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
    const QStringList newCmp = comparedLines(newLines);
    const QStringList oldCmp = comparedLines(oldLines);
    const QSet<QString> newSet = foldedSet(newCmp);
    const QSet<QString> oldSet = foldedSet(oldCmp);

    // Red marks the old file already carries: those titles were removed before.
    QSet<QString> oldRed;
    for (const QString& l : oldLines)
        if (l.startsWith(kStyleRed, Qt::CaseInsensitive))
            oldRed.insert(l.mid(kStyleRed.size()).toCaseFolded());

    QStringList marks;
    auto add = [&marks](const QString& s) { marks.append(s); };

    QSet<QString> greenTargets;
    for (const QString& l : newCmp) {
        if (oldSet.contains(l.toCaseFolded())) continue;
        add(QString(kStyleGreen) + l);
        greenTargets.insert(l.toCaseFolded());
        for (const QString& parent : titleline::parentFolderLines(l)) {
            add(QString(kStyleGreen) + parent);
            greenTargets.insert(parent.toCaseFolded());
        }
    }
    QSet<QString> redTargets;
    for (const QString& l : oldCmp) {
        const QString folded = l.toCaseFolded();
        if (newSet.contains(folded) || oldRed.contains(folded)) continue;
        add(QString(kStyleRed) + l);
        add(l);
        redTargets.insert(folded);
        for (const QString& parent : titleline::parentFolderLines(l)) {
            add(QString(kStyleRed) + parent);
            redTargets.insert(parent.toCaseFolded());
        }
    }

    // One sorted set without duplicates (the first one added stays).
    std::stable_sort(marks.begin(), marks.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    marks.erase(std::unique(marks.begin(), marks.end(),
                            [](const QString& a, const QString& b) {
                                return a.compare(b, Qt::CaseInsensitive) == 0;
                            }),
                marks.end());

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
