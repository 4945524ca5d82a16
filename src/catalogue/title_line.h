#pragma once

#include <QString>
#include <QStringView>

// Helpers for title lines ("Label:\path\file.mp3") and folder lines ("Label:\path\").
namespace titleline {

// The medium label: the text before the first ":" (the whole line when it has none).
QString label(QStringView line);

// The path on the medium, from the first ":" on (":\path\file.mp3").
QString pathPart(QStringView line);

// The file name with extension: the text after the last "\".
QString fileName(QStringView line);

// The display name: the file name without folder and extension.
QString displayName(QStringView line);

// Artist and title: the display name split at its first " - "; without it the whole
// name stands for both.
struct ArtistTitle {
    QString artist;
    QString title;
};
ArtistTitle splitArtistTitle(QStringView displayName);

// The folder line of a title or folder line: up to and including the last "\" before
// the name ("R:\A\B\x.mp3" and "R:\A\B\" both give "R:\A\" for a folder, "R:\A\B\"
// for the title).
QString folderLine(QStringView line);

// The parent folder lines of a line up to, not including, the medium's root "label:\",
// nearest first.
QStringList parentFolderLines(QStringView line);
// The same lines handed one at a time to `visit` (views into `line`) until it returns
// false.
template <typename Visit> void visitParentFolderLines(QStringView line, Visit&& visit) {
    const qsizetype colon = line.indexOf(u':');
    // The root ends right after "label:\".
    const qsizetype rootEnd = colon < 0 ? 0 : colon + 2;
    QStringView s = line;
    if (s.endsWith(u'\\')) s.chop(1);
    for (;;) {
        const qsizetype cut = s.lastIndexOf(u'\\');
        if (cut < 0 || cut + 1 <= rootEnd) break;
        if (!visit(s.left(cut + 1))) break;
        s = s.left(cut);
    }
}

} // namespace titleline
