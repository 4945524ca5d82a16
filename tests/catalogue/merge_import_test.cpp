#include "merge_import.h"

#include "index_file.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

namespace {
const QString G = "STYLE::#00AA00,BOLD::";
const QString R = "STYLE::#FF0000,STRIKEOUT::";
const QString O = "STYLE::#FFAA00,BOLD,STRIKEOUT::";
} // namespace

TEST(MergeImport, MarksNewTitlesAndTheirFoldersGreen) {
    const QStringList oldLines = {"head", "BEGIN::CD", "LABEL::R", "R:\\A\\", "R:\\A\\1.mp3"};
    const QStringList newLines = {"BEGIN::CD",    "LABEL::R",   "R:\\A\\",
                                  "R:\\A\\1.mp3", "R:\\A\\B\\", "R:\\A\\B\\2.mp3"};
    EXPECT_EQ(MergeImportedIndex(newLines, oldLines),
              QStringList({G + "R:\\A\\", G + "R:\\A\\B\\", G + "R:\\A\\B\\2.mp3"}));
}

TEST(MergeImport, KeepsRemovedTitlesVisibleStruckOutUntilTheNextImport) {
    const QStringList v1 = {"BEGIN::CD", "R:\\A\\", "R:\\A\\1.mp3", "R:\\A\\2.mp3"};
    const QStringList v2 = {"BEGIN::CD", "R:\\A\\", "R:\\A\\1.mp3"};
    const QStringList marks = MergeImportedIndex(v2, v1);
    EXPECT_EQ(marks, QStringList({"R:\\A\\2.mp3", R + "R:\\A\\", R + "R:\\A\\2.mp3"}));

    // The file as written: the downloaded lines plus the marks. Importing v2 again
    // finds the struck-out title and its mark and drops them.
    const QStringList written = v2 + marks;
    EXPECT_TRUE(MergeImportedIndex(v2, written).isEmpty());
}

TEST(MergeImport, FolderThatGainedAndLostTurnsOrange) {
    const QStringList oldLines = {"BEGIN::CD", "R:\\A\\", "R:\\A\\old.mp3"};
    const QStringList newLines = {"BEGIN::CD", "R:\\A\\", "R:\\A\\new.mp3"};
    EXPECT_EQ(
        MergeImportedIndex(newLines, oldLines),
        QStringList({"R:\\A\\old.mp3", G + "R:\\A\\new.mp3", R + "R:\\A\\old.mp3", O + "R:\\A\\"}));
}

TEST(MergeImport, ComparesWithoutCaseAndSkipsTagsHeadsAndDoubleColons) {
    const QStringList oldLines = {"r:\\a\\X.MP3", "LABEL::Old", "R:\\odd::name.mp3"};
    const QStringList newLines = {"junk head", "BEGIN::CD", "R:\\A\\x.mp3", "LABEL::New",
                                  "R:\\other::name.mp3"};
    // Old file has no marker: all its lines count. The head of the new one does not.
    EXPECT_TRUE(MergeImportedIndex(newLines, oldLines).isEmpty());
    // Unchanged file: no marks at all.
    EXPECT_TRUE(MergeImportedIndex(newLines, newLines).isEmpty());
    // Duplicates collapse to one mark.
    EXPECT_EQ(MergeImportedIndex({"R:\\n.mp3", "r:\\N.mp3"}, {}), QStringList({G + "R:\\n.mp3"}));
}

