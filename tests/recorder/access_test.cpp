// The recorder's windows by keyboard and through the accessible tree, as a screen
// reader sees them: Tab leaves the message body, a group of options is entered at
// the chosen one, combo boxes are named by their labels, the two send buttons
// differ, the elapsed time can be read.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <filesystem>

#include "FormNewAdd.h"
#include "FormSetup.h"
#include "TFormMain.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

QString Said(QObject* object, QAccessible::Text text) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible ? accessible->text(text) : QString();
}

}  // namespace

class RecorderAccessTest : public QObject {
    Q_OBJECT
    std::string folder;

  private slots:
    void init() {
        folder = murmel::test::FreshFolder("access");
        fs::create_directories(folder + "MyVoice");
        fs::create_directories(folder + "Address");
        murmel::test::WriteFile(folder + "Address/Default.txt", "");
    }

    void tabLeavesTheMessageBody() {
        TFormMain window(folder);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* body = window.findChild<QPlainTextEdit*>("MemoMailBody");
        body->setFocus();
        QTest::keyClick(body, Qt::Key_Tab);
        QCOMPARE(body->toPlainText(), QString());
        QCOMPARE(QApplication::focusWidget(), window.findChild<QListWidget*>("ListViewShowFileIcon"));
    }

    void screenReadersTellTheSendButtonsApartAndReadTheTime() {
        TFormMain window(folder);
        window.show();
        auto* own = window.findChild<QPushButton*>("bitBtnSendMail");
        auto* other = window.findChild<QPushButton*>("BitBtnOutlookSendMail");
        QCOMPARE(own->text(), QStringLiteral("发送"));
        QCOMPARE(other->text(), QStringLiteral("发送"));
        QVERIFY(Said(own, QAccessible::Name) != Said(other, QAccessible::Name));
        auto* time = window.findChild<QLabel*>("lbRecTime");
        time->setText(QStringLiteral("0:05.250"));
        QCOMPARE(Said(time, QAccessible::Name), QStringLiteral("录音时间"));
        QCOMPARE(Said(time, QAccessible::Value), QStringLiteral("0:05.250"));
    }

    void settingsTabToTheChosenOptionAndNameTheirBoxes() {
        TFormSetup setup(folder);
        setup.show();
        auto* oneK = setup.findChild<QRadioButton*>("rbRec1K");
        auto* twoK = setup.findChild<QRadioButton*>("rbRec2K");
        QVERIFY(twoK->isChecked());
        QVERIFY(twoK->focusPolicy() & Qt::TabFocus);
        QVERIFY(!(oneK->focusPolicy() & Qt::TabFocus));
        oneK->setChecked(true);
        QVERIFY(oneK->focusPolicy() & Qt::TabFocus);
        QVERIFY(!(twoK->focusPolicy() & Qt::TabFocus));
        auto* auth = setup.findChild<QComboBox*>("cbAuth");
        QCOMPARE(Said(auth, QAccessible::Name), QStringLiteral("认证"));
        QCOMPARE(Said(auth->lineEdit(), QAccessible::Name), QStringLiteral("认证"));
        QCOMPARE(Said(auth, QAccessible::Value), auth->currentText());
    }

    void theFaceBoxIsNamedByItsName() {
        TFormNewAdd dialog;
        auto* faces = dialog.findChild<QComboBox*>("ComboxEx");
        QCOMPARE(Said(faces, QAccessible::Name), QStringLiteral("头像"));
        QCOMPARE(Said(faces, QAccessible::Value), faces->currentText());
    }
};

QTEST_MAIN(RecorderAccessTest)
#include "access_test.moc"
