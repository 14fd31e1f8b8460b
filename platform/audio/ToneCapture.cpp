// A sine tone at real-time pace, half of full scale on every channel: makes the
// chain testable, and audible, without a microphone.
#include <cmath>

#include "PacedCapture.h"

namespace murmel {
namespace {

constexpr float kAmplitude = 0.5f;

class ToneCapture : public PacedCapture {
public:
    explicit ToneCapture(double frequency) : PacedCapture(true), frequency_(frequency) {}
    bool Probe() override { return true; }
    std::string ProductName() const override {
        return "Tone " + std::to_string(static_cast<long>(frequency_)) + " Hz";
    }

protected:
    void Prepare(const CaptureFormat&) override { made_ = 0; }
    // A turning phasor instead of a sine per sample; it starts again from the
    // exact phase once a second so rounding cannot add up.
    size_t Generate(float* samples, size_t frames) override {
        const double step = 2.0 * M_PI * frequency_ / format().rate;
        const double turnCos = std::cos(step), turnSin = std::sin(step);
        for (size_t frame = 0; frame < frames; ++frame, ++made_) {
            if (made_ % format().rate == 0) {
                const double phase = std::fmod(step * double(made_), 2.0 * M_PI);
                cos_ = std::cos(phase);
                sin_ = std::sin(phase);
            }
            const float value = kAmplitude * static_cast<float>(sin_);
            for (unsigned channel = 0; channel < format().channels; ++channel) *samples++ = value;
            const double nextCos = cos_ * turnCos - sin_ * turnSin;
            sin_ = sin_ * turnCos + cos_ * turnSin;
            cos_ = nextCos;
        }
        return frames;
    }

private:
    double frequency_;
    uint64_t made_ = 0;
    double cos_ = 1.0, sin_ = 0.0;
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeToneCapture(double frequency) {
    return std::make_unique<ToneCapture>(frequency);
}

}  // namespace murmel