namespace {

// The marks as the rules state them, computed the plain way: every parent of every
// line, duplicates dropped only at the end.
QStringList plainMerge(const QStringList& newLines, const QStringList& oldLines) {
    auto compared = [](const QStringList& lines) {
        QStringList out;
        for (const QString& l : lines)
            if (!l.trimmed().isEmpty() && !l.contains(u"::")) out.append(l);
        return out;
    };
    auto folded = [](const QStringList& lines) {
        QSet<QString> s;
        for (const QString& l : lines)
            s.insert(l.toCaseFolded());
        return s;
    };
    auto parents = [](QString l) {
        QStringList out;
        const qsizetype root = l.indexOf(u':') < 0 ? 0 : l.indexOf(u':') + 2;
        if (l.endsWith(u'\\')) l.chop(1);
        for (qsizetype cut = l.size(); cut > 0;) {
            cut = l.left(cut).lastIndexOf(u'\\');
            if (cut < 0 || cut + 1 <= root) break;
            out.append(l.left(cut + 1));
        }
        return out;
    };
    const QStringList n = compared(newLines), o = compared(oldLines);
    const QSet<QString> nSet = folded(n), oSet = folded(o);
    // Folders are marked where the written file has their line: new, or removed and kept.
    QSet<QString> shown;
    for (const QString& l : n)
        if (l.endsWith(u'\\')) shown.insert(l.toCaseFolded());
    for (const QString& l : o)
        if (l.endsWith(u'\\') && !nSet.contains(l.toCaseFolded())) shown.insert(l.toCaseFolded());
    auto parentsShown = [&](const QString& l) {
        QStringList out;
        for (const QString& p : parents(l))
            if (shown.contains(p.toCaseFolded())) out.append(p);
        return out;
    };
    QStringList marks;
    QSet<QString> green, red;
    for (const QString& l : n) {
        if (oSet.contains(l.toCaseFolded())) continue;
        for (const QString& t : QStringList{l} + parentsShown(l)) {
            marks.append(G + t);
            green.insert(t.toCaseFolded());
        }
    }
    for (const QString& l : o) {
        if (nSet.contains(l.toCaseFolded())) continue;
        marks.append(l);
        for (const QString& t : QStringList{l} + parentsShown(l)) {
            marks.append(R + t);
            red.insert(t.toCaseFolded());
        }
    }
    QStringList out;
    QSet<QString> seen;
    for (const QString& m : marks) {
        QString mark = m;
        if (m.startsWith(R) && green.contains(m.mid(R.size()).toCaseFolded())) continue;
        if (m.startsWith(G) && red.contains(m.mid(G.size()).toCaseFolded()))
            mark = O + m.mid(G.size());
        if (!seen.contains(mark.toCaseFolded())) {
            seen.insert(mark.toCaseFolded());
            out.append(mark);
        }
    }
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return out;
}

QStringList randomListing(QRandomGenerator& rng) {
    const QString parts[] = {"a", "A", "b", "Bb", "c"};
    QStringList lines;
    const int count = rng.bounded(1, 12);
    for (int i = 0; i < count; ++i) {
        QString line = rng.bounded(4) ? QStringLiteral("R:\\") : QStringLiteral("\\");
        const int depth = rng.bounded(0, 4);
        for (int d = 0; d < depth; ++d)
            line += parts[rng.bounded(5)] + u'\\';
        if (rng.bounded(3)) line += parts[rng.bounded(5)] + QStringLiteral(".mp3");
        lines.append(line);
    }
    return lines;
}

} // namespace

TEST(MergeImport, AgreesWithThePlainReadingOfTheRules) {
    // Shared folders, case variants, lines without a root, duplicate titles: the marks
    // must not depend on how the walk up the parents is cut short.
    QRandomGenerator rng(20261208);
    for (int round = 0; round < 400; ++round) {
        const QStringList oldLines = randomListing(rng);
        const QStringList newLines = randomListing(rng);
        const QStringList got = MergeImportedIndex(newLines, oldLines);
        QStringList want = plainMerge(newLines, oldLines);
        // Both are sets sorted without regard to case; compare them as such.
        QStringList gotFolded, wantFolded;
        for (const QString& m : got)
            gotFolded.append(m.toCaseFolded());
        for (const QString& m : want)
            wantFolded.append(m.toCaseFolded());
        gotFolded.sort();
        wantFolded.sort();
        ASSERT_EQ(gotFolded, wantFolded) << "old: " << oldLines.join(u' ').toStdString()
                                         << "\nnew: " << newLines.join(u' ').toStdString();
    }
}

