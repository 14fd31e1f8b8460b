#include "AddressBookPage.h"

#include <QAbstractButton>
#include <QAction>
#include <QFocusEvent>
#include <QTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>

#include "FaceImages.h"
#include "FormEditAdd.h"
#include "FormNewAdd.h"
#include "GbkText.h"
#include "LibraryText.h"
#include "SafeFile.h"

using murmel::AddressEntry;
using murmel::GbkToUtf8;
using murmel::Utf8ToGbk;

namespace {

QString FromGbk(const std::string& text) { return QString::fromStdString(GbkToUtf8(text)); }
std::string ToGbk(const QString& text) { return Utf8ToGbk(text.toStdString()); }

// The dialog's fields as the book stores them; text GBK cannot hold would come
// back as "?", so it is refused like any other entry the file cannot keep.
AddressEntry EntryOf(const murmel::AddressDialog& dialog) {
    if (!murmel::FitsGbk(dialog.Name().toStdString()) ||
        !murmel::FitsGbk(dialog.Email().toStdString()))
        throw murmel::EAddressBookError(Utf8ToGbk("姓名或邮件地址中有无法保存的字符，请修改"));
    return {dialog.Face(), ToGbk(dialog.Name()), ToGbk(dialog.Email())};
}

}  // namespace

AddressBookPage::AddressBookPage(QWidget* formMain, std::string programFolder)
    : QObject(formMain), formMain_(formMain), book_(programFolder) {
    lstvuAddress_ = formMain->findChild<QTreeWidget*>("lstvuAddress");
    edtEmailToSend_ = formMain->findChild<QLineEdit*>("edtEmailToSend");
    MemoMailBody_ = formMain->findChild<QPlainTextEdit*>("MemoMailBody");
    PageControl1_ = formMain->findChild<QTabWidget*>("PageControl1");
    TabSheet1_ = formMain->findChild<QWidget*>("TabSheet1");

    lstvuAddress_->setSortingEnabled(false);  // the book sorts, so the saved order is the shown one
    lstvuAddress_->setIconSize(QSize(16, 16));
    QHeaderView* header = lstvuAddress_->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    connect(header, &QHeaderView::sectionClicked, this, &AddressBookPage::SortColumnClick);
    connect(lstvuAddress_, &QTreeWidget::itemSelectionChanged, this,
            &AddressBookPage::TakeSelection);
    connect(lstvuAddress_, &QTreeWidget::itemDoubleClicked, this,
            &AddressBookPage::lstvuAddressDblClick);
    // Tabbing into the list makes its first row current without selecting it; the
    // commands act on the selection, so the row the keyboard is on is selected.
    connect(lstvuAddress_, &QTreeWidget::currentItemChanged, this, &AddressBookPage::SelectCurrent);
    lstvuAddress_->installEventFilter(this);
    AddSortKeys();
    CreatePopupMenu();
    ConnectToolBar();
}

void AddressBookPage::CreatePopupMenu() {
    pmAddress_ = new QMenu(lstvuAddress_);
    pmAddress_->setObjectName("pmAddress");
    auto item = [&](const char* name, const QString& text, void (AddressBookPage::*click)()) {
        QAction* action = pmAddress_->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    pmnuNewAddress_ = item("pmnuNewAddress", tr("新建"), &AddressBookPage::pmnuNewAddressClick);
    pmnuDeleteAddress_ =
        item("pmnuDeleteAddress", tr("删除"), &AddressBookPage::pmnuDeleteAddressClick);
    pmnuEditAddress_ = item("pmnuEditAddress", tr("编辑"), &AddressBookPage::pmnuEditAddressClick);
    pmSendMail_ = item("pmSendMail", tr("发送"), &AddressBookPage::pmSendMailClick);
    connect(pmAddress_, &QMenu::aboutToShow, this, &AddressBookPage::pmAddressPopup);
    lstvuAddress_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstvuAddress_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pmAddress_->popup(lstvuAddress_->viewport()->mapToGlobal(at));
    });
}

void AddressBookPage::SelectCurrent() {
    if (!lstvuAddress_->selectedItems().isEmpty() || lstvuAddress_->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem* current = lstvuAddress_->currentItem();
    if (current)
        current->setSelected(true);
    else if (lstvuAddress_->hasFocus())
        lstvuAddress_->setCurrentItem(lstvuAddress_->topLevelItem(0));
}

bool AddressBookPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lstvuAddress_ && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason)
        QTimer::singleShot(0, this, &AddressBookPage::SelectCurrent);  // after the view's own
    return QObject::eventFilter(watched, event);
}

// Sorting by keyboard: Ctrl+1, Ctrl+2, ... on the list sort by that column, as a
// click on its header does; the header's context menu offers the same.
void AddressBookPage::AddSortKeys() {
    QHeaderView* header = lstvuAddress_->header();
    header->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (int column = 0; column < lstvuAddress_->columnCount() && column < 9; ++column) {
        const QString title = lstvuAddress_->headerItem()->text(column);
        auto* action = new QAction(tr("按%1排序").arg(title), lstvuAddress_);
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + column)));
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, column] { SortColumnClick(column); });
        lstvuAddress_->addAction(action);
        header->addAction(action);
    }
}

