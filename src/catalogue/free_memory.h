#pragma once

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

// Hands the whole pages freed after a large build back to the system; the allocator would
// otherwise keep them, spread over the heaps of the threads that did the work.
inline void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Serves blocks of 1 MiB and more straight from the system, so that freeing one gives its
// pages back at once. Left to itself the allocator raises that bound after each large block
// freed, and the large buffers of a load then stay in its heaps between small blocks.
inline void mapLargeBlocks() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}
