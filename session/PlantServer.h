#pragma once
// The plant's service history: every laptop's journal entries on one
// PostgreSQL server, in the schema "fieldservice". The laptop's own journal
// is the way there: an entry is written there first and sent from there
// (send), each with its unique id, so an entry sent twice is stored once.
// The server is read a page at a time (devices, page) for the plant's view.
// Every call waits at most the bound given (connect included).
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/PgDb.h"
#include "session/ServiceJournal.h"

// The server's schema this program writes; a newer one is read, never written.
inline constexpr int PLANT_SCHEMA_VERSION = 1;
// What the schema's first row says it is: another program's schema of the
// same name is neither read nor written.
inline constexpr const char* PLANT_APPLICATION = "fieldservice service history";
// The statements that make the schema (install/plant-history.sql holds the
// same for a plant that makes it beforehand).
extern const char* const PLANT_SCHEMA_SQL;

enum class PlantProblem : uint8_t { None, BadSetting, Unreachable, Refused, TimedOut, Foreign, NewerSchema, Failed };

// The key that makes a device one unit on the server: its name and the two
// further identity values, or without them its name and address.
std::string plantUnitKey(const DeviceIdentity& device);

// What the plant's view asks for: one unit's entries, newest first, under
// the journal's filter, older than the last row of the page before.
struct PlantQuery {
    int64_t deviceId = 0;
    std::optional<JournalOperation> operation;
    std::optional<EntryState> state;
    std::string text;
    size_t limit = 200;
    // The last row read (started, id): the page goes on after it.
    std::optional<std::pair<int64_t, int64_t>> after;
};

struct PlantSendResult {
    size_t sent = 0;
    int64_t waiting = 0;   // still waiting afterwards (-1: the journal could not be read)
    // How far this laptop's clock, or the times of the entries sent, ran
    // from the server's (seconds, the larger of both).
    int64_t clockSkew = 0;
};
// A skew the operator is told of: the entries keep the laptop's times.
inline constexpr int64_t PLANT_CLOCK_SKEW_TOLD = 300;

class PlantServer {
public:
    // uri: libpq's connection URI; boundMs: the longest wait of any one call.
    explicit PlantServer(std::string uri, int boundMs = 3000);
    // "host:port/database" for messages, never the password.
    const std::string& name() const { return name_; }
    void setStopFlag(const std::atomic<bool>* stop) { db_.setStopFlag(stop); }

    // Connects and looks at the schema: made (or brought up to date) when
    // missing and allowed, refused when another program's. False: problem().
    bool open();
    bool isOpen() const { return db_.isOpen(); }
    // False for a newer program's schema: read, not written.
    bool writable() const { return writable_; }
    int serverVersion() const { return serverVersion_; }

    // Sends what waits in the journal until nothing does, the deadline
    // (steady-clock milliseconds, see nowMs) passes or a call fails.
    PlantSendResult send(ServiceJournal& journal, int64_t deadlineMs);

    std::vector<JournalDevice> devices();
    std::vector<JournalRow> page(const PlantQuery& query);
    std::vector<ValuePoint> valueHistory(int64_t deviceId, uint32_t number);
    std::vector<uint32_t> parameterNumbers(int64_t deviceId);

    PlantProblem problem() const { return problem_; }
    // The library's or the server's words.
    const std::string& problemText() const { return problemText_; }

    static int64_t nowMs();

private:
    bool fail(PlantProblem problem, const std::string& text);
    bool failed(PgStatus status);
    bool sendBatch(const std::vector<WaitingEntry>& batch, std::vector<std::pair<int64_t, bool>>& taken);
    std::string uri_, name_;
    int boundMs_;
    PgDb db_;
    bool writable_ = false;
    int serverVersion_ = 0;
    int64_t serverClock_ = 0;   // the server's time at open, seconds since 1970
    int64_t clockSkew_ = 0;
    PlantProblem problem_ = PlantProblem::None;
    std::string problemText_;
};
