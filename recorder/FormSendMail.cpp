#include "FormSendMail.h"

#include <QFontMetrics>
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

void TFormSendMail::ShowReason(const std::string& reason) {
    QString text = LibraryText(reason);
    QFontMetrics metrics(ui_->lbReason->font());
    ui_->lbReason->setText(metrics.elidedText(text, Qt::ElideMiddle, ui_->lbReason->width()));
    ui_->lbReason->setToolTip(text);  // the whole line, also for screen readers
    ui_->lbReason->setAccessibleDescription(text);
    ui_->lbReason->show();
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
