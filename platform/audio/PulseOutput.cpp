#include "PulseOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace murmel {
namespace {

constexpr pa_usec_t kBufferUsec = 150000;  // short enough that stop and volume act at once
// A stream the server asks nothing of for this long, before its end, has a server that hangs.
constexpr pa_usec_t kSilentLimit = 3 * PA_USEC_PER_SEC;

constexpr pa_usec_t kAnswerTimeout = 5 * PA_USEC_PER_SEC;  // a hung server must not hang the player

// Waits, with the loop locked, until `settled` holds or the server has not answered
// for kAnswerTimeout; returns whether it settled.
template <typename Settled>
bool WaitSettled(pa_threaded_mainloop* loop, pa_context* context, Settled settled) {
    struct Expiry {
        pa_threaded_mainloop* loop;
        bool expired = false;
    } expiry{loop};
    auto expire = [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
        auto* e = static_cast<Expiry*>(data);
        e->expired = true;
        pa_threaded_mainloop_signal(e->loop, 0);
    };
    pa_time_event* timer =
        pa_context_rttime_new(context, pa_rtclock_now() + kAnswerTimeout, expire, &expiry);
    bool reached = false;
    while (!(reached = settled()) && !expiry.expired) pa_threaded_mainloop_wait(loop);
    if (timer) pa_threaded_mainloop_get_api(loop)->time_free(timer);
    return reached;
}

// Holds the main loop's lock for a scope (not for use on the loop's own thread).
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }

  private:
    pa_threaded_mainloop* loop_;
};

class PulseStream : public AudioStream {
  public:
    PulseStream(pa_threaded_mainloop* loop, pa_context* context, StreamFormat format,
                std::shared_ptr<AudioSource> source)
        : loop_(loop), format_(format), source_(std::move(source)) {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(format.sampleRate),
                            static_cast<uint8_t>(format.channels)};
        if (!pa_sample_spec_valid(&spec)) throw EAudioOutputError("Unsupported stream format");
        LoopLock lock(loop_);
        stream_ = pa_stream_new(context, "Murmel", &spec, nullptr);
        if (!stream_) throw Failure(context, "pa_stream_new");
        pa_stream_set_state_callback(stream_, OnState, this);
        pa_stream_set_write_callback(stream_, OnWrite, this);
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xFF, sizeof attributes);  // (uint32_t)-1: server's choice
        attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kBufferUsec, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) <
            0) {
            EAudioOutputError error = Failure(context, "pa_stream_connect_playback");
            Release();
            throw error;
        }
        const bool settled = WaitSettled(loop_, context, [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (!settled || pa_stream_get_state(stream_) != PA_STREAM_READY) {
            EAudioOutputError error = settled
                                          ? Failure(context, "pa_stream_connect_playback")
                                          : EAudioOutputError("the sound server does not answer");
            Release();
            throw error;
        }
    }

    ~PulseStream() override {
        LoopLock lock(loop_);
        Release();
    }

    int64_t FramesHeard() const override {
        LoopLock lock(loop_);
        pa_usec_t usec = 0;
        if (!stream_ || pa_stream_get_time(stream_, &usec) < 0) return 0;
        const int64_t frames =
            static_cast<int64_t>(usec * static_cast<uint64_t>(format_.sampleRate) / 1000000);
        return std::min(frames, written_.load());
    }

    bool Drained() const override { return drained_; }

    std::string Failure() const override {
        LoopLock lock(loop_);
        if (failure_.empty() && !ended_ && pa_rtclock_now() - lastWrite_ > kSilentLimit)
            return "the sound server stopped: no answer for " +
                   std::to_string(kSilentLimit / PA_USEC_PER_SEC) + " seconds";
        return failure_;
    }

  private:
    static EAudioOutputError Failure(pa_context* context, const char* call) {
        return EAudioOutputError(std::string(call) + ":\n\r" +
                                 pa_strerror(pa_context_errno(context)));
    }

    void Release() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        if (drain_) {  // its callback must not reach a destroyed stream
            pa_operation_cancel(drain_);
            pa_operation_unref(drain_);
            drain_ = nullptr;
        }
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void OnState(pa_stream* stream, void* self) {
        auto* me = static_cast<PulseStream*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            if (me->failure_.empty())
                me->failure_ = std::string("the sound server stopped: ") +
                               pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
            me->drained_ = true;  // a dead stream has ended
        }
        pa_threaded_mainloop_signal(me->loop_, 0);
    }

    static void OnWrite(pa_stream* stream, size_t bytes, void* self) {
        static_cast<PulseStream*>(self)->Write(stream, bytes);
    }

    void Write(pa_stream* stream, size_t bytes) {
        lastWrite_ = pa_rtclock_now();
        if (ended_) return;
        const size_t frameBytes = sizeof(float) * static_cast<size_t>(format_.channels);
        void* data = nullptr;
        if (pa_stream_begin_write(stream, &data, &bytes) < 0 || !data) return;
        const size_t wanted = bytes / frameBytes;
        const size_t got = wanted ? source_->Pull(static_cast<float*>(data), wanted) : 0;
        if (got > 0) {
            pa_stream_write(stream, data, got * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            written_ += static_cast<int64_t>(got);
        } else {
            pa_stream_cancel_write(stream);
        }
        if (got < wanted) {
            ended_ = true;
            drain_ = pa_stream_drain(stream, OnDrained, this);
        }
    }

    static void OnDrained(pa_stream*, int, void* self) {
        static_cast<PulseStream*>(self)->drained_ = true;
    }

    pa_threaded_mainloop* loop_;
    StreamFormat format_;
    std::shared_ptr<AudioSource> source_;
    pa_stream* stream_ = nullptr;
    pa_operation* drain_ = nullptr;
    std::atomic<int64_t> written_{0};
    bool ended_ = false;                      // loop thread only
    std::string failure_;                     // with the loop locked
    pa_usec_t lastWrite_ = pa_rtclock_now();  // with the loop locked
    std::atomic<bool> drained_{false};
};

void OnContextState(pa_context*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

PulseOutput::PulseOutput() {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) throw EAudioOutputError("pa_threaded_mainloop_new failed");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Murmel");
    pa_context_set_state_callback(context_, OnContextState, loop_);
    std::string failure;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0) {
        failure = pa_strerror(pa_context_errno(context_));
    } else {
        LoopLock lock(loop_);
        const bool settled = WaitSettled(loop_, context_, [this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (!settled)
            failure = "the server does not answer";
        else if (pa_context_get_state(context_) != PA_CONTEXT_READY)
            failure = pa_strerror(pa_context_errno(context_));
    }
    if (!failure.empty()) {
        Close();
        throw EAudioOutputError("no sound server: " + failure);
    }
}

PulseOutput::~PulseOutput() { Close(); }

void PulseOutput::Close() {
    if (loop_) pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    if (loop_) pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

std::unique_ptr<AudioStream> PulseOutput::Play(StreamFormat format,
                                               std::shared_ptr<AudioSource> source) {
    return std::make_unique<PulseStream>(loop_, context_, format, std::move(source));
}

}  // namespace murmel
