#pragma once
// "参数设置": the settings dialog. Filled from the settings file when it is made,
// written back on "确定(&O)" only; "自动设置" fills the server fields from the table
// of known mail domains.
#include <QDialog>
#include <memory>
#include <string>

#include "SettingsDialogModel.h"

class MicrophoneBox;

namespace Ui {
class TFormSetup;
}

class TFormSetup : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSetup(std::string programFolder, QWidget* parent = nullptr);
    ~TFormSetup() override;

  private:
    void FormCreate();
    void rbClick();
    void Button1Click();
    void Button2Click();
    void bitBtnAutoDectClick();

    void ShowValues(const murmel::SettingsDialogValues& values);
    murmel::SettingsDialogValues Values() const;

    std::unique_ptr<Ui::TFormSetup> ui_;
    murmel::SettingsDialogModel model_;
    MicrophoneBox* microphones_ = nullptr;
};
