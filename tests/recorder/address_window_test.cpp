// The address page and the settings dialog, driven as a user would on the
// offscreen platform: tool bar, popup menu, double click, header clicks, dialogs.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>
#include <filesystem>

#include "../TestFiles.h"
#include "AddressBookPage.h"
#include "FormSetup.h"
#include "GbkText.h"
#include "MicrophoneBox.h"
#include "ModalDriver.h"
#include "SettingsStore.h"
#include "TFormMain.h"

using murmel::Utf8ToGbk;
using murmel::test::FreshFolder;
using murmel::test::ReadFile;
using murmel::test::WriteFile;

namespace {

// The widgets of the main window the page works with, under the same names.
struct HostWindow {
    QWidget window;
    QTabWidget* pages = new QTabWidget(&window);
    QWidget* newMail = new QWidget;
    QWidget* addresses = new QWidget;
    QLineEdit* recipient = new QLineEdit(newMail);
    QPlainTextEdit* body = new QPlainTextEdit(newMail);
    QTreeWidget* list = new QTreeWidget(addresses);

    HostWindow() {
        pages->setObjectName("PageControl1");
        newMail->setObjectName("TabSheet1");
        addresses->setObjectName("TabSheet2");
        recipient->setObjectName("edtEmailToSend");
        body->setObjectName("MemoMailBody");
        list->setObjectName("lstvuAddress");
        pages->addTab(newMail, "新邮件");
        pages->addTab(addresses, "地址薄");
        auto* toolBar = new QFrame(addresses);
        toolBar->setObjectName("pnlToolBar");
        auto* buttons = new QHBoxLayout(toolBar);
        for (auto [name, hint] : {std::pair{"sbtnNewAddress", "新建地址"},
                                  {"sbtnDeleteAddress", "删除地址"},
                                  {"sbtnEditAddress", "编辑地址"},
                                  {"sbtnWriteToAddress", "新建邮件"}}) {
            auto* button = new QToolButton(toolBar);
            button->setObjectName(name);
            button->setToolTip(hint);
            buttons->addWidget(button);
        }
        auto* layout = new QVBoxLayout(addresses);
        layout->addWidget(toolBar);
        layout->addWidget(list);
        (new QVBoxLayout(&window))->addWidget(pages);
        list->setColumnCount(2);
        list->setHeaderLabels({"姓名", "电子邮件地址"});
        list->setRootIsDecorated(false);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        window.resize(548, 496);
        window.show();
        pages->setCurrentWidget(addresses);
    }
    QToolButton* Button(const char* name) { return window.findChild<QToolButton*>(name); }
    QAction* MenuItem(const char* name) { return window.findChild<QAction*>(name); }
    QStringList Names() const {
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
        return names;
    }
    void Select(std::initializer_list<int> rows) {
        list->clearSelection();
        for (int row : rows) list->topLevelItem(row)->setSelected(true);
    }
};

void Fill(QWidget* dialog, const QString& name, const QString& email, int face = -1) {
    dialog->findChild<QLineEdit*>("edtName")->setText(name);
    dialog->findChild<QLineEdit*>("edtEmail")->setText(email);
    if (face >= 0) dialog->findChild<QComboBox*>("ComboxEx")->setCurrentIndex(face);
}

void ClickOk(QWidget* dialog) {
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
}

std::string Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

}  // namespace

class AddressWindowTest : public QObject {
    Q_OBJECT
    std::string folder;
    std::string book;

  private slots:
    void init() {
        folder = FreshFolder("window");
        book = folder + "Address/Default.txt";
        std::filesystem::create_directories(folder + "Address");
        WriteFile(book, "1:" + Gbk("张三") + ":zhang@163.com\r\n2:Bob:bob@x.org\r\n");
    }

    void toolBarNewEditDeleteAndWriteTo() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        QVERIFY(page.LoadAddressBook());
        QCOMPARE(host.Names(), (QStringList{"张三", "Bob"}));
        QVERIFY(!host.list->topLevelItem(0)->icon(0).isNull());

