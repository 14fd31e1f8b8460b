#pragma once
// "新建地址": a new entry, face 28 chosen at the start.
#include <memory>

#include "AddressDialog.h"

namespace Ui {
class TFormNewAdd;
}

class TFormNewAdd : public murmel::AddressDialog {
    Q_OBJECT
  public:
    explicit TFormNewAdd(QWidget* parent = nullptr);
    ~TFormNewAdd() override;

  private:
    std::unique_ptr<Ui::TFormNewAdd> ui_;
};
