// The main window on a real X server: every Chinese caption has glyphs in the
// fonts the window draws with (no empty boxes), and a screenshot shows them drawn.
#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>

#include "LookAndFeel.h"
#include "TFormMain.h"
#include "TestFiles.h"

class RecorderScreenTest : public QObject {
    Q_OBJECT

  private:
    // Characters of `text` the font cannot draw, fallbacks included.
    static QString Missing(const QFont& font, const QString& text) {
        QFontMetrics metrics(font);
        QString missing;
        for (QChar c : text)
            if (c.unicode() > 0x2E80 && !metrics.inFont(c)) missing += c;
        return missing;
    }

    // Distinct colours in a widget's part of the screenshot: text leaves more than
    // a flat button face, and an empty box leaves a single outline colour.
    static int Colours(const QImage& image, const QRect& area) {
        QSet<QRgb> colours;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) colours.insert(image.pixel(x, y));
        return colours.size();
    }

  private slots:
    void captionsAreDrawnWithChineseGlyphs() {
        ApplyLookAndFeel(*qApp);
        const std::string folder = murmel::test::FreshFolder("program");
        std::filesystem::create_directories(folder + "Address");
        murmel::test::WriteFile(folder + "Address/Default.txt", "");
        TFormMain window(folder);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(200);
        const QImage shot = window.grab().toImage();
        QVERIFY(shot.save(QStringLiteral(MURMEL_SHOT)));

        QStringList texts;
        for (auto* button : window.findChildren<QAbstractButton*>()) {
            QVERIFY2(Missing(button->font(), button->text()).isEmpty(), qPrintable(button->text()));
            texts << button->text();
        }
        for (auto* label : window.findChildren<QLabel*>())
            QVERIFY2(Missing(label->font(), label->text()).isEmpty(), qPrintable(label->text()));
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        for (int i = 0; i < pages->count(); ++i)
            QVERIFY(Missing(pages->font(), pages->tabText(i)).isEmpty());
        for (QAction* menu : window.menuBar()->actions())
            QVERIFY2(Missing(window.menuBar()->font(), menu->text()).isEmpty(),
                     qPrintable(menu->text()));
        QVERIFY(texts.contains(QStringLiteral("录音")));

        auto* record = window.findChild<QAbstractButton*>(QStringLiteral("bitbtnRec"));
        const QRect area(record->mapTo(&window, QPoint(0, 0)), record->size());
        QVERIFY2(Colours(shot, area) > 8, "the record button shows drawn text");
    }
};

QTEST_MAIN(RecorderScreenTest)
#include "recorder_screen_test.moc"
