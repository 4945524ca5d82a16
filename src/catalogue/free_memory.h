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
