#include "link/BusMonitor.h"

#include <algorithm>

#include "link/RegisterKeys.h"
#include "link/SerialLink.h"
#include "texts/CsvField.h"

// ---- recorder ----

void BusRecorder::start(int64_t originTicks, int64_t ticksPerSecond) {
    std::lock_guard<std::mutex> lock(mutex_);
    origin_ = originTicks;
    frequency_ = ticksPerSecond > 0 ? ticksPerSecond : 1000000000;
    // A new session knows nothing of the last one's device or restart.
    selected_ = -1;
    restarting_ = false;
}

void BusRecorder::record(BusTransaction t, int64_t startTicks) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Split the product so that a long-running clock cannot overflow it.
    const int64_t ticks = startTicks - origin_;
    t.atNs = ticks / frequency_ * 1000000000 + ticks % frequency_ * 1000000000 / frequency_;
    t.serial = total_;
    // A restart write leaves the device silent for a while: the selects that
    // wait for it to come back are expected to go unanswered, and so is the
    // write itself when the device goes silent without acknowledging it.
    // Anything else the link sends means the wait is over.
    switch (t.kind) {
    case BusKind::Select:
        t.address = int16_t(t.target);
        t.restarting = restarting_;
        selected_ = t.address;
        if (t.result != 0) restarting_ = false;
        break;
    case BusKind::Release:
        t.address = selected_;
        selected_ = -1;
        restarting_ = false;
        break;
    case BusKind::Read:
        t.address = selected_;
        restarting_ = false;
        break;
    case BusKind::Write:
    case BusKind::DigitWrite:
        t.address = selected_;
        restarting_ = t.target == RestartKey;
        t.restarting = restarting_;
        break;
    }
    if (ring_.size() < capacity_) ring_.push_back(t);
    else ring_[total_ % capacity_] = t;
    ++total_;
}

void BusRecorder::take(uint64_t& next, std::vector<BusTransaction>& out, size_t max) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t oldest = total_ > capacity_ ? total_ - capacity_ : 0;
    if (next < oldest) next = oldest;
    for (; next < total_ && max > 0; ++next, --max) out.push_back(ring_[next % capacity_]);
}

uint64_t BusRecorder::recorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

// ---- tap ----

void BusTap::begin(ByteTransport* inner, bool echo, BusTransaction* into) {
    inner_ = inner;
    echo_ = echo;
    into_ = into;
    echoNext_ = false;
    readKept_ = false;
}

ByteTransport::ReadStatus BusTap::readByte(uint32_t timeoutMs, uint8_t& byte) {
    const ReadStatus s = inner_->readByte(timeoutMs, byte);
    readKept_ = false;
    if (echoNext_) {
        echoNext_ = false;
        return s;
    }
    const uint16_t word = s == ReadStatus::Byte ? byte : s == ReadStatus::Timeout ? uint16_t(NoByte) : 0;
    if (into_->receivedCount < BusTransaction::MaxReceived) {
        into_->received[into_->receivedCount++] = word;
        readKept_ = true;
    } else if (into_->receivedMore < 0xFFFF) {
        ++into_->receivedMore;
    }
    return s;
}

bool BusTap::writeByte(uint8_t byte) {
    const bool ok = inner_->writeByte(byte);
    if (!ok) into_->sendFailed = true;
    if (into_->sentCount < BusTransaction::MaxSent) into_->sent[into_->sentCount++] = byte;
    echoNext_ = echo_;
    readKept_ = false;
    return ok;
}

bool BusTap::purge() {
    readKept_ = false;
    echoNext_ = false;
    return inner_->purge();
}

// The errors taken right after a read belong to its byte.
bool BusTap::takeErrors(LineErrors& errors) {
    const bool ok = inner_->takeErrors(errors);
    if (readKept_) {
        uint16_t& word = into_->received[into_->receivedCount - 1];
        if (ok) {
            if (errors.parity) word |= uint16_t(ParityError);
            if (errors.framing) word |= uint16_t(FramingError);
            if (errors.overrun) word |= uint16_t(Overrun);
        } else {
            word |= uint16_t(PortFailure);
        }
    }
    readKept_ = false;
    return ok;
}

// ---- decoding ----

