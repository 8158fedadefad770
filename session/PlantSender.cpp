#include "session/PlantSender.h"

#include <atomic>
#include <chrono>

namespace {
// One send goes on this long at most; what still waits goes with the next.
constexpr int64_t SEND_MS = 60000;
// The longest the program waits for the thread at its end.
constexpr int STOP_MS = 3000;
}  // namespace

struct PlantSender::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::string path, uri;
    bool enabled = false;
    uint64_t asked = 0, done = 0;   // sends asked for, and those ended
    bool stopping = false, finished = false;
    std::atomic<bool> stop{false};
    PlantSendState state;
    bool told = false;
};

PlantSender::~PlantSender() {
    if (!shared_) return;
    std::unique_lock lock(shared_->mutex);
    shared_->stopping = true;
    shared_->stop = true;
    shared_->changed.notify_all();
    const bool ended = shared_->changed.wait_for(lock, std::chrono::milliseconds(STOP_MS),
                                                 [this] { return shared_->finished; });
    lock.unlock();
    // Every wait of the thread is bounded and watches the stop flag: it ends
    // within a tenth of a second. Should it not, the process ends without it
    // (it holds nothing of the caller's).
    if (ended) thread_.join();
    else thread_.detach();
}

void PlantSender::configure(const std::string& journalPath, bool journalEnabled, const std::string& uri) {
    if (!shared_ && uri.empty()) return;
    if (!shared_) {
        shared_ = std::make_shared<Shared>();
        thread_ = std::thread(&PlantSender::run, shared_);
    }
    std::lock_guard lock(shared_->mutex);
    if (uri != shared_->uri) {
        shared_->state = {};
        shared_->told = false;
    }
    shared_->path = journalPath;
    shared_->enabled = journalEnabled;
    shared_->uri = uri;
}

bool PlantSender::active() const {
    if (!shared_) return false;
    std::lock_guard lock(shared_->mutex);
    return shared_->enabled && !shared_->uri.empty() && !shared_->path.empty();
}

void PlantSender::poke() {
    if (!active()) return;
    std::lock_guard lock(shared_->mutex);
    ++shared_->asked;
    shared_->changed.notify_all();
}

bool PlantSender::waitIdle(int waitMs) {
    if (!shared_) return true;
    std::unique_lock lock(shared_->mutex);
    const uint64_t target = shared_->asked;
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                                     [&] { return shared_->done >= target || shared_->finished; });
}

std::optional<PlantSendState> PlantSender::takeNewProblem() {
    if (!shared_) return std::nullopt;
    std::lock_guard lock(shared_->mutex);
    if (shared_->state.problem == PlantProblem::None || shared_->told) return std::nullopt;
    shared_->told = true;
    return shared_->state;
}

PlantSendState PlantSender::lastState() const {
    if (!shared_) return {};
    std::lock_guard lock(shared_->mutex);
    return shared_->state;
}

// The thread: shared holds all it uses, so it may outlive the sender.
void PlantSender::run(std::shared_ptr<Shared> shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stopping || shared->asked > shared->done; });
        if (shared->stopping) break;
        const uint64_t target = shared->asked;
        const std::string path = shared->path, uri = shared->uri;
        const bool enabled = shared->enabled;
        lock.unlock();
        PlantSendState state;
        if (enabled && !uri.empty() && !path.empty()) {
            ServiceJournal journal(path, true);
            PlantServer server(uri);
            server.setStopFlag(&shared->stop);
            state.server = server.name();
            const PlantSendResult result = server.send(journal, PlantServer::nowMs() + SEND_MS);
            state.problem = server.problem();
            state.text = server.problemText();
            state.waiting = result.waiting;
            state.clockSkew = result.clockSkew;
        }
        lock.lock();
        // A new stretch of failures is told again.
        if (state.problem == PlantProblem::None || state.problem != shared->state.problem) shared->told = false;
        shared->state = state;
        shared->done = target;
        shared->changed.notify_all();
    }
    shared->finished = true;
    shared->changed.notify_all();
}
