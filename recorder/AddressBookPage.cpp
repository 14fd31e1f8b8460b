#include "AddressBookPage.h"

AddressBookPage::AddressBookPage(QWidget* formMain, std::string) : QObject(formMain) {}

bool AddressBookPage::LoadAddressBook() { return true; }
