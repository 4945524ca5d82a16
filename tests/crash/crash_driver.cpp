// Writes one kind of the crash test's files over and over, generation after generation,
// and says on stdout what it is about to do and what it has done, until it is killed:
//
//   crash_driver DIR        then on stdin, per run: "RUN FIRST_GENERATION KIND"
//
// Each run is a child forked from this process (which has its libraries loaded already):
// "CHILD pid" names it. Titles to move or copy are made before its "READY", so that the
// writes after it are the program's alone; then per write "BEGIN kind generation" and
// "DONE kind generation" (a failed write: "FAIL kind generation", and the child ends).
// When the child is gone, "REAPED n": the signal that ended it, or minus its exit code.

#include "atomic_file.h"
#include "copy_worker.h"
#include "crash_payload.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

using namespace crashpayload;

namespace {

const int kSteps = 30;

bool moveOrCopy(CopyWorker& worker, const QString& from, const QString& to, bool move) {
    CopyJob job;
    job.id = 1;
    job.localSource = from;
    job.destination = to;
    job.spaceFolder = to;
    job.removeSource = move;
    const CopyOutcome o = worker.copy(job, {});
    return o.kind == CopyOutcome::Copied && o.removeError.isEmpty();
}

// One run: makes the titles, says READY, writes until killed.
[[noreturn]] void run(const QString& dir, qint64 first, int kind) {
    if (kind == Move || kind == CopyOver)
        for (qint64 g = first; g < first + kSteps; ++g)
            if (!atomicfile::write(sourcePath(kind, dir, g), title(g), nullptr, {.sync = false})) {
                printf("FAIL %d %lld source\n", kind, g);
                fflush(stdout);
                _exit(1);
            }
    std::atomic<bool> abort{false};
    CopyWorker worker(&abort, ShareSettings{});
    printf("READY\n");
    fflush(stdout);
    for (qint64 g = first; g < first + kSteps; ++g) {
        printf("BEGIN %d %lld\n", kind, g);
        fflush(stdout);
        bool ok = false;
        switch (kind) {
        case Settings:
            ok = writeSettings(dir, g);
            break;
        case Merkzettel:
            ok = writeMerkzettel(dir, g);
            break;
        case Playlist:
            ok = writePlaylist(dir, g);
            break;
        case Move:
            ok = moveOrCopy(worker, sourcePath(kind, dir, g), moveTargetPath(dir, g), true);
            break;
        case CopyOver:
            ok = moveOrCopy(worker, sourcePath(kind, dir, g), copyTargetPath(dir), false);
            break;
        }
        printf("%s %d %lld\n", ok ? "DONE" : "FAIL", kind, g);
        fflush(stdout);
        if (!ok) _exit(1);
    }
    printf("END\n");
    fflush(stdout);
    for (;;)
        pause();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        long long first = 0;
        int kind = 0;
        if (sscanf(line, "RUN %lld %d", &first, &kind) != 2) continue;
        const pid_t child = fork();
        if (child == 0) run(dir, first, kind);
        printf("CHILD %d\n", int(child));
        fflush(stdout);
        int status = 0;
        if (child > 0) waitpid(child, &status, 0);
        printf("REAPED %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status));
        fflush(stdout);
    }
    return 0;
}
