#pragma once
// "修改地址": the selected entry, filled in by the address page.
#include <memory>

#include "AddressDialog.h"

namespace Ui {
class TFormEditAdd;
}

class TFormEditAdd : public murmel::AddressDialog {
    Q_OBJECT
  public:
    explicit TFormEditAdd(QWidget* parent = nullptr);
    ~TFormEditAdd() override;

  private:
    std::unique_ptr<Ui::TFormEditAdd> ui_;
};
