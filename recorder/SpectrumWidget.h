#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "MMSpectr.h"
#include "MMSpectrFeed.h"

// MMSpectrum2: the bar spectrum of the microphone sound. While the connector's
// feed runs, a timer at screen rate makes one refresh pass of the feed (at most one
// due frame) and lets held peaks fall every 25 ms; between recordings it shows
// unlit spots.
class TMMSpectrumWidget : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 315, kHeight = 43;
    static constexpr int kFrameIntervalMs = 16;  // about one screen refresh
    static constexpr int kPeakIntervalMs = 25;

    explicit TMMSpectrumWidget(QWidget* parent = nullptr);

    murmel::TMMSpectrum& Spectrum() { return spectrum_; }
    // The connector's display feed started / stopped (main thread).
    void StartFeed(murmel::TMMSpectrumFeed* feed);
    void StopFeed();
    bool Running() const { return timer_.isActive(); }
    QSize sizeHint() const override { return {kWidth, kHeight}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    void Tick();

    murmel::TMMSpectrum spectrum_;
    murmel::TMMSpectrumFeed* feed_ = nullptr;
    QTimer timer_;
    std::vector<uint8_t> shown_;  // the picture last handed to the screen
    QElapsedTimer peakClock_;
    qint64 peakDue_ = 0;
};
