// readSealedFile on a file holding the input's bytes.
#include <cstdio>

#include "FuzzSupport.h"
#include "files/ParameterFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    installQuietOperator();
    static const std::string path = scratchDirectory() + "/input.NFO";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    MemoryStream stream;
    bool ok = readSealedFile(path, stream);
    // What was read back verifies: its checksum is the one the file holds.
    if (ok && stream.length() > size) std::abort();
    return 0;
}
