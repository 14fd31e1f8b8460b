#pragma once
// The voice track's waveform in the trim window, with the start and end marks; a
// press or drag moves the nearer mark. The keyboard moves them through the sliders.
#include <QWidget>
#include <vector>

#include "TrimSource.h"

class TrimWaveform : public QWidget {
    Q_OBJECT
  public:
    explicit TrimWaveform(QWidget* parent = nullptr);
    void SetPeaks(std::vector<murmel::WaveformPeak> peaks);
    void SetLength(int64_t lengthMs);
    void SetSelection(int64_t startMs, int64_t endMs);

  signals:
    void StartMoved(int64_t ms);
    void EndMoved(int64_t ms);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    int64_t MsAt(int x) const;
    int XAt(int64_t ms) const;
    void MoveMark(int x, bool choose);

    std::vector<murmel::WaveformPeak> peaks_;
    int64_t lengthMs_ = 0;
    int64_t startMs_ = 0;
    int64_t endMs_ = 0;
    bool movingStart_ = true;
};
