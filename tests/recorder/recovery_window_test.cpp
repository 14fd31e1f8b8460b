// The recorder's start offers recordings left unsaved: one dialog lists each with
// its date and length; recovered ones land in "MyVoice" and in the attachment
// list, discarded ones are gone, and those left for later stay. Closing the
// window mid-recording leaves a recording the next start offers.
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "FormRecovery.h"
#include "RecordingRecovery.h"
#include "RecordingSession.h"
#include "TFormMain.h"
#include "TempNames.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Runs `answer` on the recovery dialog once it is shown.
void WhenOffered(std::function<void(TFormRecovery*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<TFormRecovery*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

// A recording of `seconds` of PCM left by a recorder that has died since.
murmel::RecordingJournal LeaveOrphan(const std::string& base, int seconds) {
    murmel::RecordingJournal journal =
        murmel::RecordingJournal::ForThisProcess("Murmel", base, base + ".mp3");
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    journal.writer.pid = child;
    const char format[18] = {1, 0, 2, 0, 0x44, (char)0xAC, 0, 0, 0x10, (char)0xB1, 2, 0, 4, 0, 16};
    murmel::test::WriteFile(base, "");
    murmel::test::WriteFile(
        journal.track, "RIFF" + std::string(4, '\0') + "WAVEfmt " + std::string("\x12\0\0\0", 4) +
                           std::string(format, 18) + "data" + std::string(4, '\0') +
                           std::string(size_t(seconds) * 176400, '\1'));
    murmel::WriteRecordingJournal(journal);
    return journal;
}

}  // namespace

class RecoveryWindowTest : public QObject {
    Q_OBJECT

  private:
    std::string folder, temp;

  private slots:
    void init() {
        folder = murmel::test::FreshFolder("recovery program");
        fs::create_directories(folder + "MyVoice");
        fs::create_directories(folder + "Address");
        murmel::test::WriteFile(folder + "Address/Default.txt", "");
        temp = murmel::TempFolder();
        for (auto& entry : fs::directory_iterator(temp))
            if (entry.path().extension() == ".journal") fs::remove(entry.path());
    }

    void startOffersOrphansAndRecoveredOnesBecomeAttachments() {
        LeaveOrphan(temp + "51.tmp", 2);
        murmel::RecordingJournal second = LeaveOrphan(temp + "52.tmp", 1);
        TFormMain window(folder);
        bool offered = false;
        WhenOffered([&](TFormRecovery* dialog) {
            offered = true;
            auto* list = dialog->findChild<QTreeWidget*>("lstvuRecordings");
            QCOMPARE(list->topLevelItemCount(), 2);
            QCOMPARE(list->headerItem()->text(0), QStringLiteral("日期"));
            QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("0:02.000"));
            QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("0:01.000"));
            // Where each will go, shown before the user decides.
            QCOMPARE(list->headerItem()->text(3), QStringLiteral("保存到"));
            QVERIFY(list->topLevelItem(0)->text(3).startsWith(
                QString::fromStdString(folder + "MyVoice/")));
            QVERIFY(list->topLevelItem(0)->text(3).endsWith(QStringLiteral(".mp3")));
            QCOMPARE(dialog->findChild<QLabel*>("lbRecoveryHint")->buddy(), list);
            // Only the first is recovered; the second is left for later.
            list->clearSelection();
            list->topLevelItem(0)->setSelected(true);
            dialog->findChild<QPushButton*>("bitbtnRecover")->click();
            QCOMPARE(list->topLevelItemCount(), 1);
            dialog->findChild<QPushButton*>("bitbtnLater")->click();
        });
        window.show();
        QTRY_VERIFY(offered);
        QTRY_COMPARE(window.Attachments().Count(), size_t(1));
        const std::string saved = window.Attachments().Items()[0].path;
        QCOMPARE(saved.substr(0, folder.size() + 8), folder + "MyVoice/");
        QVERIFY(fs::file_size(saved) == 46 + 2 * 176400 + 12);
        QVERIFY(!fs::exists(temp + "51.tmp.mp3"));
        QVERIFY(fs::exists(second.track));
        QCOMPARE(murmel::FindOrphanRecordings(temp).orphans.size(), size_t(1));
    }

    void discardRemovesTheRecording() {
        murmel::RecordingJournal journal = LeaveOrphan(temp + "53.tmp", 1);
        TFormMain window(folder);
        WhenOffered([](TFormRecovery* dialog) {
            dialog->findChild<QPushButton*>("bitbtnDiscard")->click();
        });
        window.show();
        QTRY_VERIFY(!fs::exists(journal.track));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(window.Attachments().Count(), size_t(0));
    }

    void closingMidRecordingLeavesAJournalForTheNextStart() {
        std::string base;
        {
            TFormMain window(folder);
            window.show();
            QTest::qWait(50);
            window.findChild<QPushButton*>("bitbtnRec")->click();
            QVERIFY(window.Session().Recording());
            base = window.Session().TempBaseName();
            QTest::qWait(300);
            window.close();
        }
        QVERIFY(fs::exists(murmel::JournalPathFor(base)));
        QVERIFY(fs::exists(base + ".mp3"));
        QVERIFY2(fs::is_empty(folder + "MyVoice"), "closing saves nothing by itself");
    }
};

QTEST_MAIN(RecoveryWindowTest)
#include "recovery_window_test.moc"
