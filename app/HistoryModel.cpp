#include "app/HistoryModel.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "files/Format.h"
#include "params/ParameterModel.h"
#include "session/AppContext.h"
#include "session/JournalEntry.h"
#include "session/PlantTexts.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t TIME_TEXT = 33335;
constexpr uint32_t USER_TEXT = 33336;
constexpr uint32_t PORT_TEXT = 33337;
constexpr uint32_t OUTCOME_TEXT = 33338;
constexpr uint32_t FILE_TEXT = 33339;
constexpr uint32_t DETAILS_TEXT = 33340;
// In the order of JournalOperation: the first six follow each other, the
// put-back came later and has its own number.
constexpr uint32_t OPERATION_TEXTS[JournalOperationCount] = {33341, 33342, 33343, 33344, 33345, 33346, 33392};
// In the order of ValueOutcome: recorded, written, verified, differs,
// moving, refused, no answer, put back.
constexpr uint32_t VALUE_OUTCOME_TEXTS[ValueOutcomeCount] = {33395, 33396, 33289, 33290, 33385, 33397, 33398, 33399};
constexpr uint32_t DEVICE_TEXT = 33366;
constexpr uint32_t READ_FAILED_TEXT = 33402;
constexpr uint32_t DONE_TEXT = 33347;
constexpr uint32_t FAILED_TEXT = 33348;
constexpr uint32_t INTERRUPTED_TEXT = 33349;
constexpr uint32_t OPERATION_TEXT = 33365;
constexpr uint32_t BACKUP_TEXT = 33367;
// Rows read at once: a few screenfuls.
constexpr size_t PAGE_ROWS = 200;
}  // namespace

std::string journalAddressText(int64_t address) { return formatText("%02X", static_cast<unsigned>(address & 0xFF)); }

std::string localTimeText(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local)) return std::to_string(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

HistoryModel::HistoryModel(AppContext& ctx) : ctx_(ctx) {}

HistoryModel::~HistoryModel() = default;

bool HistoryModel::available() const { return ctx_.journal && ctx_.journal->enabled(); }

void HistoryModel::refresh() {
    const int64_t selectedId = selected_ >= 0 ? devices_[static_cast<size_t>(selected_)].id : 0;
    failure_.clear();
    plantNote_.clear();
    plant_.reset();
    waiting_.clear();
    waitingKeys_.clear();
    if (available() && !ctx_.settings.historyServer.empty()) {
        auto server = std::make_unique<PlantServer>(ctx_.settings.historyServer);
        std::vector<JournalDevice> devices = server->devices();
        if (!plantFailed(*server)) {
            plant_ = std::move(server);
            devices_ = std::move(devices);
        }
    }
    if (plant_) {
        // This laptop's entries the server lacks, each under its unit; a
        // unit the server has never seen is listed after the server's.
        constexpr size_t ALL = 1000000;
        for (WaitingEntry& w : ctx_.journal->waitingEntries(0, ALL, false)) {
            const std::string key = plantUnitKey(w.device);
            const bool known = std::any_of(devices_.begin(), devices_.end(), [&](const JournalDevice& d) {
                return plantUnitKey(d.identity) == key;
            });
            if (!known) devices_.push_back({-static_cast<int64_t>(devices_.size() + 1), w.device, 0, w.row.started});
            w.row.waiting = true;
            waiting_.push_back(std::move(w.row));
            waitingKeys_.push_back(key);
        }
        devicesFailed_ = false;
        selected_ = -1;
        for (size_t i = 0; i < devices_.size(); ++i)
            if (devices_[i].id == selectedId) selected_ = static_cast<int>(i);
        readEntries();
        return;
    }
    devices_ = available() ? ctx_.journal->devices() : std::vector<JournalDevice>{};
    devicesFailed_ = available() && noteFailure();
    selected_ = -1;
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].id == selectedId) selected_ = static_cast<int>(i);
    readEntries();
}

std::string HistoryModel::deviceText(size_t index) const {
    const DeviceIdentity& d = devices_[index].identity;
    std::string text = d.name + "  " + journalAddressText(d.address);
    text += formatText("  v%lld.%lld  PV %lld", static_cast<long long>(d.version), static_cast<long long>(d.release),
                       static_cast<long long>(d.parameterVersion));
    if (d.register40 >= 0 || d.register44 >= 0)
        text += formatText("  (%lld/%lld)", static_cast<long long>(d.register40), static_cast<long long>(d.register44));
    return text;
}

