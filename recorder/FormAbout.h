#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TFormAbout;
}

// The about box: version, date, our web site and contact mailbox.
class TFormAbout : public QDialog {
    Q_OBJECT
  public:
    explicit TFormAbout(QWidget* parent = nullptr);
    ~TFormAbout() override;

  private:
    std::unique_ptr<Ui::TFormAbout> ui;
};
