#pragma once
// How worker threads (the capture thread, the send worker) hand work to the UI
// thread without waiting for it: they post a task; the UI thread runs it later.
// Windows post through Qt's queued invocation; murmel-cli and tests use UIThreadQueue.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace murmel {

class UIThreadPost {
public:
    virtual ~UIThreadPost() = default;
    // Any thread; never waits for the UI thread. A task that throws has its
    // exception shown by the UI thread's standard error display.
    virtual void Post(std::function<void()> task) = 0;
};

// A plain queue drained by the thread that owns it.
class UIThreadQueue : public UIThreadPost {
public:
    void Post(std::function<void()> task) override;
    // Runs every task posted so far, in order. An exception from a task goes to
    // OnTaskError when set; otherwise it leaves RunPending (the rest stay queued).
    size_t RunPending();
    // Waits up to `timeout` for a task, then runs what is pending.
    size_t WaitAndRun(std::chrono::milliseconds timeout);
    size_t Pending() const;

    std::function<void(std::exception_ptr)> OnTaskError;

private:
    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace murmel