void HistoryModel::selectDevice(int index) {
    selected_ = index >= 0 && index < static_cast<int>(devices_.size()) ? index : -1;
    readEntries();
}

void HistoryModel::setFilter(std::optional<JournalOperation> operation, const std::string& text,
                             std::optional<EntryState> state) {
    operation_ = operation;
    text_ = text;
    state_ = state;
    readEntries();
}

bool HistoryModel::noteFailure() const {
    const ServiceJournal* journal = ctx_.journal;
    if (!journal || journal->problem() == JournalProblem::None) return false;
    const bool first = failure_.empty();
    const std::string problem =
        journal->problemText().empty() ? std::to_string(static_cast<int>(journal->problem())) : journal->problemText();
    // A newer program's database and another program's are said as such.
    const bool notOurs =
        journal->problem() == JournalProblem::NewerSchema || journal->problem() == JournalProblem::Foreign;
    failure_ = fillText(ctx_.message(notOurs ? journalProblemText(journal->problem()) : READ_FAILED_TEXT),
                        {journal->path(), problem});
    if (first && onFailure) onFailure();
    return true;
}

// The device, the filter and the list of devices change together when the
// window reloads: the ids are queried once, when next asked for.
void HistoryModel::readEntries() {
    // A new filter or device is a new query; devices that could not be read
    // stay said.
    if (!devicesFailed_) failure_.clear();
    ids_.reset();
    pages_.clear();
    shownMissing_.clear();
    plantRows_.clear();
    waitingPlaced_.assign(waiting_.size(), false);
    plantAfter_.reset();
    plantStarted_ = plantDone_ = false;
}

bool HistoryModel::plantFailed(const PlantServer& server) const {
    if (server.problem() == PlantProblem::None) return false;
    // Another program's schema is said as such; anything else as unread.
    PlantSendState state;
    state.problem = server.problem();
    state.server = server.name();
    state.text = server.problemText();
    plantNote_ = server.problem() == PlantProblem::Foreign || server.problem() == PlantProblem::BadSetting
                     ? plantProblemText(ctx_, state)
                     : fillText(ctx_.message(PLANT_UNREAD_TEXT), {server.name(), server.problemText()});
    return true;
}

size_t HistoryModel::rowCount() const {
    if (failed()) return 0;
    if (!plant_) return ids().size();
    if (!plantStarted_) fetchPlantPage();
    return failed() ? 0 : plantRows_.size();
}

bool HistoryModel::canFetchMore() const { return plant_ && selected_ >= 0 && !failed() && (!plantStarted_ || !plantDone_); }

void HistoryModel::fetchMore(const std::function<void(size_t, size_t)>& inserting,
                             const std::function<void()>& inserted) {
    if (canFetchMore()) fetchPlantPage(inserting, inserted);
}

bool HistoryModel::notSent(size_t row) const {
    return !ctx_.settings.historyServer.empty() && this->row(row).waiting;
}

namespace {
// Whether a laptop's entry shows under the filter, as the server's query would.
bool matches(const JournalRow& r, const PlantQuery& q) {
    if (q.operation && r.operation != *q.operation) return false;
    if (q.state == EntryState::Interrupted && r.ended) return false;
    if (q.state == EntryState::Done && (!r.ended || r.outcome != JournalOutcome::Done)) return false;
    if (q.state == EntryState::Failed && (!r.ended || r.outcome == JournalOutcome::Done)) return false;
    if (q.text.empty()) return true;
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string all = lower(r.file + "\n" + r.backup + "\n" + r.user + "\n" + r.host + "\n" + r.port + "\n" +
                                  r.detail + "\n" + r.via);
    return all.find(lower(q.text)) != std::string::npos;
}
}  // namespace