namespace {

BusOutcome fault(uint32_t status) {
    BusOutcome o;
    o.answer = BusAnswer::LineFault;
    o.status = status;
    o.failed = true;
    return o;
}

BusOutcome decodeRead(const BusTransaction& t) {
    BusOutcome o;
    if (t.error == 0) {
        o.answer = BusAnswer::Value;
        o.value = t.result;
        o.digits = t.digits;
        return o;
    }
    if (t.result > 0x0F) return fault(t.result);
    o.value = 0x10 + t.result;
    switch (t.result) {
    case 0xD: o.answer = BusAnswer::EndOfTable; break;
    case 0xE: o.answer = BusAnswer::Gap; break;
    default:
        o.answer = BusAnswer::ShortAnswer;
        // The link takes 0x10 and 0x11 as values and retries the others.
        o.failed = t.result > 1;
        break;
    }
    return o;
}

BusOutcome decodeWrite(const BusTransaction& t) {
    BusOutcome o;
    if (t.error == 0) {
        o.answer = BusAnswer::Acknowledged;
        o.value = t.value;
        return o;
    }
    if (t.result > 0xFF) return fault(t.result | (t.sendFailed ? SendFailed : 0));
    o.answer = BusAnswer::NotAcknowledged;
    o.value = t.result;
    o.failed = true;
    return o;
}

BusOutcome decodeSelect(const BusTransaction& t) {
    BusOutcome o;
    if (t.result != 0) {
        o.answer = BusAnswer::Selected;
        o.value = t.target;
        return o;
    }
    const uint32_t unsent = t.sendFailed ? SendFailed : 0;
    if (t.receivedCount == 0) return fault(PortFailure | unsent);
    const uint32_t answer = t.received[0];
    if (answer > 0xFF) return fault((answer & ~uint32_t(0xFF)) | unsent);
    // The device answered its address, so the request did not go out whole.
    if (((answer ^ t.target) & 0x7F) == 0) return fault(SendFailed);
    o.answer = BusAnswer::WrongAnswer;
    o.value = answer;
    o.failed = true;
    return o;
}

BusOutcome decodeRelease(const BusTransaction& t) {
    BusOutcome o;
    if (t.result != 0) {
        o.answer = BusAnswer::Released;
        return o;
    }
    if (t.sentCount == 0) {
        o.answer = BusAnswer::LineNotQuiet;
        o.failed = true;
        return o;
    }
    return fault(SendFailed);
}

std::string hex(uint32_t v, int width) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*x", width, v);
    return b;
}

// The status bits in words, most telling first.
std::string statusWords(uint32_t status, const BusWords& w) {
    static const std::pair<uint32_t, BusWord> bits[] = {
        {PortFailure, BusWord::PortFailure}, {SendFailed, BusWord::SendFailed},
        {ParityError, BusWord::ParityError}, {FramingError, BusWord::FramingError},
        {Overrun, BusWord::Overrun},         {NoByte, BusWord::Timeout},
        {BadAnswer, BusWord::BadAnswer},
    };
    std::string s;
    for (const auto& [bit, word] : bits) {
        if (!(status & bit)) continue;
        if (!s.empty()) s += ", ";
        s += w.word(word);
    }
    return s.empty() ? hex(status, 4) : s;
}

void split(const std::string& text, std::string* into, size_t count) {
    size_t start = 0;
    for (size_t i = 0; i < count && start <= text.size(); ++i) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) bar = text.size();
        if (bar > start) into[i] = text.substr(start, bar - start);
        start = bar + 1;
    }
}

}  // namespace

BusOutcome decodeOutcome(const BusTransaction& t) {
    BusOutcome o = fault(0);
    switch (t.kind) {
    case BusKind::Select: o = decodeSelect(t); break;
    case BusKind::Release: o = decodeRelease(t); break;
    case BusKind::Read: o = decodeRead(t); break;
    case BusKind::Write:
    case BusKind::DigitWrite: o = decodeWrite(t); break;
    }
    // Silence, and nothing else, is what a restarting device gives.
    if (t.restarting && o.answer == BusAnswer::LineFault && o.status == NoByte) {
        o.answer = BusAnswer::RestartSilence;
        o.failed = false;
    }
    return o;
}

