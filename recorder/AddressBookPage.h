#pragma once
#include <QObject>
#include <QWidget>
#include <string>

// The address-book page of the main window (TabSheet2).
class AddressBookPage : public QObject {
    Q_OBJECT
  public:
    AddressBookPage(QWidget* formMain, std::string programFolder);
    // Loads the address book into lstvuAddress; false when loading failed (the
    // error has been shown).
    bool LoadAddressBook();
};
