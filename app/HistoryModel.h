#pragma once
// What the History window shows, without a screen: the devices the journal
// has seen, one device's entries newest first under a filter, the texts of
// each cell, the file an entry lets the operator go back to, and one
// parameter's values over time. The window draws these and nothing else; it
// never sees the database.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/PlantServer.h"
#include "session/ServiceJournal.h"

class AppContext;

// Device: the address and versions the entry's device had then.
enum class HistoryColumn : uint8_t { Time, Operation, Outcome, Device, User, Port, File, Details, Count };

// Seconds since 1970 as local time, "2026-12-10 09:03:50".
std::string localTimeText(int64_t seconds);
// A device's bus address as the history shows it: two hex digits.
std::string journalAddressText(int64_t address);

class HistoryModel {
public:
    explicit HistoryModel(AppContext& ctx);
    ~HistoryModel();

    // False (and nothing shown) when the journal is off or has no location.
    bool available() const;
    // Reads the devices again; the entries of the one selected are read too.
    // With a plant's server set, the plant's view: every laptop's entries
    // from the server, with this laptop's not yet sent among them; without
    // a server that could be read, this laptop's (plantNote says why).
    void refresh();
    bool plantView() const { return plant_ != nullptr; }
    // The line saying the plant's history could not be read (empty: none).
    const std::string& plantNote() const { return plantNote_; }
    const std::vector<JournalDevice>& devices() const { return devices_; }
    std::string deviceText(size_t index) const;
    // -1: none selected.
    int selectedDevice() const { return selected_; }
    void selectDevice(int index);
    // The entries shown: of one operation (nothing: all), of one state
    // (nothing: all) whose texts hold text.
    void setFilter(std::optional<JournalOperation> operation, const std::string& text,
                   std::optional<EntryState> state = std::nullopt);

    // A query of the journal failed since the devices or the filter were
    // last read: what is shown is not the history, and the window says so
    // (failureText) instead of showing rows. onFailure is called when a
    // page read while drawing fails.
    bool failed() const { return !failure_.empty(); }
    const std::string& failureText() const { return failure_; }
    std::function<void()> onFailure;

    // The entries shown, newest first. Only their ids are read when the
    // filter or device changes; the rows are read a page at a time when
    // first asked for, so a device with a hundred thousand entries opens as
    // fast as one with ten.
    // The plant's view reads a page at a time (newest first, after the last
    // row read), never the whole history: rowCount is what is read so far,
    // and fetchMore reads the next page.
    size_t rowCount() const;
    bool canFetchMore() const;
    // inserting is told the rows a page adds (first, last) before they are
    // there, inserted once they are (a table view's begin and end).
    void fetchMore(const std::function<void(size_t, size_t)>& inserting = {},
                   const std::function<void()>& inserted = {});
    // The entry has not reached the plant's server yet (a server is set).
    bool notSent(size_t row) const;
    const JournalRow& row(size_t index) const;
    // Texts as the language files hold them (the window converts them).
    std::string header(HistoryColumn column) const;
    std::string cell(size_t row, HistoryColumn column) const;
    std::string operationText(JournalOperation op) const;
    std::string outcomeText(const JournalRow& row) const;
    std::string valueOutcomeText(ValueOutcome outcome) const;
    // The device an entry was made with: the unit's name and further
    // identity values, the address and versions of the entry.
    DeviceIdentity entryDevice(size_t row) const;
    // The selected device (a unit), when one is.
    std::optional<DeviceIdentity> selectedIdentity() const;
    bool interrupted(size_t row) const { return !this->row(row).ended; }

    // The parameter file an entry lets the operator compare or load: a save's
    // file, a load's backup (the device as it was before). Empty for none.
    std::string entryFile(size_t row) const;
    // The entry has a file, and it is not where the journal says: asked of
    // the disk now (before the file is used), or as it was when the row was
    // first drawn (each repaint would ask again otherwise).
    bool fileMissing(size_t row) const;
    bool fileShownMissing(size_t row) const;

    // The parameters the selected device's entries hold values of, and one
    // parameter's values over time (time, operation, before, after, read
    // back, outcome), without the values the device refused: they never went
    // into it.
    std::vector<uint32_t> parameterNumbers();
    std::vector<std::vector<std::string>> valueRows(uint32_t number);

private:
    void readEntries();
    void fetchPlantPage(const std::function<void(size_t, size_t)>& inserting = {},
                        const std::function<void()>& inserted = {}) const;
    bool plantFailed(const PlantServer& server) const;
    // Notes a failed query of the journal (true when the last one failed).
    bool noteFailure() const;
    JournalQuery query() const;
    std::string valueText(bool onOff, const std::optional<int64_t>& value) const;

    AppContext& ctx_;
    std::vector<JournalDevice> devices_;
    int selected_ = -1;
    std::optional<JournalOperation> operation_;
    std::optional<EntryState> state_;
    std::string text_;
    mutable std::string failure_;
    bool devicesFailed_ = false;
    const std::vector<int64_t>& ids() const;
    mutable std::optional<std::vector<int64_t>> ids_;   // none: to be queried
    mutable std::map<size_t, std::vector<JournalRow>> pages_;
    mutable std::map<size_t, bool> shownMissing_;
    // The plant's view: the server, this laptop's entries it lacks, the rows
    // read so far and where the next page starts.
    std::unique_ptr<PlantServer> plant_;
    mutable std::string plantNote_;
    std::vector<JournalRow> waiting_;
    std::vector<std::string> waitingKeys_;
    mutable std::vector<JournalRow> plantRows_;
    mutable std::vector<bool> waitingPlaced_;
    mutable std::optional<std::pair<int64_t, int64_t>> plantAfter_;
    mutable bool plantStarted_ = false, plantDone_ = false;
};
