#include "MMACMCvt.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Acm.h"

namespace murmel {
namespace {

constexpr char kCannotConvert[] = "Unable to convert to destination format";
constexpr uint32_t kSuggestBufferSize = 1025;  // what acmFormatSuggest is told R holds
constexpr int32_t kMaxBlockSize = 8192;        // bytes handed to ACM per conversion step
constexpr int32_t kMinBlockSize = 65536;
constexpr int kMaxDrainRounds = 10000;  // a codec that never runs dry must not hang the stop

bool AcmUsable() { return (acmGetVersion() >> 16) >= 0x0200; }

// A format record in the ACM layer's own type: the bytes of a TWaveFormatEx copied
// into storage of WAVEFORMATEX, with room for extra bytes.
class AcmFormat {
  public:
    AcmFormat() = default;
    explicit AcmFormat(size_t capacity) : storage_((capacity + 17) / 18) {}
    static AcmFormat From(const TWaveFormatEx* format) {
        std::vector<uint8_t> bytes = WaveFormatBytes(format);
        AcmFormat copy(bytes.size());
        std::memcpy(copy.storage_.data(), bytes.data(), bytes.size());
        return copy;
    }
    WAVEFORMATEX* get() { return storage_.data(); }
    const WAVEFORMATEX* get() const { return storage_.data(); }
    WaveFormatPtr ToWaveFormat() const {
        const auto* bytes = reinterpret_cast<const uint8_t*>(storage_.data());
        return WaveFormatFromBytes(bytes, storage_.size() * sizeof(WAVEFORMATEX));
    }
    bool Differs(const AcmFormat& other) const {
        const WAVEFORMATEX &a = *get(), &b = *other.get();
        return a.wFormatTag != b.wFormatTag || a.wBitsPerSample != b.wBitsPerSample ||
               a.nChannels != b.nChannels || a.nSamplesPerSec != b.nSamplesPerSec;
    }

  private:
    std::vector<WAVEFORMATEX> storage_;
};

uint32_t QueryFlags(TMMACMQuality quality) {
    return ACM_STREAMOPENF_QUERY |
           (quality == TMMACMQuality::cqHigh ? ACM_STREAMOPENF_NONREALTIME : 0);
}

bool Query(const AcmFormat& from, const AcmFormat& to, uint32_t flags) {
    return acmStreamOpen(nullptr, nullptr, from.get(), to.get(), nullptr, 0, 0, flags) ==
           MMSYSERR_NOERROR;
}

// The PCM format to pass through when the codec cannot take the source directly.
bool FindIntermediate(const AcmFormat& source, const AcmFormat& target, uint32_t flags,
                      AcmFormat& result) {
    const WAVEFORMATEX& s = *source.get();
    const WAVEFORMATEX& t = *target.get();
    result = AcmFormat(kSuggestBufferSize);
    WAVEFORMATEX& r = *result.get();
    if (s.wFormatTag == kAcmTagPcm) {
        if (t.nChannels == s.nChannels && t.nSamplesPerSec == s.nSamplesPerSec) return false;
        r.nChannels = t.nChannels;
        r.nSamplesPerSec = t.nSamplesPerSec;
        constexpr uint32_t kShape =
            ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC;
        if (acmFormatSuggest(nullptr, &s, &r, kSuggestBufferSize, kShape) != MMSYSERR_NOERROR)
            return false;
        if (!Query(result, target, flags)) {
            r.wBitsPerSample = r.wBitsPerSample == 16 ? 8 : 16;
            if (acmFormatSuggest(nullptr, &s, &r, kSuggestBufferSize,
                                 kShape | ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != MMSYSERR_NOERROR)
                return false;
        }
        return true;
    }
    r.wFormatTag = kAcmTagPcm;
    r.nChannels = t.nChannels;
    r.nSamplesPerSec = t.nSamplesPerSec;
    constexpr uint32_t kTag = ACM_FORMATSUGGESTF_WFORMATTAG;
    return acmFormatSuggest(nullptr, &s, &r, kSuggestBufferSize,
                            kTag | ACM_FORMATSUGGESTF_NCHANNELS |
                                ACM_FORMATSUGGESTF_NSAMPLESPERSEC) == MMSYSERR_NOERROR ||
           acmFormatSuggest(nullptr, &s, &r, kSuggestBufferSize, kTag) == MMSYSERR_NOERROR;
}

// The formats a conversion passes through, source first and target last; empty
// when ACM cannot reach the target. Depth is bounded: an intermediate format
// always has the target's rate and channels, so it needs no further one.
std::vector<AcmFormat> PlanRoute(const AcmFormat& source, const AcmFormat& target, uint32_t flags,
                                 int depth = 0) {
    if (Query(source, target, flags)) return {source, target};
    AcmFormat intermediate;
    if (depth > 2 || !FindIntermediate(source, target, flags, intermediate) ||
        !Query(source, intermediate, flags))
        return {};
    if (!intermediate.Differs(target)) return {source, intermediate};
    std::vector<AcmFormat> rest = PlanRoute(intermediate, target, flags, depth + 1);
    if (rest.empty()) return {};
    rest.insert(rest.begin(), source);
    return rest;
}

}  // namespace

// ---------------------------------------------------------------------------
// The opened streams of one recording.

struct TMMACMConverter::Chain {
    struct Stage {
        HACMSTREAM handle = nullptr;
        uint8_t* source = nullptr;  // the chain's input buffer or the previous stage's destination
        uint32_t sourceSize = 0;
        std::vector<uint8_t> destination;
        std::vector<uint8_t> kept;  // source bytes the codec left for the next step
        uint32_t leftover = 0;
        ACMSTREAMHEADER header{};
        bool prepared = false;
    };

