// writeReport from a stream holding the input, in both modes, and wrapText
// with widths and line counts taken from the input.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "files/ParameterFiles.h"
#include "texts/TextTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    installQuietOperator();
    static const std::string path = scratchDirectory() + "/input.NFO";
    if (size == 0) return 0;
    bool all = data[0] & 1;
    MemoryStream stream;
    stream.write(data + 1, size - 1);
    writeReport(path, stream, all);

    int width = static_cast<int8_t>(data[0]) / 2;
    int maxLines = size > 1 ? static_cast<int8_t>(data[1]) : 16;
    std::vector<std::string> lines;
    std::string text(reinterpret_cast<const char*>(data), size);
    int count = wrapText(text, lines, width, maxLines);
    if (count < 0 || (maxLines > 0 && count > maxLines) || static_cast<size_t>(count) != lines.size()) std::abort();
    size_t total = 0;
    for (const auto& line : lines) {
        if (width > 0 && line.size() > static_cast<size_t>(width)) std::abort();
        total += line.size();
    }
    if (total > text.size()) std::abort();
    return 0;
}
