// The PulseAudio capture device (also PipeWire's pulse server). Never starts a
// server of its own; a default source that only monitors a sink (a machine without
// a sound card) counts as no device unless it is named. The position counts what
// has arrived: the server's clock runs ahead of the data by the source's latency,
// which a source that hands over large lumps (a Bluetooth headset, a busy machine)
// makes seconds long.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "CaptureDevice.h"

namespace murmel {
namespace {

constexpr pa_usec_t kConnectTimeout =
    5 * PA_USEC_PER_SEC;                   // a hung server must not hang the recorder
constexpr uint32_t kFragmentBytes = 2048;  // one chain buffer, 11.6 ms at 44.1 kHz
// A running stream that hands over nothing for this long has a server that hangs.
constexpr pa_usec_t kSilentLimit = 3 * PA_USEC_PER_SEC;
constexpr pa_usec_t kWatchInterval = PA_USEC_PER_SEC / 2;
constexpr pa_usec_t kOperationTimeout = 3 * PA_USEC_PER_SEC;  // longest wait for one answer

// A connection to the server on a threaded main loop; every member runs with the
// loop locked unless said otherwise.
class PulseConnection {
  public:
    ~PulseConnection() { Disconnect(); }

    // Unlocked. False when there is no server (or it does not answer).
    bool Connect() {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) return false;
        Lock lock(loop_);
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Murmel");
        if (!context_) return false;
        pa_context_set_state_callback(context_, &PulseConnection::Signal, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        pa_time_event* timer = pa_context_rttime_new(context_, pa_rtclock_now() + kConnectTimeout,
                                                     &PulseConnection::TimedOut, this);
        for (;;) {
            pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) break;
            if (!PA_CONTEXT_IS_GOOD(state) || timedOut_) {
                if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
                return false;
            }
            pa_threaded_mainloop_wait(loop_);
        }
        if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        return true;
    }

    // Unlocked.
    void Disconnect() {
        if (loop_) pa_threaded_mainloop_stop(loop_);
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        if (loop_) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }

    // Unlocked. The source to record from: `named`, or the default source when it
    // is a real input; empty when there is none. Fills `description`.
    std::string ResolveSource(const std::string& named, std::string& description) {
        Lock lock(loop_);
        std::string name = named;
        if (name.empty()) {
            Wait(pa_context_get_server_info(context_, &PulseConnection::ServerInfo, this));
            name = defaultSource_;
            if (name.empty()) return "";
        }
        sourceFound_ = false;
        Wait(pa_context_get_source_info_by_name(context_, name.c_str(),
                                                &PulseConnection::SourceInfo, this));
        if (!sourceFound_ || (named.empty() && sourceIsMonitor_)) return "";
        description = sourceDescription_;
        return name;
    }

    // Unlocked. Every source, in the server's order.
    std::vector<CaptureSource> Sources() {
        Lock lock(loop_);
        sources_.clear();
        Wait(pa_context_get_source_info_list(context_, &PulseConnection::SourceListEntry, this));
        return sources_;
    }

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }
    std::string ErrorText() const {
        return context_ ? pa_strerror(pa_context_errno(context_)) : "No server";
    }

    // Waits, locked, until `finished` holds; false when the server did not get there
    // in time (a hung server must not hang the recorder).
    template <typename Finished>
    bool WaitUntil(Finished finished) {
        operationExpired_ = false;
        pa_time_event* timer = pa_context_rttime_new(context_, pa_rtclock_now() + kOperationTimeout,
                                                     &PulseConnection::OperationExpired, this);
        bool reached = false;
        while (!(reached = finished()) && !operationExpired_) pa_threaded_mainloop_wait(loop_);
        if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        return reached;
    }

    // Waits, locked, for an operation to finish; false when it failed or timed out.
    bool Wait(pa_operation* operation) {
        if (!operation) return false;
        WaitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        if (!done) pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return done;
    }

