// Fuzz target: the header lines of a web medium's server as the transfers take them in.
// Whatever the server sends: no crash, no hang, the kept texts are bounded trimmed pieces
// of a line.
#include "web_client.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView all(reinterpret_cast<const char*>(data), qsizetype(size));
    webclient::Replies replies;
    qsizetype start = 0;
    while (start < all.size()) {
        // libcurl hands over one line at a time, its line end included.
        qsizetype end = all.indexOf('\n', start);
        end = end < 0 ? all.size() : end + 1;
        const QByteArrayView line = all.sliced(start, end - start);
        webclient::noteHeaderLine(replies, line);
        for (const QByteArray* kept : {&replies.lastLine, &replies.statusText}) {
            if (kept->size() > 1024) __builtin_trap();
            if (!kept->isEmpty() && (kept->trimmed() != *kept || !all.contains(*kept)))
                __builtin_trap();
        }
        if (!line.trimmed().isEmpty() &&
            replies.lastLine != line.first(qMin<qsizetype>(line.size(), 1024)).trimmed())
            __builtin_trap();
        start = end;
    }
    return 0;
}
