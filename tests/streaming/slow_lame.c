/* A library that takes its time to load: its constructor first creates the file named by
   VORLUNE_SLOW_ENTERED, then waits (at most 20 s) until the file VORLUNE_SLOW_RELEASE
   exists. It stands for a library on a folder that answers slowly. */
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void slow_load(void) {
    const char* entered = getenv("VORLUNE_SLOW_ENTERED");
    const char* release = getenv("VORLUNE_SLOW_RELEASE");
    if (!entered || !release) return;
    int fd = open(entered, O_CREAT | O_WRONLY, 0600);
    if (fd >= 0) close(fd);
    for (int i = 0; i < 400 && access(release, F_OK) != 0; ++i)
        usleep(50000);
}

int slow_lame_marker(void) {
    return 1;
}
