#include "PacedCapture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace murmel {
namespace {

constexpr size_t kChunkFrames = 512;  // one 2048-byte buffer of 16-bit stereo

// Full scale at most; NaN (a float file may hold anything) is silence.
float Limit(float value) {
    if (value > 1.0f) return 1.0f;
    if (value < -1.0f) return -1.0f;
    return value == value ? value : 0.0f;
}

// Nearest integer, halves away from zero, without a library call per sample.
long Round(float value) { return static_cast<long>(value + (value < 0 ? -0.5f : 0.5f)); }

}  // namespace

PacedCapture::~PacedCapture() { Stop(); }

bool PacedCapture::CanRecord(const CaptureFormat& format) const {
    return (format.bits == 8 || format.bits == 16) && format.channels >= 1 &&
           format.channels <= 2 && format.rate >= 1000 && format.rate <= 200000;
}

void PacedCapture::Open(const CaptureFormat& format, CaptureClient* client) {
    if (!CanRecord(format)) throw CaptureError("The device cannot record this format");
    Stop();
    format_ = format;
    client_ = client;
    framesBeforeStart_ = 0;
    framesThisRun_ = 0;
    exhausted_ = false;
    sourceEnded_ = false;
    samples_.assign(kChunkFrames * format.channels, 0.0f);
    bytes_.assign(kChunkFrames * format.FrameBytes(), 0);
    Prepare(format);
}

void PacedCapture::Start() {
    if (thread_.joinable() || !client_) return;
    stopRequested_ = false;
    thread_ = std::thread([this] { Run(); });
}

void PacedCapture::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    thread_.join();
    framesBeforeStart_ += framesThisRun_.exchange(0);
}

uint64_t PacedCapture::Position() { return framesBeforeStart_ + framesThisRun_; }

void PacedCapture::Close() {
    Stop();
    client_ = nullptr;
}

void PacedCapture::Run() {
    if (realTime_)
        RunRealTime();
    else
        RunFast();
}

// Real time: hands over whole chunks, each when the clock says its last frame is
// due, and sleeps until the next one is; one wake-up per chunk, as a sound card
// delivering fragments. Past the end of a finite source the device goes on
// delivering silence, as a microphone would.
void PacedCapture::RunRealTime() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto frameTime = [&](uint64_t frames) {
        return start + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(double(frames) / format_.rate));
    };
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopRequested_) {
        const auto now = Clock::now();
        while (frameTime(framesThisRun_ + kChunkFrames) <= now) {
            size_t made = Produce(kChunkFrames);
            client_->CaptureData(bytes_.data(), made * format_.FrameBytes());
            framesThisRun_ += made;
        }
        wake_.wait_until(guard, frameTime(framesThisRun_ + kChunkFrames),
                         [this] { return stopRequested_; });
    }
}

// Fast: as fast as the client takes them; stops making frames at the source's end.
void PacedCapture::RunFast() {
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopRequested_ && !sourceEnded_) {
        size_t made = Produce(kChunkFrames);
        guard.unlock();
        bool offered = Offer(bytes_.data(), made * format_.FrameBytes());
        guard.lock();
        if (!offered) break;
        framesThisRun_ += made;
    }
    // Only now has the client everything: a caller waiting for the end may stop us.
    if (sourceEnded_) exhausted_ = true;
}

// Hands bytes to the client until it has taken all; false when stopped meanwhile.
bool PacedCapture::Offer(const uint8_t* bytes, size_t size) {
    while (size > 0) {
        size_t taken = client_->CaptureData(bytes, size);
        bytes += taken;
        size -= taken;
        if (size == 0) break;
        std::unique_lock<std::mutex> guard(lock_);
        if (wake_.wait_for(guard, std::chrono::microseconds(500),
                           [this] { return stopRequested_; }))
            return false;
    }
    return true;
}

size_t PacedCapture::Produce(size_t frames) {
    size_t made = sourceEnded_ ? 0 : Generate(samples_.data(), frames);
    if (made < frames) {
        sourceEnded_ = true;
        if (realTime_) {
            std::fill(samples_.begin() + long(made * format_.channels),
                      samples_.begin() + long(frames * format_.channels), 0.0f);
            exhausted_ = true;
        } else {
            frames = made;
        }
    }
    // Full scale is 128 or 32768 steps, so 8- and 16-bit sources pass unchanged.
    size_t count = frames * format_.channels;
    for (size_t i = 0; i < count; ++i) {
        const float value = Limit(samples_[i]);
        if (format_.bits == 8) {
            long sample = std::clamp(Round(value * 128.0f) + 128, 0L, 255L);
            bytes_[i] = static_cast<uint8_t>(sample);
        } else {
            long sample = std::clamp(Round(value * 32768.0f), -32768L, 32767L);
            bytes_[2 * i] = static_cast<uint8_t>(sample & 0xFF);
            bytes_[2 * i + 1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
        }
    }
    return frames;
}

}  // namespace murmel
