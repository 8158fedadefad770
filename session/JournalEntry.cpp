#include "session/JournalEntry.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "link/DeviceLink.h"
#include "platform/UserHost.h"
#include "session/AppContext.h"
#include "session/PlantTexts.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t JOURNAL_FAILED_TEXT = 33358;   // "The service history %s could not be written (%s). ..."
constexpr uint32_t JOURNAL_NEWER_TEXT = 33359;    // "... was written by a newer version of the program ..."
constexpr uint32_t JOURNAL_FOREIGN_TEXT = 33400;  // "The file %s is not a service history of this program (%s). ..."
constexpr uint32_t JOURNAL_REPLACED_TEXT = 33406; // "The service history %s was replaced or removed by another program ..."

// Batch jobs name files relative to where they were started; the history is
// read from anywhere.
std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return path.empty() || ec ? path : absolute.lexically_normal().string();
}
}  // namespace

DeviceIdentity selectedDeviceIdentity(const AppContext& ctx) {
    const DeviceLink& link = ctx.link;
    return {link.selectedAddress, link.deviceName, link.version, link.release, link.parameterVersion,
            link.register40, link.register44};
}

uint32_t journalProblemText(JournalProblem problem) {
    switch (problem) {
    case JournalProblem::NewerSchema: return JOURNAL_NEWER_TEXT;
    case JournalProblem::Foreign: return JOURNAL_FOREIGN_TEXT;
    default: return JOURNAL_FAILED_TEXT;
    }
}

void tellJournalProblem(AppContext& ctx) {
    ServiceJournal* journal = ctx.journal;
    if (!journal) return;
    if (journal->takeReplaced())
        ctx.ui().message(ctx.settings.windowTitle, fillText(ctx.message(JOURNAL_REPLACED_TEXT), {journal->path()}),
                         MessageIcon::Exclamation);
    if (!journal->problemIsNew()) return;
    const std::string text =
        fillText(ctx.message(journalProblemText(journal->problem())), {journal->path(), journal->problemText()});
    ctx.ui().message(ctx.settings.windowTitle, text, MessageIcon::Exclamation);
}

JournalVia::JournalVia(AppContext& ctx, const std::string& via) : ctx_(ctx), before_(ctx.journalVia) {
    ctx.journalVia = via;
}

JournalVia::~JournalVia() { ctx_.journalVia = before_; }

JournalEntry::JournalEntry(AppContext& ctx, JournalOperation op, const std::string& file, const std::string& via)
    : ctx_(ctx), operation_(op) {
    if (!ctx.journal || !ctx.journal->enabled()) return;
    JournalStart start;
    start.operation = op;
    start.device = selectedDeviceIdentity(ctx);
    start.time = static_cast<int64_t>(std::time(nullptr));
    start.user = loginName();
    start.host = hostName();
    start.port = ctx.link.portPath();
    start.file = absolutePath(file);
    start.via = via.empty() ? ctx.journalVia : via;
    id_ = ctx.journal->begin(start);
    tellJournalProblem(ctx);
}

JournalEntry::~JournalEntry() {
    if (!finished_) finish(ok_);
}

namespace {
// What a send changed, in its details: "0106: 300 > 120" (the first few).
std::string sentValues(const std::vector<JournalValue>& values) {
    constexpr size_t SHOWN = 4;
    auto text = [](const JournalValue& v, const std::optional<int64_t>& value) {
        if (!value) return std::string("?");
        return v.onOff ? std::string(*value ? "on" : "off") : std::to_string(*value);
    };
    std::string out;
    for (size_t i = 0; i < values.size() && i < SHOWN; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%04x", values[i].number);
        out += (i ? ", " : "") + std::string(number) + ": " + text(values[i], values[i].before) + " > " +
               text(values[i], values[i].after);
    }
    if (values.size() > SHOWN) out += ", +" + std::to_string(values.size() - SHOWN);
    return out;
}
}  // namespace

void JournalEntry::noteBackup(const std::string& path) {
    end_.backup = absolutePath(path);
    if (!id_ || !ctx_.journal) return;
    ctx_.journal->noteBackup(id_, end_.backup);
    tellJournalProblem(ctx_);
}

void JournalEntry::finish(bool ok) {
    finished_ = true;
    if (!id_ || !ctx_.journal) return;
    end_.outcome = ok ? JournalOutcome::Done : JournalOutcome::Failed;
    end_.time = static_cast<int64_t>(std::time(nullptr));
    if (end_.detail.empty() && operation_ == JournalOperation::ParameterSend) end_.detail = sentValues(end_.values);
    // The unit answers at its new address from now on: found there next time.
    if (ok && operation_ == JournalOperation::AddressChange) end_.address = ctx_.link.selectedAddress;
    end_.file = absolutePath(end_.file);
    end_.backup = absolutePath(end_.backup);
    ctx_.journal->end(id_, end_);
    id_ = 0;
    tellJournalProblem(ctx_);
    // On to the plant's server, in the background; a problem of the send
    // before is told in passing.
    if (ctx_.plant) ctx_.plant->poke();
    tellPlantProblem(ctx_);
}

ValueOutcome lastWriteOutcome(const AppContext& ctx) {
    switch (ctx.link.lastWriteAnswer()) {
    case SerialLink::WriteAnswer::Taken: return ValueOutcome::Written;
    case SerialLink::WriteAnswer::Refused: return ValueOutcome::Refused;
    case SerialLink::WriteAnswer::Silent: break;
    }
    return ValueOutcome::NoAnswer;
}
