#pragma once
// TMMACMConverter: the chain element that compresses the PCM it receives to the
// format last set as its PWaveFormat (a quality preset), through streams of the
// Audio Compression Manager, and hands the compressed bytes on in pieces.
#include <atomic>
#include <memory>

#include "MMDSPObj.h"

namespace murmel {

class EMMConverterError : public EMMError {
  public:
    using EMMError::EMMError;
};

enum class TMMACMQuality { cqHigh, cqLow };

class TMMACMConverter : public TMMDSPComponent {
  public:
    explicit TMMACMConverter(std::string name = "ACMConverter");
    ~TMMACMConverter() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    TMMACMQuality Quality() const { return quality_; }
    void SetQuality(TMMACMQuality quality);

    // Sets the destination (the preset); ignored for none and while loading or
    // being destroyed. What Output sees is PWaveFormat(): the destination when a
    // conversion is possible, else the input format.
    void SetPWaveFormat(const TWaveFormatEx* format) override;
    const TWaveFormatEx* DestinationFormat() const { return destination_.get(); }
    bool FormatsDiffer() const { return formatsDiffer_; }
    bool ConversionPossible() const { return conversionPossible_; }
    bool IsConverterOpen() const { return open_; }
    // Streams in the open conversion chain (0 when none): 1 direct, 2 via PCM.
    size_t StageCount() const;

    // Whether ACM reaches target from source, directly or through intermediate
    // PCM formats, without opening anything.
    static bool CanConvert(const TWaveFormatEx* source, const TWaveFormatEx* target,
                           TMMACMQuality quality);

    void Loaded() override;
    void InputFormatChanged(const TWaveFormatEx* format) override;
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void Reset() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

  private:
    struct Chain;

    void Recompute();
    void CloseChain();
    void HandOnOutput();
    void DrainCodecs();

    bool enabled_ = true;
    TMMACMQuality quality_ = TMMACMQuality::cqLow;
    bool reannouncing_ = false;
    WaveFormatPtr input_;
    WaveFormatPtr destination_;
    WaveFormatPtr effective_;
    bool formatsDiffer_ = false;
    std::atomic<bool> conversionPossible_{false};
    std::atomic<bool> open_{false};
    std::atomic<bool> converting_{false};
    std::unique_ptr<Chain> chain_;
    TWaveHdr outputHeader_{};
};

}  // namespace murmel
