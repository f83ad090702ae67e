#pragma once
// The instrument's end of a pseudo-terminal, and what the soak and flood
// tests watch of the process.
#include "tests/support/Instrument.h"

namespace zop::test {

// The calling process's figures the soak and flood tests watch.
struct ProcessFigures {
    long ResidentBytes = 0;
    long HeapBytes = 0; // bytes the allocator has handed out
    int Threads = 0;
    int Descriptors = 0;
};
ProcessFigures CurrentFigures();

// True when the program runs under a sanitizer, whose allocator keeps freed
// memory aside: memory figures then say nothing.
bool UnderSanitizer();

// Long runs skip themselves unless ZOP5_SOAK=1 is set.
bool SoakRunsEnabled();

} // namespace zop::test
