#pragma once
// Helpers of the fault soak: a fixed seed clock, folder snapshots, a
// watchdog for hung steps, an independent reader of parameter texts, seeded
// parameter values and fault counts.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "sim/SimDevice.h"
#include "sim/SimWire.h"

namespace soak {

// A step is a save or a load with its restart; on the virtual clock even a
// long one costs a second or two of real time. Beyond this it is stuck.
constexpr int StepLimitSeconds = 120;

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Every file of a folder with its content.
inline std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        files[entry.path().filename().string()] = readFile(entry.path().string());
    return files;
}

// Kills the program when one step runs past its limit: a hang is a finding,
// and ctest's timeout would not say where it happened.
class Watchdog {
public:
    Watchdog() : thread_([this] { run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void step(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        what_ = what;
        started_ = std::chrono::steady_clock::now();
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            wake_.wait_for(lock, std::chrono::seconds(1));
            if (!stop_ && std::chrono::steady_clock::now() - started_ > std::chrono::seconds(StepLimitSeconds)) {
                std::fprintf(stderr, "HUNG: %s ran longer than %d s\n", what_.c_str(), StepLimitSeconds);
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::string what_ = "start";
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::thread thread_;
};

// A parameter text read independently of the loader: header numbers and the
// "#CODE: "/"#DATA: " pairs.
struct FileValues {
    uint32_t address = 0;
    uint32_t password = 0;
    std::map<uint32_t, uint32_t> values;
};

inline bool parseParameterText(const std::string& text, FileValues& out) {
    auto number = [&](const char* key, int base, uint32_t& value) {
        size_t at = text.find(key);
        if (at == std::string::npos) return false;
        value = uint32_t(std::strtoul(text.c_str() + at + 7, nullptr, base));
        return true;
    };
    if (!number("#ADDR: ", 16, out.address) || !number("#PSWD: ", 8, out.password)) return false;
    for (size_t at = text.find("#CODE: "); at != std::string::npos; at = text.find("#CODE: ", at + 7)) {
        char* end = nullptr;
        uint32_t code = uint32_t(std::strtoul(text.c_str() + at + 7, &end, 16));
        size_t data = text.find("#DATA: ", at);
        if (data == std::string::npos) return false;
        const char* v = text.c_str() + data + 7;
        uint32_t value = 0;
        if (std::strncmp(v, "ON", 2) == 0)
            value = 1;
        else if (std::strncmp(v, "OFF", 3) == 0)
            value = 0;
        else
            value = uint32_t(std::strtoul(v, nullptr, 10));
        out.values[code] = value;
    }
    return !out.values.empty();
}

// The first line where two texts part, shown as "saved | clean".
inline std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool ga = bool(std::getline(sa, la)), gb = bool(std::getline(sb, lb));
        if (!ga && !gb) return "same lines";
        if (!ga) la = "(end)";
        if (!gb) lb = "(end)";
        if (la != lb || !ga || !gb) return "line " + std::to_string(line) + ": \"" + la + "\" | \"" + lb + "\"";
    }
}

inline uint32_t randomValue(std::mt19937& rng, const SimParameter& p) {
    if (p.onOff()) return rng() & 1;
    uint32_t max = p.digits >= 8 ? 0xFFFFFFFFu : (uint32_t(1) << (4 * p.digits)) - 1;
    // Zero and the top of the range now and then: the widths' edges.
    switch (rng() % 8) {
    case 0: return 0;
    case 1: return max;
    default: return max == 0xFFFFFFFFu ? uint32_t(rng()) : uint32_t(rng() % (uint64_t(max) + 1));
    }
}

inline void addCounts(FaultCounts& total, const FaultCounts& c) {
    total.answers += c.answers;
    total.noAnswer += c.noAnswer;
    total.brokenMarks += c.brokenMarks;
    total.corruptAck += c.corruptAck;
    total.parity += c.parity;
    total.framing += c.framing;
    total.droppedToBus += c.droppedToBus;
    total.droppedFromBus += c.droppedFromBus;
}

}  // namespace soak
