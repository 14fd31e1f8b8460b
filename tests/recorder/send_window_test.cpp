// The send buttons' commands through their dialogs, offscreen, against real
// servers on loopback and stand-ins for the desktop's mail program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "FormSendMail.h"
#include "GbkText.h"
#include "PresetsStore.h"
#include "SendCommands.h"
#include "SendTestSupport.h"
#include "TFormMain.h"

namespace murmel {
namespace {

using test::FreshFolder;
using test::ProgramFolderFor;

QApplication& App() { return *qobject_cast<QApplication*>(QCoreApplication::instance()); }

// Every caption a progress dialog was given, in order.
class CaptionRecorder : public QObject {
  public:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange)
            if (auto* dialog = qobject_cast<TFormSendMail*>(object))
                captions.push_back(dialog->windowTitle());
        return false;
    }
    QStringList captions;
};

// Calls `step` with the modal window each time one is up, every 10 ms, until
// `step` returns true or the watch returned goes.
[[nodiscard]] std::unique_ptr<QTimer> WhileModal(std::function<bool(QWidget*)> step) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [timer = timer.get(), step] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && step(modal)) timer->stop();
    });
    timer->start(10);
    return timer;
}

bool WaitFor(std::function<bool()> condition, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms) QTest::qWait(10);
    return condition();
}

class SendWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        setenv("LC_ALL", "zh_CN.UTF-8", 1);
        setenv("MURMEL_AUDIO", "null", 1);
        setenv("MURMEL_COUNTER_URL", counter.Url().c_str(), 1);
        qApp->installEventFilter(&recorder);
    }
    void TearDown() override {
        qApp->removeEventFilter(&recorder);
        unsetenv("MURMEL_COUNTER_URL");
    }

    test::CounterServer counter;
    CaptionRecorder recorder;
    QWidget formMain;
};

const QString kCreated = "正在发送......", kConnecting = "正在连接...",
              kSending = "正在发送语音邮件", kSucceeded = "邮件发送成功",
              kFailed = "错误,已断开连接";

TEST_F(SendWindow, TwoSendsInARowArriveCompleteAndAreCountedOnceEach) {
    test::RealSmtpServer real("real");
    std::string files = FreshFolder("files");
    test::WriteFile(files + "voice.mvm", test::RandomBytes(250000, 1));
    test::WriteFile(files + "note.txt", "hello\n");
    SendCommands commands(&formMain, ProgramFolderFor(real.server.Port()));
    NewMailFields fields{
        "friend@example.com",
        "语音邮件",
        "你好",
        {QString::fromStdString(files + "voice.mvm"), QString::fromStdString(files + "note.txt")}};
    int lastValue = -1, lastMaximum = 0;
    commands.SendOwn(fields);  // the dialog closes itself after the success
    EXPECT_EQ(recorder.captions, (QStringList{kCreated, kConnecting, kSending, kSucceeded}));
    EXPECT_TRUE(real.Received(1));
    EXPECT_EQ(real.Mail("1.part1"), test::ReadFile(files + "voice.mvm"));
    EXPECT_EQ(real.Mail("1.part2"), "hello\n");
    EXPECT_NE(real.Mail("1.eml").find(Utf8ToGbk("这是一封语音邮件,主要的内容在邮件的附件中")),
              std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return counter.Requests() == 1; }));

    recorder.captions.clear();
    auto watch = WhileModal([&](QWidget* modal) {
        auto* bar = modal->findChild<QProgressBar*>("ProgressBar1");
        lastValue = bar->value();
        lastMaximum = bar->maximum();
        return modal->windowTitle() == kSucceeded;
    });
    commands.SendOwn(fields);
    EXPECT_EQ(recorder.captions, (QStringList{kCreated, kConnecting, kSending, kSucceeded}));
    EXPECT_EQ(lastValue, lastMaximum);  // full when the server has accepted
    EXPECT_TRUE(real.Received(2));
    EXPECT_TRUE(WaitFor([&] { return counter.Requests() == 2; }));
    EXPECT_TRUE(WaitFor([&] {
        QCoreApplication::processEvents();
        return commands.RunningJobs() == 0;
    }));
}

