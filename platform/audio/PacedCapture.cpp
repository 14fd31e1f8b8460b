#include "PacedCapture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace murmel {
namespace {

constexpr size_t kChunkFrames = 512;  // one 2048-byte buffer of 16-bit stereo
constexpr auto kTick = std::chrono::milliseconds(5);

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

// Real time: every tick, makes the frames the clock says are due. Past the end of
// a finite source the device goes on delivering silence, as a microphone would.
void PacedCapture::RunRealTime() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopRequested_) {
        auto elapsed = std::chrono::steady_clock::now() - start;
        auto due =
            static_cast<uint64_t>(std::chrono::duration<double>(elapsed).count() * format_.rate);
        while (framesThisRun_ < due) {
            size_t frames =
                static_cast<size_t>(std::min<uint64_t>(kChunkFrames, due - framesThisRun_));
            size_t made = Produce(frames);
            client_->CaptureData(bytes_.data(), made * format_.FrameBytes());
            framesThisRun_ += made;
        }
        wake_.wait_for(guard, kTick, [this] { return stopRequested_; });
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
        float value = samples_[i];
        if (format_.bits == 8) {
            long sample = std::clamp(std::lround(value * 128.0f) + 128, 0L, 255L);
            bytes_[i] = static_cast<uint8_t>(sample);
        } else {
            long sample = std::clamp(std::lround(value * 32768.0f), -32768L, 32767L);
            bytes_[2 * i] = static_cast<uint8_t>(sample & 0xFF);
            bytes_[2 * i + 1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
        }
    }
    return frames;
}

}  // namespace murmel
