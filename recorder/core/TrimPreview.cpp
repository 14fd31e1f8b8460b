#include "TrimPreview.h"

#include <chrono>
#include <exception>
#include <memory>

#include "AudioOutput.h"
#include "VoiceDevice.h"

namespace murmel {
namespace {
constexpr auto kPoll = std::chrono::milliseconds(20);
}

TrimPreview::TrimPreview(Ended ended) : ended_(std::move(ended)), thread_([this] { Run(); }) {}

TrimPreview::~TrimPreview() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
    }
    stop_ = true;
    wake_.notify_all();
    thread_.join();
}

void TrimPreview::Play(const std::string& voiceTrack, int64_t fromMs, int64_t toMs) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        next_ = {voiceTrack, fromMs, toMs};
        pending_ = true;
    }
    stop_ = true;  // the span playing gives way
    wake_.notify_all();
}

void TrimPreview::Stop() { stop_ = true; }

void TrimPreview::Run() {
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] { return pending_ || quit_; });
            if (quit_) return;
            request = next_;
            pending_ = false;
            stop_ = false;
        }
        playing_ = true;
        std::string failure;
        try {
            PlayOne(request);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        playing_ = false;
        if (ended_) ended_(failure);
    }
}

void TrimPreview::PlayOne(const Request& request) {
    std::unique_ptr<AudioOutput> output = OpenAudioOutput();
    VoiceDevice voice(*output);
    voice.Open(request.track);
    voice.Seek(request.fromMs);
    voice.Play();
    while (!stop_ && voice.Mode() == mpPlaying && voice.Position() < request.toMs &&
           voice.Failure().empty())
        std::this_thread::sleep_for(kPoll);
    const std::string failure = voice.Failure();
    voice.Close();
    if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace murmel
