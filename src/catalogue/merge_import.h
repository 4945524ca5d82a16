#pragma once

#include <QStringList>

// Marks the differences between a downloaded index file and the one it replaces:
// green for new titles and folders, red (struck out, the line kept visible) for removed
// ones, orange for folders that both gained and lost. Returns the marks, sorted and
// without duplicates, to be appended to the new lines.
QStringList MergeImportedIndex(const QStringList& newLines, const QStringList& oldLines);
