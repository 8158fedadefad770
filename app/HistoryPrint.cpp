#include "app/HistoryPrint.h"

#include <cctype>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "app/HistoryModel.h"
#include "files/Format.h"
#include "link/DeviceLink.h"
#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "session/JournalEntry.h"
#include "session/PlantTexts.h"
#include "session/ServiceJournal.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t HISTORY_OFF_TEXT = 33364;
constexpr uint32_t DEVICE_TEXT = 33366;
constexpr uint32_t ADDRESS_TEXT = 33370;
constexpr uint32_t HOST_TEXT = 33369;
constexpr uint32_t BACKUP_TEXT = 33367;
constexpr uint32_t SEAL_TEXT = 33368;
constexpr uint32_t VERSION_TEXT = 33405;
constexpr uint32_t PLANT_TEXT = 0x82E8;   // "Plant": whether the plant's server has the entry
constexpr uint32_t NO_HISTORY_TEXT = 33401;   // "There is no service history yet: %s does not exist."

std::string upper(std::string s) {
    s = trimmedDeviceName(std::move(s));
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

bool deviceMatches(const DeviceIdentity& device, const std::string& nameOrAddress) {
    if (nameOrAddress.empty()) return true;
    if (upper(device.name) == upper(nameOrAddress)) return true;
    char* end = nullptr;
    const unsigned long address = std::strtoul(nameOrAddress.c_str(), &end, 16);
    return end && *end == '\0' && nameOrAddress.size() <= 2 && static_cast<int64_t>(address) == device.address;
}

int printHistory(AppContext& ctx, const std::string& nameOrAddress, bool csv, std::ostream& out) {
    if (!ctx.journal || !ctx.journal->enabled()) {
        ctx.showText(HISTORY_OFF_TEXT);
        return 1;
    }
    // Read only: a history that is not there is not made.
    std::error_code ec;
    // (With a plant's server the plant's history is there all the same.)
    if (ctx.settings.historyServer.empty() && ctx.journal->readOnly() &&
        !std::filesystem::exists(ctx.journal->path(), ec) && !ec) {
        ctx.showMessage(fillText(ctx.message(NO_HISTORY_TEXT), {ctx.journal->path()}), MessageIcon::Information);
        return nameOrAddress.empty() ? 0 : 2;
    }
    HistoryModel model(ctx);
    model.refresh();
    // A journal that cannot be used, or a query that failed: said, and no rows.
    auto failed = [&] {
        if (!model.failed()) return false;
        ctx.showMessage(model.failureText());
        return true;
    };
    if (failed()) return 1;
    // The plant's history could not be read: said, and this laptop's printed.
    if (!model.plantNote().empty()) ctx.showMessage(model.plantNote(), MessageIcon::Information);
    const bool plantColumn = !ctx.settings.historyServer.empty();
    auto text = [&ctx](uint32_t n) { return utf8Text(ctx.message(n)); };
    auto column = [&model](HistoryColumn c) { return utf8Text(model.header(c)); };
    std::vector<std::string> header = {column(HistoryColumn::Time),    text(DEVICE_TEXT),
                                       text(ADDRESS_TEXT),             text(VERSION_TEXT),
                                       column(HistoryColumn::Operation), column(HistoryColumn::Outcome),
                                       column(HistoryColumn::User),    text(HOST_TEXT),
                                       column(HistoryColumn::Port),    column(HistoryColumn::File),
                                       text(BACKUP_TEXT),              text(SEAL_TEXT),
                                       column(HistoryColumn::Details)};
    // Written whole once every query succeeded: a failure half-way prints
    // nothing but its message.
    if (plantColumn) header.push_back(text(PLANT_TEXT));
    std::ostringstream printed;
    if (csv) printed << csvRow(header);
    bool any = false;
    for (size_t d = 0; d < model.devices().size(); ++d) {
        const DeviceIdentity& identity = model.devices()[d].identity;
        if (!deviceMatches(identity, nameOrAddress)) continue;
        any = true;
        model.selectDevice(static_cast<int>(d));
        if (!csv) printed << utf8Text(model.deviceText(d)) << '\n';
        // The plant's view is read a page at a time.
        for (size_t i = 0; i < model.rowCount() || (model.canFetchMore() && (model.fetchMore(), i < model.rowCount()));
             ++i) {
            const JournalRow& r = model.row(i);
            if (model.failed()) break;
            // The operation by its key ("load", "putback"), as the database keeps it.
            const std::string operation = std::string(operationKey(r.operation)) + (r.via.empty() ? "" : " (" + r.via + ")");
            const std::string outcome = utf8Text(model.outcomeText(r));
            const std::string version =
                r.version < 0 ? std::string() : std::to_string(r.version) + "." + std::to_string(r.release);
            if (csv) {
                // The time with its UTC offset, so the hour repeated at the
                // change to winter time reads twice apart.
                std::vector<std::string> row = {csvTime(r.started), identity.name,
                                                r.address < 0 ? std::string() : journalAddressText(r.address), version,
                                                operation, outcome, r.user, r.host, r.port, r.file, r.backup, r.seal,
                                                r.detail};
                if (plantColumn) row.push_back(model.notSent(i) ? utf8Text(ctx.message(PLANT_NOT_SENT_TEXT)) : "");
                printed << csvRow(row);
                continue;
            }
            printed << "  " << localTimeText(r.started) << "  " << operation << "  " << outcome;
            if (model.notSent(i)) printed << " (" << utf8Text(ctx.message(PLANT_NOT_SENT_TEXT)) << ")";
            for (const std::string& part : {utf8Text(model.cell(i, HistoryColumn::Device)), r.user + "@" + r.host,
                                            r.port, r.file, utf8Text(model.cell(i, HistoryColumn::Details))})
                if (!part.empty() && part != "@") printed << "  " << part;
            printed << '\n';
        }
        if (failed()) return 1;
    }
    out << printed.str();
    out.flush();
    return any || nameOrAddress.empty() ? 0 : 2;
}
