#include "platform/Parallel.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace onex::platform {

namespace {

// One call's tasks, shared by the two threads.
struct Job {
    std::size_t tasks;
    const std::function<void(std::size_t, int)>* work;
    std::atomic<std::size_t> next{0};
    std::mutex errorMutex;
    std::exception_ptr error;

    void take(int worker) {
        for (std::size_t t; (t = next.fetch_add(1, std::memory_order_relaxed)) < tasks;) {
            try {
                (*work)(t, worker);
            } catch (...) {
                next.store(tasks, std::memory_order_relaxed);  // start no more
                const std::lock_guard lock(errorMutex);
                if (!error) error = std::current_exception();
            }
        }
    }
};

// The helper thread and its one slot of work.
struct Helper {
    std::atomic<bool> claimed{false};  // a caller owns the slot
    std::mutex mutex;
    std::condition_variable wake, finished;
    Job* job = nullptr;
    bool started = false, done = false;

    void serve() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return job != nullptr; });
            Job* mine = job;
            started = true;
            lock.unlock();
            mine->take(1);
            lock.lock();
            job = nullptr;
            done = true;
            finished.notify_one();
        }
    }
};

std::mutex startMutex;
// Never destroyed: the thread waits on it until the process ends.
Helper* helper = nullptr;
bool unavailable = false;

// A forked child has no helper thread: it starts its own when it needs one
// (the parent's state is left behind, as it may have been mid-use).
void forgetHelperInChild() {
    new (&startMutex) std::mutex;
    helper = nullptr;
}

// The processors this process may run on (taskset, container limits), not
// those the machine has.
unsigned processorsAllowed() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return std::thread::hardware_concurrency();
}

Helper* theHelper() {
    const std::lock_guard lock(startMutex);
    if (helper || unavailable) return helper;
    if (processorsAllowed() < 2) {
        unavailable = true;
        return nullptr;
    }
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, forgetHelperInChild);
        return true;
    }();
    (void)registered;
    auto* h = new Helper;
    // The helper takes no signals: a Ctrl+C must reach the threads that
    // wait for it. It inherits the mask in force when it starts.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
        std::thread([h] { h->serve(); }).detach();
    } catch (const std::exception&) {  // no thread to be had: work alone
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        delete h;
        unavailable = true;
        return nullptr;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    helper = h;
    return helper;
}

}  // namespace

void runShared(std::size_t tasks, const std::function<void(std::size_t, int)>& work) {
    Job job;
    job.tasks = tasks;
    job.work = &work;
    Helper* h = tasks > 1 ? theHelper() : nullptr;
    if (!h || h->claimed.exchange(true, std::memory_order_acquire)) {
        job.take(0);
    } else {
        {
            const std::lock_guard lock(h->mutex);
            h->job = &job;
            h->started = h->done = false;
        }
        h->wake.notify_one();
        job.take(0);
        {
            // A helper that has not woken yet is not waited for: the job is
            // taken back. One that has started finishes its task first.
            std::unique_lock lock(h->mutex);
            if (!h->started)
                h->job = nullptr;
            else
                h->finished.wait(lock, [&] { return h->done; });
        }
        h->claimed.store(false, std::memory_order_release);
    }
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace onex::platform
