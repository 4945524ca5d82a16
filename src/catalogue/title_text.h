#pragma once

#include <QStringView>

// What the views show of a title line, as views into the line (no copies).
namespace titletext {

// The place of the last `a` or `b` in the text, or -1 (an inline scan from the end: the
// characters sought lie near it).
inline qsizetype lastOf(QStringView text, char16_t a, char16_t b) {
    const char16_t* p = text.utf16();
    for (qsizetype i = text.size() - 1; i >= 0; --i)
        if (p[i] == a || p[i] == b) return i;
    return -1;
}
inline qsizetype lastOf(QStringView text, char16_t a) {
    return lastOf(text, a, a);
}

// The file name: the text after the last "\" or ":".
inline QStringView fileName(QStringView line) {
    return line.mid(lastOf(line, u'\\', u':') + 1);
}

// The display name: the file name without its last extension and that extension's dot.
inline QStringView displayName(QStringView line) {
    QStringView name = fileName(line);
    const qsizetype dot = lastOf(name, u'.');
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
