#pragma once
// The behaviour of the page "地址薄" of the main window: the tool bar, the popup
// menu "pmAddress", the sortable list "lstvuAddress" with its faces, and the
// commands new, edit, delete and write to. The widgets belong to the main window's
// form; this class finds them by name and drives them from the AddressBook core.
#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "AddressBook.h"

class QAction;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;

class AddressBookPage : public QObject {
    Q_OBJECT
  public:
    AddressBookPage(QWidget* formMain, std::string programFolder);

    // Window creation: reads the book into the list. False when loading failed;
    // the error has been shown and the rows read before it are in the list.
    bool LoadAddressBook();

    const murmel::AddressBook& Book() const { return book_; }

    void sbtnNewAddressClick();
    void sbtnDeleteAddressClick();
    void sbtnEditAddressClick();
    void sbtnWriteToAddressClick();
    void pmnuNewAddressClick() { sbtnNewAddressClick(); }
    void pmnuDeleteAddressClick() { sbtnDeleteAddressClick(); }
    void pmnuEditAddressClick() { sbtnEditAddressClick(); }
    void pmSendMailClick() { sbtnWriteToAddressClick(); }
    void pmAddressPopup();
    void lstvuAddressDblClick() { sbtnWriteToAddressClick(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SelectCurrent();
    void CreatePopupMenu();
    void AddSortKeys();
    void ConnectToolBar();
    void SortColumnClick(int column);
    void ShowRows();
    void TakeSelection();
    bool Store(const std::function<void()>& change);
    void ShowError(const QString& text) const;

    QWidget* formMain_;
    murmel::AddressBook book_;
    QTreeWidget* lstvuAddress_ = nullptr;
    QLineEdit* edtEmailToSend_ = nullptr;
    QPlainTextEdit* MemoMailBody_ = nullptr;
    QTabWidget* PageControl1_ = nullptr;
    QWidget* TabSheet1_ = nullptr;
    QMenu* pmAddress_ = nullptr;
    QAction* pmnuNewAddress_ = nullptr;
    QAction* pmnuDeleteAddress_ = nullptr;
    QAction* pmnuEditAddress_ = nullptr;
    QAction* pmSendMail_ = nullptr;
};
