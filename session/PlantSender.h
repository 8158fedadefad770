#pragma once
// Sends the laptop's journal entries to the plant's server in the
// background: after each operation and at start-up (poke), on a thread of
// its own with a journal connection of its own, so service work never waits
// for the server. What the server did not take waits in the journal and
// goes with the next send. The thread's every wait is bounded, and a stop
// ends it within a tenth of a second.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "session/PlantServer.h"

// What became of the last send, for the operator's thread to tell.
struct PlantSendState {
    PlantProblem problem = PlantProblem::None;
    std::string server, text;
    int64_t waiting = 0;
    int64_t clockSkew = 0;   // seconds between this laptop's clock and the server's
};

class PlantSender {
public:
    PlantSender() = default;
    ~PlantSender();
    PlantSender(const PlantSender&) = delete;
    PlantSender& operator=(const PlantSender&) = delete;

    // The journal and the server (an empty uri: none, nothing is sent).
    void configure(const std::string& journalPath, bool journalEnabled, const std::string& uri);
    bool active() const;
    // Sends what waits, soon, in the background.
    void poke();
    // Waits at most waitMs for the sends asked for so far to end (a batch
    // job before it ends). True when they did.
    bool waitIdle(int waitMs);
    // The last send's problem when it is a new one (once for each stretch
    // of failures), for the caller to tell.
    std::optional<PlantSendState> takeNewProblem();
    // The last send's state, whether told or not.
    PlantSendState lastState() const;

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