BusRegister registerOf(uint32_t key) {
    if (key >= FirstParameterKey) return BusRegister::Parameter;
    if (key >= NameKeyFirst && key <= NameKeyLast) return BusRegister::Name;
    switch (key) {
    case VersionKey: return BusRegister::Version;
    case ReleaseKey: return BusRegister::Release;
    case ParameterVersionKey: return BusRegister::ParameterVersion;
    case Identity40Key:
    case Identity44Key: return BusRegister::Identity;
    case StatusKey: return BusRegister::Status;
    case PasswordKey: return BusRegister::Password;
    case RestartKey: return BusRegister::Restart;
    case AddressKey: return BusRegister::BusAddress;
    case AccessKey: return BusRegister::ParameterAccess;
    case ExtendedAccessKey: return BusRegister::ExtendedAccess;
    }
    return BusRegister::None;
}

BusWords::BusWords() {
    set("select|release|read|write|digit write",
        "value|short answer|end of table|gap|acknowledged|selected|released|not acknowledged|"
        "wrong answer|line not quiet|timeout|parity error|framing error|overrun|send failed|"
        "port failure|bad answer|retry|silent: restarting",
        "Time (ms)|Kind|Address/key|Register|Result|Sent|Received",
        "name|version|release|parameter version|identity|status|password|restart|bus address|"
        "parameter access|extended access|parameter");
}

void BusWords::set(const std::string& kindText, const std::string& outcomeText, const std::string& columnText,
                   const std::string& registerText) {
    split(kindText, kinds, BusKindCount);
    split(outcomeText, words, size_t(BusWord::Count));
    split(columnText, columns, ColumnCount);
    split(registerText, registers, RegisterCount);
}

BusRowText describe(const BusTransaction& t, const BusWords& w) {
    BusRowText r;
    // Tenths of a millisecond in whole numbers: a point whatever the locale.
    char time[32];
    const long long tenths = t.atNs / 100000;
    std::snprintf(time, sizeof time, "%lld.%lld", tenths / 10, tenths % 10);
    r.time = time;
    r.retry = t.attempt > 1;
    r.kind = r.retry ? "  " + w.word(BusWord::Retry) + " " + std::to_string(t.attempt) : w.kinds[unsigned(t.kind)];
    r.target = t.kind == BusKind::Select ? hex(t.target, 2) : t.kind == BusKind::Release ? "" : hex(t.target, 4);
    if (t.kind != BusKind::Select && t.kind != BusKind::Release) r.name = w.registerName(registerOf(t.target));
    for (unsigned i = 0; i < t.sentCount; ++i) r.sent += (i ? " " : "") + hex(t.sent[i], 2);
    for (unsigned i = 0; i < t.receivedCount; ++i) {
        const uint16_t s = t.received[i];
        if (i) r.received += ' ';
        if (s & NoByte) r.received += "--";
        else if (s & PortFailure && (s & 0xFF) == 0) r.received += "!!";
        else r.received += hex(s & 0xFF, 2);
        if (s & ParityError) r.received += 'P';
        if (s & FramingError) r.received += 'F';
        if (s & Overrun) r.received += 'O';
    }
    if (t.receivedMore) r.received += " +" + std::to_string(t.receivedMore);

    const BusOutcome o = decodeOutcome(t);
    r.failed = o.failed;
    switch (o.answer) {
    case BusAnswer::Value:
        r.result = w.word(BusWord::Value) + " " + hex(o.value, int(o.digits)) + " (" + std::to_string(o.value) + ")";
        break;
    case BusAnswer::ShortAnswer: r.result = w.word(BusWord::ShortAnswer) + " " + hex(o.value, 2); break;
    case BusAnswer::EndOfTable: r.result = w.word(BusWord::EndOfTable) + " (" + hex(o.value, 2) + ")"; break;
    case BusAnswer::Gap: r.result = w.word(BusWord::Gap) + " (" + hex(o.value, 2) + ")"; break;
    case BusAnswer::Acknowledged: r.result = w.word(BusWord::Acknowledged); break;
    case BusAnswer::Selected: r.result = w.word(BusWord::Selected); break;
    case BusAnswer::Released: r.result = w.word(BusWord::Released); break;
    case BusAnswer::NotAcknowledged: r.result = w.word(BusWord::NotAcknowledged) + " (" + hex(o.value, 2) + ")"; break;
    case BusAnswer::WrongAnswer: r.result = w.word(BusWord::WrongAnswer) + " (" + hex(o.value, 2) + ")"; break;
    case BusAnswer::LineNotQuiet: r.result = w.word(BusWord::LineNotQuiet); break;
    case BusAnswer::LineFault: r.result = statusWords(o.status, w); break;
    case BusAnswer::RestartSilence: r.result = w.word(BusWord::RestartSilence); break;
    }
    return r;
}

