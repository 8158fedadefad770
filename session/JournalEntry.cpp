#include "session/JournalEntry.h"

#include <ctime>
#include <filesystem>

#include "link/DeviceLink.h"
#include "platform/UserHost.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t JOURNAL_FAILED_TEXT = 33358;   // "The service history %s could not be written (%s). ..."
constexpr uint32_t JOURNAL_NEWER_TEXT = 33359;    // "... was written by a newer version of the program ..."

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

void tellJournalProblem(AppContext& ctx) {
    ServiceJournal* journal = ctx.journal;
    if (!journal || !journal->problemIsNew()) return;
    // Told in passing as well as in the box: a batch job's log keeps it.
    const bool newer = journal->problem() == JournalProblem::NewerSchema;
    const std::string text =
        fillText(ctx.message(newer ? JOURNAL_NEWER_TEXT : JOURNAL_FAILED_TEXT), {journal->path(), journal->problemText()});
    ctx.ui().message(ctx.settings.windowTitle, text, MessageIcon::Exclamation);
}

JournalVia::JournalVia(AppContext& ctx, const std::string& via) : ctx_(ctx), before_(ctx.journalVia) {
    ctx.journalVia = via;
}

JournalVia::~JournalVia() { ctx_.journalVia = before_; }

JournalEntry::JournalEntry(AppContext& ctx, JournalOperation op, const std::string& file, const std::string& via)
    : ctx_(ctx) {
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
    end_.file = absolutePath(end_.file);
    end_.backup = absolutePath(end_.backup);
    ctx_.journal->end(id_, end_);
    id_ = 0;
    tellJournalProblem(ctx_);
}
