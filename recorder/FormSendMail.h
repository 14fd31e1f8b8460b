#pragma once
#include <QDialog>
#include <memory>

#include "SendSession.h"

namespace Ui {
class TFormSendMail;
}

// The progress dialog of one own-SMTP send: caption, bar, cancel, and under a
// failure the reason in one line.
class TFormSendMail : public QDialog, public murmel::SendSessionView {
    Q_OBJECT
  public:
    // How long "邮件发送成功" stays up before the dialog closes itself.
    static constexpr int kSuccessShownMs = 800;
    static constexpr int kReasonMargin = 6;  // below the reason, to the dialog's edge

    TFormSendMail(QWidget* parent, murmel::SendSession& session);
    ~TFormSendMail() override;

    void ShowCaption(const std::string& caption) override;
    void ShowReason(const std::string& reason) override;
    void SetMaximum(int64_t maximum) override;
    void SetPosition(int64_t position) override;
    void CloseAfterSuccess() override;

  private slots:
    void Button1Click();

  private:
    std::unique_ptr<Ui::TFormSendMail> ui_;
    murmel::SendSession& session_;
    int64_t scale_ = 1;  // the bar counts in int; larger bodies count in units
};