TEST_F(SendWindow, StartTlsAndAuthLoginDeliverTheRecordingByteIdentical) {
    std::string certs = test::TestCertificate();
    ASSERT_FALSE(certs.empty());
    test::RealSmtpServer real(
        "tls-auth", {"--tls", certs + "cert.pem", certs + "key.pem", "--auth", "user:secret"});
    std::string program = ProgramFolderFor(real.server.Port());
    SettingsStore settings(program);
    settings.WriteText("SMTP", "SMTPAuthenticationType", "1");
    settings.WriteText("SMTP", "ServerUser", "user");
    settings.WriteText("SMTP", "ServerPassword", "secret");
    setenv("MURMEL_CA_FILE", (certs + "cert.pem").c_str(), 1);
    std::string files = FreshFolder("files");
    test::WriteFile(files + "2026_12_9_13_5_0.mvm", test::RandomBytes(120000, 7));
    SendCommands commands(&formMain, program);
    commands.SendOwn(
        {"friend@example.com", "s", "b", {QString::fromStdString(files + "2026_12_9_13_5_0.mvm")}});
    unsetenv("MURMEL_CA_FILE");
    EXPECT_EQ(recorder.captions.back(), kSucceeded);
    EXPECT_EQ(real.Mail("1.part1"), test::ReadFile(files + "2026_12_9_13_5_0.mvm"));
}

TEST_F(SendWindow, ARefusalLeavesTheDialogOpenWithTheFailureAndWhy) {
    for (auto [scenario, reason] : {std::pair{"rcpt550", "550 No such user here"},
                                    {"final-reject", "554 Transaction failed"},
                                    {"hostile", "550 \\x1b]0;pwned\\x07\\x1b[2J"}}) {
        SCOPED_TRACE(scenario);
        recorder.captions.clear();
        test::ScriptedSmtpServer scripted(scenario);
        SendCommands commands(&formMain, ProgramFolderFor(scripted.server.Port()));
        QString shownReason;
        bool reasonVisible = false, plainText = false;
        auto watch = WhileModal([&](QWidget* modal) {
            if (modal->windowTitle() != kFailed) return false;
            QTest::qWait(300);  // stays open
            if (QApplication::activeModalWidget() != modal) return true;
            auto* label = modal->findChild<QLabel*>("lbReason");
            shownReason = label->text();  // whole, wrapped, within the dialog
            reasonVisible = label->isVisible() && label->wordWrap() &&
                            label->height() >= label->heightForWidth(label->width()) &&
                            modal->rect().contains(label->geometry());
            plainText = label->textFormat() == Qt::PlainText;  // "<b>" stays as it came
            QTest::mouseClick(modal->findChild<QPushButton*>("Button1"), Qt::LeftButton);
            return true;
        });
        commands.SendOwn({"friend@example.com", "s", "b", {}});
        EXPECT_EQ(recorder.captions.back(), kFailed);
        EXPECT_TRUE(recorder.captions.contains(kSending));
        EXPECT_TRUE(shownReason.contains(reason)) << shownReason.toStdString();
        EXPECT_TRUE(reasonVisible);
        EXPECT_TRUE(plainText);
    }
    EXPECT_TRUE(WaitFor([&] { return counter.Requests() == 3; }));
}

TEST_F(SendWindow, EscapeHidesTheDialogButTheSendStillTellsItsOutcome) {
    test::RealSmtpServer real("escaped");
    test::ScriptedSmtpServer refusing("rcpt550");
    for (auto [port, outcome] :
         {std::pair{real.server.Port(), QString("邮件发送成功")},
          {refusing.server.Port(),
           QString("邮件发送失败：The server refused: 550 No such user here")}}) {
        SendCommands commands(&formMain, ProgramFolderFor(port));
        QSignalSpy ended(&commands, &SendCommands::SendEnded);
        auto watch = WhileModal([&](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Escape);  // at once, long before the end
            return true;
        });
        commands.SendOwn({"friend@example.com", "s", "b", {}});
        ASSERT_TRUE(ended.count() == 1 || ended.wait(5000)) << outcome.toStdString();
        EXPECT_EQ(ended.at(0).at(0).toString(), outcome);
    }
}

