#include "link/LinkWorker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/ThreadTiming.h"

namespace {

// How often a waiting caller runs its hook.
constexpr auto HookInterval = std::chrono::milliseconds(5);
// A job and its transaction end well within a second on any port (the
// release's 500 ms is the longest wait); the bound only keeps a stop from
// hanging on a thread that never ends.
constexpr auto StopBound = std::chrono::seconds(5);
}  // namespace

struct LinkWorker::Shared {
    std::mutex mutex;
    std::condition_variable wake;    // the worker: a job, or the stop
    std::condition_variable ended;   // the caller: the job ended; the stop: the thread ended
    Job job = nullptr;
    void* context = nullptr;
    bool busy = false;               // a job handed over and not yet ended
    bool stopping = false;
    bool exited = false;

    // Sleeps as soon as a job has ended. Watching for the next job instead
    // would cost its hand-over even more: the caller, woken by the end, is
    // often put on the worker's own CPU, and a worker still watching there
    // (even one that yields) keeps it from running until the watch ends. A
    // worker asleep on the condition is woken within a few microseconds of
    // the caller's next request (the bus benchmark's hand-over).
    void loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return job || stopping; });
            // A job handed over before the stop still runs: its caller waits for it.
            if (!job) break;
            Job j = job;
            void* c = context;
            lock.unlock();
            j(c);
            lock.lock();
            job = nullptr;
            busy = false;
            ended.notify_all();
        }
        exited = true;
        ended.notify_all();
    }
};

void* LinkWorker::threadMain(void* arg) {
    std::shared_ptr<Shared> shared(std::move(*static_cast<std::shared_ptr<Shared>*>(arg)));
    delete static_cast<std::shared_ptr<Shared>*>(arg);
    // Named, for top -H and the debugger.
    pthread_setname_np(pthread_self(), "link-worker");
    // Before the first byte: the settle and the byte waits end on time, and
    // nothing of lower priority runs ahead of the wire while it matters.
    threadtiming::preciseTimers();
    threadtiming::realtimePriority();
    shared->loop();
    return nullptr;
}

LinkWorker::~LinkWorker() { stop(); }

bool LinkWorker::run(Job job, void* context, const std::function<void()>* hook) {
    if (!started_) {
        if (!shared_) shared_ = std::make_shared<Shared>();
        auto* arg = new std::shared_ptr<Shared>(shared_);
        if (pthread_create(&thread_, nullptr, threadMain, arg) != 0) {
            delete arg;
            return false;
        }
        started_ = true;
    }
    // The state this job's end arrives in, even if a stop from the hook
    // gives up on the thread meanwhile.
    std::shared_ptr<Shared> s = shared_;
    {
        std::lock_guard<std::mutex> handOver(s->mutex);
        s->job = job;
        s->context = context;
        s->busy = true;
    }
    // Told without the lock held, so that the worker does not wake only to
    // wait for it.
    s->wake.notify_one();
    std::unique_lock<std::mutex> lock(s->mutex);
    while (s->busy) {
        if (!hook || !*hook) {
            s->ended.wait(lock, [&] { return !s->busy; });
            break;
        }
        if (s->ended.wait_for(lock, HookInterval, [&] { return !s->busy; })) break;
        lock.unlock();
        (*hook)();
        lock.lock();
    }
    return true;
}

bool LinkWorker::stop() {
    if (!started_) return true;
    if (pthread_equal(pthread_self(), thread_)) return false;
    std::shared_ptr<Shared> s = shared_;
    bool ended;
    {
        std::unique_lock<std::mutex> lock(s->mutex);
        s->stopping = true;
        s->wake.notify_one();
        ended = s->ended.wait_for(lock, StopBound, [&] { return s->exited; });
    }
    started_ = false;
    if (ended) {
        pthread_join(thread_, nullptr);
        s->stopping = false;
        s->exited = false;
        return true;
    }
    // Left to end on its own, with the state it holds; the next thread gets
    // state of its own.
    pthread_detach(thread_);
    shared_.reset();
    return false;
}
