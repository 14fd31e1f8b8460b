// Every window and dialog of both programs, walked in the language the locale picks
// (LANG as the desktop sets it): under an English locale no visible text may hold a
// Chinese character; under a Chinese one no visible text may still be English, names
// and the file-type texts aside. Qt's own dialogs and buttons are walked with ours.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTreeView>
#include <QtTest>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "AudioOutput.h"
#include "FormEditAdd.h"
#include "FormNewAdd.h"
#include "FormRecovery.h"
#include "FormSendMail.h"
#include "FormSetup.h"
#include "GbkText.h"
#include "QtUIThreadPost.h"
#include "SendMailThread.h"
#include "SendSession.h"
#include "SettingsStore.h"
#include "TForm1.h"
#include "TFormMain.h"
#include "TestFiles.h"
#include "Translations.h"

namespace fs = std::filesystem;

namespace {

// Runs `answer` on the next modal window of type T once it is up.
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

struct Shown {
    QString where;
    QString text;
    bool userValue;  // a field's content or a list's rows: data, paths, names
};

QString Plain(const QString& text) {
    return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
}

void Add(std::vector<Shown>& texts, const QObject* owner, const char* what, const QString& text,
         bool userValue = false) {
    if (text.isEmpty()) return;
    const QString where = QStringLiteral("%1 %2 (%3)")
                              .arg(QString::fromLatin1(owner->metaObject()->className()),
                                   owner->objectName(), QString::fromLatin1(what));
    texts.push_back({where, Plain(text), userValue});
}

// What a user sees or hears of a window: captions, labels, hints, menus, headers and
// the names screen readers announce, of every widget, shown or on another page.
std::vector<Shown> TextsOf(QWidget* root) {
    std::vector<Shown> texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->isWindow()) Add(texts, widget, "windowTitle", widget->windowTitle());
        Add(texts, widget, "toolTip", widget->toolTip());
        Add(texts, widget, "statusTip", widget->statusTip());
        Add(texts, widget, "accessibleName", widget->accessibleName());
        Add(texts, widget, "accessibleDescription", widget->accessibleDescription());
        if (auto* label = qobject_cast<QLabel*>(widget)) Add(texts, widget, "text", label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            Add(texts, widget, "text", button->text());
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            Add(texts, widget, "title", group->title());
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            Add(texts, widget, "text", edit->text(), true);
            Add(texts, widget, "placeholderText", edit->placeholderText());
        }
        if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
            Add(texts, widget, "plainText", memo->toPlainText(), memo->isEnabled());
        if (auto* box = qobject_cast<QComboBox*>(widget))
            for (int i = 0; i < box->count(); ++i)  // folders to look in are the user's
                Add(texts, widget, "item", box->itemText(i),
                    box->isEditable() || box->itemText(i).startsWith('/'));
        if (auto* pages = qobject_cast<QTabWidget*>(widget))
            for (int i = 0; i < pages->count(); ++i) {
                Add(texts, widget, "tabText", pages->tabText(i));
                Add(texts, widget, "tabToolTip", pages->tabToolTip(i));
            }
        if (auto* header = qobject_cast<QHeaderView*>(widget); header && header->model())
            for (int i = 0; i < header->count(); ++i)
                Add(texts, widget, "header",
                    header->model()->headerData(i, header->orientation()).toString());
        if (auto* menu = qobject_cast<QMenu*>(widget)) Add(texts, widget, "title", menu->title());
    }
    QList<QAction*> actions = root->findChildren<QAction*>();
    for (QAction* action : actions) {
        if (action->isSeparator() || !action->isVisible()) continue;
        Add(texts, action, "text", action->text());
        Add(texts, action, "toolTip", action->toolTip());
        Add(texts, action, "statusTip", action->statusTip());
    }
    return texts;
}

