#include "SpectrumWidget.h"

#include <QImage>
#include <QPainter>

#include "MMConect.h"

TMMSpectrumWidget::TMMSpectrumWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    spectrum_.SetConfig(murmel::TMMSpectrumConfig::Recorder());
    spectrum_.SetSize(kWidth, kHeight);
    spectrum_.ResetData();
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kFrameIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TMMSpectrumWidget::Tick);
}

void TMMSpectrumWidget::StartFeed(murmel::TMMSpectrumFeed* feed) {
    feed_ = feed;
    peakClock_.start();
    peakDue_ = kPeakIntervalMs;
    timer_.start();
}

void TMMSpectrumWidget::StopFeed() {
    timer_.stop();
    feed_ = nullptr;
    spectrum_.ResetData();
    shown_.clear();
    update();
}

void TMMSpectrumWidget::Tick() {
    bool changed = false;
    // One frame per pass, as the connector's refresh has always shown them: frames
    // that come due between two passes are skipped, which keeps the display in
    // step with the sound at a fraction of the work.
    if (feed_) changed = feed_->Refresh(spectrum_, murmel::TMMConnector::MicrosecondClock());
    bool peaksMoved = false;
    for (qint64 elapsed = peakClock_.elapsed(); elapsed >= peakDue_; peakDue_ += kPeakIntervalMs)
        peaksMoved = spectrum_.PeakTimer() || peaksMoved;
    if (peaksMoved) spectrum_.Redraw();
    if (!changed && !peaksMoved) return;
    // A steady sound or a pause often gives the picture already on the screen:
    // then there is nothing to draw.
    const std::vector<uint8_t>& pixels = spectrum_.Image().Pixels;
    if (pixels == shown_) return;
    shown_ = pixels;
    update();
}

void TMMSpectrumWidget::paintEvent(QPaintEvent*) {
    const murmel::TMMSpectrumImage& image = spectrum_.Image();
    QPainter painter(this);
    if (image.Width <= 0 || image.Height <= 0) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // The spectrum's own pixels, read in place: no copy per frame.
    const QImage frame(image.Pixels.data(), image.Width, image.Height, image.Width * 3,
                       QImage::Format_RGB888);
    painter.drawImage(0, 0, frame);
}
