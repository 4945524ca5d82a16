#pragma once

#include <QStringView>

// What the views show of a title line, as views into the line (no copies).
namespace titletext {

// The file name: the text after the last "\" or ":".
inline QStringView fileName(QStringView line) {
    const qsizetype cut = std::max(line.lastIndexOf(u'\\'), line.lastIndexOf(u':'));
    return line.mid(cut + 1);
}

// The display name: the file name without its last extension and that extension's dot.
inline QStringView displayName(QStringView line) {
    QStringView name = fileName(line);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

// The medium label: the text before the first ":" (the whole line when it has none).
inline QStringView label(QStringView line) {
    const qsizetype colon = line.indexOf(u':');
    return colon < 0 ? line : line.left(colon);
}

// True for the video extensions .AVI .ASF .WMV .MOV .MPG .MPE .MPEG (any case).
bool isVideo(QStringView line);

} // namespace titletext
