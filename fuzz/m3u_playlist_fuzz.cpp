// Fuzz target: the M3U playlist of a copy run. Whatever the names and the file it goes
// on, every added title is exactly one "#EXTINF" line and one path line, and the file
// reads back as the lines that were written.
#include "control_characters.h"
#include "fuzz_input.h"
#include "m3u_playlist.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    M3uPlaylist playlist;
    playlist.loadData(in.bytes());
    const int count = in.number(16);
    for (int i = 0; i < count && !in.empty(); ++i) {
        const qint64 seconds = qint64(in.byte()) * 60 + in.byte() - 128;
        const QString name = in.text();
        const QString path = in.text();
        const qsizetype before = playlist.lines().size();
        if (!playlist.addEntry(seconds, name, path)) continue;
        // Two lines: the entry's own, then its path.
        if (playlist.lines().size() != before + 2) __builtin_trap();
        const QString info = playlist.lines()[before];
        const QString prefix =
            seconds < 0 ? QStringLiteral("#EXTINF:,") : QStringLiteral("#EXTINF:%1,").arg(seconds);
        if (!info.startsWith(prefix) || playlist.lines()[before + 1].startsWith(u"#EXTINF"))
            __builtin_trap();
        // Once written and read again, the two lines are still two lines.
        // (Half a surrogate pair has no UTF-8 form: such a line reads back changed, but
        // still as one line.)
        M3uPlaylist again;
        again.loadData(playlist.data());
        const QStringList& was = playlist.lines();
        const QStringList& read = again.lines();
        if (read.size() != was.size()) __builtin_trap();
        for (qsizetype k = 0; k < was.size(); ++k)
            if (read[k] != was[k] && (!indexfile::hasUnpairedSurrogate(was[k]) ||
                                      read[k].startsWith(u'#') != was[k].startsWith(u'#')))
                __builtin_trap();
    }
    return 0;
}
