// Replays committed inputs through a fuzz target's body without the fuzzer:
// every file of the given directories (a missing directory holds none). A
// broken promise or a sanitizer report stops the program, so the test fails
// on the input it names first.
//
//   fuzz_replay <target> <directory>...
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "targets/FuzzSupport.h"
#include "targets/FuzzTargets.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <target> <directory>...\n", argv[0]);
        return 2;
    }
    const FuzzTarget* target = findFuzzTarget(argv[1]);
    if (!target) {
        std::fprintf(stderr, "no fuzz target named %s\n", argv[1]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 2; i < argc; ++i) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        std::fprintf(stderr, "%s: %s\n", target->name, path.c_str());
        std::string bytes = readBytes(path.string());
        target->body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%s: %zu inputs replayed\n", target->name, inputs.size());
    return inputs.empty() ? 1 : 0;
}