    struct Lock {
        explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) {
            pa_threaded_mainloop_lock(loop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        pa_threaded_mainloop* loop_;
    };

    static void Signal(pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

  private:
    static void TimedOut(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        connection->timedOut_ = true;
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }
    static void OperationExpired(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                 void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        connection->operationExpired_ = true;
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }
    static void ServerInfo(pa_context*, const pa_server_info* info, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        if (info && info->default_source_name)
            connection->defaultSource_ = info->default_source_name;
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }
    static void SourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        if (info && eol == 0) {
            connection->sourceFound_ = true;
            connection->sourceIsMonitor_ = info->monitor_of_sink != PA_INVALID_INDEX;
            connection->sourceDescription_ = info->description ? info->description : info->name;
        }
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }

    static void SourceListEntry(pa_context*, const pa_source_info* info, int eol, void* self) {
        auto* connection = static_cast<PulseConnection*>(self);
        if (info && eol == 0 && info->name)
            connection->sources_.push_back({info->name,
                                            info->description ? info->description : info->name,
                                            info->monitor_of_sink != PA_INVALID_INDEX});
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::vector<CaptureSource> sources_;
    bool timedOut_ = false;
    bool operationExpired_ = false;
    std::string defaultSource_;
    bool sourceFound_ = false;
    bool sourceIsMonitor_ = false;
    std::string sourceDescription_;
};

class PulseCapture : public CaptureDevice {
  public:
    explicit PulseCapture(std::string source) : requested_(std::move(source)) {}
    ~PulseCapture() override { Close(); }

    bool Probe() override {
        PulseConnection probe;
        if (!probe.Connect()) return false;
        std::string description;
        if (probe.ResolveSource(requested_, description).empty()) return false;
        productName_ = description;
        return true;
    }

    std::string ProductName() const override { return productName_; }

    bool CanRecord(const CaptureFormat& format) const override {
        return (format.bits == 8 || format.bits == 16) && format.channels >= 1 &&
               format.channels <= PA_CHANNELS_MAX && format.rate > 0 && format.rate <= PA_RATE_MAX;
    }

    void Open(const CaptureFormat& format, CaptureClient* client) override {
        Close();
        connection_ = std::make_unique<PulseConnection>();
        if (!connection_->Connect()) Fail("Connection to the sound server failed");
        std::string description;
        std::string source = connection_->ResolveSource(requested_, description);
        if (source.empty()) Fail("No wave audio recording device found");
        client_ = client;
        frameBytes_ = format.FrameBytes();
        received_ = read_ = 0;
        failed_ = false;
        std::string error;
        {
            PulseConnection::Lock lock(connection_->loop());
            error = OpenStream(format, source);
        }
        if (!error.empty()) {
            Close();
            throw CaptureError(error);
        }
    }

    void Start() override {
        if (!stream_) throw CaptureError("Device not open");
        PulseConnection::Lock lock(connection_->loop());
        lastData_ = pa_rtclock_now();
        delivering_ = true;
        if (!connection_->Wait(
                pa_stream_cork(stream_, 0, &PulseCapture::Done, connection_->loop()))) {
            delivering_ = false;
            throw CaptureError("The sound server does not answer");
        }
    }

    void Stop() override {
        if (!stream_) return;
        PulseConnection::Lock lock(connection_->loop());
        if (delivering_ && !failed_) AwaitCapturedSound();
        Drain();  // what the server has already handed over still belongs to the recording
        delivering_ = false;
        if (failed_) return;  // a dead or hung server answers nothing
        if (!connection_->Wait(
                pa_stream_cork(stream_, 1, &PulseCapture::Done, connection_->loop())))
            ReportFailure("no answer when the recording stopped");
    }

    uint64_t Position() override { return stream_ ? received_ / frameBytes_ : 0; }

    void Close() override {
        if (stream_) {
            PulseConnection::Lock lock(connection_->loop());
            delivering_ = false;
            if (watch_) pa_threaded_mainloop_get_api(connection_->loop())->time_free(watch_);
            watch_ = nullptr;
            pa_context_set_state_callback(connection_->context(), &PulseConnection::Signal,
                                          connection_->loop());
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        connection_.reset();
        client_ = nullptr;
    }

  private:
    [[noreturn]] void Fail(const std::string& text) {
        connection_.reset();
        throw CaptureError(text);
    }
    // Locked. Creates the corked record stream; returns the server's error text on failure.
    std::string OpenStream(const CaptureFormat& format, const std::string& source) {
        pa_sample_spec spec{format.bits == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE, format.rate,
                            static_cast<uint8_t>(format.channels)};
        stream_ = pa_stream_new(connection_->context(), "Murmel recording", &spec, nullptr);
        if (!stream_) return connection_->ErrorText();
        pa_stream_set_state_callback(stream_, &PulseCapture::StreamState, this);
        pa_stream_set_read_callback(stream_, &PulseCapture::Readable, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.fragsize = kFragmentBytes;
        auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_AUTO_TIMING_UPDATE |
                                           PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(stream_, source.c_str(), &attributes, flags) < 0)
            return connection_->ErrorText();
        bool settled = connection_->WaitUntil([this] {
            pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (!settled) return "The sound server does not answer";
        if (pa_stream_get_state(stream_) != PA_STREAM_READY) return connection_->ErrorText();
        // From here on a dying server or stream ends the recording instead of hanging it.
        pa_context_set_state_callback(connection_->context(), &PulseCapture::ContextState, this);
        watch_ = pa_context_rttime_new(connection_->context(), pa_rtclock_now() + kWatchInterval,
                                       &PulseCapture::Watch, this);
        return "";
    }

    // Loop thread. Tells the client once; the stream is dead from here on.
    void ReportFailure(const std::string& why) {
        if (failed_.exchange(true) || !client_) return;
        client_->DeviceFailed("the sound server stopped: " + why);
    }

    // Locked. The source has captured sound up to now that the server has not yet
    // handed over; the recording keeps it, waiting a bounded time for it to arrive.
    void AwaitCapturedSound() {
        if (!connection_->Wait(
                pa_stream_update_timing_info(stream_, &PulseCapture::Done, connection_->loop())))
            return;
        pa_usec_t time = 0;
        if (pa_stream_get_time(stream_, &time) < 0) return;
        const uint64_t target = pa_usec_to_bytes(time, pa_stream_get_sample_spec(stream_));
        connection_->WaitUntil([&] { return read_ >= target || failed_; });
    }

    // Loop thread (or locked): hands every readable fragment to the client; a hole
    // in the stream becomes silence of the same length.
    void Drain() {
        lastData_ = pa_rtclock_now();
        while (pa_stream_readable_size(stream_) > 0) {
            const void* data = nullptr;
            size_t size = 0;
            if (pa_stream_peek(stream_, &data, &size) < 0 || size == 0) break;
            if (delivering_ && client_) {
                client_->CaptureData(static_cast<const uint8_t*>(data), size);
                received_ += size;
            }
            pa_stream_drop(stream_);
            read_ += size;
        }
    }

    static void Readable(pa_stream*, size_t, void* self) {
        auto* capture = static_cast<PulseCapture*>(self);
        capture->Drain();
        pa_threaded_mainloop_signal(capture->connection_->loop(), 0);  // a stop may wait for it
    }
    static void StreamState(pa_stream* stream, void* self) {
        auto* capture = static_cast<PulseCapture*>(self);
        pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
            if (capture->watch_) capture->ReportFailure(capture->connection_->ErrorText());
        pa_threaded_mainloop_signal(capture->connection_->loop(), 0);
    }
    static void ContextState(pa_context* context, void* self) {
        auto* capture = static_cast<PulseCapture*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            capture->ReportFailure(pa_strerror(pa_context_errno(context)));
        pa_threaded_mainloop_signal(capture->connection_->loop(), 0);
    }
    // Every half second while open: a running stream must keep delivering.
    static void Watch(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* self) {
        auto* capture = static_cast<PulseCapture*>(self);
        pa_usec_t now = pa_rtclock_now();
        if (capture->delivering_ && now - capture->lastData_ > kSilentLimit)
            capture->ReportFailure("no sound arrived for " +
                                   std::to_string(kSilentLimit / PA_USEC_PER_SEC) + " seconds");
        pa_context_rttime_restart(capture->connection_->context(), event, now + kWatchInterval);
        pa_threaded_mainloop_signal(capture->connection_->loop(), 0);
    }
    static void Done(pa_stream*, int, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

    std::string requested_;
    std::string productName_;
    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    CaptureClient* client_ = nullptr;
    size_t frameBytes_ = 4;
    std::atomic<uint64_t> received_{0};  // bytes handed to the client since Open
    uint64_t read_ = 0;                  // bytes taken from the stream since Open, locked
    std::atomic<bool> delivering_{false};
    std::atomic<bool> failed_{false};
    pa_time_event* watch_ = nullptr;  // with the loop locked
    pa_usec_t lastData_ = 0;          // with the loop locked
};

}  // namespace

std::vector<CaptureSource> ListCaptureSources() {
    PulseConnection connection;
    if (!connection.Connect()) return {};
    std::vector<CaptureSource> sources = connection.Sources();
    std::stable_partition(sources.begin(), sources.end(),
                          [](const CaptureSource& source) { return !source.monitor; });
    return sources;
}

std::unique_ptr<CaptureDevice> MakePulseCapture(const std::string& sourceName) {
    return std::make_unique<PulseCapture>(sourceName);
}

}  // namespace murmel
