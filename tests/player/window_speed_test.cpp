// The player window's speed button, seeking on the bar and by keys, and export, on
// the offscreen platform. Sound goes to the offline renderer.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "IniFile.h"
#include "PlayTestFiles.h"
#include "RenderOutput.h"
#include "TForm1.h"

using namespace murmel;
using namespace murmel::test;

namespace {

// Answers the next file dialog with PATH once it is up.
void AnswerFileDialog(const QString& path) {
    auto answer = std::make_shared<std::function<void()>>();
    *answer = [path, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, *answer);
            return;
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    };
    QTimer::singleShot(0, *answer);
}

}  // namespace

class PlayerSpeedWindowTest : public QObject {
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

    std::string Mail(const char* name, double seconds) {
        const std::string path = folder + name;
        WriteVoiceMail(path, PcmWave(8000, 1, seconds, 440, 0.3, true), MidiTune(seconds + 1),
                       ScheduleText({{0, 9}, {2000, 4}, {4000, 7}}), true);
        return path;
    }

    void Open() {
        window = std::make_unique<TForm1>(*output, "", false);
        window->UseSettingsFile(folder + "Murmelplay.ini");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void Play(const std::string& mail) {
        window->Core().SetCurrentFileName(mail);
        QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
        QVERIFY(window->Core().Playing());
    }

    int64_t Position() { return window->Core().Display().progress; }

  private slots:
    void init() {
        folder = FreshFolder("window-speed");
        output = std::make_unique<RenderOutput>(folder + "render.wav");
    }

    void cleanup() {
        window.reset();
        output.reset();
        QVERIFY(LooseTempFiles().empty());
    }

    void speedButtonStepsThroughTheSpeedsAndIsRemembered() {
        Open();
        auto* speed = Find<QToolButton>("sbtnSpeed");
        QCOMPARE(speed->text(), QStringLiteral("1×"));
        QCOMPARE(speed->toolTip(), QStringLiteral("播放速度"));
        QVERIFY(speed->accessibleName().startsWith(QStringLiteral("播放速度")));
        const QStringList expected = {QStringLiteral("1.25×"), QStringLiteral("1.5×"),
                                      QStringLiteral("2×"),    QStringLiteral("1×"),
                                      QStringLiteral("1.25×"), QStringLiteral("1.5×")};
        for (const QString& text : expected) {
            QTest::mouseClick(speed, Qt::LeftButton);
            QCOMPARE(speed->text(), text);
        }
        QCOMPARE(window->Core().Speed(), 1.5);
        QCOMPARE(window->Core().Music().Tempo(), 1.5);
        QCOMPARE(IniFile(folder + "Murmelplay.ini").ReadNumber("Player", "SpeedPercent", 0), 150);

        window.reset();
        Open();  // a new run
        QCOMPARE(Find<QToolButton>("sbtnSpeed")->text(), QStringLiteral("1.5×"));
        QCOMPARE(window->Core().Speed(), 1.5);
    }

    void clickOnTheBarJumpsThere() {
        Open();
        Play(Mail("bar.mvm", 8.0));
        QTest::qWait(150);
        auto* bar = Find<QProgressBar>("ProgressBar1");
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 3 / 4, bar->height() / 2));
        QVERIFY(std::abs(Position() - 6000) < 100);
        QCOMPARE(window->Core().Music().Volume(), -1200);  // the entry at 4 s
        QVERIFY(std::abs(bar->value() - static_cast<int>(Position())) < 100);
        QTest::qWait(200);
        QVERIFY(Position() > 6000);
    }

    void keysJumpAndSpacePlaysAndStops() {
        Open();
        Play(Mail("keys.mvm", 12.0));
        QTest::qWait(100);
        QTest::keyClick(window.get(), Qt::Key_Right);
        QVERIFY(std::abs(Position() - 5100) < 150);
        QCOMPARE(window->Core().Music().Volume(), -1200);  // the entry at 4 s
        QTest::keyClick(window.get(), Qt::Key_Right);
        QVERIFY(std::abs(Position() - 10100) < 200);
        QTest::keyClick(window.get(), Qt::Key_Left);
        QVERIFY(std::abs(Position() - 5100) < 250);
        QTest::keyClick(window.get(), Qt::Key_Home);
        QCOMPARE(Position(), 0);
        QCOMPARE(window->Core().Music().Volume(), PlayerCore::kStartVolume);

        // Space on the bar plays and stops; Ctrl+P does so wherever the focus is.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto* bar = Find<QProgressBar>("ProgressBar1");
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Space);
        QVERIFY(!window->Core().Playing());
        auto* music = Find<QCheckBox>("cbMusic");
        QTest::keyClick(music, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(window->Core().Playing());
        // On the music box Space ticks the box; on a button Space and Return press it.
        music->setFocus();
        QTest::keyClick(music, Qt::Key_Space);
        QVERIFY(!music->isChecked());
        QVERIFY(window->Core().Playing());
        auto* speed = Find<QToolButton>("sbtnSpeed");
        const QString before = speed->text();
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_Return);
        QTRY_VERIFY(speed->text() != before);
        auto* play = Find<QPushButton>("BitBtn2");
        play->setFocus();
        QTest::keyClick(play, Qt::Key_Space);
        QVERIFY(!window->Core().Playing());
        QTest::keyClick(play, Qt::Key_Return);
        QTRY_VERIFY(window->Core().Playing());
    }

    void exportWritesTheMp3OnAWorkerThread() {
        Open();
        auto* exportButton = Find<QPushButton>("bitbtnExport");
        QCOMPARE(exportButton->text(), QStringLiteral("导出"));
        QCOMPARE(exportButton->toolTip(), QStringLiteral("导出为 MP3 文件"));
        window->Core().SetCurrentFileName(Mail("留言.mvm", 3.0));
        AnswerFileDialog(QString::fromStdString(folder + "留言.mp3"));
        QTest::mouseClick(exportButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Exporting(), 20000);
        const std::string mp3 = ReadFile(folder + "留言.mp3");
        QVERIFY(mp3.size() > 1000);
        QCOMPARE(mp3.substr(0, 3), std::string("ID3"));
        QVERIFY(!window->findChild<QProgressDialog*>());
        QVERIFY(!window->Core().Playing());  // exporting plays nothing
    }
};

QTEST_MAIN(PlayerSpeedWindowTest)
#include "window_speed_test.moc"