// ---- log ----

BusMonitorLog::BusMonitorLog(size_t capacity) : recorder_(capacity), capacity_(capacity ? capacity : 1) {}

void BusMonitorLog::pull() {
    if (paused_) return;
    taken_.clear();
    recorder_.take(next_, taken_, capacity_);
    for (const BusTransaction& t : taken_) {
        const uint64_t position = firstKept_ + kept_.size();
        kept_.push_back(t);
        if (shows(t)) rows_.push_back(position);
    }
    while (kept_.size() > capacity_) {
        kept_.pop_front();
        ++firstKept_;
    }
    while (!rows_.empty() && rows_.front() < firstKept_) {
        rows_.pop_front();
        ++firstRow_;
    }
}

void BusMonitorLog::clear() {
    next_ = recorder_.recorded();
    firstKept_ += kept_.size();
    kept_.clear();
    firstRow_ += rows_.size();
    rows_.clear();
}

void BusMonitorLog::setKindShown(BusKind kind, bool shown) {
    if (shown_[unsigned(kind)] == shown) return;
    shown_[unsigned(kind)] = shown;
    rebuildRows();
}

void BusMonitorLog::setAddressShown(int address) {
    if (address_ == address) return;
    address_ = address;
    rebuildRows();
}

bool BusMonitorLog::shows(const BusTransaction& t) const {
    return shown_[unsigned(t.kind)] && (address_ < 0 || t.address == address_);
}

void BusMonitorLog::rebuildRows() {
    firstRow_ += rows_.size();
    rows_.clear();
    for (size_t i = 0; i < kept_.size(); ++i)
        if (shows(kept_[i])) rows_.push_back(firstKept_ + i);
}

uint64_t BusMonitorLog::keptPosition(uint64_t n) const {
    if (n < firstRow_) return firstKept_;
    if (n - firstRow_ >= rows_.size()) return firstKept_ + kept_.size();
    return rows_[size_t(n - firstRow_)];
}

uint64_t BusMonitorLog::rowAtOrAfter(uint64_t position) const {
    return firstRow_ + uint64_t(std::lower_bound(rows_.begin(), rows_.end(), position) - rows_.begin());
}

const BusTransaction* BusMonitorLog::row(uint64_t n) const {
    if (n < firstRow_ || n - firstRow_ >= rows_.size()) return nullptr;
    return &kept_[size_t(rows_[size_t(n - firstRow_)] - firstKept_)];
}

namespace {
constexpr const char* TextLine = "%10s  %-14s %-11s  %-17s  %-26s  %-29s  %s\n";
}

bool BusMonitorLog::writeText(std::FILE* f, const BusWords& words) const {
    const std::string* c = words.columns;
    if (std::fprintf(f, TextLine, c[0].c_str(), c[1].c_str(), c[2].c_str(), c[3].c_str(), c[4].c_str(),
                     c[5].c_str(), c[6].c_str()) < 0)
        return false;
    for (uint64_t position : rows_) {
        const BusRowText r = describe(kept_[size_t(position - firstKept_)], words);
        if (std::fprintf(f, TextLine, r.time.c_str(), r.kind.c_str(), r.target.c_str(), r.name.c_str(),
                         r.result.c_str(), r.sent.c_str(), r.received.c_str()) < 0)
            return false;
    }
    return std::fflush(f) == 0;
}

bool BusMonitorLog::writeCsv(std::FILE* f, const BusWords& words) const {
    // Every field through csvField: a word of the language file or a
    // timed-out read's "--" is never taken for a formula.
    std::string header;
    for (const std::string& c : words.columns) header += csvField(c) + ",";
    if (std::fputs((header + "failed\r\n").c_str(), f) < 0) return false;
    for (uint64_t position : rows_) {
        const BusTransaction& t = kept_[size_t(position - firstKept_)];
        const BusRowText r = describe(t, words);
        std::string kind = r.kind;
        kind.erase(0, kind.find_first_not_of(' '));
        const std::string line = csvField(r.time) + "," + csvField(kind) + "," + csvField(r.target) + "," +
                                 csvField(r.name) + "," + csvField(r.result) + "," + csvField(r.sent) + "," +
                                 csvField(r.received) + "," + (r.failed ? "1" : "0") + "\r\n";
        if (std::fputs(line.c_str(), f) < 0) return false;
    }
    return std::fflush(f) == 0;
}
