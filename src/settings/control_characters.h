#pragma once

#include <QStringView>

#include <algorithm>

namespace indexfile {

// True when the text holds a control character (U+0000..U+001F, U+007F). No title line
// may: a line break in it would write lines of its own into an index file.
inline bool hasControlCharacter(QStringView text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// True when the text holds one half of a surrogate pair without the other: no file
// encoding stores it, so it would read back as another character.
inline bool hasUnpairedSurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

} // namespace indexfile