        ModalDriver driver;
        driver.Then([](QWidget* dialog) {
            QCOMPARE(dialog->windowTitle(), QString("新建地址"));
            QCOMPARE(dialog->findChild<QComboBox*>("ComboxEx")->currentIndex(), 28);
            QCOMPARE(dialog->findChild<QComboBox*>("ComboxEx")->count(), 78);
            Fill(dialog, "王五", "wang@qq.com", 77);
            ClickOk(dialog);
        });
        QTest::mouseClick(host.Button("sbtnNewAddress"), Qt::LeftButton);
        QCOMPARE(host.Names(), (QStringList{"张三", "Bob", "王五"}));
        QCOMPARE(ReadFile(book), "1:" + Gbk("张三") + ":zhang@163.com\r\n2:Bob:bob@x.org\r\n77:" +
                                     Gbk("王五") + ":wang@qq.com\r\n");

        host.Select({1});
        driver.Then([](QWidget* dialog) {
            QCOMPARE(dialog->windowTitle(), QString("修改地址"));
            QCOMPARE(dialog->findChild<QLineEdit*>("edtName")->text(), QString("Bob"));
            QCOMPARE(dialog->findChild<QLineEdit*>("edtEmail")->text(), QString("bob@x.org"));
            QCOMPARE(dialog->findChild<QComboBox*>("ComboxEx")->currentIndex(), 2);
            Fill(dialog, "Robert", "robert@x.org");
            ClickOk(dialog);
        });
        QTest::mouseClick(host.Button("sbtnEditAddress"), Qt::LeftButton);
        QCOMPARE(host.Names(), (QStringList{"张三", "Robert", "王五"}));

        host.Select({2, 1});  // several rows: the first one in the list acts
        host.body->setPlainText("earlier");
        QTest::mouseClick(host.Button("sbtnWriteToAddress"), Qt::LeftButton);
        QCOMPARE(host.recipient->text(), QString("robert@x.org"));
        QCOMPARE(host.body->toPlainText(), QString("earlier\nRobert , 您好 :"));
        QCOMPARE(host.pages->currentWidget()->objectName(), QString("TabSheet1"));

