#include "app/CommandLine.h"

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

}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine c;
    auto append = [&c](const std::string& word) {
        if (!c.line.empty()) c.line += ' ';
        c.line += word;
    };
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
        if (arg == "--csv") {
            c.historyCsv = true;
            continue;
        }
        if (arg.rfind("--convert", 0) == 0 || arg.rfind("--load", 0) == 0 || arg.rfind("--port", 0) == 0) {
            const std::string name = arg.substr(0, arg.find('='));
            if ((name == "--convert" || name == "--load" || name == "--port") &&
                takeValue(arg, name, i, argc, argv, value)) {
                if (name == "--port") c.port = value;
                else append((name == "--convert" ? "/c " : "/l ") + value);
                continue;
            }
            c.action = CommandLine::Action::BadUsage;
            c.error = name == "--convert" || name == "--load" || name == "--port"
                          ? name + " needs a value"
                          : "unknown option " + arg;
            return c;
        }
        // The original forms are read from the joined line; anything else
        // that looks like a long option is a mistake, not part of a path.
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            c.action = CommandLine::Action::BadUsage;
            c.error = "unknown option " + arg;
            return c;
        }
        append(arg);
    }
    // --csv is a form of the history's output, nothing else.
    if (c.historyCsv && c.action != CommandLine::Action::History) {
        c.action = CommandLine::Action::BadUsage;
        c.error = "--csv goes with --history";
    }
    return c;
}

std::string versionLine() { return std::string("fieldservice ") + versionText + " (" + dateText + ")"; }

std::string usageText() {
    return "Usage: fieldservice [--port PATH] [OPTION]\n"
           "A service tool for field devices on a two-wire serial bus.\n"
           "\n"
           "Without an option the program opens its main window.\n"
           "\n"
           "  /c PATTERN, --convert PATTERN   write a report (.DOC) beside every parameter\n"
           "                                  file (.NFO) that PATTERN matches (* and ? in\n"
           "                                  its last part; quote it)\n"
           "  /l FILE, --load FILE            load the parameter file into the first device\n"
           "                                  found on the bus\n"
           "  --port PATH                     use the serial device PATH for this run,\n"
           "                                  whatever config.ini maps\n"
           "  --history [NAME|ADDRESS] [--csv]\n"
           "                                  print the service history (every device, or\n"
           "                                  the one of this name or bus address in hex),\n"
           "                                  newest first, in UTF-8; --csv as CSV\n"
           "  --help                          show this text\n"
           "  --version                       show the version\n"
           "\n"
           "The batch jobs run without a display too; their messages then go to\n"
           "standard error.\n"
           "\n"
           "Exit status:\n"
           "  0  done\n"
           "  1  failed: a file could not be converted, the load did not complete, or\n"
           "     the service history could not be read\n"
           "  2  nothing to do (no matching file, directory or device), or bad usage\n";
}
