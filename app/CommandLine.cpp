#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

#include "app/BatchPattern.h"
#include "session/AppContext.h"

namespace {

// A long option's value: "--load=x" or "--load x"; false when there is none.
bool takeValue(const std::string& arg, const std::string& name, int& i, int argc, char** argv, std::string& value) {
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return !value.empty();
    }
    if (arg != name || i + 1 >= argc || !argv[i + 1]) return false;
    value = argv[++i];
    return !value.empty();
}

// --address: the address as every window shows it, hexadecimal ("2a", "2A",
// "0x2A"); a decimal only in its own form, "dec:42". -1 when it is no bus
// address (not a number of that form, or above 3F).
int busAddress(const std::string& text) {
    const auto startsWith = [&text](const char* prefix) {
        const size_t n = std::char_traits<char>::length(prefix);
        if (text.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
        return true;
    };
    const bool decimal = startsWith("dec:");
    const std::string digits = decimal ? text.substr(4) : startsWith("0x") ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 4) return -1;
    if (digits.find_first_not_of(decimal ? "0123456789" : "0123456789abcdefABCDEF") != std::string::npos) return -1;
    const int value = std::stoi(digits, nullptr, decimal ? 10 : 16);
    return value <= 0x3F ? value : -1;
}

// Why the options taken together make no job; empty when they do.
std::string conflict(const CommandLine& c) {
    const BatchKind kind = parseBatchCommandLine(c.line).kind;
    if (!c.savePattern.empty() && kind != BatchKind::None) return "--save does not go with --load or --convert";
    if (!c.savePattern.empty() && c.ports.empty() && c.portsFile.empty())
        return "--save needs the buses: --port PATH (once or more) or --ports FILE";
    if (!c.portsFile.empty() && !c.ports.empty()) return "give the ports either with --port or with --ports, not both";
    if ((c.ports.size() > 1 || !c.portsFile.empty()) && kind == BatchKind::None && c.savePattern.empty())
        return "several ports need a job: --load FILE or --save PATTERN (the window works with one bus)";
    return {};
}

}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine c;
    auto append = [&c](const std::string& word) {
        if (!c.line.empty()) c.line += ' ';
        c.line += word;
    };
    auto refuse = [&c](const std::string& why) {
        c.action = CommandLine::Action::BadUsage;
        c.error = why;
        return c;
    };
    static const char* const valued[] = {"--convert", "--load", "--port", "--ports", "--address", "--device", "--save"};
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            c.action = CommandLine::Action::Help;
            return c;
        }
        if (arg == "--version") {
            c.action = CommandLine::Action::Version;
            return c;
        }
        if (arg == "--history") {
            c.action = CommandLine::Action::History;
            if (i + 1 < argc && argv[i + 1] && std::string(argv[i + 1]).rfind("--", 0) != 0) c.historyDevice = argv[++i];
            continue;
        }
        if (arg == "--history-sync") {
            c.action = CommandLine::Action::HistorySync;
            continue;
        }
        if (arg == "--csv") {
            c.historyCsv = true;
            continue;
        }
        const std::string name = arg.substr(0, arg.find('='));
        if (std::find(std::begin(valued), std::end(valued), name) != std::end(valued)) {
            if (!takeValue(arg, name, i, argc, argv, value)) return refuse(name + " needs a value");
            if (name == "--port") {
                c.ports.push_back(value);
            } else if (name == "--ports") {
                c.portsFile = value;
            } else if (name == "--address") {
                c.address = busAddress(value);
                if (c.address < 0)
                    return refuse("--address " + value +
                                  ": a bus address is 00..3F, in hexadecimal as the windows show it (2A or 0x2A); "
                                  "a decimal is written dec:42");
            } else if (name == "--device") {
                // A device's name register holds 8 characters; trailing blanks pad it.
                if (value.size() > 8 || value.find_first_not_of(' ') == std::string::npos)
                    return refuse("--device " + value + ": a device name has 1 to 8 characters");
                c.deviceName = value;
            } else if (name == "--save") {
                c.savePattern = value;
            } else {
                append((name == "--convert" ? "/c " : "/l ") + value);
            }
            continue;
        }
        // The original forms are read from the joined line; anything else
        // that looks like a long option is a mistake, not part of a path.
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) return refuse("unknown option " + arg);
        append(arg);
    }
    if (!c.ports.empty()) c.port = c.ports.front();
    if (std::string why = conflict(c); !why.empty()) return refuse(why);
    // --csv is a form of the history's output, nothing else.
    if (c.historyCsv && c.action != CommandLine::Action::History) return refuse("--csv goes with --history");
    return c;
}

