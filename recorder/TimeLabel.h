#pragma once
#include <QLabel>
#include <QPixmap>

// The elapsed-time label: its text changes 20 times a second while recording. A
// plain label is transparent, so each change would repaint the group box and tab
// page under it as well. This one keeps a picture of what lies under it, taken
// again only when it moves, resizes or the look changes, and paints as opaque.
class TTimeLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TTimeLabel(QWidget* parent = nullptr);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void DropBackground();
    void TakeBackground();

    QPixmap background_;
    bool takingBackground_ = false;
    bool takePending_ = false;
};