TEST(MergeImport, ADeepFolderOfManyTitlesMarksEachParentOnce) {
    // 2,000 new titles 200 folders deep. Walking every title's parents made 400,000
    // marks of some 200 characters each before removing duplicates, and took seconds.
    QString folder = QStringLiteral("R:\\");
    QStringList newLines;
    for (int d = 0; d < 200; ++d) {
        folder += QStringLiteral("d\\");
        newLines.append(folder);
    }
    for (int i = 0; i < 2000; ++i)
        newLines.append(folder + QString::number(i) + QStringLiteral(".mp3"));
    const QStringList marks = MergeImportedIndex(newLines, {});
    ASSERT_EQ(marks.size(), 2000 + 200);
    for (const QString& m : marks)
        ASSERT_TRUE(m.startsWith(G)) << m.toStdString();
    EXPECT_EQ(marks.first(), G + "R:\\d\\");
    EXPECT_EQ(marks[199], G + folder);
}

TEST(MergeImport, MarksOnlyParentFoldersTheWrittenFileHolds) {
    struct Case {
        const char* name;
        QStringList oldLines;
        QStringList newLines;
        QStringList marks;
    } cases[] = {
        // Lines below a folder that has no line of its own, as written for a medium whose
        // base lies below its root: that folder shows nowhere.
        {"no line of its own",
         {},
         {"L:\\Musik\\Rock\\", "L:\\Musik\\Rock\\a.mp3"},
         {G + "L:\\Musik\\Rock\\", G + "L:\\Musik\\Rock\\a.mp3"}},
        // The removed folder stays in the file, struck out; it gained a title as well.
        {"removed folder kept visible",
         {"R:\\A\\", "R:\\A\\x.mp3"},
         {"R:\\A\\y.mp3"},
         {"R:\\A\\", "R:\\A\\x.mp3", G + "R:\\A\\y.mp3", O + "R:\\A\\", R + "R:\\A\\x.mp3"}},
        // A folder struck out at the last import is dropped now: no mark for it.
        {"folder dropped at this import",
         {"R:\\A\\x.mp3", R + "R:\\A\\", "R:\\A\\"},
         {"R:\\A\\y.mp3"},
         {G + "R:\\A\\y.mp3", "R:\\A\\x.mp3", R + "R:\\A\\x.mp3"}},
    };
    for (const Case& c : cases) {
        QStringList want = c.marks;
        indexfile::sortCatalogue(want);
        EXPECT_EQ(MergeImportedIndex(c.newLines, c.oldLines), want) << c.name;
    }
}

TEST(MergeImport, HostileDeepLinesGiveMarksInProportionToTheInput) {
    // One line thousands of folders deep used to mark every one of its ever longer parents:
    // the marks grew with the square of the line. Each case must stay within a few times
    // the size of its input.
    const auto deep = [](const QString& head, int depth, const QString& tail) {
        QString s = head;
        for (int d = 0; d < depth; ++d)
            s += QStringLiteral("d\\");
        return s + tail;
    };
    const auto chain = [](int depth) {
        QStringList lines;
        QString s = QStringLiteral("R:\\");
        for (int d = 0; d < depth; ++d)
            lines.append(s += QStringLiteral("x\\"));
        lines.append(s + QStringLiteral("t.mp3"));
        return lines;
    };
    struct Case {
        const char* name;
        QStringList oldLines;
        QStringList newLines;
        qsizetype minMarks;
    } cases[] = {
        {"new deep title", {}, {deep("R:\\", 20000, "t.mp3")}, 1},
        {"removed deep title", {deep("R:\\", 20000, "t.mp3")}, {}, 2},
        {"backslashes only", {}, {QString(40000, u'\\')}, 1},
        {"no label, deep folder line", {}, {deep(":\\", 20000, "")}, 1},
        {"deep chain of folder lines", {}, chain(1500), 1501},
        {"deep chain removed", chain(1500), {}, 2 * 1501},
    };
    for (const Case& c : cases) {
        qsizetype input = 0;
        for (const QStringList* l : {&c.oldLines, &c.newLines})
            for (const QString& s : *l)
                input += s.size() + 1;
        const QStringList marks = MergeImportedIndex(c.newLines, c.oldLines);
        qsizetype output = 0;
        for (const QString& m : marks)
            output += m.size() + 1;
        EXPECT_GE(marks.size(), c.minMarks) << c.name;
        EXPECT_LE(output, 4 * input + 1000) << c.name << ": " << marks.size() << " marks";
    }
}
