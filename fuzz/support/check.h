// The fuzz targets' assertion: a violated expectation stops the process with
// a trap, which libFuzzer reports as a crash and saves the input for.
#pragma once

#include <cstdio>

#define FUZZ_CHECK(cond)                                                                         \
    do {                                                                                         \
        if (!(cond)) {                                                                           \
            std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            __builtin_trap();                                                                    \
        }                                                                                        \
    } while (0)