const QRegularExpression kChinese(
    QStringLiteral("[\\x{3000}-\\x{303f}\\x{3400}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
const QRegularExpression kWord(QStringLiteral("[A-Za-z]{2,}"));

// English a Chinese window keeps: names, file types, technical terms, and the few
// English texts the programs have always shown.
QString WithoutNames(QString text) {
    static const char* const kNames[] = {"MIDI File(*.mid)",
                                         "Music Voice Mail (*.mvm)",
                                         "Mp3 File (*.mp3)",
                                         "*.mvm (*.mvm)",
                                         "*.mvm *.mp3 *.wav (*.mvm *.mp3 *.wav)",
                                         "*.mp3 (*.mp3)",
                                         "OutLook",
                                         "SMTP",
                                         "POP3",
                                         "Email",
                                         "Midi",
                                         "Mp3",
                                         "MP3",
                                         "K/S",
                                         "AllowPlainAuth",
                                         "user.dll",
                                         "MyVoice",
                                         "YES",
                                         "Murmelplay",
                                         "Murmel"};
    for (const char* name : kNames) text.remove(QString::fromUtf8(name));
    // The system's own error texts come in the system's language.
    for (int error = 1; error < 134; ++error)
        text.remove(QString::fromLocal8Bit(std::strerror(error)));
    // Addresses, folders and file names are the user's, whatever their language.
    static const QRegularExpression kPathsAndAddresses(
        QStringLiteral("\\S*[/@]\\S*|\\S+\\.(mvm|mp3|mid)"));
    text.remove(kPathsAndAddresses);
    return text;
}

}  // namespace

class InterfaceLanguageTest : public QObject {
    Q_OBJECT

  private:
    InterfaceLanguage language = InterfaceLanguage::Chinese;
    std::string folder;
    QStringList wrong;
    QStringList walked;  // the windows seen, by class and caption

    void Check(QWidget* root) {
        walked << QStringLiteral("%1 \"%2\"")
                      .arg(QString::fromLatin1(root->metaObject()->className()),
                           root->windowTitle());
        for (const Shown& shown : TextsOf(root)) {
            if (language == InterfaceLanguage::English) {
                if (shown.text.contains(kChinese)) wrong << shown.where + ": " + shown.text;
                continue;
            }
            if (shown.userValue) continue;
            // The about box's button, as the program has always had it.
            if (shown.text == QLatin1String("OK") &&
                root->objectName() == QLatin1String("TFormAbout"))
                continue;
            if (WithoutNames(shown.text).contains(kWord)) wrong << shown.where + ": " + shown.text;
        }
    }

    // Looks at the next modal window of type T, then closes it.
    template <typename T = QDialog>
    void CheckModal(std::function<void(T*)> then = {}) {
        WhenModal<T>([this, then](T* dialog) {
            Check(dialog);
            if (then)
                then(dialog);
            else
                QTimer::singleShot(0, dialog,
                                   [dialog] { static_cast<QDialog*>(dialog)->reject(); });
        });
    }

    template <typename T>
    T* Find(QWidget& window, const char* name) {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no %s", name);
        return widget;
    }

    void AwaitNoModal() { QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 10000); }

  private slots:
    void initTestCase() {
        language = LoadTranslations(*qApp);
        const QByteArray expected = qgetenv("MURMEL_EXPECT_LANGUAGE");
        QCOMPARE(language,
                 expected == "zh" ? InterfaceLanguage::Chinese : InterfaceLanguage::English);
    }

    void init() {
        wrong.clear();
        folder = murmel::test::FreshFolder("program dir");
        for (const char* sub : {"BGMusic", "MyVoice", "Address"})
            fs::create_directories(folder + sub);
        murmel::test::WriteFile(folder + "Address/Default.txt", "");
        fs::copy_file(MURMEL_SOURCE_DIR "/data/Setting.ini", folder + "Setting.ini");
        fs::copy_file(MURMEL_TEST_DATA "/valid/play-organ.mid", folder + "BGMusic/organ.mid");
    }

    void cleanup() {
        if (!wrong.isEmpty()) qWarning("%s", qPrintable(wrong.join('\n')));
        QVERIFY2(wrong.isEmpty(), "texts in the wrong language (above)");
    }

    void recorderWindowAndItsDialogs() {
        murmel::SettingsStore(folder).WriteText("firstUse", "FirstUse", "1");
        TFormMain window(folder);
        // The welcome, then the settings it opens; there, an address without "@"
        // brings two more messages.
        CheckModal<QMessageBox>([this](QMessageBox* welcome) {
            CheckModal<TFormSetup>([this](TFormSetup* setup) {
                Find<QRadioButton>(*setup, "rbSMTP")->setChecked(true);
                Find<QLineEdit>(*setup, "edtEmailAdd")->setText(QStringLiteral("someone"));
                CheckModal<QMessageBox>([this, setup](QMessageBox* first) {
                    CheckModal<QMessageBox>([setup](QMessageBox* second) {
                        second->accept();
                        QTimer::singleShot(0, setup, &QDialog::reject);
                    });
                    first->accept();
                });
                QTimer::singleShot(0, Find<QPushButton>(*setup, "bitBtnAutoDect"),
                                   &QPushButton::click);
            });
            welcome->accept();
        });
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(walked.size(), 4, 10000);
        AwaitNoModal();
        Check(&window);

        CheckModal<QFileDialog>();  // the music
        Find<QPushButton>(window, "BitBtn1")->click();
        AwaitNoModal();
        CheckModal<QDialog>();  // the about box
        Find<QAction>(window, "mnuAbout")->trigger();
        AwaitNoModal();

        // An attachment, so its popup's "save as" has something to save.
        window.Attachments().AddAttachment(folder + "BGMusic/organ.mid");
        auto* list = Find<QListWidget>(window, "ListViewShowFileIcon");
        list->setCurrentRow(0);
        CheckModal<QFileDialog>();
        window.MenuItemSaveAsClick();
        AwaitNoModal();
        CheckModal<QFileDialog>();
        window.MenuItemAddClick();
        AwaitNoModal();

        // A recording not named automatically: its save dialog.
        murmel::SettingsStore(folder).WriteText("AutoNameFile", "AutoName", "NO");
        auto* record = Find<QPushButton>(window, "bitbtnRec");
        record->click();
        QTest::qWait(300);
        Check(&window);  // the caption while recording
        CheckModal<QFileDialog>();
        record->click();
        AwaitNoModal();

        // No recipient: the hand-off refuses, in a box with the window's caption.
        QString title;
        CheckModal<QMessageBox>([&title](QMessageBox* box) {
            title = box->windowTitle();
            box->accept();
        });
        Find<QPushButton>(window, "BitBtnOutlookSendMail")->click();
        AwaitNoModal();
        QCOMPARE(title, window.windowTitle());

        // A new address with a name the book cannot store: its message, then cancel.
        CheckModal<TFormNewAdd>([this](TFormNewAdd* dialog) {
            Find<QLineEdit>(*dialog, "edtName")->setText(QStringLiteral("a:b"));
            Find<QLineEdit>(*dialog, "edtEmail")->setText(QStringLiteral("a@example.org"));
            CheckModal<QMessageBox>([dialog](QMessageBox* box) {
                box->accept();
                QTimer::singleShot(0, dialog, &QDialog::reject);
            });
            QTimer::singleShot(0, Find<QPushButton>(*dialog, "btnOK"), &QPushButton::click);
        });
        Find<QAbstractButton>(window, "sbtnNewAddress")->click();
        AwaitNoModal();
        QCOMPARE(walked.size(), 14);
        window.close();
    }

    void editAddressDialog() {
        TFormEditAdd dialog;
        dialog.SetEntry(3, QStringLiteral("Li"), QStringLiteral("li@example.org"));
        Check(&dialog);
    }

    void recoveryDialog() {
        murmel::RecoveryScan scan;
        murmel::OrphanRecording orphan;
        orphan.journal.withMusic = true;
        orphan.journal.track = folder + "track.Mp3";
        orphan.problem = "File is corrupt.";
        scan.orphans.push_back(orphan);
        scan.notes.push_back("damaged journal " + folder + "x.journal ignored: File is corrupt.");
        TFormRecovery dialog(scan, folder, {});
        Check(&dialog);
    }

    void sendDialogAndItsReports() {
        QtUIThreadPost post([](const QString&) {});
        murmel::SendSession session({"a@example.org", "s", "b", {}}, folder, post, {});
        TFormSendMail dialog(nullptr, session);
        Check(&dialog);
        // What the job reports: its captions, and why it failed.
        for (const std::string& caption :
             {murmel::CaptionConnecting(), murmel::CaptionSending(), murmel::CaptionFailed()}) {
            dialog.ShowCaption(murmel::GbkToUtf8(caption));
            dialog.ShowReason("The server refused: 550 5.7.1");
            Check(&dialog);
        }
    }

    void playerWindowAndItsDialogs() {
        std::unique_ptr<murmel::AudioOutput> output = murmel::OpenAudioOutput("null");
        // A voice mail that cannot be opened: the line that says why.
        murmel::TForm1 window(*output, folder + "missing.mvm", true);
        window.show();
        auto* line = Find<QLabel>(window, "lbMessage");
        QTRY_VERIFY_WITH_TIMEOUT(line->isVisible(), 10000);
        Check(&window);
        CheckModal<QFileDialog>();  // open
        Find<QPushButton>(window, "BitBtn1")->click();
        AwaitNoModal();
        CheckModal<QFileDialog>();  // where to export the voice mail
        Find<QPushButton>(window, "bitbtnExport")->click();
        AwaitNoModal();
        window.close();
    }

    // Qt's own buttons in a box of ours.
    void standardButtons() {
        QMessageBox box(QMessageBox::Question, QStringLiteral("-"), QStringLiteral("-"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel |
                            QMessageBox::Save);
        box.setObjectName(QStringLiteral("standardButtons"));
        Check(&box);
    }
};

QTEST_MAIN(InterfaceLanguageTest)
#include "interface_language_test.moc"
