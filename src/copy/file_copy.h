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
    QString error;          // the system's text when Failed
    bool permanent = false; // Failed for a reason no retry mends (a name, not a file)
    qint64 bytes = 0;
};

struct Options {
    bool sync = false; // flush the copy to disk before the rename
    const std::atomic<bool>* abort = nullptr;
    std::atomic<quint64>* activity = nullptr; // counts up as data move
};

// copy_file_range where the kernel can, else read/write with a large buffer. A destination
// that is the source itself (after resolving links) is left alone (SameFile). Only a
// regular file is copied: a FIFO, device or socket fails at once instead of blocking or
// never ending.
Result copyFile(const QString& source, const QString& destination, const Options& options = {});

// Whether two paths name the same file (device and inode); false when one is missing.
bool sameFile(const QString& a, const QString& b);

// The system's text for an errno value.
QString errorText(int error);

// Whether an errno value says that the file system cannot hold a name (too long, bytes or
// characters it refuses), so that trying again cannot help.
bool isNameError(int error);

// Creates a folder with its missing parents: 0, or the errno value of the step that failed.
int makeFolders(const QString& folder);

// The text for a source that is no regular file.
QString notRegularText();

// Free bytes for the user on the file system holding `folder` (its nearest existing
// parent), or -1 when it cannot be measured.
qint64 freeSpace(const QString& folder);

} // namespace filecopy
