#include "FormAbout.h"

#include "MailFooter.h"
#include "ui_TFormAbout.h"

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent), ui(new Ui::TFormAbout) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    ui->lbSite->setText(QString::fromLatin1(murmel::kWebSite));
    ui->lbMail->setText(QString::fromLatin1(murmel::kContactAddress));
    // The site label looks like a link and does nothing, as it always has.
    ui->lbSite->setCursor(Qt::PointingHandCursor);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

TFormAbout::~TFormAbout() = default;
