#pragma once
// TFormMain: the recorder's main window. Its slots forward to the recording
// session and the attachment list (recorder/core) and show what they report.
// Menu actions (object names): mnuSetup "参数设置(&O)", mnuAbout "关于(&A)",
// mnuUpgrade "升级检查(&U)", mnuFeedback "建议与批评(&G)"; the attachment list's
// popup pmFileIcon holds MenuItemOpen, MenuItemAdd, MenuItemDel, MenuItemSaveAs, MenuItemTrim.
#include <QMainWindow>
#include <QMenu>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "AttachmentList.h"
#include "RecorderListener.h"
#include "SendCommands.h"

namespace Ui {
class TFormMain;
}
namespace murmel {
class RecordingSession;
struct RecordingChain;
class TWMediaPlayer;
class AudioOutput;
}  // namespace murmel
class AddressBookPage;
class QtUIThreadPost;
class QFileDialog;

class TFormMain : public QMainWindow, private murmel::RecorderListener {
    Q_OBJECT
  public:
    static constexpr int kTimerIntervalMs = 50;  // tmRec
    static constexpr const char* kWelcome = QT_TR_NOOP("欢迎首次使用,请设置您的邮件参数");
    static constexpr const char* kFeedbackSubject = "我有建议";
    static constexpr const char* kFeedbackGreeting = "奎岚语音邮件开发小组，你们好:";
    // Asked before any save replaces a file; names the file really written.
    static constexpr const char* kReplaceQuestion = QT_TR_NOOP("%1 已经存在。\n要替换它吗?");

    // Runs the window-creation steps: music folder, address book, send mode,
    // file-type registration.
    explicit TFormMain(std::string programFolder, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The message being written, attachments in list order.
    NewMailFields CurrentMailFields() const;
    // What both send buttons do first: a running recording is stopped and saved
    // (the record button's stop), so it travels with the message. False when
    // saving failed (the error has been shown); the message is then not sent.
    bool StopAndSaveRecording();

    murmel::RecordingSession& Session() { return *session_; }
    murmel::AttachmentList& Attachments() { return attachments_; }
    const std::string& ProgramFolder() const { return programFolder_; }

  public slots:
    void bitbtnRecClick();
    void bitbtnPauseClick();
    void BitBtn1Click();
    void BGVolumeChange(int position);
    void cbRecWithMusicClick(bool checked);
    void tmRecTimer();
    void bitBtnSendMailClick();
    void BitBtnOutlookSendMailClick();
    void SetupClick();
    void AboutClick();
    void UpgradeClick();
    void FeedbackClick();
    void pmFileIconPopup(const QPoint& position);
    // Enables the popup's items for the current selection (when the menu opens).
    void UpdateFileIconMenu();
    void ListViewShowFileIconDblClick();
    void MenuItemAddClick();
    void MenuItemDelClick();
    void MenuItemSaveAsClick();
    void MenuItemTrimClick();

  protected:
    void showEvent(QShowEvent* event) override;
    // A press on the attachment list's empty space clears its selection.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // RecorderListener
    void DisplayChanged(const murmel::RecorderDisplay& display) override;
    std::string ChooseMusic(const std::string& folder) override;
    std::string ChooseSaveName(murmel::SaveDialogKind kind, const std::string& fileName) override;
    bool ConfirmReplace(const std::string& path) override;
    void StatusText(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool RecordFromDefaultMicrophone(const std::string& source) override;
    void InputWarningChanged(murmel::InputWarning warning) override;

    void ShowPaused(bool paused);
    void CreateAttachmentMenu();
    void ApplyIcons();
    void AttachmentAdded(size_t index);
    int SelectedAttachment() const;
    // Runs a command; an exception is shown by the standard error display (false).
    bool Guarded(const std::function<void()>& command);
    void ShowMessage(const QString& text);
    void FormShow();
    // Recordings a crash, a kill or a closed window left unsaved: offered back.
    void OfferRecovery();

    std::string programFolder_;
    std::unique_ptr<Ui::TFormMain> ui;
    std::unique_ptr<QtUIThreadPost> post_;
    std::unique_ptr<murmel::RecordingChain> chain_;
    std::unique_ptr<murmel::TWMediaPlayer> MidiPlayer;
    murmel::AttachmentList attachments_;
    std::unique_ptr<murmel::RecordingSession> session_;
    QTimer tmRec;
    QMenu* pmFileIcon = nullptr;
    QAction* MenuItemOpen = nullptr;
    QAction* MenuItemAdd = nullptr;
    QAction* MenuItemDel = nullptr;
    QAction* MenuItemSaveAs = nullptr;
    QAction* MenuItemTrim = nullptr;
    QString odAddFileFolder_;
    AddressBookPage* addressBook_ = nullptr;
    SendCommands* send_ = nullptr;
    bool shown_ = false;
    QString inputWarning_;  // the input warning the status bar shows, if any
    bool shownPaused_ = false;  // the pause control and the status bar say "paused"
    // Registers the file type beside the window: it may run the MIME database tools.
    std::thread registration_;
};
