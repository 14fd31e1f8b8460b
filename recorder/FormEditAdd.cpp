#include "FormEditAdd.h"

#include "ui_FormEditAdd.h"

TFormEditAdd::TFormEditAdd(QWidget* parent)
    : AddressDialog(parent), ui_(std::make_unique<Ui::TFormEditAdd>()) {
    ui_->setupUi(this);
    Connect();
}

TFormEditAdd::~TFormEditAdd() = default;
