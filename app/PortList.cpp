#include "app/PortList.h"

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/NetworkIdentity.h"

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
    // What each name leads to: a device file's real path, or every address
    // and port a network port's host resolves to (all looked up at once).
    std::vector<std::string> urls;
    for (const std::string& port : ports)
        if (looksLikeNetworkUrl(port)) urls.push_back(port);
    const std::vector<NetworkIdentity> resolved = networkIdentities(urls);
    std::vector<std::set<std::string>> leadsTo;
    size_t url = 0;
    for (const std::string& port : ports)
        leadsTo.push_back(looksLikeNetworkUrl(port) ? resolved[url++].endpoints
                                                     : std::set<std::string>{busIdentity(port)});
    for (size_t i = 0; i < ports.size(); ++i) {
        for (size_t first = 0; first < i; ++first) {
            if (ports[first] == ports[i]) return "the port " + ports[i] + " is named twice";
            for (const std::string& end : leadsTo[i])
                if (leadsTo[first].count(end))
                    return "the ports " + ports[first] + " and " + ports[i] + " are the same device (" +
                           (looksLikeNetworkUrl(ports[i]) ? "both reach " : "") + end + ")";
        }
    }
    return {};
}
