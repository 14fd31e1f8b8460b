#include "AddressDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "AccessibleNames.h"
#include "AddressBook.h"
#include "FaceImages.h"

namespace murmel {

AddressDialog::AddressDialog(QWidget* parent) : QDialog(parent) { InstallAccessibleNames(); }

void AddressDialog::Connect() {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    name_ = findChild<QLineEdit*>("edtName");
    email_ = findChild<QLineEdit*>("edtEmail");
    faces_ = findChild<QComboBox*>("ComboxEx");
    FillFaceBox(faces_);
    SetEntry(AddressBook::kDefaultFace, {}, {});
    connect(findChild<QPushButton*>("btnOK"), &QPushButton::clicked, this, &AddressDialog::OkClick);
    connect(findChild<QPushButton*>("btnCancel"), &QPushButton::clicked, this, &QDialog::reject);
}

void AddressDialog::SetEntry(int face, const QString& name, const QString& email) {
    keptFace_ = face;
    faces_->setCurrentIndex(face >= 0 && face < faces_->count() ? face : -1);
    name_->setText(name);
    email_->setText(email);
}

int AddressDialog::Face() const {
    return faces_->currentIndex() >= 0 ? faces_->currentIndex() : keptFace_;
}

QString AddressDialog::Name() const { return name_->text(); }

QString AddressDialog::Email() const { return email_->text(); }

void AddressDialog::OkClick() {
    if (!save_ || save_(*this)) accept();
}

}  // namespace murmel
