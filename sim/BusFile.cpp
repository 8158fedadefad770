// Bus description files. One statement per line; "#" starts a comment;
// blank lines are ignored. Numbers are decimal or hexadecimal with "0x";
// parameter numbers (param, end) are always hexadecimal, as the program
// shows them ("0100" or "0x0100").
//
//   device <address> <name>        a new device at bus address 0..63; the
//                                  name (no blanks, up to 8 characters) is
//                                  padded with blanks to 8
//   version <n>                    register 32 (default 1)
//   release <n>                    register 34 (default 0)
//   pversion <n>                   register 36 (default 1)
//   reg40 <n>                      register 40 (absent unless given)
//   reg44 <n>                      register 44 (absent unless given)
//   status <n>                     register 46 (default 0)
//   password <n>                   register 48 (default 0)
//   param <key> <kind> <value> [ext]
//                                  a parameter: kind 2, 4, 6 or 8 (digits) or
//                                  onoff (value on/off/1/0); "ext" makes it
//                                  readable and writable with extended access only
//   end <key>                      the first key answering "end of table"
//                                  (default: the key after the last parameter)
//   mute <key>                     the device never answers register <key>
//                                  (a number like any other: "mute 22" is
//                                  the fourth name register, "mute 0x0104"
//                                  a parameter)
//   limit <key> <n>                a parameter takes no value above n (the
//                                  write is refused with 0x1E): a range
//                                  narrower than its digits
//   notavail <key>                 reads of register <key> answer 0x1E
//                                  although it exists (a number like mute's);
//                                  writes go on as usual
//   count <key> [<step>] [every <ms>]
//                                  a counter: the parameter adds step [1]
//                                  after every read of it, or once every ms
//                                  milliseconds; it wraps at its digits
//   wander <key> <band> [every <ms>]
//                                  a measurement: the value moves by small
//                                  steps within the param's value +- band
//                                  after every read, or once every ms
//                                  (limit, count and wander follow the param
//                                  they name; on/off parameters stay still)
//
// How a device answers (defaults in brackets):
//   access62 value|short           registers 62 and 68 read as the value 0/1
//                                  [value] or as the short answer 0x10/0x11
//   iddigits 2|4                   identity registers 32..48 in at least 2
//                                  or 4 digits [32, 34, 36, 48 as few as the
//                                  value needs, 40, 44, 46 in 4]
//   absent notavail|silent         absent 40/44 answer 0x1E [notavail] or nothing
//   namepad blank|zero             the name's padding read as blanks [blank]
//                                  or as zero bytes
//   eightdigits end|noend          8-digit values with the end mark on the
//                                  last byte [end] or without
//   turnaround <us>                the device's own reaction time [the wire's]
//   bytegap <us>                   quiet time between the bytes of an answer [0]
//   restartack yes|no              the restart command is acknowledged [yes]
//   restartsilence <ms>            silence after a restart [the bus's]
//   hold <ms>                      a broken-off request is continued by bytes
//                                  that follow within this time [10]
//
// Statements after "device" belong to that device.
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "sim/SimBus.h"

namespace {

bool parseNumber(const std::string& text, uint32_t& value, bool hexOnly) {
    std::string digits = text;
    int base = hexOnly ? 16 : 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        base = 16;
    }
    if (digits.empty() || digits.size() > 10) return false;
    uint64_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * unsigned(base) + unsigned(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    value = uint32_t(v);
    return true;
}

bool validParameterKey(uint32_t key) {
    return key >= 0x0100 && key <= 0x7F7E && !(key & 1) && (key & 0xFF) < 0x80;
}

bool validEndKey(uint32_t key) { return key >= 0x0100 && key <= 0x7F80 && !(key & 1); }

// A word of two: first gives false, second true.
bool choice(const std::string& word, const char* first, const char* second, bool& value) {
    if (word == first) value = false;
    else if (word == second) value = true;
    else return false;
    return true;
}

}  // namespace