void HistoryModel::fetchPlantPage(const std::function<void(size_t, size_t)>& inserting,
                                  const std::function<void()>& inserted) const {
    plantStarted_ = true;
    if (selected_ < 0) {
        plantDone_ = true;
        return;
    }
    const JournalDevice& device = devices_[static_cast<size_t>(selected_)];
    PlantQuery q;
    q.deviceId = device.id;
    q.operation = operation_;
    q.state = state_;
    q.text = text_;
    q.limit = PAGE_ROWS;
    q.after = plantAfter_;
    std::vector<JournalRow> rows;
    if (device.id > 0) rows = plant_->page(q);
    if (plantFailed(*plant_)) {
        failure_ = plantNote_;
        if (onFailure) onFailure();
        return;
    }
    plantDone_ = rows.size() < PAGE_ROWS;
    if (!rows.empty()) plantAfter_ = std::make_pair(rows.back().started, rows.back().id);
    // An entry the server has without the end this laptop has since written
    // shows as this laptop's.
    const std::string key = plantUnitKey(device.identity);
    std::erase_if(rows, [&](const JournalRow& r) {
        for (size_t i = 0; i < waiting_.size(); ++i)
            if (waiting_[i].uid == r.uid) return true;
        return false;
    });
    // This laptop's entries go among the server's by time: those as new as
    // the page's last, or all that are left with the last page.
    for (size_t i = 0; i < waiting_.size(); ++i) {
        if (waitingPlaced_[i] || waitingKeys_[i] != key || !matches(waiting_[i], q)) continue;
        if (!plantDone_ && waiting_[i].started < plantAfter_->first) continue;
        waitingPlaced_[i] = true;
        rows.push_back(waiting_[i]);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const JournalRow& a, const JournalRow& b) {
        return a.started != b.started ? a.started > b.started : a.id > b.id;
    });
    if (rows.empty()) return;
    if (inserting) inserting(plantRows_.size(), plantRows_.size() + rows.size() - 1);
    plantRows_.insert(plantRows_.end(), rows.begin(), rows.end());
    if (inserted) inserted();
}

JournalQuery HistoryModel::query() const {
    JournalQuery q;
    q.deviceId = devices_[static_cast<size_t>(selected_)].id;
    q.operation = operation_;
    q.state = state_;
    q.text = text_;
    return q;
}

const std::vector<int64_t>& HistoryModel::ids() const {
    if (!ids_) {
        ids_ = selected_ >= 0 && available() ? ctx_.journal->entryIds(query()) : std::vector<int64_t>{};
        if (selected_ >= 0 && available() && noteFailure()) ids_->clear();
    }
    return *ids_;
}

const JournalRow& HistoryModel::row(size_t index) const {
    if (plant_) {
        static const JournalRow none;
        return index < rowCount() ? plantRows_[index] : none;
    }
    const size_t page = index / PAGE_ROWS;
    auto found = pages_.find(page);
    if (found == pages_.end()) {
        const size_t first = page * PAGE_ROWS;
        const size_t last = std::min(first + PAGE_ROWS, ids().size()) - 1;
        std::vector<JournalRow> rows(last - first + 1);
        JournalQuery q = query();
        q.toId = ids()[first];   // newest first: the page's ids run down
        q.fromId = ids()[last];
        // Each row in its place by id; an entry gone meanwhile stays a bare id.
        // A page that could not be read is never shown as rows: the failure
        // is noted (and said by the window), and the page asked again later.
        std::map<int64_t, JournalRow> byId;
        if (ctx_.journal)
            for (JournalRow& r : ctx_.journal->entries(q)) byId.emplace(r.id, std::move(r));
        if (noteFailure()) {
            static const JournalRow none;
            return none;
        }
        for (size_t i = first; i <= last; ++i) {
            auto at = byId.find(ids()[i]);
            if (at != byId.end()) rows[i - first] = std::move(at->second);
            else rows[i - first].id = ids()[i];
        }
        found = pages_.emplace(page, std::move(rows)).first;
    }
    return found->second[index % PAGE_ROWS];
}

std::string HistoryModel::header(HistoryColumn column) const {
    switch (column) {
    case HistoryColumn::Time: return ctx_.message(TIME_TEXT);
    case HistoryColumn::Operation: return ctx_.message(OPERATION_TEXT);
    case HistoryColumn::Outcome: return ctx_.message(OUTCOME_TEXT);
    case HistoryColumn::Device: return ctx_.message(DEVICE_TEXT);
    case HistoryColumn::User: return ctx_.message(USER_TEXT);
    case HistoryColumn::Port: return ctx_.message(PORT_TEXT);
    case HistoryColumn::File: return ctx_.message(FILE_TEXT);
    case HistoryColumn::Details: return ctx_.message(DETAILS_TEXT);
    case HistoryColumn::Count: break;
    }
    return {};
}

std::string HistoryModel::operationText(JournalOperation op) const {
    return ctx_.message(OPERATION_TEXTS[static_cast<size_t>(op)]);
}

std::string HistoryModel::valueOutcomeText(ValueOutcome outcome) const {
    return ctx_.message(VALUE_OUTCOME_TEXTS[static_cast<size_t>(outcome)]);
}

DeviceIdentity HistoryModel::entryDevice(size_t row) const {
    const JournalRow& r = this->row(row);
    DeviceIdentity d;
    if (const auto unit = selectedIdentity()) d = *unit;
    d.address = r.address;
    d.version = r.version;
    d.release = r.release;
    d.parameterVersion = r.parameterVersion;
    return d;
}

