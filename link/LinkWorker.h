#pragma once
// The thread a link's transactions run on. It starts with the link's first
// transaction and lives as long as the link: a thread started for each
// transaction costs its start-up, and now and then far more, between the
// device's answer and the next request. It ends when the link closes or
// goes. It runs one job at a time while the caller waits for its end.
#include <pthread.h>

#include <functional>
#include <memory>

class LinkWorker {
public:
    // A job and what it works on: a plain function, so handing one over
    // allocates nothing.
    using Job = void (*)(void* context);

    LinkWorker() = default;
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    // Runs job(context) on the worker thread, starting the thread first when
    // none runs, and returns once the job has ended. Meanwhile the calling
    // thread calls hook every few milliseconds, when there is one. False,
    // with nothing run, when no thread could be started.
    bool run(Job job, void* context, const std::function<void()>* hook);

    // Ends the thread; a job in flight (stop asked from the caller's hook)
    // ends first, and run() still returns with it. Waits for the thread at
    // most StopBound: every job ends within its own bounds long before. False
    // when the thread did not end in time (it is left to end on its own, and
    // the next run starts a new one) or when asked from the worker itself.
    bool stop();

    bool running() const { return started_; }

private:
    struct Shared;
    static void* threadMain(void* arg);

    std::shared_ptr<Shared> shared_;
    pthread_t thread_{};
    bool started_ = false;
};
