#include "title_line.h"

#include "title_text.h"

#include <QStringList>

namespace titleline {

QString label(QStringView line) {
    const qsizetype colon = line.indexOf(u':');
    return (colon < 0 ? line : line.left(colon)).toString();
}

QString pathPart(QStringView line) {
    const qsizetype colon = line.indexOf(u':');
    return colon < 0 ? QString() : line.mid(colon).toString();
}

QString fileName(QStringView line) {
    return line.mid(line.lastIndexOf(u'\\') + 1).toString();
}

QString displayName(QStringView line) {
    QStringView name = line.mid(line.lastIndexOf(u'\\') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0) name = name.left(dot);
    return name.toString();
}

ArtistTitle splitArtistTitle(QStringView name) {
    const qsizetype sep = name.indexOf(u" - ");
    if (sep < 0) return {name.toString(), name.toString()};
    return {name.left(sep).toString(), name.mid(sep + 3).toString()};
}

QString folderLine(QStringView line) {
    QStringView s = line;
    if (s.endsWith(u'\\')) s.chop(1);
    const qsizetype cut = s.lastIndexOf(u'\\');
    return cut < 0 ? QString() : s.left(cut + 1).toString();
}

QStringList parentFolderLines(QStringView line) {
    QStringList out;
    visitParentFolderLines(line, [&out](QStringView parent) {
        out.append(parent.toString());
        return true;
    });
    return out;
}

} // namespace titleline

namespace titletext {
bool isVideo(QStringView line) {
    const QStringView name = fileName(line);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) return false;
    const QStringView ext = name.mid(dot + 1);
    for (const char* v : {"AVI", "ASF", "WMV", "MOV", "MPG", "MPE", "MPEG"})
        if (ext.compare(QLatin1StringView(v), Qt::CaseInsensitive) == 0) return true;
    return false;
}
} // namespace titletext
