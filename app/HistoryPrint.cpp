#include "app/HistoryPrint.h"

#include <cctype>
#include <ostream>

#include "app/HistoryModel.h"
#include "files/Format.h"
#include "link/DeviceLink.h"
#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "session/JournalEntry.h"
#include "session/ServiceJournal.h"

namespace {
constexpr uint32_t HISTORY_OFF_TEXT = 33364;
constexpr uint32_t DEVICE_TEXT = 33366;
constexpr uint32_t ADDRESS_TEXT = 33370;
constexpr uint32_t HOST_TEXT = 33369;
constexpr uint32_t BACKUP_TEXT = 33367;
constexpr uint32_t SEAL_TEXT = 33368;

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
    HistoryModel model(ctx);
    model.refresh();
    if (ctx.journal->problem() != JournalProblem::None) {
        tellJournalProblem(ctx);
        return 1;
    }
    auto text = [&ctx](uint32_t n) { return utf8Text(ctx.message(n)); };
    auto column = [&model](HistoryColumn c) { return utf8Text(model.header(c)); };
    std::vector<std::string> header = {column(HistoryColumn::Time),    text(DEVICE_TEXT),
                                       text(ADDRESS_TEXT),             column(HistoryColumn::Operation),
                                       column(HistoryColumn::Outcome), column(HistoryColumn::User),
                                       text(HOST_TEXT),                column(HistoryColumn::Port),
                                       column(HistoryColumn::File),    text(BACKUP_TEXT),
                                       text(SEAL_TEXT),                column(HistoryColumn::Details)};
    if (csv) out << csvRow(header);
    bool any = false;
    for (size_t d = 0; d < model.devices().size(); ++d) {
        const DeviceIdentity& identity = model.devices()[d].identity;
        if (!deviceMatches(identity, nameOrAddress)) continue;
        any = true;
        model.selectDevice(static_cast<int>(d));
        if (!csv) out << utf8Text(model.deviceText(d)) << '\n';
        for (size_t i = 0; i < model.rowCount(); ++i) {
            const JournalRow& r = model.row(i);
            const std::string operation = utf8Text(model.cell(i, HistoryColumn::Operation));
            const std::string outcome = utf8Text(model.outcomeText(r));
            if (csv) {
                // The time with its UTC offset, so the hour repeated at the
                // change to winter time reads twice apart.
                out << csvRow({csvTime(r.started), identity.name, journalAddressText(identity.address), operation,
                               outcome, r.user, r.host, r.port, r.file, r.backup, r.seal, r.detail});
                continue;
            }
            out << "  " << localTimeText(r.started) << "  " << operation << "  " << outcome << "  " << r.user << "@"
                << r.host << "  " << r.port;
            for (const std::string& part : {r.file, utf8Text(model.cell(i, HistoryColumn::Details))})
                if (!part.empty()) out << "  " << part;
            out << '\n';
        }
    }
    out.flush();
    return any || nameOrAddress.empty() ? 0 : 2;
}
