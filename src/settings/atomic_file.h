#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file as a whole, so that a crash, a full disk or a failing device leaves
// either the old or the new contents, never a torn file.
namespace atomicfile {

// Keeps the mode of the file it replaces (a new file gets 0666 less the umask).
constexpr int KeepMode = -1;

struct Options {
    int mode = KeepMode; // the new file's permission bits
    // Files that are rebuilt on every use (pages in the temp folder) skip the syncs; all
    // writes are checked all the same.
    bool sync = true;
};

// Writes `data` to a temporary file in the target's folder, checks that every byte was
// written and synced, closes it, renames it over `path` and syncs the folder. A link is
// written through to its target. On failure the temporary file is removed, the old file
// stays as it was and `reason` (when given) says why in German, e.g. "Kein freier
// Speicherplatz auf dem Datenträger".
bool write(const QString& path, const QByteArray& data, QString* reason = nullptr,
           Options options = {});

// Removes the temporary files that writers killed in the middle of a write left in `folder`
// (write()'s and the title copies'): only those no live writer holds locked and not changed
// for `minAgeSeconds`. Returns how many were removed.
int removeLeftovers(const QString& folder, int minAgeSeconds = 60);

// removeLeftovers() for each folder once per process; cheap after the first time.
void removeLeftoversOnce(const QString& folder);

// Marks a temporary file as being written until `fd` is closed (or the process dies).
void holdWhileWriting(int fd);

// The German text for an errno value, as write() gives it.
QString reasonText(int error);

} // namespace atomicfile
