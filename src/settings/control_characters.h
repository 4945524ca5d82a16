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

} // namespace indexfile
