#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace murmel {

// Plays a span of a voice track for the trim window, on a thread of its own, so the
// window never waits on the sound system. A new request ends the one playing.
class TrimPreview {
  public:
    // Told on the preview's thread when a span ends (empty) or fails (the reason).
    using Ended = std::function<void(const std::string& failure)>;
    explicit TrimPreview(Ended ended = {});
    ~TrimPreview();
    TrimPreview(const TrimPreview&) = delete;
    TrimPreview& operator=(const TrimPreview&) = delete;

    // Plays `voiceTrack` from `fromMs` to `toMs` on the device MURMEL_AUDIO names.
    void Play(const std::string& voiceTrack, int64_t fromMs, int64_t toMs);
    void Stop();
    bool Playing() const { return playing_; }

  private:
    struct Request {
        std::string track;
        int64_t fromMs = 0, toMs = 0;
    };
    void Run();
    void PlayOne(const Request& request);

    Ended ended_;
    std::mutex lock_;
    std::condition_variable wake_;
    Request next_;
    bool pending_ = false;
    bool quit_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> playing_{false};
    std::thread thread_;
};

}  // namespace murmel