bool parseBusText(const std::string& text, SimBus& bus, std::string& error) {
    std::istringstream in(text);
    std::string line;
    unsigned lineNumber = 0;
    SimDevice* device = nullptr;
    bool endGiven = false;
    auto finishDevice = [&] {
        if (device && !endGiven) device->endKey = device->keyAfterLastParameter();
    };
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        const std::string& kw = w[0];
        if (kw == "device") {
            uint32_t address = 0;
            if (w.size() != 3 || !parseNumber(w[1], address, false) || address > 63)
                return fail("expected: device <address 0..63> <name>");
            if (w[2].size() > 8) return fail("a device name has at most 8 characters");
            for (auto& d : bus.devices())
                if (d->address == address) return fail("two devices at address " + w[1]);
            finishDevice();
            device = &bus.addDevice(uint8_t(address), w[2]);
            endGiven = false;
            continue;
        }
        if (!device) return fail("\"" + kw + "\" before the first device");
        uint32_t n = 0;
        if (kw == "version" || kw == "release" || kw == "pversion" || kw == "reg40" || kw == "reg44" ||
            kw == "status" || kw == "password") {
            if (w.size() != 2 || !parseNumber(w[1], n, false)) return fail("expected: " + kw + " <number>");
            if (kw == "version") device->version = n;
            else if (kw == "release") device->release = n;
            else if (kw == "pversion") device->parameterVersion = n;
            else if (kw == "reg40") device->hasRegister40 = true, device->register40 = n;
            else if (kw == "reg44") device->hasRegister44 = true, device->register44 = n;
            else if (kw == "status") device->status = n;
            else device->password = n;
        } else if (kw == "param") {
            if (w.size() < 4 || w.size() > 5) return fail("expected: param <key> <kind> <value> [ext]");
            uint32_t key = 0;
            if (!parseNumber(w[1], key, true) || !validParameterKey(key))
                return fail("bad parameter number " + w[1]);
            if (device->parameter(key)) return fail("parameter " + w[1] + " given twice");
            SimParameter p;
            p.key = key;
            if (w[2] == "onoff") {
                p.digits = 0;
                if (w[3] == "on" || w[3] == "1") p.value = 1;
                else if (w[3] == "off" || w[3] == "0") p.value = 0;
                else return fail("an on/off value is on, off, 1 or 0");
            } else {
                uint32_t digits = 0;
                if (!parseNumber(w[2], digits, false) || (digits != 2 && digits != 4 && digits != 6 && digits != 8))
                    return fail("kind is 2, 4, 6, 8 or onoff");
                p.digits = uint8_t(digits);
                if (!parseNumber(w[3], p.value, false)) return fail("bad value " + w[3]);
                if (digits < 8 && p.value >= (uint32_t(1) << (4 * digits)))
                    return fail("value " + w[3] + " does not fit in " + w[2] + " digits");
            }
            if (w.size() == 5) {
                if (w[4] != "ext") return fail("expected \"ext\" after the value");
                p.extendedOnly = true;
            }
            device->parameters[key] = p;
        } else if (kw == "end") {
            if (w.size() != 2 || !parseNumber(w[1], n, true) || !validEndKey(n)) return fail("expected: end <key>");
            device->endKey = n;
            endGiven = true;
        } else if (kw == "access62" || kw == "absent" || kw == "namepad" || kw == "eightdigits" ||
                   kw == "restartack") {
            static const std::map<std::string, std::pair<const char*, const char*>> words = {
                {"access62", {"value", "short"}},  {"absent", {"notavail", "silent"}},
                {"namepad", {"blank", "zero"}},    {"eightdigits", {"end", "noend"}},
                {"restartack", {"no", "yes"}}};
            auto [first, second] = words.at(kw);
            bool v = false;
            if (w.size() != 2 || !choice(w[1], first, second, v))
                return fail("expected: " + kw + " " + first + "|" + second);
            if (kw == "access62") device->accessReadsShort = v;
            else if (kw == "absent") device->absentRegistersSilent = v;
            else if (kw == "namepad") device->nameZeroPadded = v;
            else if (kw == "eightdigits") device->eightDigitsWithoutEndMark = v;
            else device->restartAcknowledged = v;
        } else if (kw == "iddigits") {
            if (w.size() != 2 || !parseNumber(w[1], n, false) || (n != 2 && n != 4))
                return fail("expected: iddigits 2|4");
            device->identityDigits = uint8_t(n);
        } else if (kw == "turnaround" || kw == "bytegap") {
            if (w.size() != 2 || !parseNumber(w[1], n, false) || n > 1000000)
                return fail("expected: " + kw + " <microseconds 0..1000000>");
            (kw == "turnaround" ? device->turnaroundNs : device->answerByteGapNs) = int64_t(n) * 1000;
        } else if (kw == "restartsilence" || kw == "hold") {
            if (w.size() != 2 || !parseNumber(w[1], n, false) || n > 60000)
                return fail("expected: " + kw + " <milliseconds 0..60000>");
            (kw == "hold" ? device->requestHoldNs : device->restartSilenceNs) = int64_t(n) * 1000000;
        } else if (kw == "limit") {
            uint32_t key = 0, most = 0;
            if (w.size() != 3 || !parseNumber(w[1], key, true) || !parseNumber(w[2], most, false))
                return fail("expected: limit <key> <largest value>");
            auto p = device->parameters.find(key);
            if (p == device->parameters.end()) return fail("limit before its param " + w[1]);
            p->second.limit = most;
        } else if (kw == "count" || kw == "wander") {
            // count <key> [<step>] [every <ms>]; wander <key> <band> [every <ms>]
            bool counter = kw == "count";
            std::string usage = counter ? "expected: count <key> [<step>] [every <ms 1..86400000>]"
                                        : "expected: wander <key> <band> [every <ms 1..86400000>]";
            uint32_t key = 0, amount = 1, ms = 0;
            size_t at = 2;
            if (w.size() < 2 || !parseNumber(w[1], key, true)) return fail(usage);
            if (at < w.size() && w[at] != "every") {
                if (!parseNumber(w[at], amount, false)) return fail(usage);
                ++at;
            } else if (!counter) {
                return fail(usage);
            }
            if (at < w.size()) {
                if (w.size() != at + 2 || w[at] != "every" || !parseNumber(w[at + 1], ms, false) || ms == 0 ||
                    ms > 86400000)
                    return fail(usage);
            }
            SimParameter* p = device->parameter(key);
            if (!p) return fail(kw + " before its param " + w[1]);
            if (p->onOff()) return fail("an on/off parameter cannot " + kw + ": " + w[1]);
            p->motion = counter ? SimMotion::Counter : SimMotion::Wander;
            (counter ? p->step : p->band) = amount;
            p->periodNs = int64_t(ms) * 1000000;
            if (!counter) p->base = p->value;
        } else if (kw == "mute" || kw == "notavail") {
            if (w.size() != 2 || !parseNumber(w[1], n, false) || n > 0x7F7E) return fail("expected: " + kw + " <key>");
            (kw == "mute" ? device->mutedKeys : device->unavailableKeys).insert(n & 0xFFFE);
        } else {
            return fail("unknown statement \"" + kw + "\"");
        }
    }
    finishDevice();
    return true;
}

bool loadBusFile(const std::string& path, SimBus& bus, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseBusText(text.str(), bus, error);
}
