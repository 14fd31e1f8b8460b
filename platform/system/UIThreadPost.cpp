#include "UIThreadPost.h"

namespace murmel {

void UIThreadQueue::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

size_t UIThreadQueue::RunPending() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (tasks_.empty()) return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        ++ran;
        if (!OnTaskError) {
            task();
            continue;
        }
        try {
            task();
        } catch (...) {
            OnTaskError(std::current_exception());
        }
    }
}

size_t UIThreadQueue::WaitAndRun(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        posted_.wait_for(guard, timeout, [this] { return !tasks_.empty(); });
    }
    return RunPending();
}

size_t UIThreadQueue::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return tasks_.size();
}

}  // namespace murmel
