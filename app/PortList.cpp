#include "app/PortList.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace {

std::string trimmed(const std::string& line) {
    const char* blanks = " \t\r";
    size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// The device a port name leads to: its path with every link resolved when
// it names a file, else the name itself.
std::string busIdentity(const std::string& port) {
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(port, ec);
    return ec ? port : real.string();
}

}  // namespace

bool readPortList(const std::string& file, std::vector<std::string>& ports, std::string& error) {
    std::ifstream in(file);
    if (!in || std::filesystem::is_directory(file)) {
        error = "cannot read the port list " + file;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (!line.empty() && line.front() != '#') ports.push_back(line);
    }
    if (in.bad()) {
        error = "cannot read the port list " + file;
        return false;
    }
    if (ports.empty()) {
        error = "the port list " + file + " names no port";
        return false;
    }
    return true;
}

std::string portNamedTwice(const std::vector<std::string>& ports) {
    std::map<std::string, std::string> seen;   // identity -> the name it was first given
    for (const std::string& port : ports) {
        auto [at, added] = seen.emplace(busIdentity(port), port);
        if (added) continue;
        if (at->second == port) return "the port " + port + " is named twice";
        return "the ports " + at->second + " and " + port + " are the same device (" + at->first + ")";
    }
    return {};
}
