#include "NullOutput.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace murmel {
namespace {

constexpr int kAheadMs = 150;  // how far the pull runs ahead of the clock, like a device buffer
constexpr int kStepMs = 10;    // how often the stream wakes up

class NullStream : public AudioStream {
public:
    NullStream(StreamFormat format, std::shared_ptr<AudioSource> source)
        : format_(format), source_(std::move(source)), worker_([this] { Run(); }) {}

    ~NullStream() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }

    int64_t FramesHeard() const override {
        int64_t elapsed = clock_.NowMs() * format_.sampleRate / 1000;
        int64_t pulled = pulled_.load();
        return elapsed < pulled ? elapsed : pulled;
    }

    bool Drained() const override { return ended_ && FramesHeard() >= pulled_.load(); }

private:
    void Run() {
        std::vector<float> buffer;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_ && !ended_) {
            const int64_t target = (clock_.NowMs() + kAheadMs) * format_.sampleRate / 1000;
            const int64_t wanted = target - pulled_.load();
            if (wanted > 0) {
                buffer.resize(static_cast<size_t>(wanted) * static_cast<size_t>(format_.channels));
                const size_t got = source_->Pull(buffer.data(), static_cast<size_t>(wanted));
                pulled_ += static_cast<int64_t>(got);
                if (got < static_cast<size_t>(wanted)) ended_ = true;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(kStepMs), [this] { return stopping_; });
        }
    }

    StreamFormat format_;
    std::shared_ptr<AudioSource> source_;
    mutable WallClock clock_;
    std::atomic<int64_t> pulled_{0};
    std::atomic<bool> ended_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread worker_;  // last: starts once everything above is ready
};

}  // namespace

std::unique_ptr<AudioStream> NullOutput::Play(StreamFormat format,
                                              std::shared_ptr<AudioSource> source) {
    if (format.sampleRate <= 0 || format.channels <= 0)
        throw EAudioOutputError("Unsupported stream format");
    return std::make_unique<NullStream>(format, std::move(source));
}

}  // namespace murmel