void AddressBookPage::ConnectToolBar() {
    struct Button {
        const char* name;
        const char* icon;  // from the desktop's theme; the hint is the fallback text
        void (AddressBookPage::*click)();
    };
    const Button buttons[] = {
        {"sbtnNewAddress", "contact-new", &AddressBookPage::sbtnNewAddressClick},
        {"sbtnDeleteAddress", "edit-delete", &AddressBookPage::sbtnDeleteAddressClick},
        {"sbtnEditAddress", "document-edit", &AddressBookPage::sbtnEditAddressClick},
        {"sbtnWriteToAddress", "mail-message-new", &AddressBookPage::sbtnWriteToAddressClick},
    };
    for (const Button& spec : buttons) {
        auto* button = formMain_->findChild<QAbstractButton*>(spec.name);
        if (!button) continue;
        if (button->icon().isNull()) button->setIcon(QIcon::fromTheme(spec.icon));
        if (button->icon().isNull() && button->text().isEmpty()) button->setText(button->toolTip());
        connect(button, &QAbstractButton::clicked, this, spec.click);
    }
}

bool AddressBookPage::LoadAddressBook() {
    bool loaded = true;
    try {
        book_.LoadAddressBook();
    } catch (const murmel::EAddressBookError& error) {
        ShowError(FromGbk(error.what()));
        loaded = false;
    } catch (const murmel::EFileError& error) {
        ShowError(QString::fromUtf8(error.what()));
        loaded = false;
    }
    for (const std::string& warning : book_.TakeWarnings())
        ShowError(QString::fromStdString(warning));
    ShowRows();
    return loaded;
}

void AddressBookPage::ShowRows() {
    QSignalBlocker quiet(lstvuAddress_);
    lstvuAddress_->clear();
    for (const AddressEntry& row : book_.Rows()) {
        auto* item = new QTreeWidgetItem(lstvuAddress_, {FromGbk(row.Name), FromGbk(row.Address)});
        item->setIcon(0, murmel::FaceIcon(row.Face));
    }
    for (size_t row : book_.Selection())
        lstvuAddress_->topLevelItem(static_cast<int>(row))->setSelected(true);
    if (!book_.Selection().empty())
        lstvuAddress_->setCurrentItem(
            lstvuAddress_->topLevelItem(static_cast<int>(book_.Selection()[0])), 0,
            QItemSelectionModel::NoUpdate);
}

void AddressBookPage::TakeSelection() {
    std::vector<size_t> rows;
    for (QTreeWidgetItem* item : lstvuAddress_->selectedItems())
        rows.push_back(static_cast<size_t>(lstvuAddress_->indexOfTopLevelItem(item)));
    book_.SetSelection(std::move(rows));
}

void AddressBookPage::SortColumnClick(int column) {
    TakeSelection();
    book_.SortByColumn(column);
    QHeaderView* header = lstvuAddress_->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column,
                             book_.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    ShowRows();
}

// Runs a change of the book; a failed save is reported, the list shows the change
// either way (it stays in the book and goes to the file with the next save).
bool AddressBookPage::Store(const std::function<void()>& change) {
    bool stored = true;
    try {
        change();
    } catch (const murmel::EAddressBookError& error) {
        ShowError(FromGbk(error.what()));
        stored = false;
    } catch (const murmel::EFileError& error) {
        ShowError(QString::fromUtf8(error.what()));
        stored = false;
    }
    ShowRows();
    return stored;
}

void AddressBookPage::sbtnNewAddressClick() {
    TFormNewAdd dialog(formMain_);
    std::optional<size_t> added;  // a retry after a failed save updates that row
    dialog.SetSaveHandler([&](const murmel::AddressDialog& fields) {
        return Store([&] {
            AddressEntry entry = EntryOf(fields);
            if (added) return book_.ReplaceAddress(*added, entry);
            murmel::CheckAddressEntry(entry);  // a refused entry adds no row
            added = book_.Rows().size();
            book_.AddAddress(entry);
        });
    });
    dialog.exec();
}

void AddressBookPage::sbtnEditAddressClick() {
    TakeSelection();
    std::optional<size_t> row = book_.SelectedRow();
    if (!row) return;
    const AddressEntry& entry = book_.Rows()[*row];
    TFormEditAdd dialog(formMain_);
    dialog.SetEntry(entry.Face, FromGbk(entry.Name), FromGbk(entry.Address));
    dialog.SetSaveHandler([&](const murmel::AddressDialog& fields) {
        return Store([&] { book_.ReplaceAddress(*row, EntryOf(fields)); });
    });
    dialog.exec();
}

void AddressBookPage::sbtnDeleteAddressClick() {
    TakeSelection();
    if (!book_.SelectedRow()) return;
    Store([&] { book_.DeleteSelectedAddress(); });
}

void AddressBookPage::sbtnWriteToAddressClick() {
    TakeSelection();
    std::optional<murmel::WriteToFields> fields = book_.WriteTo();
    if (!fields) return;
    edtEmailToSend_->setText(FromGbk(fields->Recipient));
    MemoMailBody_->appendPlainText(FromGbk(fields->GreetingLine));
    PageControl1_->setCurrentWidget(TabSheet1_);
}

void AddressBookPage::pmAddressPopup() {
    TakeSelection();
    murmel::AddressMenuState state = book_.MenuState();
    pmnuNewAddress_->setEnabled(state.New);
    pmnuDeleteAddress_->setEnabled(state.Delete);
    pmnuEditAddress_->setEnabled(state.Edit);
    pmSendMail_->setEnabled(state.Send);
}

void AddressBookPage::ShowError(const QString& text) const {
    QMessageBox::critical(formMain_, formMain_->window()->windowTitle(), LibraryText(text));
}
