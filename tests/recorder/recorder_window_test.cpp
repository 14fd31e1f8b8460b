// The recorder window, driven as a user drives it: start-up, send mode, welcome,
// recordings with and without music clicked through the window, the menus and
// the attachment list's popup.
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "FormAbout.h"
#include "FormSetup.h"
#include "IniFile.h"
#include "ModalDriver.h"
#include "PkStreamCol.h"
#include "PresetsStore.h"
#include "RecordingSession.h"
#include "SettingsStore.h"
#include "SpectrumWidget.h"
#include "TFormMain.h"
#include "TempNames.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Runs `answer` on the next modal dialog of type T once it is shown.
template <typename T>
void WhenModal(std::function<void(T*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, ticks] {
        if (++*ticks > 500) {  // ten seconds: the test fails rather than hangs
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            poll->stop();
            poll->deleteLater();
            return;
        }
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

// Types the path into the dialog's name field and presses OK, as a user would.
void AcceptFile(const QString& path) {
    WhenModal<QFileDialog>([path](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name) name->setText(path);
        (void)QTest::qWaitFor([&] { return dialog->selectedFiles().value(0) == path; }, 2000);
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
}

// Types PATH into an open file dialog and presses OK.
void AcceptTyped(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name) name->setText(path);
    (void)QTest::qWaitFor([&] { return dialog->selectedFiles().value(0) == path; }, 2000);
    static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
}

// A 44.1 kHz stereo 16-bit wave file: `quietMs` of silence, then `toneMs` of a
// 1 kHz tone at half scale.
std::string QuietThenTone(int quietMs, int toneMs) {
    auto le = [](uint32_t value, int size) {
        std::string bytes;
        for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    std::string pcm(size_t(quietMs) * 441 / 10 * 4, '\0');
    for (size_t i = 0; i < size_t(toneMs) * 441 / 10; ++i) {
        const auto sample = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 1000.0 * i / 44100));
        pcm += le(uint16_t(sample), 2) + le(uint16_t(sample), 2);
    }
    return "RIFF" + le(36 + uint32_t(pcm.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
           le(2, 2) + le(44100, 4) + le(176400, 4) + le(4, 2) + le(16, 2) + "data" +
           le(uint32_t(pcm.size()), 4) + pcm;
}

}  // namespace

class RecorderWindowTest : public QObject {
    Q_OBJECT

  private:
    std::string folder;
    QString tune;

    template <typename T>
    static T* Find(TFormMain& window, const char* name) {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no %s", name);
        return widget;
    }
    QStringList MyVoice() const {
        QStringList names;
        for (auto& entry : fs::directory_iterator(folder + "MyVoice"))
            if (entry.path().filename() != ".keep")
                names << QString::fromStdString(entry.path().filename());
        names.sort();
        return names;
    }

  private slots:
    void initTestCase() { murmel::InstallPresets(); }

    void init() {
        folder = murmel::test::FreshFolder("program dir");
        fs::create_directories(folder + "BGMusic");
        fs::create_directories(folder + "MyVoice");
        fs::create_directories(folder + "Address");
        murmel::test::WriteFile(folder + "Address/Default.txt", "");
        fs::copy_file(MURMEL_TEST_DATA "/valid/play-organ.mid", folder + "BGMusic/organ.mid");
        tune = QString::fromStdString(folder + "BGMusic/organ.mid");
    }

    void formHoldsEveryControlWithItsTexts() {
        TFormMain window(folder);
        QCOMPARE(window.windowTitle(), QStringLiteral("奎岚语音电子邮件2.4"));
        QCOMPARE(window.size(), QSize(548, 496));
        auto* pages = Find<QTabWidget>(window, "PageControl1");
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(pages->tabText(0), QStringLiteral("新邮件"));
        QCOMPARE(pages->tabText(1), QStringLiteral("地址薄"));
        QCOMPARE(Find<QPushButton>(window, "bitbtnRec")->text(), QStringLiteral("录音"));
        QCOMPARE(Find<QPushButton>(window, "BitBtn1")->toolTip(), QStringLiteral("选择音乐"));
        QCOMPARE(Find<QPushButton>(window, "bitBtnSendMail")->toolTip(),
                 QStringLiteral("使用本软件直接发送已经录制好的邮件"));
        QCOMPARE(Find<QPushButton>(window, "BitBtnOutlookSendMail")->toolTip(),
                 QStringLiteral("使用其他的邮件程序发送已经录制好的语音邮件"));
        auto* slider = Find<QSlider>(window, "sbMusicVolume");
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 100);
        QCOMPARE(slider->value(), 85);
        QCOMPARE(slider->pageStep(), 5);
        QCOMPARE(Find<QLabel>(window, "lbVolume")->text(), QStringLiteral("85%"));
        QCOMPARE(Find<QLabel>(window, "lbRecTime")->text(), QStringLiteral("00:00.000"));
        QCOMPARE(Find<QCheckBox>(window, "cbRecWithMusic")->text(), QStringLiteral("背景音乐"));
        QCOMPARE(Find<TMMSpectrumWidget>(window, "MMSpectrum2")->size(), QSize(315, 43));
        QCOMPARE(Find<QListWidget>(window, "ListViewShowFileIcon")->viewMode(),
                 QListView::IconMode);
        QCOMPARE(Find<QListWidget>(window, "ListViewShowFileIcon")->toolTip(),
                 QStringLiteral("录音预览"));
        auto* address = Find<QTreeWidget>(window, "lstvuAddress");
        QCOMPARE(address->headerItem()->text(0), QStringLiteral("姓名"));
        QCOMPARE(address->headerItem()->text(1), QStringLiteral("电子邮件地址"));
        QCOMPARE(address->columnWidth(0), 200);
        QCOMPARE(address->columnWidth(1), 250);
        for (const char* name :
             {"sbtnNewAddress", "sbtnDeleteAddress", "sbtnEditAddress", "sbtnWriteToAddress"}) {
            auto* button = Find<QToolButton>(window, name);
            QVERIFY(button->autoRaise());
            QCOMPARE(button->accessibleName(), button->toolTip());
        }
        // Labels carry their fields' names to screen readers through their buddies.
        QCOMPARE(Find<QLabel>(window, "Label1")->buddy(),
                 Find<QLineEdit>(window, "edtEmailToSend"));
        QCOMPARE(Find<QLabel>(window, "Label2")->buddy(), Find<QLineEdit>(window, "edtSubject"));
    }

    void startWithoutSettingsShowsBothButtonsAndNoWelcome() {
        fs::remove(folder + "user.dll");
        TFormMain window(folder);
        window.show();
        QTest::qWait(100);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!Find<QPushButton>(window, "bitBtnSendMail")->isHidden());
        QVERIFY(!Find<QPushButton>(window, "BitBtnOutlookSendMail")->isHidden());
    }

    void handOffModeHidesTheOwnSendButton() {
        murmel::SettingsStore(folder).WriteText("Mailer", "MAPI", "YES");
        {
            TFormMain window(folder);
            QVERIFY(Find<QPushButton>(window, "bitBtnSendMail")->isHidden());
            QVERIFY(!Find<QPushButton>(window, "BitBtnOutlookSendMail")->isHidden());
        }
        murmel::SettingsStore(folder).WriteText("Mailer", "MAPI", "yes");
        TFormMain window(folder);
        QVERIFY(!Find<QPushButton>(window, "bitBtnSendMail")->isHidden());
    }

    void firstUseWelcomesThenOpensTheSettings() {
        murmel::SettingsStore(folder).WriteText("firstUse", "FirstUse", "1");
        TFormMain window(folder);
        QString welcome;
        bool setupShown = false;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            welcome = box->text();
            WhenModal<TFormSetup>([&](TFormSetup* setup) {
                setupShown = true;
                setup->reject();
            });
            box->accept();
        });
        window.show();
        QTRY_VERIFY(setupShown);
        QCOMPARE(welcome, QStringLiteral("欢迎首次使用,请设置您的邮件参数"));
    }

    void aRecordingEndsInMyVoiceAndTheList() {
        TFormMain window(folder);
        window.show();
        auto* record = Find<QPushButton>(window, "bitbtnRec");
        QTest::mouseClick(record, Qt::LeftButton);
        QCOMPARE(record->text(), QStringLiteral("停止"));
        QVERIFY(!Find<QCheckBox>(window, "cbRecWithMusic")->isEnabled());
        QVERIFY(Find<TMMSpectrumWidget>(window, "MMSpectrum2")->Running());
        QTRY_VERIFY(Find<QLabel>(window, "lbRecTime")->text().startsWith(QStringLiteral("0:00.")));
        QTest::qWait(600);
        QTest::mouseClick(record, Qt::LeftButton);
        QCOMPARE(record->text(), QStringLiteral("录音"));
        QVERIFY(Find<QCheckBox>(window, "cbRecWithMusic")->isEnabled());
        QVERIFY(!Find<TMMSpectrumWidget>(window, "MMSpectrum2")->Running());
        const QStringList saved = MyVoice();
        QCOMPARE(saved.size(), 1);
        QVERIFY(saved[0].endsWith(QStringLiteral(".mp3")));
        auto* list = Find<QListWidget>(window, "ListViewShowFileIcon");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), saved[0]);
        QCOMPARE(window.CurrentMailFields().attachments,
                 QStringList{QString::fromStdString(folder + "MyVoice/") + saved[0]});
        QVERIFY(fs::file_size(folder + "MyVoice/" + saved[0].toStdString()) > 1000);
    }

    // While recording, only the spectrum and the ticking time repaint (a steady
    // tone keeps the same spectrum picture, which is not drawn again): no new
    // layout of the window and nothing under the time label (the group box and
    // the page), which a 20-a-second label used to drag along every time.
    void aRunningRecordingRepaintsOnlyWhatChanges() {
        TFormMain window(folder);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* time = Find<QLabel>(window, "lbRecTime");
        auto* record = Find<QPushButton>(window, "bitbtnRec");
        QTest::mouseClick(record, Qt::LeftButton);
        QTRY_VERIFY(time->text() != QStringLiteral("00:00.000"));
        QTest::qWait(300);  // the button's new caption is drawn by now

        struct Counter : QObject {
            QMap<QString, int> paints;
            int layouts = 0;
            bool eventFilter(QObject* object, QEvent* event) override {
                if (event->type() == QEvent::Paint) ++paints[object->objectName()];
                if (event->type() == QEvent::LayoutRequest) ++layouts;
                return false;
            }
        } counter;
        qApp->installEventFilter(&counter);
        const QString before = time->text();
        QTest::qWait(600);
        qApp->removeEventFilter(&counter);
        QVERIFY(time->text() != before);
        QVERIFY2(counter.paints.value(QStringLiteral("lbRecTime")) >= 5, "the time is drawn");
        QCOMPARE(counter.paints.value(QStringLiteral("GroupBox3")), 0);
        QCOMPARE(counter.paints.value(QStringLiteral("TabSheet1")), 0);
        QCOMPARE(counter.paints.value(QStringLiteral("GroupBox1")), 0);
        QCOMPARE(counter.layouts, 0);

        // What the label shows around its text is the group box behind it.
        const QImage shot = window.grab().toImage();
        const QPoint corner = time->mapTo(&window, QPoint(1, 1));
        const QPoint beside = time->mapTo(&window, QPoint(-3, 1));
        QCOMPARE(shot.pixel(corner), shot.pixel(beside));
        QTest::mouseClick(record, Qt::LeftButton);
    }

    void aRecordingWithMusicAndSliderMovesIsAVoiceMail() {
        TFormMain window(folder);
        window.show();
        QTest::mouseClick(Find<QCheckBox>(window, "cbRecWithMusic"), Qt::LeftButton);
        AcceptFile(tune);
        QTest::mouseClick(Find<QPushButton>(window, "bitbtnRec"), Qt::LeftButton);
        QTRY_VERIFY(window.Session().Recording());
        // The schedule belongs to this tune: no other one until the stop.
        QVERIFY(!Find<QPushButton>(window, "BitBtn1")->isEnabled());
        auto* slider = Find<QSlider>(window, "sbMusicVolume");
        slider->setFocus();
        QTest::qWait(200);
        QTest::keyClick(slider, Qt::Key_Left);      // an arrow: 84
        QTest::keyClick(slider, Qt::Key_PageDown);  // a page: 79
        slider->setSliderDown(true);                // a drag through three positions
        for (int position : {70, 60, 50}) slider->setSliderPosition(position);
        slider->setSliderDown(false);
        QCOMPARE(Find<QLabel>(window, "lbVolume")->text(), QStringLiteral("50%"));
        QCOMPARE(window.Session().ScheduleIndex(), 6);
        QTest::qWait(300);
        QTest::mouseClick(Find<QPushButton>(window, "bitbtnRec"), Qt::LeftButton);
        QVERIFY(Find<QPushButton>(window, "BitBtn1")->isEnabled());

        const QStringList saved = MyVoice();
        QCOMPARE(saved.size(), 1);
        QVERIFY(saved[0].endsWith(QStringLiteral(".mvm")));
        const QString path = QString::fromStdString(folder + "MyVoice/") + saved[0];
        QProcess cli;
        cli.start(QStringLiteral(MURMEL_PROGRAM_DIR "murmel-cli"), {QStringLiteral("list"), path});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QString listing = QString::fromUtf8(cli.readAllStandardOutput());
        for (const char* entry : {"BGMusic", "CtrInfo", "Mp3File"})
            QVERIFY2(listing.contains(QLatin1String(entry)), qPrintable(listing));
        murmel::TPkStreams mail;
        mail.LoadFromFile(path.toStdString());
        const murmel::ByteStream* schedule = mail.Find("CtrInfo");
        const std::string text(schedule->begin(), schedule->end());
        QVERIFY(text.find("[5]") != std::string::npos);
        QVERIFY(text.find("[6]") == std::string::npos);
    }

    // A silent start is reported 3 s in and the report goes when sound comes; the
    // pause control (also by its key) holds the recording and its time and says
    // so, and the recording goes on when it is pressed again.
    void silenceIsReportedUntilSoundComesAndPauseHoldsTheRecording() {
        const std::string input = folder + "quiet-then-tone.wav";
        murmel::test::WriteFile(input, QuietThenTone(3500, 5000));
        const QByteArray capture = qgetenv("MURMEL_CAPTURE");
        qputenv("MURMEL_CAPTURE", "file:" + QByteArray::fromStdString(input));
        TFormMain window(folder);  // its input is made now, from the file
        qputenv("MURMEL_CAPTURE", capture);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* record = Find<QPushButton>(window, "bitbtnRec");
        auto* pause = Find<QPushButton>(window, "bitbtnPause");
        auto* bar = Find<QStatusBar>(window, "StatusBar1");
        auto* time = Find<QLabel>(window, "lbRecTime");
        QVERIFY(!pause->isEnabled());
        QTest::mouseClick(record, Qt::LeftButton);
        QVERIFY(pause->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(bar->currentMessage().startsWith(QStringLiteral("没有听到")),
                                 5000);
        QVERIFY(!bar->accessibleDescription().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(bar->accessibleDescription().isEmpty(), 3000);
        QVERIFY(bar->currentMessage().isEmpty());

        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(pause->text(), QStringLiteral("继续(&P)"));
        QVERIFY(bar->currentMessage().contains(QStringLiteral("已暂停")));
        const QString held = time->text();
        QTest::qWait(300);
        QCOMPARE(time->text(), held);
        QVERIFY(window.Session().Recording());
        QTest::keyClick(&window, Qt::Key_P, Qt::AltModifier);  // the key clicks after a moment
        QTRY_COMPARE(pause->text(), QStringLiteral("暂停(&P)"));
        QVERIFY(bar->currentMessage().isEmpty());
        QTRY_VERIFY(time->text() != held);
        QTest::mouseClick(record, Qt::LeftButton);
        QVERIFY(!pause->isEnabled());
        QCOMPARE(MyVoice().size(), 1);
    }

    void choosingMusicFollowsTheSelectionInTheStatusBar() {
        TFormMain window(folder);
        window.show();
        QString seen, title, directory;
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            directory = dialog->directory().absolutePath() + "/";
            // What the dialog says when the user moves its selection onto the tune.
            emit dialog->currentChanged(tune);
            seen = window.findChild<QStatusBar*>(QStringLiteral("StatusBar1"))->currentMessage();
            dialog->selectFile(tune);
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        });
        QTest::mouseClick(Find<QPushButton>(window, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("请选择Midi文件作为背景音乐"));
        QCOMPARE(directory, QString::fromStdString(folder + "BGMusic/"));
        QCOMPARE(seen, QStringLiteral("背景音乐") + tune);
    }

    void feedbackFillsTheMessage() {
        TFormMain window(folder);
        Find<QTabWidget>(window, "PageControl1")->setCurrentIndex(1);
        window.FeedbackClick();
        window.FeedbackClick();
        QCOMPARE(Find<QLineEdit>(window, "edtEmailToSend")->text(),
                 QStringLiteral("ads@murmel.example"));
        QCOMPARE(Find<QLineEdit>(window, "edtSubject")->text(), QStringLiteral("我有建议"));
        QCOMPARE(Find<QPlainTextEdit>(window, "MemoMailBody")->toPlainText(),
                 QStringLiteral("奎岚语音邮件开发小组，你们好:\n奎岚语音邮件开发小组，你们好:"));
        QCOMPARE(Find<QTabWidget>(window, "PageControl1")->currentIndex(), 0);
    }

    void menusOpenTheirDialogs() {
        TFormMain window(folder);
        QList<QAction*> actions = window.findChildren<QAction*>();
        QStringList texts;
        for (QAction* action : actions) texts << action->text();
        for (const char* text : {"参数设置(&O)", "关于(&A)", "升级检查(&U)", "建议与批评(&G)"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        bool aboutShown = false;
        WhenModal<TFormAbout>([&](TFormAbout* about) {
            aboutShown =
                about->findChild<QLabel*>("lbMail")->text() == QStringLiteral("ads@murmel.example");
            about->accept();
        });
        window.AboutClick();
        QVERIFY(aboutShown);
        bool setupShown = false;
        WhenModal<TFormSetup>([&](TFormSetup* setup) {
            setupShown = true;
            setup->reject();
        });
        window.SetupClick();
        QVERIFY(setupShown);
    }

    void attachmentPopupFollowsTheSelection() {
        TFormMain window(folder);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* list = Find<QListWidget>(window, "ListViewShowFileIcon");
        auto* open = window.findChild<QAction*>("MenuItemOpen");
        auto* add = window.findChild<QAction*>("MenuItemAdd");
        auto* del = window.findChild<QAction*>("MenuItemDel");
        auto* saveAs = window.findChild<QAction*>("MenuItemSaveAs");
        auto onlyAdd = [&] {
            window.UpdateFileIconMenu();
            return !open->isEnabled() && add->isEnabled() && !del->isEnabled() &&
                   !saveAs->isEnabled();
        };
        QVERIFY(onlyAdd());

        murmel::test::WriteFile(folder + "keep.txt", "x");
        window.Attachments().AddAttachment(folder + "keep.txt");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("keep.txt"));
        QVERIFY(!list->item(0)->icon().isNull());
        QTest::qWait(50);  // the view lays its items out later
        const QPoint item = list->visualItemRect(list->item(0)).center();
        const QPoint empty = list->viewport()->rect().bottomRight() - QPoint(3, 3);
        QVERIFY(!list->itemAt(empty));
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item);
            window.UpdateFileIconMenu();
            QVERIFY(open->isEnabled() && add->isEnabled() && del->isEnabled() &&
                    saveAs->isEnabled());
            // Empty space: nothing is selected any more, so only "添加" is offered,
            // already when the button goes down (where the desktop opens the menu).
            QTest::mousePress(list->viewport(), button, {}, empty);
            QVERIFY2(onlyAdd(), button == Qt::LeftButton ? "left press" : "right press");
            QTest::mouseRelease(list->viewport(), button, {}, empty);
            QVERIFY2(onlyAdd(), button == Qt::LeftButton ? "left click" : "right click");
        }
    }

    // A file the user brought leaves the list and stays on disk; a recording of
    // ours goes to the desktop's trash.
    void deleteNeverRemovesTheUsersOwnFiles() {
        TFormMain window(folder);
        auto* list = Find<QListWidget>(window, "ListViewShowFileIcon");
        const std::string contract = folder + "contract.pdf", ours = folder + "MyVoice/a.mp3";
        murmel::test::WriteFile(contract, "signed");
        murmel::test::WriteFile(ours, "voice");
        window.Attachments().AddAttachment(contract);
        window.Attachments().AddAttachment(ours);
        ModalDriver driver;
        list->setCurrentRow(0);
        window.MenuItemDelClick();
        QCOMPARE(list->count(), 1);
        QCOMPARE(murmel::test::ReadFile(contract), std::string("signed"));
        list->setCurrentRow(0);
        window.MenuItemDelClick();
        QCOMPARE(list->count(), 0);
        QVERIFY(!fs::exists(ours));
        QCOMPARE(
            murmel::test::ReadFile(std::string(qgetenv("XDG_DATA_HOME")) + "/Trash/files/a.mp3"),
            std::string("voice"));
        QVERIFY2(driver.Messages.isEmpty(), qPrintable(driver.Messages.join('|')));
    }

    // Naming by dialog: a fresh name is proposed, and replacing a file is asked
    // about, naming it; "no" asks for the name again.
    void theSaveDialogProposesAFreshNameAndAsksBeforeReplacing() {
        murmel::SettingsStore(folder).WriteText("AutoNameFile", "AutoName", "NO");
        const QString old = QString::fromStdString(folder + "old.mp3");
        murmel::test::WriteFile(old.toStdString(), "an earlier recording");
        TFormMain window(folder);
        window.Session().Now = [] {
            std::tm t{};
            t.tm_year = 104, t.tm_mon = 6, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 3, t.tm_sec = 7;
            return t;
        };
        window.show();
        QStringList proposals, questions;
        auto answerQuestion = [&](QMessageBox::StandardButton answer) {
            WhenModal<QMessageBox>([&questions, answer](QMessageBox* box) {
                questions << box->text();
                box->button(answer)->click();
            });
        };
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            proposals << dialog->selectedFiles().value(0);
            AcceptTyped(dialog, old);
            answerQuestion(QMessageBox::No);
            WhenModal<QFileDialog>([&](QFileDialog* again) {
                proposals << again->selectedFiles().value(0);
                AcceptTyped(again, old);
                answerQuestion(QMessageBox::Yes);
            });
        });
        auto* record = Find<QPushButton>(window, "bitbtnRec");
        QTest::mouseClick(record, Qt::LeftButton);
        QTest::qWait(300);
        QTest::mouseClick(record, Qt::LeftButton);
        QCOMPARE(proposals,
                 QStringList({QString::fromStdString(folder + "MyVoice/2004_7_5_9_3_7.mp3"), old}));
        const QString question = QStringLiteral("%1 已经存在。\n要替换它吗?").arg(old);
        QCOMPARE(questions, QStringList({question, question}));
        QVERIFY(murmel::test::ReadFile(old.toStdString()).substr(0, 4) == "RIFF");
        QCOMPARE(window.CurrentMailFields().attachments, QStringList{old});
    }

    // Save as writes the name typed plus the item's extension only when it lacks
    // it, and asks about that very file.
    void saveAsAsksAboutTheFileReallyWritten() {
        TFormMain window(folder);
        window.show();
        const std::string item = folder + "合同.pdf", copy = folder + "副本.pdf";
        murmel::test::WriteFile(item, "contract");
        murmel::test::WriteFile(copy, "older copy");
        window.Attachments().AddAttachment(item);
        Find<QListWidget>(window, "ListViewShowFileIcon")->setCurrentRow(0);
        QStringList questions;
        auto answerQuestion = [&](QMessageBox::StandardButton answer) {
            WhenModal<QMessageBox>([&questions, answer](QMessageBox* box) {
                questions << box->text();
                box->button(answer)->click();
            });
        };
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            AcceptTyped(dialog, QString::fromStdString(folder + "副本"));
            answerQuestion(QMessageBox::No);
            WhenModal<QFileDialog>([&](QFileDialog* again) {
                AcceptTyped(again, QString::fromStdString(copy));
                answerQuestion(QMessageBox::Yes);
            });
        });
        window.MenuItemSaveAsClick();
        const QString question =
            QStringLiteral("%1 已经存在。\n要替换它吗?").arg(QString::fromStdString(copy));
        QCOMPARE(questions, QStringList({question, question}));
        QCOMPARE(murmel::test::ReadFile(copy), std::string("contract"));
        QVERIFY(!fs::exists(copy + ".pdf"));
    }
};

QTEST_MAIN(RecorderWindowTest)
#include "recorder_window_test.moc"
