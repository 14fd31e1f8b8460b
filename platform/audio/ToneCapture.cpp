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
    void Prepare(const CaptureFormat&) override { phase_ = 0; }
    size_t Generate(float* samples, size_t frames) override {
        const double step = 2.0 * M_PI * frequency_ / format().rate;
        for (size_t frame = 0; frame < frames; ++frame) {
            float value = kAmplitude * static_cast<float>(std::sin(phase_));
            for (unsigned channel = 0; channel < format().channels; ++channel) *samples++ = value;
            phase_ = std::fmod(phase_ + step, 2.0 * M_PI);
        }
        return frames;
    }

private:
    double frequency_;
    double phase_ = 0;
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeToneCapture(double frequency) {
    return std::make_unique<ToneCapture>(frequency);
}

}  // namespace murmel
