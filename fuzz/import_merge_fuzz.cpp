// libFuzzer target: the merge of an imported index file into the one it replaces, on
// arbitrary bytes. The input is split in two at the first NUL: new file, old file.
#include "merge_import.h"
#include "text_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = all.indexOf('\0');
    const QByteArrayView first = cut < 0 ? all : all.first(cut);
    const QByteArrayView second = cut < 0 ? QByteArrayView() : all.sliced(cut + 1);

    // Read as the loader reads a file.
    const QStringList newLines = textcodec::decodeIndexLines(first);
    const QStringList oldLines = textcodec::decodeIndexLines(second);

    const QStringList marks = MergeImportedIndex(newLines, oldLines);
    // Marks are one sorted set: no two equal without regard to case.
    for (qsizetype i = 1; i < marks.size(); ++i)
        if (marks[i - 1].compare(marks[i], Qt::CaseInsensitive) == 0) __builtin_trap();
    return 0;
}