std::optional<DeviceIdentity> HistoryModel::selectedIdentity() const {
    if (selected_ < 0) return std::nullopt;
    return devices_[static_cast<size_t>(selected_)].identity;
}

std::string HistoryModel::outcomeText(const JournalRow& row) const {
    if (!row.ended) return ctx_.message(INTERRUPTED_TEXT);
    return ctx_.message(row.outcome == JournalOutcome::Done ? DONE_TEXT : FAILED_TEXT);
}

std::string HistoryModel::cell(size_t row, HistoryColumn column) const {
    const JournalRow& r = this->row(row);
    switch (column) {
    case HistoryColumn::Time: return r.id ? localTimeText(r.started) : std::string();
    case HistoryColumn::Operation: return operationText(r.operation) + (r.via.empty() ? "" : " (" + r.via + ")");
    case HistoryColumn::Outcome:
        if (!r.id) return {};
        return outcomeText(r) + (notSent(row) ? ", " + ctx_.message(PLANT_NOT_SENT_TEXT) : std::string());
    case HistoryColumn::Device:
        if (r.address < 0) return {};
        return journalAddressText(r.address) + formatText("  v%lld.%lld", static_cast<long long>(r.version),
                                                           static_cast<long long>(r.release));
    case HistoryColumn::User: return r.user + "@" + r.host;
    case HistoryColumn::Port: return r.port;
    case HistoryColumn::File: return r.file;
    case HistoryColumn::Details: {
        std::string text = r.detail;
        auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
        if (!r.backup.empty()) add(ctx_.message(BACKUP_TEXT) + ": " + r.backup);
        if (!r.seal.empty()) add("#" + r.seal);
        return text;
    }
    case HistoryColumn::Count: break;
    }
    return {};
}

std::string HistoryModel::entryFile(size_t row) const {
    const JournalRow& r = this->row(row);
    if (r.operation == JournalOperation::Save && r.outcome == JournalOutcome::Done) return r.file;
    // A load's backup (a put-back's entry has none of its own: the load's
    // entry beside it leads to the same backup).
    if (r.operation == JournalOperation::Load) return r.backup;
    return {};
}

bool HistoryModel::fileMissing(size_t row) const {
    const std::string file = entryFile(row);
    struct stat st {};
    return !file.empty() && ::stat(file.c_str(), &st) != 0;
}

bool HistoryModel::fileShownMissing(size_t row) const {
    auto [at, added] = shownMissing_.try_emplace(row, false);
    if (added) at->second = fileMissing(row);
    return at->second;
}

std::vector<uint32_t> HistoryModel::parameterNumbers() {
    if (selected_ < 0 || !available()) return {};
    if (plant_) {
        const int64_t id = devices_[static_cast<size_t>(selected_)].id;
        std::vector<uint32_t> numbers = id > 0 ? plant_->parameterNumbers(id) : std::vector<uint32_t>{};
        if (plantFailed(*plant_)) failure_ = plantNote_;
        return numbers;
    }
    std::vector<uint32_t> numbers = ctx_.journal->parameterNumbers(devices_[static_cast<size_t>(selected_)].id);
    noteFailure();
    return numbers;
}

std::string HistoryModel::valueText(bool onOff, const std::optional<int64_t>& value) const {
    if (!value) return {};
    return onOff ? onOffText(ctx_.texts, *value != 0) : formatParameterValue(static_cast<uint32_t>(*value));
}

std::vector<std::vector<std::string>> HistoryModel::valueRows(uint32_t number) {
    std::vector<std::vector<std::string>> rows;
    if (selected_ < 0 || !available()) return rows;
    const int64_t id = devices_[static_cast<size_t>(selected_)].id;
    std::vector<ValuePoint> points;
    if (!plant_) points = ctx_.journal->valueHistory(id, number);
    else if (id > 0) points = plant_->valueHistory(id, number);
    for (const ValuePoint& p : points) {
        // A value the device refused never went into it.
        if (p.value.outcome == ValueOutcome::Refused) continue;
        rows.push_back({localTimeText(p.time), operationText(p.operation), valueText(p.value.onOff, p.value.before),
                        valueText(p.value.onOff, p.value.after), valueText(p.value.onOff, p.value.readBack),
                        p.value.outcome ? valueOutcomeText(*p.value.outcome) : std::string()});
    }
    noteFailure();
    // Newest first, as the entries.
    return {rows.rbegin(), rows.rend()};
}
