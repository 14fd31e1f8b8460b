#include "FormSetup.h"

TFormSetup::TFormSetup(std::string, QWidget* parent) : QDialog(parent) {}
