// The trim window driven from the keyboard: the marks moved in fine and one-second
// steps, the times shown, and the trim saved as a new recording beside the original.
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>
#include <vector>

#include "FormTrim.h"
#include "PresetsStore.h"
#include "TestFiles.h"
#include "VoiceTrackEncoder.h"
#include "VoiceTrackReader.h"

class TrimWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void MarksMovedByKeyboardAndSavedAsNew() {
        const std::string folder = murmel::test::FreshFolder("trim-window");
        const std::string original = folder + "2004_7_5_9_3_7.mp3";
        {
            murmel::VoiceTrackEncoder encoder(original, murmel::StandardPreset("2K"), 16000, 1);
            std::vector<int16_t> tone(16000 * 4);
            for (size_t i = 0; i < tone.size(); ++i)
                tone[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * double(i) / 16000));
            encoder.Put(tone.data(), tone.size());
            encoder.Finish();
        }
        std::string saved;
        TFormTrim trim(original, [&](const std::string& path) { saved = path; });
        QSignalSpy ready(&trim, &TFormTrim::Ready);
        trim.show();
        QVERIFY(ready.wait(10000));

        auto* start = trim.findChild<QSlider*>("sbStart");
        auto* end = trim.findChild<QSlider*>("sbEnd");
        const int length = end->value();
        QVERIFY(length > 3900);
        QTest::keyClick(start, Qt::Key_PageUp);
        QTest::keyClick(start, Qt::Key_Right);
        QTest::keyClick(end, Qt::Key_PageDown);
        QCOMPARE(start->value(), 1010);
        QCOMPARE(end->value(), length - 1000);
        QCOMPARE(trim.findChild<QLabel*>("lbStartTime")->text(), QStringLiteral("0:01.010"));
        QCOMPARE(start->accessibleDescription(), QStringLiteral("0:01.010"));

        QTest::mouseClick(trim.findChild<QPushButton*>("bitbtnSaveNew"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!saved.empty(), 10000);
        QCOMPARE(QString::fromStdString(saved),
                 QString::fromStdString(folder + "2004_7_5_9_3_7-1.mp3"));
        const int64_t wanted = length - 1000 - 1010;
        QVERIFY(std::abs(murmel::VoiceTrackReader(saved).LengthMs() - wanted) <= 36);
    }
};

QTEST_MAIN(TrimWindowTest)
#include "trim_window_test.moc"
