#pragma once
// A promise of the code under test. When it breaks, the process stops with a
// line naming it, so the fuzzer keeps the input as a crash and the replay
// fails on it.
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzCheckFailed(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                 \
    do {                                                                      \
        if (!(condition)) fuzzCheckFailed(__FILE__, __LINE__, #condition);    \
    } while (0)
