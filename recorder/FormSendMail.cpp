#include "FormSendMail.h"

#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "LibraryText.h"
#include "ui_TFormSendMail.h"

TFormSendMail::TFormSendMail(QWidget* parent, murmel::SendSession& session)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormSendMail>()), session_(session) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui_->lbReason->hide();
    ui_->Button1->setFocus();
    connect(ui_->Button1, &QPushButton::clicked, this, &TFormSendMail::Button1Click);
}

TFormSendMail::~TFormSendMail() = default;

void TFormSendMail::ShowCaption(const std::string& caption) {
    setWindowTitle(LibraryText(caption));
}

// The whole reason, wrapped: the dialog grows downwards to hold it.
void TFormSendMail::ShowReason(const std::string& reason) {
    const QString text = LibraryText(reason);
    QLabel* label = ui_->lbReason;
    label->setWordWrap(true);
    label->setText(text);
    label->setToolTip(text);
    label->setAccessibleDescription(text);  // read out after its name, "失败原因"
    const int height = std::max(label->height(), label->heightForWidth(label->width()));
    label->resize(label->width(), height);
    const int bottom = label->y() + height + kReasonMargin;
    if (bottom > this->height()) {
        setMinimumHeight(bottom);
        resize(width(), bottom);
    }
    label->show();
}

void TFormSendMail::SetMaximum(int64_t maximum) {
    scale_ = 1;
    while (maximum / scale_ > INT_MAX) scale_ *= 1024;
    ui_->ProgressBar1->setMaximum(static_cast<int>(maximum / scale_));
}

void TFormSendMail::SetPosition(int64_t position) {
    int64_t value = position / scale_;
    ui_->ProgressBar1->setValue(
        static_cast<int>(std::min<int64_t>(value, ui_->ProgressBar1->maximum())));
}

void TFormSendMail::CloseAfterSuccess() {
    QTimer::singleShot(kSuccessShownMs, this, &QDialog::accept);
}

// Closes the connection at once: the job ends on its failure path.
void TFormSendMail::Button1Click() {
    session_.Cancel();
    reject();
}
