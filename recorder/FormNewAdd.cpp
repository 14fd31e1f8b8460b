#include "FormNewAdd.h"

#include "ui_FormNewAdd.h"

TFormNewAdd::TFormNewAdd(QWidget* parent)
    : AddressDialog(parent), ui_(std::make_unique<Ui::TFormNewAdd>()) {
    ui_->setupUi(this);
    Connect();
}

TFormNewAdd::~TFormNewAdd() = default;
