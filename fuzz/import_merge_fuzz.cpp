// libFuzzer target: the merge of an imported index file into the one it replaces, on
// arbitrary bytes. The input is split in two at the first NUL: new file, old file.
#include "index_input.h"
#include "merge_import.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [newLines, oldLines] = readIndexInput(data, size);

    const QStringList marks = MergeImportedIndex(newLines, oldLines);
    // Marks are one sorted set: no two equal without regard to case.
    for (qsizetype i = 1; i < marks.size(); ++i)
        if (marks[i - 1].compare(marks[i], Qt::CaseInsensitive) == 0) __builtin_trap();
    return 0;
}
