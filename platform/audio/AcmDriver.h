#pragma once
// The drivers behind our Audio Compression Manager (Acm.h): a PCM converter over
// libsoxr and an MPEG Layer-3 encoder over LAME are built in; tests may add local
// drivers, which are asked first, as local drivers were on the platform.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Acm.h"

namespace murmel {

// One open conversion, used by one thread at a time.
class AcmDriverStream {
  public:
    virtual ~AcmDriverStream() = default;
    // Answers acmStreamSize for this stream.
    virtual MMRESULT Size(uint32_t input, uint32_t* output, uint32_t fdwSize) const = 0;
    // Converts header.pbSrc[0..cbSrcLength) into header.pbDst[0..cbDstLength),
    // setting cbSrcLengthUsed and cbDstLengthUsed.
    virtual MMRESULT Convert(ACMSTREAMHEADER& header, uint32_t fdwConvert) = 0;
    virtual void Reset() {}
};

class AcmDriver {
  public:
    enum class Kind { Codec, Converter, Filter };
    virtual ~AcmDriver() = default;
    virtual Kind DriverKind() const = 0;
    // The largest format record this driver takes or produces, in bytes.
    virtual uint32_t MaxFormatSize() const = 0;
    virtual bool CanOpen(const WAVEFORMATEX& src, const WAVEFORMATEX& dst,
                         uint32_t fdwOpen) const = 0;
    // Fills dst (size bytes) as acmFormatSuggest describes, or ACMERR_NOTPOSSIBLE.
    virtual MMRESULT Suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst, uint32_t size,
                             uint32_t fdwSuggest) const = 0;
    // Only called after CanOpen agreed.
    virtual std::unique_ptr<AcmDriverStream> Open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst,
                                                  uint32_t fdwOpen) = 0;
};

// A stream that consumes all input on every call and queues what does not fit
// into the caller's destination for the next call.
class AcmQueuedStream : public AcmDriverStream {
  public:
    MMRESULT Convert(ACMSTREAMHEADER& header, uint32_t fdwConvert) final;
    void Reset() override;

  protected:
    // Appends the output for `size` input bytes to `output`; `end` drains every
    // sample still held. May throw; the caller turns that into an error result.
    virtual void Process(const uint8_t* input, size_t size, bool end,
                         std::vector<uint8_t>& output) = 0;

  private:
    std::vector<uint8_t> pending_;
    size_t pendingRead_ = 0;
};

std::shared_ptr<AcmDriver> MakeAcmPcmDriver();
std::shared_ptr<AcmDriver> MakeAcmMp3Driver();

// Local drivers are asked before the built-in ones, newest first.
void AcmAddLocalDriver(std::shared_ptr<AcmDriver> driver);
void AcmRemoveLocalDriver(const AcmDriver* driver);

// Shared checks of the drivers.
bool IsValidConverterPcm(const WAVEFORMATEX& format);

}  // namespace murmel
