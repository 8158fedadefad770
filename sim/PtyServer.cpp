#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace {

int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr int64_t ByteTimeNs = 1146000;
// With nothing scheduled the loop still wakes now and then.
constexpr int64_t IdleWakeNs = 200000000;

}  // namespace

PtyServer::PtyServer(SimBus& bus, Options options) : bus_(bus), options_(std::move(options)), wire_(bus) {
    wire_.options.byteTimeNs = options_.pace ? ByteTimeNs : 0;
    wire_.options.turnaroundNs = options_.turnaroundNs;
    wire_.options.echo = options_.echo;
    wire_.options.echoDelayNs = options_.echoDelayNs;
    wire_.setFaults(options_.faults);
}

PtyServer::~PtyServer() {
    if (log_) std::fclose(log_);
    if (timing_) {
        requestStarted(-1, 0);
        std::fclose(timing_);
    }
    for (int fd : {master_, slave_, wakeRead_, wakeWrite_})
        if (fd >= 0) ::close(fd);
}

bool PtyServer::open(std::string& error) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create a pipe";
        return false;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = "cannot create a pseudo-terminal";
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = "cannot name the pseudo-terminal";
        return false;
    }
    path_ = name;
    // Holding the terminal open ourselves keeps the master readable: without
    // it every close by the program under test would hang the line up.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = "cannot open " + path_;
        return false;
    }
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
    }
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    if (!options_.wireLogPath.empty()) {
        log_ = std::fopen(options_.wireLogPath.c_str(), "w");
        if (!log_) {
            error = "cannot write " + options_.wireLogPath;
            return false;
        }
        wire_.logSink = [this](const WireLogEntry& e) { logByte(e); };
    }
    if (!options_.timingLogPath.empty()) {
        timing_ = std::fopen(options_.timingLogPath.c_str(), "w");
        if (!timing_) {
            error = "cannot write " + options_.timingLogPath;
            return false;
        }
    }
    startNs_ = monotonicNs();
    return true;
}

void PtyServer::requestStarted(int64_t atNs, uint8_t first) {
    // Bytes that follow a request before any answer belong to it.
    if (requestNs_ >= 0 && answeredNs_ < 0 && atNs >= 0) return;
    if (requestNs_ >= 0)
        std::fprintf(timing_, "%lld %lld %02x\n", static_cast<long long>(requestNs_),
                     static_cast<long long>(answeredNs_), requestByte_);
    requestNs_ = atNs;
    requestByte_ = first;
    answeredNs_ = -1;
}

void PtyServer::logByte(const WireLogEntry& e) {
    double seconds = double(e.atNs - startNs_) / 1e9;
    std::fprintf(log_, "%.6f %c %02x%s%s\n", seconds, e.fromMaster ? '>' : '<', e.byte,
                 e.parity ? " parity" : "", e.framing ? " framing" : "");
}

void PtyServer::stop() {
    stopping_.store(true);
    if (wakeWrite_ >= 0) {
        char c = 's';
        ssize_t ignored = ::write(wakeWrite_, &c, 1);
        (void)ignored;
    }
}

void PtyServer::requestDump() {
    dumpWanted_.store(true);
    if (wakeWrite_ >= 0) {
        char c = 'd';
        ssize_t ignored = ::write(wakeWrite_, &c, 1);
        (void)ignored;
    }
}

