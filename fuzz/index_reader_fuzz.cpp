// libFuzzer target: the index reader, the loader and the merge of imports on arbitrary
// bytes. The input is split in two at the first NUL: new file, old file.
#include "collection.h"
#include "index_file.h"
#include "merge_import.h"
#include "text_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = all.indexOf('\0');
    const QByteArrayView first = cut < 0 ? all : all.first(cut);
    const QByteArrayView second = cut < 0 ? QByteArrayView() : all.sliced(cut + 1);

    const QStringList newLines = textcodec::splitLines(textcodec::decodeIndexText(first));
    const QStringList oldLines = textcodec::splitLines(textcodec::decodeIndexText(second));

    // Two media (often of one label, so that names must be made unique), then cleared.
    // Adding the same lines a second time would repeat the same work.
    Collection c;
    c.addMedium(QStringLiteral("a"), newLines);
    c.addMedium(QStringLiteral("b"), oldLines);
    c.ClearCollection();

    const QStringList marks = MergeImportedIndex(newLines, oldLines);
    // Marks are one sorted set: no two equal without regard to case.
    for (qsizetype i = 1; i < marks.size(); ++i)
        if (marks[i - 1].compare(marks[i], Qt::CaseInsensitive) == 0) __builtin_trap();
    // Whatever is written reads back the same.
    const QString text = textcodec::joinLinesCrLf(newLines);
    if (textcodec::decodeIndexText(textcodec::encodeIndexText(text)) != text) __builtin_trap();
    return 0;
}