    std::vector<uint8_t> input;
    uint32_t maxStep = 0;
    uint8_t* output = nullptr;
    uint32_t available = 0;
    uint32_t readPosition = 0;
    bool leftover = false;
    bool absorbed = false;
    std::vector<std::unique_ptr<Stage>> stages;

    ~Chain() {
        for (auto stage = stages.rbegin(); stage != stages.rend(); ++stage) Release(**stage);
    }

    static void Release(Stage& stage) {
        if (stage.prepared) {
            stage.header.cbSrcLength = static_cast<uint32_t>(stage.header.dwSrcUser);
            stage.header.cbDstLength = static_cast<uint32_t>(stage.header.dwDstUser);
            acmStreamUnprepareHeader(stage.handle, &stage.header, 0);
            stage.prepared = false;
        }
        if (stage.handle) acmStreamClose(stage.handle, 0);
        stage.handle = nullptr;
    }

    bool AddStage(const AcmFormat& from, const AcmFormat& to, uint32_t openFlags) {
        auto stage = std::make_unique<Stage>();
        if (acmStreamOpen(&stage->handle, nullptr, from.get(), to.get(), nullptr, 0, 0,
                          openFlags) != MMSYSERR_NOERROR)
            return false;
        if (stages.empty()) {
            input.assign(size_t{4} * maxStep, 0);
            stage->source = input.data();
            stage->sourceSize = static_cast<uint32_t>(input.size());
        } else {
            stage->source = stages.back()->destination.data();
            stage->sourceSize = static_cast<uint32_t>(stages.back()->destination.size());
        }
        uint32_t destinationSize = 0;
        if (acmStreamSize(stage->handle, stage->sourceSize, &destinationSize,
                          ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR ||
            destinationSize == 0) {
            Release(*stage);
            return false;
        }
        stage->destination.assign(destinationSize, 0);
        stage->kept.assign(stage->sourceSize, 0);
        ACMSTREAMHEADER& header = stage->header;
        header.cbStruct = sizeof(ACMSTREAMHEADER);
        header.pbSrc = stage->source;
        header.cbSrcLength = stage->sourceSize;
        header.dwSrcUser = stage->sourceSize;
        header.pbDst = stage->destination.data();
        header.cbDstLength = destinationSize;
        header.dwDstUser = destinationSize;
        if (acmStreamPrepareHeader(stage->handle, &header, 0) != MMSYSERR_NOERROR) {
            Release(*stage);
            return false;
        }
        stage->prepared = true;
        output = stage->destination.data();
        stages.push_back(std::move(stage));
        return true;
    }

    // Puts the bytes the stage kept first, then runs one conversion of the stage.
    static bool ConvertStage(Stage& stage, uint32_t in, bool end) {
        // A codec that keeps more than its source buffer holds cannot go on.
        if (uint64_t{in} + stage.leftover > stage.sourceSize) return false;
        if (stage.leftover > 0) {
            std::memmove(stage.source + stage.leftover, stage.source, in);
            std::memcpy(stage.source, stage.kept.data(), stage.leftover);
        }
        stage.header.cbSrcLength = in + stage.leftover;
        uint32_t flags = end ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
        if (acmStreamConvert(stage.handle, &stage.header, flags) != MMSYSERR_NOERROR) return false;
        // Conversion is synchronous: the header is done when the call returns.
        return (stage.header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE) != 0;
    }

    // Converts `count` bytes placed at the start of the input buffer through every
    // stage; the stage endStage (if any) is told that its input has ended. Returns
    // the bytes the last stage produced, or -1 on failure. A failure clears the
    // leftover and absorbed flags, so that what an earlier stage kept in this step
    // cannot make the failure look like a codec still filling up.
    int64_t Step(uint32_t count, size_t endStage = SIZE_MAX) {
        uint32_t in = std::min(count, maxStep);
        leftover = absorbed = false;
        for (size_t i = 0; i < stages.size(); ++i) {
            Stage& stage = *stages[i];
            if (!ConvertStage(stage, in, i == endStage)) {
                leftover = absorbed = false;
                return -1;
            }
            uint32_t used = std::min(stage.header.cbSrcLengthUsed, stage.header.cbSrcLength);
            uint32_t out = std::min(stage.header.cbDstLengthUsed, stage.header.cbDstLength);
            stage.leftover = stage.header.cbSrcLength - used;
            if (stage.leftover > 0) {
                std::memcpy(stage.kept.data(), stage.source + used, stage.leftover);
                leftover = true;
            } else if (out == 0 && used > 0) {
                absorbed = true;
            }
            in = out;
        }
        available = in;
        readPosition = 0;
        return in;
    }
};

// ---------------------------------------------------------------------------

TMMACMConverter::TMMACMConverter(std::string name) : TMMDSPComponent(std::move(name)) {}

TMMACMConverter::~TMMACMConverter() {
    converting_ = false;
    chain_.reset();
}

size_t TMMACMConverter::StageCount() const { return chain_ ? chain_->stages.size() : 0; }

void TMMACMConverter::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Recompute();
}

void TMMACMConverter::SetQuality(TMMACMQuality quality) {
    if (quality_ == quality) return;
    quality_ = quality;
    Recompute();
}

void TMMACMConverter::SetPWaveFormat(const TWaveFormatEx* format) {
    if (reannouncing_) {  // the base's Loaded hands the own format on once more
        AssignWaveFormat(format);
        return;
    }
    if (!format || Loading() || Destroying()) return;
    destination_ = CopyWaveFormat(format);
    Recompute();
}

void TMMACMConverter::Loaded() {
    reannouncing_ = true;
    TMMDSPComponent::Loaded();
    reannouncing_ = false;
}

void TMMACMConverter::InputFormatChanged(const TWaveFormatEx* format) {
    if (format != input_.get()) input_ = CopyWaveFormat(format);
    Recompute();
}

void TMMACMConverter::Recompute() {
    formatsDiffer_ = false;
    conversionPossible_ = false;
    if (input_ && enabled_) {
        effective_ = CopyWaveFormat(destination_.get());
        if (WaveFormatsDiffer(input_.get(), effective_.get())) {
            formatsDiffer_ = true;
            if (CanConvert(input_.get(), effective_.get(), quality_)) {
                conversionPossible_ = true;
                AssignWaveFormat(effective_.get());
                return;
            }
        }
    }
    AssignWaveFormat(input_.get());
}

bool TMMACMConverter::CanConvert(const TWaveFormatEx* source, const TWaveFormatEx* target,
                                 TMMACMQuality quality) {
    if (!AcmUsable() || !source) return false;
    if (!WaveFormatsDiffer(source, target)) return true;
    return !PlanRoute(AcmFormat::From(source), AcmFormat::From(target), QueryFlags(quality))
                .empty();
}

// ---------------------------------------------------------------------------
// Lifecycle

void TMMACMConverter::Opened() {
    if (!open_ && enabled_) {
        if (formatsDiffer_) {
            if (conversionPossible_) {
                const TWaveFormatEx* source = input_.get();
                int32_t blockSize = std::min(kMaxBlockSize, std::max(BufferSize(), kMinBlockSize));
                auto chain = std::make_unique<Chain>();
                // A block bigger than the step (or none at all) would leave nothing to convert.
                if (source->nBlockAlign > 0)
                    chain->maxStep = source->nBlockAlign *
                                     (static_cast<uint32_t>(blockSize) / source->nBlockAlign);
                std::vector<AcmFormat> route;
                if (chain->maxStep > 0)
                    route = PlanRoute(AcmFormat::From(source), AcmFormat::From(PWaveFormat()),
                                      QueryFlags(quality_));
                uint32_t openFlags =
                    quality_ == TMMACMQuality::cqHigh ? ACM_STREAMOPENF_NONREALTIME : 0;
                bool complete = !route.empty();
                for (size_t i = 0; complete && i + 1 < route.size(); ++i)
                    complete = chain->AddStage(route[i], route[i + 1], openFlags);
                if (complete)
                    chain_ = std::move(chain);
                else
                    conversionPossible_ = false;
            }
            if (!conversionPossible_) throw EMMConverterError(kCannotConvert);
        }
        open_ = true;
    }
    TMMDSPComponent::Opened();
}

void TMMACMConverter::Started() {
    TMMDSPComponent::Started();
    if (open_ && !converting_) converting_ = true;
}

void TMMACMConverter::Stopped() {
    if (converting_) {
        DrainCodecs();
        converting_ = false;
        if (chain_) chain_->readPosition = chain_->available;
    }
    TMMDSPComponent::Stopped();
}

void TMMACMConverter::Closed() {
    if (open_) {
        Stopped();
        open_ = false;
        CloseChain();
    }
    TMMDSPComponent::Closed();
}

void TMMACMConverter::CloseChain() { chain_.reset(); }

void TMMACMConverter::Reset() {
    if (!chain_) return;
    for (auto& stage : chain_->stages) {
        acmStreamReset(stage->handle, 0);
        stage->leftover = 0;
    }
}

// ---------------------------------------------------------------------------
// Conversion (capture thread)

void TMMACMConverter::BufferReady(PWaveHdr lpWaveHdr) {
    if (!open_ || !converting_) {
        TMMDSPComponent::BufferReady(lpWaveHdr);
        return;
    }
    if (!Output()) return;
    if (!conversionPossible_ || !chain_) {
        TMMDSPComponent::BufferReady(lpWaveHdr);
        return;
    }
    uint32_t remaining = lpWaveHdr->dwBytesRecorded;
    uint32_t offset = 0;
    while (converting_ && remaining >= 1) {
        uint32_t step = std::min(remaining, chain_->maxStep);
        std::memcpy(chain_->input.data(), lpWaveHdr->lpData + offset, step);
        int64_t produced;
        try {
            produced = chain_->Step(step);
        } catch (...) {
            conversionPossible_ = false;
            throw;
        }
        offset += step;
        remaining -= step;
        if (produced < 1 && !chain_->leftover && !chain_->absorbed) {
            conversionPossible_ = false;
            throw EMMConverterError(kCannotConvert);
        }
        HandOnOutput();
    }
}

// Hands the last step's output on in pieces of at most the effective buffer size,
// pointing into the last stage's buffer.
void TMMACMConverter::HandOnOutput() {
    Chain& chain = *chain_;
    const uint32_t pieceSize = static_cast<uint32_t>(std::max(EffectiveBufferSize(), 1));
    while (converting_ && chain.readPosition < chain.available) {
        uint32_t piece = std::min(chain.available - chain.readPosition, pieceSize);
        outputHeader_ = TWaveHdr{};
        outputHeader_.lpData = reinterpret_cast<char*>(chain.output + chain.readPosition);
        outputHeader_.dwBufferLength = outputHeader_.dwBytesRecorded = piece;
        chain.readPosition += piece;
        if (OnBufferReady) OnBufferReady(this, &outputHeader_);
        DeliverBuffer(&outputHeader_);
    }
}

// At the stop every stage gives up the sound it still holds (resampler history,
// the encoder's last frames), first stage first, and the result goes down the
// chain while the file writer still takes it. A stage is told the end only once
// the stage before it has run dry, so no input ever follows its end.
void TMMACMConverter::DrainCodecs() {
    if (!conversionPossible_ || !chain_ || !Output()) return;
    Chain& chain = *chain_;
    size_t dry = 0;  // stages known to hold nothing more
    try {
        for (int round = 0; round < kMaxDrainRounds && dry < chain.stages.size() && converting_;
             ++round) {
            if (chain.Step(0, dry) < 0) break;
            // Told the end with nothing coming from before it, it yields nothing: dry.
            const auto& stage = *chain.stages[dry];
            if (stage.header.cbDstLengthUsed == 0 && stage.leftover == 0) ++dry;
            HandOnOutput();
        }
    } catch (...) {
        // The recording is complete without its last milliseconds; the stop goes on.
        conversionPossible_ = false;
    }
}

}  // namespace murmel