TEST_F(SendWindow, CancelAgainstASilentServerClosesAtOnceAndTheJobEnds) {
    test::ScriptedSmtpServer silent("silent");
    SendCommands commands(&formMain, ProgramFolderFor(silent.server.Port()));
    QElapsedTimer sinceCancel;
    auto watch = WhileModal([&](QWidget* modal) {
        if (modal->windowTitle() != kConnecting) return false;
        QTest::qWait(200);  // connected, waiting for a greeting that never comes
        sinceCancel.start();
        QTest::mouseClick(modal->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        return true;
    });
    commands.SendOwn({"friend@example.com", "s", "b", {}});
    EXPECT_LT(sinceCancel.elapsed(), 200);
    EXPECT_TRUE(WaitFor([&] { return commands.RunningJobs() == 0; }, 2000));
    EXPECT_TRUE(WaitFor([&] { return counter.Requests() == 1; }));
}

TEST_F(SendWindow, ClosingTimeWhileTheDialogIsUpEndsTheJobAndTheDialog) {
    test::ScriptedSmtpServer silent("silent");
    SendCommands commands(&formMain, ProgramFolderFor(silent.server.Port()));
    auto watch = WhileModal([&](QWidget* modal) {
        if (modal->windowTitle() != kConnecting) return false;
        commands.WaitForJobs();
        return true;
    });
    commands.SendOwn({"friend@example.com", "s", "b", {}});
    EXPECT_EQ(commands.RunningJobs(), 0u);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SendWindow, AJobLeftRunningByTheCloseBoxKeepsItsOwnObjectsUntilClosingTime) {
    test::ScriptedSmtpServer silent("silent");
    test::RealSmtpServer real("second");
    std::string program = ProgramFolderFor(silent.server.Port());
    SendCommands commands(&formMain, program);
    auto watch = WhileModal([&](QWidget* modal) {
        if (modal->windowTitle() != kConnecting) return false;
        modal->close();  // the close box leaves the connection alone
        return true;
    });
    commands.SendOwn({"friend@example.com", "s", "b", {}});
    EXPECT_EQ(commands.RunningJobs(), 1u);

    // The next send, to another server, while the first still waits for a greeting.
    SettingsStore(program).WriteText("SMTP", "ServerPort", std::to_string(real.server.Port()));
    commands.SendOwn({"friend@example.com", "s", "b", {}});
    EXPECT_TRUE(real.Received(1));
    EXPECT_EQ(commands.RunningJobs(), 1u);

    QElapsedTimer closing;
    closing.start();
    commands.WaitForJobs();  // cancels the silent one and waits for its worker
    EXPECT_LT(closing.elapsed(), 1000);
    EXPECT_EQ(commands.RunningJobs(), 0u);
}

class HandOffWindow : public SendWindow {
  protected:
    // Runs HandOff and returns the text of the message box it showed, if any.
    QString HandOff(SendCommands& commands, const NewMailFields& fields) {
        QString shown;
        auto watch = WhileModal([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                shown = box->text();
                box->accept();
                return true;
            }
            return false;
        });
        QSignalSpy ended(&commands, &SendCommands::HandOffEnded);
        commands.HandOff(fields);
        if (shown.isEmpty()) ended.wait(5000);
        return shown;
    }
};

TEST_F(HandOffWindow, TheMailProgramGetsEveryFieldWithoutTheFooter) {
    std::string files = FreshFolder("hand-off");
    for (const char* name : {"b.mvm", "a.mp3"}) test::WriteFile(files + name, "voice");
    test::MailDesktop desktop;
    SendCommands commands(&formMain, "/program/");
    QString shown = HandOff(commands, {"cC:friend@example.com",
                                       "主题",
                                       "第一行\n第二行",
                                       {QString::fromStdString(files + "b.mvm"),
                                        QString::fromStdString(files + "a.mp3")}});
    EXPECT_TRUE(shown.isEmpty()) << shown.toStdString();
    EXPECT_EQ(test::HandedOverFields(desktop.Arguments()),
              (test::MailFields{{"cc", "friend@example.com"},
                                {"subject", "主题"},
                                {"body", "第一行\r\n第二行"},
                                {"attach", files + "b.mvm"},
                                {"attach", files + "a.mp3"}}));
    EXPECT_TRUE(WaitFor([&] { return counter.Requests() == 1; }));
}

TEST_F(HandOffWindow, NoAtSignShowsTheMessageAndHandsNothingOver) {
    test::MailDesktop desktop;
    SendCommands commands(&formMain, "/program/");
    EXPECT_EQ(HandOff(commands, {"friend.example.com", "s", "b", {}}),
              "收件人地址似乎有误，请修正");
    QTest::qWait(200);
    EXPECT_FALSE(desktop.HandedOver());
    EXPECT_EQ(counter.Requests(), 0);
}

TEST_F(HandOffWindow, WithoutAWorkingMailProgramTheUserIsToldWhereTheRecordingsAre) {
    for (bool xdgEmail : {true, false}) {
        test::MailDesktop nothingForMailto("");
        if (!xdgEmail) setenv("PATH", FreshFolder("nothing").c_str(), 1);
        SendCommands commands(&formMain, "/program/");
        QString shown = HandOff(commands, {"a@example.com", "s", "b", {}});
        EXPECT_TRUE(shown.contains("\"MyVoice\"")) << shown.toStdString();
        EXPECT_TRUE(shown.contains("/program/MyVoice")) << shown.toStdString();
    }
}