        QTest::mouseClick(host.Button("sbtnDeleteAddress"), Qt::LeftButton);
        QCOMPARE(host.Names(), (QStringList{"张三", "王五"}));
        QCOMPARE(ReadFile(book),
                 "1:" + Gbk("张三") + ":zhang@163.com\r\n77:" + Gbk("王五") + ":wang@qq.com\r\n");
        QVERIFY(driver.Done());
        QCOMPARE(driver.Unexpected, 0);
        QVERIFY(driver.Messages.isEmpty());
    }

    void popupMenuEnablingAndCommands() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        auto* menu = host.window.findChild<QMenu*>("pmAddress");
        QVERIFY(menu);
        host.list->clearSelection();
        page.pmAddressPopup();
        QVERIFY(host.MenuItem("pmnuNewAddress")->isEnabled());
        QVERIFY(!host.MenuItem("pmnuDeleteAddress")->isEnabled());
        QVERIFY(!host.MenuItem("pmnuEditAddress")->isEnabled());
        QVERIFY(!host.MenuItem("pmSendMail")->isEnabled());
        host.Select({0});
        page.pmAddressPopup();
        QVERIFY(host.MenuItem("pmnuDeleteAddress")->isEnabled());
        QVERIFY(host.MenuItem("pmSendMail")->isEnabled());

        host.MenuItem("pmSendMail")->trigger();  // twice: the greeting twice, the last address
        host.Select({1});
        host.MenuItem("pmSendMail")->trigger();
        QCOMPARE(host.recipient->text(), QString("bob@x.org"));
        QCOMPARE(host.body->toPlainText(), QString("张三 , 您好 :\nBob , 您好 :"));

        ModalDriver driver;
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "Ignored", "ignored@x");
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        host.MenuItem("pmnuNewAddress")->trigger();
        host.Select({0});
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "张三丰", "zsf@163.com");
            QTest::keyClick(dialog->findChild<QLineEdit*>("edtEmail"), Qt::Key_Return);
        });
        host.MenuItem("pmnuEditAddress")->trigger();
        QCOMPARE(host.Names(), (QStringList{"张三丰", "Bob"}));
        host.Select({1});
        host.MenuItem("pmnuDeleteAddress")->trigger();
        QCOMPARE(ReadFile(book), "1:" + Gbk("张三丰") + ":zsf@163.com\r\n");
        QVERIFY(driver.Done());
    }

    void doubleClickWritesTo() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        QRect row = host.list->visualItemRect(host.list->topLevelItem(1));
        QTest::mouseClick(host.list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(host.list->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(host.recipient->text(), QString("bob@x.org"));
        QCOMPARE(host.body->toPlainText(), QString("Bob , 您好 :"));
    }

    void unstorableNamesAreRefusedAndTheDialogStaysOpen() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        ModalDriver driver;
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "a:b", "ab@x");
            ClickOk(dialog);
        });
        driver.Then([](QWidget* dialog) {  // back after the message
            Fill(dialog, QString::fromUtf8("ab\xF0\x9F\x98\x80"), "ab@x");  // an emoji: not GBK
            ClickOk(dialog);
        });
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "ab", "ab@x");
            ClickOk(dialog);
        });
        host.Button("sbtnNewAddress")->click();
        QCOMPARE(driver.Messages.size(), 2);
        QVERIFY(driver.Messages[0].contains(":"));
        QCOMPARE(driver.Messages[1], QString("姓名或邮件地址中有无法保存的字符，请修改"));
        QCOMPARE(host.Names(), (QStringList{"张三", "Bob", "ab"}));
    }

    void failedSaveKeepsTheRowAndARetryDoesNotDuplicateIt() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        std::filesystem::remove_all(folder + "Address");
        ModalDriver driver;
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "New", "new@x");
            ClickOk(dialog);
        });
        driver.Then([this](QWidget* dialog) {
            std::filesystem::create_directories(folder + "Address");
            ClickOk(dialog);
        });
        host.Button("sbtnNewAddress")->click();
        QCOMPARE(driver.Messages.size(), 1);
        QCOMPARE(host.Names(), (QStringList{"张三", "Bob", "New"}));
        QCOMPARE(ReadFile(book),
                 "1:" + Gbk("张三") + ":zhang@163.com\r\n2:Bob:bob@x.org\r\n28:New:new@x\r\n");
    }

    void headerClicksSortWithArrowsAndTheNextSaveKeepsTheOrder() {
        WriteFile(book, "1:carol:c@x\r\n2:Alice:z@x\r\n3:bob:a@x\r\n");
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        QHeaderView* header = host.list->header();
        auto clickHeader = [&](int column) {
            QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        clickHeader(0);
        QCOMPARE(host.Names(), (QStringList{"Alice", "bob", "carol"}));
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        clickHeader(0);
        QCOMPARE(host.Names(), (QStringList{"carol", "bob", "Alice"}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        clickHeader(1);
        QCOMPARE(host.Names(), (QStringList{"bob", "carol", "Alice"}));
        QCOMPARE(ReadFile(book), "1:carol:c@x\r\n2:Alice:z@x\r\n3:bob:a@x\r\n");  // not yet saved
        host.Select({2});
        host.Button("sbtnDeleteAddress")->click();
        QCOMPARE(ReadFile(book), "3:bob:a@x\r\n1:carol:c@x\r\n");
        // From the keyboard: Ctrl+1 and Ctrl+2 on the list sort as the headers do.
        host.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        host.list->setFocus();
        QTest::keyClick(host.list, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(host.Names(), (QStringList{"bob", "carol"}));
        QTest::keyClick(host.list, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(host.Names(), (QStringList{"carol", "bob"}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void tabbingIntoTheListSelectsTheRowItIsOn() {
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        page.LoadAddressBook();
        host.list->clearSelection();
        host.list->setCurrentItem(nullptr);
        host.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        host.pages->setFocus();
        QTest::keyClick(host.pages, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(host.list));
        QTRY_COMPARE(host.list->selectedItems().size(), 1);
        QCOMPARE(host.list->currentItem(), host.list->selectedItems().first());
        QTest::keyClick(host.list, Qt::Key_Down);
        QCOMPARE(host.list->selectedItems().size(), 1);
        QCOMPARE(host.list->indexOfTopLevelItem(host.list->selectedItems().first()), 1);
        // The commands act on it: write to takes its address.
        host.Button("sbtnWriteToAddress")->click();
        QVERIFY(host.recipient->text().contains(QStringLiteral("bob@x.org")));
    }

    void loadFailuresAreShownAndEarlierRowsStay() {
        {
            WriteFile(book, "1:A:a@x\r\nnope:B:b@x\r\n");
            HostWindow host;
            AddressBookPage page(&host.window, folder);
            ModalDriver driver;
            QVERIFY(!page.LoadAddressBook());
            QCOMPARE(driver.Messages, QStringList{"'nope' is not a valid integer value"});
            QCOMPARE(host.Names(), QStringList{"A"});
        }
        std::filesystem::remove(book);
        HostWindow host;
        AddressBookPage page(&host.window, folder);
        ModalDriver driver;
        QVERIFY(!page.LoadAddressBook());
        QCOMPARE(driver.Messages, QStringList{"File not found"});
    }

    void setupDialogOpensWithDefaultsAndTheEnablingRule() {
        TFormSetup dialog(folder);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("参数设置"));
        auto* rbMAPI = dialog.findChild<QRadioButton*>("rbMAPI");
        auto* rbSMTP = dialog.findChild<QRadioButton*>("rbSMTP");
        QVERIFY(rbMAPI->isChecked());
        for (const char* name : {"edtName", "edtEmailAdd", "edtPW", "edtSMTP", "edtAccount"}) {
            auto* field = dialog.findChild<QLineEdit*>(name);
            QCOMPARE(field->text(), QString("没有设置"));
            QVERIFY(!field->isEnabled());
        }
        QCOMPARE(dialog.findChild<QLineEdit*>("edtPW")->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.findChild<QLineEdit*>("edtPort")->text(), QString("25"));
        QCOMPARE(dialog.findChild<QComboBox*>("cbAuth")->currentText(), QString("需要"));
        QVERIFY(dialog.findChild<QRadioButton*>("rbRec2K")->isChecked());
        QVERIFY(dialog.findChild<QCheckBox*>("cbAutoName")->isChecked());
        QVERIFY(!dialog.findChild<QCheckBox*>("cbCleanVoice")->isChecked());
        QCOMPARE(dialog.findChild<QLineEdit*>("Edit1")->text(),
                 QString::fromStdString(folder + "MyVoice/"));
        QCOMPARE(dialog.findChild<QLabel*>("Label1")->buddy(),
                 dialog.findChild<QWidget*>("edtSMTP"));

        QTest::mouseClick(rbSMTP, Qt::LeftButton, {}, QPoint(8, rbSMTP->height() / 2));
        QVERIFY(dialog.findChild<QLineEdit*>("edtSMTP")->isEnabled());
        QVERIFY(dialog.findChild<QPushButton*>("bitBtnAutoDect")->isEnabled());
        QVERIFY(dialog.findChild<QLabel*>("Label8")->isEnabled());
        QTest::mouseClick(rbMAPI, Qt::LeftButton, {}, QPoint(8, rbMAPI->height() / 2));
        QVERIFY(!dialog.findChild<QComboBox*>("cbAuth")->isEnabled());
        QVERIFY(!dialog.findChild<QLabel*>("Label8")->isEnabled());
    }

    void setupAutoDetectAndOkWriteTheSettings() {
        std::filesystem::copy_file(MURMEL_SOURCE_DIR "/data/Setting.ini", folder + "Setting.ini");
        WriteFile(folder + "user.dll", "[firstUse]\r\nFirstUse=1\r\n");
        TFormSetup dialog(folder);
        dialog.show();
        dialog.findChild<QRadioButton*>("rbSMTP")->click();
        auto* address = dialog.findChild<QLineEdit*>("edtEmailAdd");
        auto* detect = dialog.findChild<QPushButton*>("bitBtnAutoDect");
        ModalDriver driver;
        address->setText("no.at.sign");
        detect->click();
        QCOMPARE(driver.Messages,
                 (QStringList{"无法识别的Email地址", "无自动设置数据,请您手动设置邮件高级选项"}));
        driver.Messages.clear();
        address->setText("Li.Si@GMAIL.com");
        detect->click();
        QCOMPARE(driver.Messages, QStringList{"设置成功!"});
        QCOMPARE(dialog.findChild<QLineEdit*>("edtSMTP")->text(), QString("smtp.gmail.com"));
        QCOMPARE(dialog.findChild<QLineEdit*>("edtAccount")->text(), QString("Li.Si"));
        QCOMPARE(dialog.findChild<QLineEdit*>("edtPort")->text(), QString("465"));
        QCOMPARE(ReadFile(folder + "user.dll"),
                 "[firstUse]\r\nFirstUse=1\r\n");  // nothing saved yet

        dialog.findChild<QComboBox*>("cbAuth")->setEditText("自定义");
        dialog.findChild<QRadioButton*>("rbRec4K")->click();
        dialog.findChild<QCheckBox*>("cbCleanVoice")->click();
        dialog.findChild<QPushButton*>("Button1")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        std::string saved = ReadFile(folder + "user.dll");
        QVERIFY(saved.find("FirstUse=0\r\n") != std::string::npos);
        QVERIFY(
            saved.find(
                "[Mailer]\r\nMAPI=NO\r\n[SMTP]\r\nServerName=smtp.gmail.com\r\nServerPort=465\r\n"
                "ServerUser=Li.Si\r\n") != std::string::npos);
        QVERIFY(
            saved.find("SMTPAuthenticationType=-1\r\nEmailAdd=Li.Si@GMAIL.com\r\n[SoundSetup]\r\n"
                       "Resolution=4K\r\nCleanVoice=YES\r\n[AutoNameFile]\r\nAutoName=YES\r\n") !=
            std::string::npos);
    }

    void setupCancelWritesNothingAndARefusedWriteKeepsTheDialogOpen() {
        {
            TFormSetup dialog(folder);
            dialog.show();
            dialog.findChild<QLineEdit*>("edtName")->setText("x");
            dialog.findChild<QPushButton*>("Button2")->click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!std::filesystem::exists(folder + "user.dll"));
        }
        std::filesystem::create_directory(folder + "user.dll");  // cannot be written as a file
        TFormSetup dialog(folder);
        dialog.show();
        ModalDriver driver;
        dialog.findChild<QPushButton*>("Button1")->click();
        QCOMPARE(driver.Messages,
                 QStringList{QString::fromStdString("Unable to write to " + folder + "user.dll")});
        QVERIFY(dialog.isVisible());
    }
    // A microphone that is not there keeps its place in the settings, marked; the
    // sources come when the page opens, without holding the dialog up.
    void setupKeepsAMissingMicrophoneAndOffersTheDefault() {
        WriteFile(folder + "user.dll", "[SoundSetup]\r\nMicrophone=murmel_gone\r\n");
        TFormSetup dialog(folder);
        dialog.show();
        auto* box = dialog.findChild<QComboBox*>("cbMicrophone");
        QCOMPARE(dialog.findChild<QLabel*>("lbMicrophone")->buddy(), box);
        QCOMPARE(box->itemText(0), QString("系统默认"));
        QCOMPARE(box->currentText(), QString("murmel_gone（未找到）"));
        dialog.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
        auto* sources = dialog.findChild<MicrophoneBox*>();
        QVERIFY(sources->Refreshing());
        QTRY_VERIFY_WITH_TIMEOUT(!sources->Refreshing(), 15000);
        QCOMPARE(box->currentData().toString(), QString("murmel_gone"));
        box->setCurrentIndex(0);
        dialog.findChild<QPushButton*>("Button1")->click();
        QVERIFY(ReadFile(folder + "user.dll").find("Microphone=\r\n") != std::string::npos);
    }

    // --- in the recorder's main window ---

    void mainWindowFirstUseWelcomesAndOkEndsTheWelcome() {
        murmel::SettingsStore(folder).WriteText("firstUse", "FirstUse", "1");
        {
            ModalDriver driver;
            driver.Then([](QWidget* setup) {  // cancel: the welcome comes again
                QCOMPARE(setup->objectName(), QString("TFormSetup"));
                setup->findChild<QPushButton*>("Button2")->click();
            });
            TFormMain window(folder);
            window.show();
            QTRY_VERIFY(driver.Done());
            QTRY_COMPARE(driver.Messages, QStringList{"欢迎首次使用,请设置您的邮件参数"});
            QCOMPARE(murmel::SettingsStore(folder).ReadText("firstUse", "FirstUse", ""), "1");
        }
        {
            ModalDriver driver;
            driver.Then([](QWidget* setup) { setup->findChild<QPushButton*>("Button1")->click(); });
            TFormMain window(folder);
            window.show();
            QTRY_VERIFY(driver.Done());
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QCOMPARE(driver.Messages, QStringList{"欢迎首次使用,请设置您的邮件参数"});
            QCOMPARE(murmel::SettingsStore(folder).ReadText("firstUse", "FirstUse", ""), "0");
            QCOMPARE(murmel::SettingsStore(folder).ReadText("Mailer", "MAPI", ""), "YES");
        }
        ModalDriver driver;
        TFormMain window(folder);
        window.show();
        QTest::qWait(200);
        QVERIFY(driver.Messages.isEmpty());
        QCOMPARE(driver.Unexpected, 0);
    }

    void mainWindowAddressPageFromToolBarAndHeader() {
        TFormMain window(folder);
        window.show();
        auto* list = window.findChild<QTreeWidget*>("lstvuAddress");
        auto* pages = window.findChild<QTabWidget*>("PageControl1");
        pages->setCurrentWidget(window.findChild<QWidget*>("TabSheet2"));
        QCOMPARE(list->topLevelItemCount(), 2);
        ModalDriver driver;
        driver.Then([](QWidget* dialog) {
            Fill(dialog, "Anna", "anna@web.de", 3);
            ClickOk(dialog);
        });
        QTest::mouseClick(window.findChild<QToolButton*>("sbtnNewAddress"), Qt::LeftButton);
        QCOMPARE(list->topLevelItemCount(), 3);

        QHeaderView* header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
        QCOMPARE(list->topLevelItem(0)->text(0), QString("Anna"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(header->isSortIndicatorShown());

        list->clearSelection();
        list->topLevelItem(0)->setSelected(true);
        QTest::mouseClick(window.findChild<QToolButton*>("sbtnWriteToAddress"), Qt::LeftButton);
        QCOMPARE(window.findChild<QLineEdit*>("edtEmailToSend")->text(), QString("anna@web.de"));
        QCOMPARE(window.findChild<QPlainTextEdit*>("MemoMailBody")->toPlainText(),
                 QString("Anna , 您好 :"));
        QCOMPARE(pages->currentWidget()->objectName(), QString("TabSheet1"));

        pages->setCurrentWidget(window.findChild<QWidget*>("TabSheet2"));
        list->clearSelection();
        list->topLevelItem(1)->setSelected(true);  // Bob
        QTest::mouseClick(window.findChild<QToolButton*>("sbtnDeleteAddress"), Qt::LeftButton);
        QCOMPARE(ReadFile(book), "3:Anna:anna@web.de\r\n1:" + Gbk("张三") + ":zhang@163.com\r\n");
        QVERIFY(driver.Done());
    }
};

QTEST_MAIN(AddressWindowTest)
#include "address_window_test.moc"
