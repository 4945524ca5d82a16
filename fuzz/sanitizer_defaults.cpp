// Sanitizer defaults for long fuzzing runs; ASAN_OPTIONS still overrides them.
// Qt's libraries are built without frame pointers, so the fast unwinder records a
// different (partly garbage) stack for many allocations made inside Qt; the stack depot
// keeps every one of them and grows without end, slowing each run. Allocation stacks are
// therefore not recorded, and a small quarantine keeps the resident size flat.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=0:quarantine_size_mb=16";
}
