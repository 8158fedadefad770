#pragma once
// The bodies of the fuzz targets. Each takes one input, exercises one reader
// of untrusted bytes and checks what that code promises; a broken promise
// stops the process after saying which (see FUZZ_CHECK). The libFuzzer
// programs (fuzz_main.cpp) and the regression replay (replay_main.cpp) call
// the same bodies.
#include <cstddef>
#include <cstdint>
#include <string>

using FuzzBody = void (*)(const uint8_t* data, size_t size);

// A language file loaded from the input, then lookups by index and by scan.
void fuzzTextTable(const uint8_t* data, size_t size);
// The input as config.ini: reads, then a write and its read-back.
void fuzzProfile(const uint8_t* data, size_t size);
// The input as a sealed parameter file (or, by its first byte, as a parameter
// text sealed here first), read back and reported.
void fuzzSealedReport(const uint8_t* data, size_t size);
// The input as a parameter text: the check before loading, then the load on
// a simulated device.
void fuzzLoadCheck(const uint8_t* data, size_t size);
// The input as the bytes and line errors a device answers to a register read.
void fuzzNibbleRead(const uint8_t* data, size_t size);
// The hand-made scanf-style readers against the C library's.
void fuzzScanfReaders(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;   // also the name of its corpus and regression directories
    FuzzBody body;
};

// Every target, in a fixed order, ended by {nullptr, nullptr}.
extern const FuzzTarget FUZZ_TARGETS[];
// The target of that name, or nullptr.
const FuzzTarget* findFuzzTarget(const std::string& name);
