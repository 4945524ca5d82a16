// Fuzz target: the FTP listing parser and its page. Whatever a server answers: no crash,
// no hang, and every entry is a name from the answer that stays in its folder.
#include "ftp_listing.h"
#include "fuzz_input.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const QString label = in.text();
    const QString below = in.text();
    const uint8_t flags = in.byte();
    const QByteArray listing = in.rest();
    const QList<ftplisting::Entry> entries = ftplisting::parse(listing);
    const QString text = QString::fromUtf8(listing);
    for (const ftplisting::Entry& e : entries) {
        if (e.name.isEmpty() || e.name == u"." || e.name == u".." || e.name.contains(u'/'))
            __builtin_trap();
        if (e.name.contains(u'\n') || !text.contains(e.name)) __builtin_trap();
    }
    const QString resource = QStringLiteral("ftp://example.invalid/musik");
    const QString error = flags & 1 ? label : QString();
    const QString page = ftplisting::page(resource + u'/' + below, resource, label, entries, error);
    // Names are escaped: the page holds only its own 16 tags, the error's two, the four of
    // the link up and four per entry.
    const qsizetype tags =
        16 + (error.isEmpty() ? 0 : 2) + (below.isEmpty() ? 0 : 4) + 4 * entries.size();
    if (page.count(u'<') != tags || page.count(u'>') != tags) __builtin_trap();
    return 0;
}
