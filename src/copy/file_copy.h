#pragma once

#include <QString>

#include <atomic>

// Copies one file the way a copy run needs it: into a temporary name in the destination
// folder, renamed over the final name only when complete, so that a failed or aborted
// copy never leaves a partial file under the final name.
namespace filecopy {

struct Result {
    enum Status { Copied, SameFile, Failed, Aborted };
    Status status = Failed;
    QString error; // the system's text when Failed
    qint64 bytes = 0;
};

struct Options {
    bool sync = false; // flush the copy to disk before the rename
    const std::atomic<bool>* abort = nullptr;
};

// copy_file_range where the kernel can, else read/write with a large buffer. A destination
// that is the source itself (after resolving links) is left alone (SameFile).
Result copyFile(const QString& source, const QString& destination, const Options& options = {});

// Whether two paths name the same file (device and inode); false when one is missing.
bool sameFile(const QString& a, const QString& b);

// The system's text for an errno value.
QString errorText(int error);

// Free bytes for the user on the file system holding `folder` (its nearest existing
// parent), or -1 when it cannot be measured.
qint64 freeSpace(const QString& folder);

} // namespace filecopy
