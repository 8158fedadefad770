#include "app/BatchPattern.h"

namespace {

// Position of option in line where it stands at the start or after a blank.
size_t findOption(const std::string& line, const char* option) {
    size_t pos = line.find(option);
    while (pos != std::string::npos) {
        if (pos == 0 || line[pos - 1] == ' ' || line[pos - 1] == '\t') return pos;
        pos = line.find(option, pos + 1);
    }
    return std::string::npos;
}

}  // namespace

BatchRequest parseBatchCommandLine(const std::string& commandLine) {
    BatchRequest request;
    size_t pos = findOption(commandLine, "/c ");
    if (pos != std::string::npos) {
        request.kind = BatchKind::Convert;
    } else {
        pos = findOption(commandLine, "/l ");
        if (pos == std::string::npos) return request;
        request.kind = BatchKind::Load;
    }
    request.path = commandLine.substr(pos + 3);
    return request;
}

std::string batchDirectory(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
