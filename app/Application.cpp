#include "app/Application.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "session/AppContext.h"
#include "app/BatchJobs.h"
#include "app/HistoryPrint.h"
#include "app/HistorySync.h"
#include "app/Installation.h"
#include "link/DeviceLink.h"
#include "platform/AnyPort.h"
#include "platform/PortDevices.h"
#include "platform/StderrOperator.h"
#include "session/PlantSender.h"
#include "session/ServiceJournal.h"

namespace {

// How long the probe waits for a display that answers over the network.
constexpr int PROBE_TIMEOUT_MS = 1000;

const char* named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value ? value : nullptr;
}

// Connects fd to addr within the probe's bound; closes fd either way.
bool connectsWithin(int fd, const sockaddr* addr, socklen_t length) {
    if (fd < 0) return false;
    bool ok = ::connect(fd, addr, length) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        ok = ::poll(&p, 1, PROBE_TIMEOUT_MS) == 1 &&
             ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
    return ok;
}

// A local stream socket by its path; abstract: in the abstract name space
// (Linux), where X servers listen as well.
bool localSocketAnswers(const std::string& path, bool abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    return connectsWithin(fd, reinterpret_cast<const sockaddr*>(&addr), length);
}

bool tcpAnswers(const std::string& host, unsigned port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        ok = connectsWithin(fd, a->ai_addr, a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    return ok;
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") means the local
// socket of that number.
bool x11Answers() {
    const char* value = named("DISPLAY");
    if (!value) return false;
    std::string display = value;
    size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = display.substr(0, colon);
    std::string rest = display.substr(colon + 1);
    size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
    if (digits == 0 || digits > 4) return false;
    unsigned number = static_cast<unsigned>(std::stoul(rest.substr(0, digits)));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || host == "unix") {
        std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return localSocketAnswers(path, true) || localSocketAnswers(path, false);
    }
    return tcpAnswers(host, 6000 + number);
}

// WAYLAND_DISPLAY is a socket path, or a name in XDG_RUNTIME_DIR.
bool waylandAnswers() {
    const char* value = named("WAYLAND_DISPLAY");
    if (!value) return false;
    std::string path = value;
    if (path.front() != '/') {
        const char* runtime = named("XDG_RUNTIME_DIR");
        if (!runtime) return false;
        path = std::string(runtime) + "/" + path;
    }
    return localSocketAnswers(path, false);
}

}  // namespace

bool displayAvailable() {
    if (!named("DISPLAY") && !named("WAYLAND_DISPLAY")) return false;
    // QT_QPA_PLATFORM names the platforms Qt tries, in order; one that is no
    // window system (offscreen, say) needs no display.
    if (const char* platforms = named("QT_QPA_PLATFORM")) {
        std::string list = platforms;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            std::string name = list.substr(start, end - start);
            name = name.substr(0, name.find(':'));   // options follow a colon
            if (name == "xcb") {
                if (x11Answers()) return true;
            } else if (name.rfind("wayland", 0) == 0) {
                if (waylandAnswers()) return true;
            } else if (!name.empty()) {
                return true;
            }
            start = end + 1;
        }
        return false;
    }
    return waylandAnswers() || x11Answers();
}

void usePortDevices(DeviceLink& link, const Settings& settings) {
    // The profile path is read at each Open, so a port mapping changed in
    // config.ini counts from the next Connect on.
    link.setPortResolver([&settings](unsigned port) {
        return settings.portOverride.empty() ? portDevicePath(settings.profile(), port) : settings.portOverride;
    });
}

void useSettingsPorts(DeviceLink& link, const Settings& settings) {
    // A network port's TLS checks the server against the authorities in
    // tls_ca_file, else the system's; read at each open, as the port is.
    link.setTransport(std::make_unique<AnyPort>([&settings] {
        std::string file = settings.profile().readString(CONFIG_SECTION, "tls_ca_file", "");
        if (!file.empty() && file.front() != '/') file = settings.installDirectory + "/" + file;
        return file;
    }));
    usePortDevices(link, settings);
    // The bus benchmark asks for the times of each transaction's steps.
    if (const char* stamps = named("FS_LINK_STAMPS")) link.setStampLog(stamps);
}

std::string noDisplayText() {
    return "fieldservice: no display (neither DISPLAY nor WAYLAND_DISPLAY names one that answers); the program "
           "needs a window system. Only the batch jobs \"/c <files>\" and \"/l <file>\" run without one.";
}

int runWithoutDisplay(const std::string& commandLine, const std::string& port, const DeviceChoice& choice) {
    if (!hasBatchOption(commandLine)) {
        std::cerr << noDisplayText() << '\n';
        return 1;
    }
    // The link goes last: its destruction closes the port.
    DeviceLink link;
    StderrOperator stderrOperator;
    AppContext ctx(link, &stderrOperator);
    ServiceJournal journal;
    ctx.journal = &journal;
    PlantSender plant;
    ctx.plant = &plant;
    if (!InitInstallation(ctx.settings)) return 1;
    ctx.settings.portOverride = port;
    useSettingsPorts(link, ctx.settings);
    // The job runs whatever the loader found; its own messages told of a failure.
    loadInstallationCore(ctx);
    plant.poke();
    return runBatchJob(ctx, commandLine, choice);
}

int runHistoryCommand(const std::string& nameOrAddress, bool csv) {
    DeviceLink link;
    StderrOperator stderrOperator;
    AppContext ctx(link, &stderrOperator);
    // Read only: printing the history creates no folder, no file, and
    // changes nothing in the database (an older one is brought up to date in
    // memory).
    ServiceJournal journal;
    journal.setReadOnly(true);
    ctx.journal = &journal;
    if (!InitInstallation(ctx.settings)) return 1;
    if (loadInstallationCore(ctx) != LoadResult::Ok) return 1;
    return printHistory(ctx, nameOrAddress, csv, std::cout);
}

int runHistorySyncCommand() {
    DeviceLink link;
    StderrOperator stderrOperator;
    AppContext ctx(link, &stderrOperator);
    ServiceJournal journal;
    ctx.journal = &journal;
    if (!InitInstallDirectory(ctx.settings)) return 1;
    if (loadInstallationCore(ctx) != LoadResult::Ok) return 1;
    return syncPlantHistory(ctx);
}
