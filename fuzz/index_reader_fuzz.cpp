// libFuzzer target: the index reader and the loader on arbitrary bytes. The input is split
// in two at the first NUL: two index files, loaded as two media of one collection.
#include "collection.h"
#include "index_input.h"
#include "text_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [newLines, oldLines] = readIndexInput(data, size);

    // One collection for every run, cleared after each as a reload clears it: the tree's
    // room and the lists' storage are taken again, and what clearing leaves is checked.
    static Collection c;
    // Two media (often of one label, so that names must be made unique), then cleared.
    // Adding the same lines a second time would repeat the same work.
    c.addMedium(QStringLiteral("a"), newLines);
    c.addMedium(QStringLiteral("b"), oldLines);
    c.ClearCollection();
    if (c.mediaListNode()->childCount() != 0 || c.alphaListNode()->childCount() != 0 ||
        c.titleLists.count() != TitleLists::FixedCount || !c.cdnames.isEmpty())
        __builtin_trap();

    // Whatever is written reads back the same.
    const QString text = textcodec::joinLinesCrLf(newLines);
    if (textcodec::decodeIndexText(textcodec::encodeIndexText(text)) != text) __builtin_trap();
    return 0;
}