// Both send buttons of the main window, with a recording running when pressed.
class SendFromTheWindow : public HandOffWindow {
  protected:
    void SetUp() override {
        HandOffWindow::SetUp();
        setenv("MURMEL_CAPTURE", "tone:440", 1);
        InstallPresets();
    }
    std::string ProgramFolder(int port) {
        std::string folder = ProgramFolderFor(port, "program dir");
        for (const char* sub : {"BGMusic", "MyVoice", "Address"})
            std::filesystem::create_directories(folder + sub);
        test::WriteFile(folder + "Address/Default.txt", "");
        return folder;
    }
    static std::vector<std::string> Recordings(const std::string& folder) {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(folder + "MyVoice"))
            names.push_back(entry.path().filename().string());
        return names;
    }
    // Starts a recording in the window and lets it run a moment.
    static void Record(TFormMain& window) {
        auto* record = window.findChild<QPushButton*>("bitbtnRec");
        QTest::mouseClick(record, Qt::LeftButton);
        ASSERT_EQ(record->text(), "停止");
        QTest::qWait(600);
    }
};

TEST_F(SendFromTheWindow, ARunningRecordingIsSavedAndTravelsWithTheMail) {
    std::string certs = test::TestCertificate();
    ASSERT_FALSE(certs.empty());
    test::RealSmtpServer real(
        "window", {"--tls", certs + "cert.pem", certs + "key.pem", "--auth", "user:secret"});
    setenv("MURMEL_CA_FILE", (certs + "cert.pem").c_str(), 1);
    std::string folder = ProgramFolder(real.server.Port());
    SettingsStore settings(folder);
    settings.WriteText("SMTP", "SMTPAuthenticationType", "1");
    settings.WriteText("SMTP", "ServerUser", "user");
    settings.WriteText("SMTP", "ServerPassword", "secret");
    TFormMain window(folder);
    window.show();
    window.findChild<QLineEdit*>("edtEmailToSend")->setText("friend@example.com");
    Record(window);
    QTest::mouseClick(window.findChild<QPushButton*>("bitBtnSendMail"), Qt::LeftButton);

    EXPECT_EQ(window.findChild<QPushButton*>("bitbtnRec")->text(), "录音");
    std::vector<std::string> saved = Recordings(folder);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(window.findChild<QListWidget*>("ListViewShowFileIcon")->count(), 1);
    EXPECT_EQ(recorder.captions.back(), kSucceeded);
    EXPECT_EQ(real.Mail("1.part1"), test::ReadFile(folder + "MyVoice/" + saved[0]));
    EXPECT_EQ(real.Mail("1.part1.name"), saved[0]);
    EXPECT_EQ(window.findChild<QStatusBar*>("StatusBar1")->currentMessage(), kSucceeded);
    unsetenv("MURMEL_CA_FILE");
    window.close();
}

TEST_F(SendFromTheWindow, TheHandOffSavesFirstThenChecksTheRecipient) {
    test::MailDesktop desktop;
    InstallPresets();  // into the desktop's own configuration folder
    std::string folder = ProgramFolder(test::ClosedPort());
    TFormMain window(folder);
    window.show();
    auto* to = window.findChild<QLineEdit*>("edtEmailToSend");
    auto* handOff = window.findChild<QPushButton*>("BitBtnOutlookSendMail");
    to->setText("friend.example.com");
    Record(window);
    QString shown;
    {
        auto watch = WhileModal([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                shown = box->text();
                box->accept();
                return true;
            }
            return false;
        });
        QTest::mouseClick(handOff, Qt::LeftButton);
        EXPECT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
    }
    EXPECT_EQ(shown, "收件人地址似乎有误，请修正");
    std::vector<std::string> saved = Recordings(folder);
    ASSERT_EQ(saved.size(), 1u);  // saved even though the check failed
    EXPECT_FALSE(desktop.HandedOver());

    to->setText("BCC:friend@example.com");
    QSignalSpy ended(window.findChild<SendCommands*>(), &SendCommands::HandOffEnded);
    QTest::mouseClick(handOff, Qt::LeftButton);
    ASSERT_TRUE(ended.wait(5000));
    test::MailFields handed = test::HandedOverFields(desktop.Arguments());
    ASSERT_GE(handed.size(), 2u);
    EXPECT_EQ(handed.front(), (std::pair<std::string, std::string>{"bcc", "friend@example.com"}));
    EXPECT_EQ(handed.back(),
              (std::pair<std::string, std::string>{"attach", folder + "MyVoice/" + saved[0]}));
    window.close();
}

}  // namespace
}  // namespace murmel

// The application lives on main's stack, so it goes before Qt's own statics do.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
