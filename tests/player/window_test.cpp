// The player window on the offscreen platform: its texts, the wiring of its controls
// to the player, and what it shows. Sound goes to the offline renderer.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <functional>

#include "PlayTestFiles.h"
#include "RenderOutput.h"
#include "TForm1.h"

using namespace murmel;
using namespace murmel::test;

namespace {

// Answers the next open dialog with PATH (empty: cancels it) once it is up.
void AnswerOpenDialog(const QString& path) {
    auto answer = std::make_shared<std::function<void()>>();
    *answer = [path, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, *answer);
            return;
        }
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    };
    QTimer::singleShot(0, *answer);
}

QMessageBox* OpenMessageBox(QWidget* window) {
    for (QMessageBox* box : window->findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

}  // namespace

class PlayerWindowTest : public QObject {
    Q_OBJECT

    std::string folder;
    std::unique_ptr<RenderOutput> output;
    std::unique_ptr<TForm1> window;

    template <typename T>
    T* Find(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no widget %s", name);
        return widget;
    }
    QString Caption() { return Find<QPushButton>("BitBtn2")->text(); }

    std::string Mail(const char* name, double seconds,
                     const std::string& schedule = ScheduleText({{0, 5}})) {
        const std::string path = folder + name;
        WriteVoiceMail(path, PcmWave(8000, 1, seconds, 440, 0.3, true), MidiTune(seconds + 1),
                       schedule, true);
        return path;
    }

    void Open(const std::string& commandLineFile = "", bool hasArguments = false) {
        window = std::make_unique<TForm1>(*output, commandLineFile, hasArguments);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

  private slots:
    void init() {
        folder = FreshFolder("window");
        output = std::make_unique<RenderOutput>(folder + "render.wav");
    }

    void cleanup() {
        window.reset();
        output.reset();
        QVERIFY(LooseTempFiles().empty());
    }

    void idleWindowShowsThePlayersTexts() {
        Open();
        QCOMPARE(window->windowTitle(), QStringLiteral("语音邮件播放器"));
        QCOMPARE(window->size(), QSize(389, 52));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QCOMPARE(Find<QPushButton>("BitBtn1")->text(), QStringLiteral("文件"));
        QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("00:00.000"));
        QVERIFY(Find<QLabel>("Label1")->font().bold());
        QCOMPARE(Find<QProgressBar>("ProgressBar1")->toolTip(), QStringLiteral("显示播放进度"));
        QCOMPARE(Find<QProgressBar>("ProgressBar1")->value(), 0);
        QVERIFY(Find<QProgressBar>("ProgressBar1")->maximum() > 0);  // not a busy indicator
        QCOMPARE(Find<QCheckBox>("cbMusic")->text(), QStringLiteral("背景音乐"));
        QVERIFY(Find<QCheckBox>("cbMusic")->isChecked());
        QVERIFY(Find<QLabel>("Label2")->text().contains(QStringLiteral("href=")));
        QVERIFY(Find<QLabel>("Label2")->textInteractionFlags() & Qt::LinksAccessibleByKeyboard);
        QVERIFY(!Find<QLabel>("lbMessage")->isVisible());
        QVERIFY(!window->TmProgress().isActive());
        QVERIFY(!window->Timer1().isActive());  // no command line, no opening
        QCOMPARE(window->Core().SavedMusicVolume(), -600);
    }

    void commandLineFileOpensOneSecondAfterShowing() {
        const std::string mail = Mail("命令 行.mvm", 1.0);
        QElapsedTimer clock;
        clock.start();
        Open(mail, true);
        QVERIFY(window->Timer1().isActive());
        QCOMPARE(window->Timer1().interval(), 1000);
        QCOMPARE(window->Core().CurrentFileName(), mail);
        QTRY_COMPARE_WITH_TIMEOUT(Caption(), QStringLiteral("停止"), 3000);
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(window->TmProgress().isActive());
        QCOMPARE(window->TmProgress().interval(), 50);
        QCOMPARE(Find<QProgressBar>("ProgressBar1")->maximum(), 1000);
        // Ticks move the label and the bar, then the end of the track returns to idle.
        QTRY_VERIFY_WITH_TIMEOUT(Find<QProgressBar>("ProgressBar1")->value() > 0, 2000);
        QVERIFY(Find<QLabel>("Label1")->text().startsWith(QStringLiteral("0:00.")));
        QTRY_COMPARE_WITH_TIMEOUT(Caption(), QStringLiteral("播放"), 4000);
        QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("00:00.000"));
        QVERIFY(!window->TmProgress().isActive());
        QVERIFY(!window->Core().Playing());
        QVERIFY(LooseTempFiles().empty());
    }

    void missingCommandLineFileIsSaidInOneLine() {
        Open(folder + "gone.mvm", true);
        QLabel* line = Find<QLabel>("lbMessage");
        QTRY_VERIFY_WITH_TIMEOUT(line->isVisible(), 3000);
        QVERIFY(line->text().contains(QStringLiteral("gone.mvm")));
        QVERIFY(line->toolTip().contains(QString::fromStdString(folder + "gone.mvm")));
        QCOMPARE(window->height(), 72);
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QVERIFY(!OpenMessageBox(window.get()));  // a line, not a dialog
    }

    void playButtonTogglesPlayback() {
        Open();
        window->Core().SetCurrentFileName(Mail("toggle.mvm", 5.0));
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(Caption(), QStringLiteral("停止"));
        QVERIFY(window->Core().Playing());
        QVERIFY(window->TmProgress().isActive());
        QTest::qWait(200);
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QVERIFY(!window->Core().Playing());
        QVERIFY(!window->TmProgress().isActive());
        QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("00:00.000"));
        QCOMPARE(Find<QProgressBar>("ProgressBar1")->value(), 0);
    }

    void playWithNothingChosenReadsStopUntilClickedAgain() {
        Open();
        AnswerOpenDialog(QString());  // the user cancels the dialog
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(Caption(), QStringLiteral("停止"));
        QVERIFY(window->Core().Playing());
        QVERIFY(!window->TmProgress().isActive());
        QVERIFY(!Find<QLabel>("lbMessage")->isVisible());  // a cancel is no failure
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QVERIFY(!window->Core().Playing());
    }

    void refusedVoiceTrackShowsTheErrorAndReadsPlay() {
        Open();
        const std::string mail = folder + "novoice.mvm";
        WriteVoiceMail(mail, "", MidiTune(2), ScheduleText({{0, 5}}), true);
        window->Core().SetCurrentFileName(mail);
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QMessageBox* box = OpenMessageBox(window.get());
        QVERIFY(box);
        QVERIFY(!box->text().isEmpty());
        box->close();
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QVERIFY(window->Core().Playing());  // so the next click takes the stop branch
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QCOMPARE(Caption(), QStringLiteral("播放"));
        QVERIFY(!window->Core().Playing());
    }

    void damagedFileChosenWhilePlayingLeavesPlaybackRunning() {
        Open();
        const std::string good = Mail("good.mvm", 5.0);
        AnswerOpenDialog(QString::fromStdString(good));
        QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Caption(), QStringLiteral("停止"), 2000);
        QTest::qWait(150);
        const VoiceMailFiles playing = window->Core().TempFiles();

        const std::string damaged = folder + "damaged.mvm";
        WriteFile(damaged, "\x01\x01 this is no voice mail");
        AnswerOpenDialog(QString::fromStdString(damaged));
        QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
        QLabel* line = Find<QLabel>("lbMessage");
        QTRY_VERIFY_WITH_TIMEOUT(line->isVisible(), 2000);
        QVERIFY(line->text().contains(QStringLiteral("damaged.mvm")));
        QCOMPARE(Caption(), QStringLiteral("停止"));
        QVERIFY(window->TmProgress().isActive());
        QCOMPARE(window->Core().TempFiles().voice, playing.voice);
        const int progress = Find<QProgressBar>("ProgressBar1")->value();
        QTRY_VERIFY_WITH_TIMEOUT(Find<QProgressBar>("ProgressBar1")->value() > progress, 1000);

        // The next successful opening takes the line away again.
        AnswerOpenDialog(QString::fromStdString(good));
        QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!line->isVisible(), 2000);
        QCOMPARE(window->height(), 52);
    }

    void musicBoxMutesAndRestoresTheSavedVolume() {
        Open();
        window->Core().SetCurrentFileName(Mail("music.mvm", 5.0, ScheduleText({{0, 5}})));
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->Core().Music().Volume(), -2000, 1000);  // level 5
        QTest::mouseClick(Find<QCheckBox>("cbMusic"), Qt::LeftButton);
        QVERIFY(window->Core().Music().Mute());
        QCOMPARE(window->Core().SavedMusicVolume(), -2000);
        QTest::mouseClick(Find<QCheckBox>("cbMusic"), Qt::LeftButton);
        QVERIFY(!window->Core().Music().Mute());
        QCOMPARE(window->Core().Music().Volume(), -2000);
    }

    void closingDuringPlaybackDeletesTheTemporaryFiles() {
        Open();
        window->Core().SetCurrentFileName(Mail("close.mvm", 5.0));
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QTest::qWait(150);
        const VoiceMailFiles files = window->Core().TempFiles();
        QVERIFY(QFile::exists(QString::fromStdString(files.voice)));
        QCOMPARE(LooseTempFiles().size(), size_t(6));
        window->close();
        QVERIFY(!window->TmProgress().isActive());
        QVERIFY(LooseTempFiles().empty());
    }
};

QTEST_MAIN(PlayerWindowTest)
#include "window_test.moc"