std::string versionLine() { return std::string("fieldservice ") + versionText + " (" + dateText + ")"; }

std::string usageText() {
    return "Usage: fieldservice [--port PATH]... [--ports FILE] [--address AA | --device NAME] [OPTION]\n"
           "A service tool for field devices on a two-wire serial bus.\n"
           "\n"
           "Without an option the program opens its main window.\n"
           "\n"
           "  /c PATTERN, --convert PATTERN   write a report (.DOC) beside every parameter\n"
           "                                  file (.NFO) that PATTERN matches (* and ? in\n"
           "                                  its last part; quote it)\n"
           "  /l FILE, --load FILE            load the parameter file into the first device\n"
           "                                  found on the bus (with --address or --device:\n"
           "                                  that device); on each bus when several ports\n"
           "                                  are given, all at once, then a table of results\n"
           "  --save PATTERN                  save the device on each bus named by --port or\n"
           "                                  --ports to PATTERN_NAME_AA_yyyy-mm-dd.NFO (with\n"
           "                                  its .DOC); PATTERN ending in / or naming a\n"
           "                                  folder: NAME_AA_yyyy-mm-dd.NFO in that folder;\n"
           "                                  with several buses the name ends in its bus\n"
           "                                  (..._ttyUSB0.NFO, ..._plc7-4001.NFO); a name\n"
           "                                  taken already gets -2, -3, ...\n"
           "  --port PATH                     use the serial device PATH for this run,\n"
           "                                  whatever config.ini maps; give it again for\n"
           "                                  more buses\n"
           "  --ports FILE                    the buses listed in FILE, one port a line\n"
           "                                  (blank lines and lines starting with # are\n"
           "                                  skipped)\n"
           "  --address AA                    the device at bus address AA instead of the\n"
           "                                  first one: hexadecimal, as the windows show it\n"
           "                                  (00..3F: 2a, 2A or 0x2A); a decimal is written\n"
           "                                  dec:42\n"
           "  --device NAME                   the device named NAME (up to 8 characters)\n"
           "                                  instead of the first one\n"
           "  --history [NAME|ADDRESS] [--csv]\n"
           "                                  print the service history (every device, or\n"
           "                                  the one of this name or bus address in hex),\n"
           "                                  newest first, in UTF-8; --csv as CSV; reads\n"
           "                                  only, and creates nothing when there is none\n"
           "  --history-sync                  send this laptop's service history entries\n"
           "                                  that wait for the plant's server\n"
           "                                  (history_server in config.ini) and end:\n"
           "                                  0 when none waits any more, 1 when the\n"
           "                                  server could not be reached or refused\n"
           "  --help                          show this text\n"
           "  --version                       show the version\n"
           "\n"
           "The batch jobs run without a display too; their messages then go to\n"
           "standard error.\n"
           "\n"
           "Exit status:\n"
           "  0  done\n"
           "  1  failed: a file could not be converted, the load (or save) did not\n"
           "     complete on one bus at least, or the service history could not be read\n"
           "  2  nothing to do (no matching file, directory or device), or bad usage (a\n"
           "     port named twice, a port list that cannot be read or is empty, ...)\n";
}
