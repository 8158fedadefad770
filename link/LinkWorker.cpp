#include "link/LinkWorker.h"

#include <sched.h>

#include <atomic>
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
// How long a worker watches for the next job, when it may (see loop()).
constexpr auto NextJobWatch = std::chrono::microseconds(100);
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
    // For the watch: a job handed over, and the CPU the caller waits on.
    std::atomic<bool> posted{false};
    std::atomic<int> callerCpu{-1};

    // After a job the worker watches a short while for the next one before
    // it sleeps, but only while the caller waits on another CPU. Waking a
    // thread asleep on an idle CPU of a virtual machine costs some 30 µs,
    // all of it between the device's answer and the next request; the caller
    // usually asks within a few microseconds of having its result. A caller
    // woken onto the worker's own CPU, on the other hand, could not run
    // before the watch ended (yielding does not reliably let it): there the
    // worker sleeps at once.
    void watchForNextJob() {
        int mine = sched_getcpu();
        int theirs = callerCpu.load(std::memory_order_relaxed);
        if (mine < 0 || theirs < 0 || mine == theirs) return;
        const auto until = std::chrono::steady_clock::now() + NextJobWatch;
        while (!posted.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    }

    void loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return job || stopping; });
            // A job handed over before the stop still runs: its caller waits for it.
            if (!job) break;
            Job j = job;
            void* c = context;
            posted.store(false, std::memory_order_relaxed);
            lock.unlock();
            j(c);
            lock.lock();
            job = nullptr;
            busy = false;
            ended.notify_all();
            if (!stopping) {
                lock.unlock();
                watchForNextJob();
                lock.lock();
            }
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
    s->callerCpu.store(sched_getcpu(), std::memory_order_relaxed);
    s->posted.store(true, std::memory_order_release);
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
