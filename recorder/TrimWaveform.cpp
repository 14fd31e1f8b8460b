#include "TrimWaveform.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

TrimWaveform::TrimWaveform(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TrimWaveform::SetPeaks(std::vector<murmel::WaveformPeak> peaks) {
    peaks_ = std::move(peaks);
    update();
}

void TrimWaveform::SetLength(int64_t lengthMs) {
    lengthMs_ = lengthMs;
    update();
}

void TrimWaveform::SetSelection(int64_t startMs, int64_t endMs) {
    startMs_ = startMs;
    endMs_ = endMs;
    update();
}

int64_t TrimWaveform::MsAt(int x) const {
    if (width() <= 1) return 0;
    return std::clamp<int64_t>(int64_t(x) * lengthMs_ / (width() - 1), 0, lengthMs_);
}

int TrimWaveform::XAt(int64_t ms) const {
    return lengthMs_ > 0 ? static_cast<int>(ms * (width() - 1) / lengthMs_) : 0;
}

void TrimWaveform::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int middle = height() / 2;
    const QColor outside = palette().color(QPalette::Mid);
    const QColor inside = palette().color(QPalette::Highlight);
    for (int x = 0; x < width() && !peaks_.empty(); ++x) {
        const auto& peak =
            peaks_[static_cast<size_t>(x) * peaks_.size() / static_cast<size_t>(width())];
        const int64_t ms = MsAt(x);
        painter.setPen(ms >= startMs_ && ms <= endMs_ ? inside : outside);
        painter.drawLine(x, middle - static_cast<int>(peak.high * middle), x,
                         middle - static_cast<int>(peak.low * middle));
    }
    painter.setPen(QPen(palette().color(QPalette::Text), 2));
    painter.drawLine(XAt(startMs_), 0, XAt(startMs_), height());
    painter.drawLine(XAt(endMs_), 0, XAt(endMs_), height());
}

void TrimWaveform::MoveMark(int x, bool choose) {
    if (choose) movingStart_ = std::abs(x - XAt(startMs_)) <= std::abs(x - XAt(endMs_));
    if (movingStart_)
        emit StartMoved(MsAt(x));
    else
        emit EndMoved(MsAt(x));
}

void TrimWaveform::mousePressEvent(QMouseEvent* event) {
    MoveMark(static_cast<int>(event->position().x()), true);
}

void TrimWaveform::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) MoveMark(static_cast<int>(event->position().x()), false);
}