void PtyServer::writeDue(int64_t nowNs) {
    while (!wire_.empty() && wire_.front().atNs <= nowNs) {
        uint8_t b = wire_.front().byte;
        ssize_t n = ::write(master_, &b, 1);
        if (n == 1) {
            if (timing_ && requestNs_ >= 0) answeredNs_ = monotonicNs();
            wire_.pop();
            sent_.fetch_add(1);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // The terminal's input queue is full (nobody reads): drop the byte
        // as a wire would when no one listens.
        wire_.pop();
    }
}

bool PtyServer::run(int watchFd) {
    if (master_ < 0) return false;
    bool watching = watchFd >= 0;
    while (!stopping_.load()) {
        int64_t now = monotonicNs();
        writeDue(now);
        if (log_) std::fflush(log_);
        if (dumpWanted_.exchange(false) && dumpHook) dumpHook(bus_, dumpContext);
        int64_t waitNs = wire_.empty() ? IdleWakeNs : wire_.front().atNs - monotonicNs();
        if (waitNs < 0) waitNs = 0;
        timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        pollfd fds[3] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}, {watching ? watchFd : -1, POLLIN, 0}};
        int r = ppoll(fds, 3, &timeout, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (watching && fds[2].revents) {
            char discard[256];
            ssize_t n = ::read(watchFd, discard, sizeof discard);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) return false;
        if (fds[0].revents & POLLIN) {
            uint8_t buffer[256];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO) return false;
            int64_t at = monotonicNs();
            if (timing_ && n > 0) requestStarted(at, buffer[0]);
            for (ssize_t i = 0; i < n; ++i) {
                received_.fetch_add(1);
                wire_.send(buffer[i], at);
            }
        }
    }
    if (log_) std::fflush(log_);
    if (timing_) std::fflush(timing_);
    return true;
}

std::string busText(const SimBus& bus) {
    std::string out;
    char line[160];
    for (const auto& d : bus.devices()) {
        std::string name = d->name;
        while (!name.empty() && name.back() == ' ') name.pop_back();
        std::snprintf(line, sizeof line, "device %u %s\nversion %u\nrelease %u\npversion %u\n", d->address,
                      name.empty() ? "-" : name.c_str(), d->version, d->release, d->parameterVersion);
        out += line;
        if (d->hasRegister40) out += "reg40 " + std::to_string(d->register40) + "\n";
        if (d->hasRegister44) out += "reg44 " + std::to_string(d->register44) + "\n";
        out += "status " + std::to_string(d->status) + "\npassword " + std::to_string(d->password) + "\n";
        for (const auto& [key, p] : d->parameters) {
            if (p.onOff())
                std::snprintf(line, sizeof line, "param %04x onoff %s%s\n", key, p.value ? "on" : "off",
                              p.extendedOnly ? " ext" : "");
            else
                std::snprintf(line, sizeof line, "param %04x %u %u%s\n", key, unsigned(p.digits),
                              p.motion == SimMotion::Wander ? p.base : p.value, p.extendedOnly ? " ext" : "");
            out += line;
        }
        std::snprintf(line, sizeof line, "end %04x\n", d->endKey);
        out += line;
        for (const auto& [key, p] : d->parameters) {
            if (p.limit != SimParameter{}.limit) {
                std::snprintf(line, sizeof line, "limit %04x %u\n", key, p.limit);
                out += line;
            }
            if (p.onOff() || p.motion == SimMotion::Still) continue;
            if (p.motion == SimMotion::Counter)
                std::snprintf(line, sizeof line, "count %04x %u", key, p.step);
            else
                std::snprintf(line, sizeof line, "wander %04x %u", key, p.band);
            out += line;
            if (p.periodNs > 0) out += " every " + std::to_string(std::max<int64_t>(p.periodNs / 1000000, 1));
            out += "\n";
        }
        for (uint32_t key : d->mutedKeys) out += "mute " + std::to_string(key) + "\n";
        for (uint32_t key : d->unavailableKeys) out += "notavail " + std::to_string(key) + "\n";
        // How it answers, where it is not the common device.
        const SimDevice common;
        if (d->accessReadsShort) out += "access62 short\n";
        if (d->identityDigits) out += "iddigits " + std::to_string(d->identityDigits) + "\n";
        if (d->absentRegistersSilent) out += "absent silent\n";
        if (d->nameZeroPadded) out += "namepad zero\n";
        if (d->eightDigitsWithoutEndMark) out += "eightdigits noend\n";
        if (d->turnaroundNs >= 0) out += "turnaround " + std::to_string(d->turnaroundNs / 1000) + "\n";
        if (d->answerByteGapNs) out += "bytegap " + std::to_string(d->answerByteGapNs / 1000) + "\n";
        if (!d->restartAcknowledged) out += "restartack no\n";
        if (d->restartSilenceNs >= 0)
            out += "restartsilence " + std::to_string(d->restartSilenceNs / 1000000) + "\n";
        if (d->requestHoldNs != common.requestHoldNs)
            out += "hold " + std::to_string(d->requestHoldNs / 1000000) + "\n";
        out += "\n";
    }
    return out;
}
