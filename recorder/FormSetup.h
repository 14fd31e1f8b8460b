#pragma once
#include <QDialog>
#include <string>

// The settings dialog.
class TFormSetup : public QDialog {
    Q_OBJECT
  public:
    TFormSetup(std::string programFolder, QWidget* parent = nullptr);
};
