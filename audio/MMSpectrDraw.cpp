// Drawing the spectrum's bars into its RGB image (declared in MMSpectr.h).
#include <algorithm>

#include "MMSpectr.h"

namespace murmel {

TMMColor TMMSpectrumImage::At(int x, int y) const {
    const size_t at =
        (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
    return {Pixels[at], Pixels[at + 1], Pixels[at + 2]};
}

namespace {

void Fill(TMMSpectrumImage& image, TMMColor color) {
    for (size_t i = 0; i + 2 < image.Pixels.size(); i += 3) {
        image.Pixels[i] = color.r;
        image.Pixels[i + 1] = color.g;
        image.Pixels[i + 2] = color.b;
    }
}

void Put(TMMSpectrumImage& image, int x, int y, TMMColor color) {
    const size_t at =
        (static_cast<size_t>(y) * static_cast<size_t>(image.Width) + static_cast<size_t>(x)) * 3;
    image.Pixels[at] = color.r;
    image.Pixels[at + 1] = color.g;
    image.Pixels[at + 2] = color.b;
}

}  // namespace

// Spot j (1 = bottom) of a bar: its columns less Space, a band SpotHeight high,
// SpotSpace apart, above the bottom margin. Dotted spots light every other pixel.
void TMMSpectrum::FillSpot(TMMSpectrumImage& image, const TMMSpectrumBar& bar, int spot,
                           TMMColor color, bool dotted) const {
    int left = bar.First, right = bar.End;
    if (right - left > config_.Space) {
        left += config_.Space / 2;
        right -= config_.Space - config_.Space / 2;
    }
    const int bottom =
        height_ - 1 - bottomMargin_ - (spot - 1) * (config_.SpotHeight + config_.SpotSpace);
    const int top = bottom - config_.SpotHeight + 1;
    for (int y = std::max(top, 0); y <= std::min(bottom, image.Height - 1); ++y)
        for (int x = std::max(left, 0); x < std::min(right, image.Width); ++x)
            Put(image, x, y, !dotted || (x + y) % 2 == 0 ? color : config_.Color);
}

void TMMSpectrum::DrawTemplate() {
    template_.Width = columns_;
    template_.Height = height_;
    template_.Pixels.assign(static_cast<size_t>(columns_) * static_cast<size_t>(height_) * 3, 0);
    Fill(template_, config_.Color);
    if (!config_.DrawInactive) return;
    for (const TMMSpectrumBar& bar : bars_) {
        for (int spot = 1; spot <= spots_; ++spot) {
            const TMMColor color = spot <= firstLimit_    ? config_.Inactive1Color
                                   : spot <= secondLimit_ ? config_.Inactive2Color
                                                          : config_.Inactive3Color;
            FillSpot(template_, bar, spot, color, config_.InactiveDoted);
        }
    }
}

void TMMSpectrum::Redraw() {
    image_ = template_;
    auto litColor = [&](int spot) {
        return spot <= firstLimit_    ? config_.Bar1Color
               : spot <= secondLimit_ ? config_.Bar2Color
                                      : config_.Bar3Color;
    };
    std::lock_guard<std::mutex> guard(barsLock_);
    for (const TMMSpectrumBar& bar : bars_) {
        const int lit = SpotsFor(bar.Height);
        for (int spot = 1; spot <= lit; ++spot)
            FillSpot(image_, bar, spot, litColor(spot), config_.ActiveDoted);
        if (bar.Peak > lit) {
            const int lowest = std::max(bar.Peak - config_.NumPeaks + 1, 1);
            for (int spot = std::min(bar.Peak, spots_); spot >= lowest; --spot)
                FillSpot(image_, bar, spot, litColor(spot), config_.ActiveDoted);
        }
    }
}

}  // namespace murmel
