#include "TFormMain.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

#include "AddressBookPage.h"
#include "AudioOutput.h"
#include "FileAssociation.h"
#include "FormAbout.h"
#include "FormRecovery.h"
#include "FormSetup.h"
#include "FormTrim.h"
#include "LibraryText.h"
#include "MailFooter.h"
#include "ProgramFolder.h"
#include "QtUIThreadPost.h"
#include "RecordingChain.h"
#include "RecordingRecovery.h"
#include "RecordingSession.h"
#include "SettingsStore.h"
#include "SpectrumWidget.h"
#include "TempNames.h"
#include "WMediaPlayer.h"
#include "ui_TFormMain.h"

using namespace murmel;

namespace {

QString FromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The music device's output: the one MURMEL_AUDIO names, or silence when the
// sound server cannot be reached (the recorder still records).
AudioOutput& MusicOutput() {
    try {
        return SharedAudioOutput();
    } catch (const std::exception&) {
        static std::unique_ptr<AudioOutput> silent = OpenAudioOutput("null");
        return *silent;
    }
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle* style) {
    return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
}

// Our own record mark where the theme has none: a red dot.
QIcon RecordIcon() {
    QPixmap dot(16, 16);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(150, 20, 20));
    painter.setBrush(QColor(220, 40, 40));
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon::fromTheme(QStringLiteral("media-record"), QIcon(dot));
}

}  // namespace

TFormMain::TFormMain(std::string programFolder, QWidget* parent)
    : QMainWindow(parent), programFolder_(std::move(programFolder)), ui(new Ui::TFormMain) {
    ui->setupUi(this);
    post_ = std::make_unique<QtUIThreadPost>(
        [this](const QString& text) { ShowError(text.toStdString()); });
    chain_ = std::make_unique<RecordingChain>(post_.get());
    MidiPlayer = std::make_unique<TWMediaPlayer>(MusicOutput());
    RecorderListener& listener = *this;
    session_ = std::make_unique<RecordingSession>(programFolder_, *chain_, *MidiPlayer,
                                                  attachments_, listener, *post_);
    chain_->Connector.Spectrum2 = &ui->MMSpectrum2->Spectrum();
    chain_->Connector.OnDisplayStart = [this](TMMDSPComponent*) {
        ui->MMSpectrum2->StartFeed(&chain_->Connector.Feed());
    };
    chain_->Connector.OnDisplayStop = [this](TMMDSPComponent*) { ui->MMSpectrum2->StopFeed(); };
    attachments_.OnAdded = [this](size_t index) { AttachmentAdded(index); };
    attachments_.OnRemoved = [this](size_t index) {
        delete ui->ListViewShowFileIcon->takeItem(static_cast<int>(index));
    };
    // Deleting moves only these to the trash; other files just leave the list.
    attachments_.SetRecordingFolders({programFolder_ + "MyVoice/", TempFolder()});
    ui->ListViewShowFileIcon->viewport()->installEventFilter(this);
    session_->BGVolumeChange(ui->sbMusicVolume->value());
    // The elapsed time changes 20 times a second: a label of fixed size repaints
    // itself alone instead of asking the whole window for a new layout each time.
    ui->lbRecTime->setFixedSize(TMMSpectrumWidget::kWidth, ui->lbRecTime->sizeHint().height());

    tmRec.setInterval(kTimerIntervalMs);
    connect(&tmRec, &QTimer::timeout, this, &TFormMain::tmRecTimer);
    connect(ui->bitbtnRec, &QPushButton::clicked, this, &TFormMain::bitbtnRecClick);
    connect(ui->bitbtnPause, &QPushButton::clicked, this, &TFormMain::bitbtnPauseClick);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFormMain::BitBtn1Click);
    connect(ui->sbMusicVolume, &QSlider::valueChanged, this, &TFormMain::BGVolumeChange);
    connect(ui->cbRecWithMusic, &QCheckBox::toggled, this, &TFormMain::cbRecWithMusicClick);
    connect(ui->bitBtnSendMail, &QPushButton::clicked, this, &TFormMain::bitBtnSendMailClick);
    connect(ui->BitBtnOutlookSendMail, &QPushButton::clicked, this,
            &TFormMain::BitBtnOutlookSendMailClick);
    connect(ui->mnuSetup, &QAction::triggered, this, &TFormMain::SetupClick);
    connect(ui->mnuAbout, &QAction::triggered, this, &TFormMain::AboutClick);
    connect(ui->mnuUpgrade, &QAction::triggered, this, &TFormMain::UpgradeClick);
    connect(ui->mnuFeedback, &QAction::triggered, this, &TFormMain::FeedbackClick);
    connect(ui->ListViewShowFileIcon, &QListWidget::customContextMenuRequested, this,
            &TFormMain::pmFileIconPopup);
    connect(ui->ListViewShowFileIcon, &QListWidget::itemActivated, this,
            &TFormMain::ListViewShowFileIconDblClick);
    CreateAttachmentMenu();
    ApplyIcons();
    ui->lstvuAddress->setColumnWidth(0, 200);
    ui->lstvuAddress->setColumnWidth(1, 250);

    addressBook_ = new AddressBookPage(this, programFolder_);
    send_ = new SendCommands(this, programFolder_);
    connect(send_, &SendCommands::SendEnded, this,
            [this](const QString& outcome) { ui->StatusBar1->showMessage(outcome); });
    // Window creation: the music dialog opens in "BGMusic" (RecordingSession::MusicFolder);
    // a failed address book skips the send mode and the registration for this run.
    if (!addressBook_->LoadAddressBook()) return;
    if (SettingsStore(programFolder_).ReadText("Mailer", "MAPI", "NO") == "YES")
        ui->bitBtnSendMail->hide();
    registration_ = std::thread([] { RegisterFileType(murmel::ProgramFolder()); });
}

TFormMain::~TFormMain() {
    tmRec.stop();
    session_->FormClose();
    if (registration_.joinable()) registration_.join();
}

void TFormMain::CreateAttachmentMenu() {
    pmFileIcon = new QMenu(this);
    pmFileIcon->setObjectName(QStringLiteral("pmFileIcon"));
    MenuItemOpen =
        pmFileIcon->addAction(tr("打开(&O)"), this, &TFormMain::ListViewShowFileIconDblClick);
    MenuItemAdd = pmFileIcon->addAction(tr("添加(&A)"), this, &TFormMain::MenuItemAddClick);
    MenuItemDel = pmFileIcon->addAction(tr("删除(&D)"), this, &TFormMain::MenuItemDelClick);
    MenuItemSaveAs = pmFileIcon->addAction(tr("另存(&S)"), this, &TFormMain::MenuItemSaveAsClick);
    MenuItemOpen->setObjectName(QStringLiteral("MenuItemOpen"));
    MenuItemAdd->setObjectName(QStringLiteral("MenuItemAdd"));
    MenuItemDel->setObjectName(QStringLiteral("MenuItemDel"));
    MenuItemSaveAs->setObjectName(QStringLiteral("MenuItemSaveAs"));
    // Trimming a recording, also by its key while the list has the focus.
    MenuItemTrim = pmFileIcon->addAction(tr("剪辑(&T)..."), this, &TFormMain::MenuItemTrimClick);
    MenuItemTrim->setObjectName(QStringLiteral("MenuItemTrim"));
    MenuItemTrim->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    auto* trimKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), ui->ListViewShowFileIcon);
    trimKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(trimKey, &QShortcut::activated, this, &TFormMain::MenuItemTrimClick);
}

void TFormMain::ApplyIcons() {
    const QStyle* s = style();
    ui->bitbtnRec->setIcon(RecordIcon());
    ui->bitbtnPause->setIcon(ThemeIcon("media-playback-pause", QStyle::SP_MediaPause, s));
    ui->BitBtn1->setIcon(ThemeIcon("audio-x-generic", QStyle::SP_DirOpenIcon, s));
    ui->bitBtnSendMail->setIcon(ThemeIcon("mail-send", QStyle::SP_ArrowForward, s));
    // The mail program's button looks unlike our own send button.
    ui->BitBtnOutlookSendMail->setIcon(ThemeIcon("internet-mail", QStyle::SP_DesktopIcon, s));
    ui->sbtnNewAddress->setIcon(ThemeIcon("contact-new", QStyle::SP_FileDialogNewFolder, s));
    ui->sbtnDeleteAddress->setIcon(ThemeIcon("edit-delete", QStyle::SP_TrashIcon, s));
    ui->sbtnEditAddress->setIcon(ThemeIcon("document-edit", QStyle::SP_FileDialogDetailedView, s));
    ui->sbtnWriteToAddress->setIcon(ThemeIcon("mail-message-new", QStyle::SP_FileIcon, s));
    setWindowIcon(ThemeIcon("audio-input-microphone", QStyle::SP_MediaVolume, s));
}

NewMailFields TFormMain::CurrentMailFields() const {
    NewMailFields fields;
    fields.to = ui->edtEmailToSend->text();
    fields.subject = ui->edtSubject->text();
    fields.body = ui->MemoMailBody->toPlainText();
    for (const std::string& path : attachments_.Paths()) fields.attachments << FromPath(path);
    return fields;
}

bool TFormMain::Guarded(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& error) {
        ShowError(error.what());
        return false;
    }
}

void TFormMain::ShowMessage(const QString& text) {
    QMessageBox::information(this, windowTitle(), text);
}

void TFormMain::ShowError(const std::string& text) {
    QMessageBox::critical(this, windowTitle(), LibraryText(text));
}

// --- recording ---

void TFormMain::bitbtnRecClick() {
    Guarded([this] { session_->bitbtnRecClick(); });
}

void TFormMain::bitbtnPauseClick() {
    Guarded([this] { session_->bitbtnPauseClick(); });
}

bool TFormMain::StopAndSaveRecording() {
    return Guarded([this] { session_->StopAndSaveIfRecording(); });
}

void TFormMain::BitBtn1Click() {
    Guarded([this] { session_->BitBtn1Click(); });
}

void TFormMain::BGVolumeChange(int position) {
    Guarded([this, position] { session_->BGVolumeChange(position); });
}

void TFormMain::cbRecWithMusicClick(bool checked) { session_->cbRecWithMusicClick(checked); }

void TFormMain::tmRecTimer() {
    Guarded([this] { session_->tmRecTimer(); });
}

void TFormMain::DisplayChanged(const RecorderDisplay& display) {
    ui->bitbtnRec->setText(LibraryText(display.recCaption));
    ui->bitbtnPause->setEnabled(display.pauseEnabled);
    if (display.paused != shownPaused_) ShowPaused(display.paused);
    ui->cbRecWithMusic->setEnabled(display.musicCheckEnabled);
    ui->BitBtn1->setEnabled(display.musicChoiceEnabled);
    ui->lbRecTime->setText(QString::fromStdString(display.recTimeText));
    ui->lbVolume->setText(QString::fromStdString(display.volumeText));
    if (display.timerEnabled && !tmRec.isActive()) tmRec.start();
    if (!display.timerEnabled) tmRec.stop();
}

// The control turns into its own opposite; the status bar says why nothing moves.
void TFormMain::ShowPaused(bool paused) {
    shownPaused_ = paused;
    QPushButton* button = ui->bitbtnPause;
    const QString pausedText = tr("录音已暂停，按“继续”接着录音");
    button->setText(paused ? tr("继续(&P)") : tr("暂停(&P)"));
    button->setAccessibleName(paused ? tr("继续录音") : tr("暂停录音"));
    const QString hint = paused ? tr("接着录在同一段录音里") : tr("暂停录音，停下的时间不录进去");
    button->setToolTip(hint);
    button->setAccessibleDescription(hint);
    button->setIcon(paused ? RecordIcon()
                           : ThemeIcon("media-playback-pause", QStyle::SP_MediaPause, style()));
    if (paused)
        ui->StatusBar1->showMessage(pausedText);
    else if (ui->StatusBar1->currentMessage() == pausedText)
        ui->StatusBar1->clearMessage();
}

std::string TFormMain::ChooseMusic(const std::string& folder) {
    QFileDialog odBGMusic(this, tr("请选择Midi文件作为背景音乐"), FromPath(folder),
                          QStringLiteral("MIDI File(*.mid)"));
    odBGMusic.setObjectName(QStringLiteral("odBGMusic"));
    // Qt's own dialog, so the status bar can follow the selection while it is open.
    odBGMusic.setOption(QFileDialog::DontUseNativeDialog);
    odBGMusic.setFileMode(QFileDialog::ExistingFile);
    connect(&odBGMusic, &QFileDialog::currentChanged, this,
            [this](const QString& path) { session_->odBGMusicSelectionChange(ToPath(path)); });
    if (odBGMusic.exec() != QDialog::Accepted || odBGMusic.selectedFiles().isEmpty()) return "";
    return ToPath(odBGMusic.selectedFiles().first());
}

std::string TFormMain::ChooseSaveName(SaveDialogKind kind, const std::string& fileName) {
    const bool voiceMail = kind == SaveDialogKind::sdMVM;
    QFileDialog dialog(this, QString(), QString(),
                       voiceMail ? QStringLiteral("Music Voice Mail (*.mvm)")
                                 : QStringLiteral("Mp3 File (*.mp3)"));
    dialog.setObjectName(voiceMail ? QStringLiteral("sdMVM") : QStringLiteral("sdMp3"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The name is taken as typed, no extension added; the core asks before replacing.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QString());
    if (!fileName.empty()) dialog.selectFile(FromPath(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
    return ToPath(dialog.selectedFiles().first());
}

bool TFormMain::ConfirmReplace(const std::string& path) {
    return QMessageBox::question(
               this, windowTitle(), tr(kReplaceQuestion).arg(FromPath(path)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TFormMain::StatusText(const std::string& text) {
    ui->StatusBar1->showMessage(LibraryText(text));
}

// --- send buttons ---

void TFormMain::bitBtnSendMailClick() {
    if (StopAndSaveRecording()) send_->SendOwn(CurrentMailFields());
}

void TFormMain::BitBtnOutlookSendMailClick() {
    if (StopAndSaveRecording()) send_->HandOff(CurrentMailFields());
}

// --- menus ---

void TFormMain::SetupClick() {
    TFormSetup dialog(programFolder_, this);
    dialog.exec();
}

void TFormMain::AboutClick() {
    TFormAbout dialog(this);
    dialog.exec();
}

void TFormMain::UpgradeClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kDownloadPage)));
}

void TFormMain::FeedbackClick() {
    ui->edtEmailToSend->setText(QString::fromLatin1(kContactAddress));
    ui->edtSubject->setText(QString::fromUtf8(kFeedbackSubject));
    ui->MemoMailBody->appendPlainText(QString::fromUtf8(kFeedbackGreeting));
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
}

// --- window ---

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // After the window is on the screen, so the welcome has its parent to show over.
    QTimer::singleShot(0, this, &TFormMain::FormShow);
}

void TFormMain::FormShow() {
    Guarded([this] { OfferRecovery(); });
    if (SettingsStore(programFolder_).ReadText("firstUse", "FirstUse", "0") != "1") return;
    ShowMessage(tr(kWelcome));
    SetupClick();
}

void TFormMain::OfferRecovery() {
    murmel::RecoveryScan scan = murmel::FindOrphanRecordings(murmel::TempFolder());
    if (scan.orphans.empty()) return;
    TFormRecovery dialog(
        std::move(scan), programFolder_,
        [this](const std::string& path) { attachments_.AddAttachment(path); }, this);
    dialog.exec();
}

// A recording still running is stopped with its voice track finalised; its
// journal stays, so the next start offers it back.
void TFormMain::closeEvent(QCloseEvent* event) {
    tmRec.stop();
    session_->FormClose();
    send_->WaitForJobs();
    event->accept();
}

// --- attachment list ---

void TFormMain::AttachmentAdded(size_t index) {
    const Attachment& item = attachments_.Items()[index];
    const QString path = FromPath(item.path);
    QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QIcon fallback = style()->standardIcon(QStyle::SP_FileIcon);
    QIcon icon =
        QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
    auto* entry = new QListWidgetItem(icon, FromPath(item.caption));
    entry->setData(Qt::UserRole, path);
    entry->setToolTip(path);
    ui->ListViewShowFileIcon->insertItem(static_cast<int>(index), entry);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    QListWidget* list = ui->ListViewShowFileIcon;
    if (watched == list->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                        event->type() == QEvent::MouseButtonDblClick)) {
        // Whatever the button: the menu then acts on what the user sees selected.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!list->itemAt(at)) {
            list->clearSelection();
            list->setCurrentItem(nullptr);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int TFormMain::SelectedAttachment() const {
    QListWidgetItem* item = ui->ListViewShowFileIcon->currentItem();
    if (!item || !item->isSelected()) return -1;
    return ui->ListViewShowFileIcon->row(item);
}

void TFormMain::UpdateFileIconMenu() {
    const AttachmentList::MenuState state = AttachmentList::PopupState(SelectedAttachment() >= 0);
    MenuItemOpen->setEnabled(state.open);
    MenuItemAdd->setEnabled(state.add);
    MenuItemDel->setEnabled(state.del);
    MenuItemSaveAs->setEnabled(state.saveAs);
    MenuItemTrim->setEnabled(state.saveAs);
}

void TFormMain::pmFileIconPopup(const QPoint& position) {
    UpdateFileIconMenu();
    pmFileIcon->popup(ui->ListViewShowFileIcon->viewport()->mapToGlobal(position));
}

void TFormMain::ListViewShowFileIconDblClick() {
    const int index = SelectedAttachment();
    if (index < 0) return;
    // A ".mvm" opens in Murmelplay through the file association.
    QDesktopServices::openUrl(QUrl::fromLocalFile(FromPath(attachments_.Items()[index].path)));
}

void TFormMain::MenuItemAddClick() {
    QFileDialog odAddFile(this, tr("请选择文件作为本邮件的附件"), odAddFileFolder_);
    odAddFile.setObjectName(QStringLiteral("odAddFile"));
    odAddFile.setOption(QFileDialog::DontUseNativeDialog);
    odAddFile.setFileMode(QFileDialog::ExistingFile);
    if (odAddFile.exec() != QDialog::Accepted || odAddFile.selectedFiles().isEmpty()) return;
    odAddFileFolder_ = odAddFile.directory().absolutePath();
    attachments_.AddAttachment(ToPath(odAddFile.selectedFiles().first()));
}

void TFormMain::MenuItemDelClick() {
    const int index = SelectedAttachment();
    if (index < 0) return;
    AttachmentList::DeleteResult result = AttachmentList::DeleteResult::Removed;
    if (!Guarded([&] { result = attachments_.Delete(static_cast<size_t>(index)); })) return;
    if (result == AttachmentList::DeleteResult::InUse)
        ShowMessage(LibraryText(AttachmentList::kDeleteFailed));
}

void TFormMain::MenuItemTrimClick() {
    const int index = SelectedAttachment();
    if (index < 0) return;
    TFormTrim trim(
        attachments_.Items()[static_cast<size_t>(index)].path,
        [this](const std::string& path) { attachments_.AddAttachment(path); }, this);
    trim.exec();
}

void TFormMain::MenuItemSaveAsClick() {
    const int index = SelectedAttachment();
    if (index < 0) return;
    QString chosen;
    for (;;) {
        QFileDialog sdAttachment(this);
        sdAttachment.setObjectName(QStringLiteral("sdAttachment"));
        // The list asks about the file it will really write (the name plus the
        // item's extension), not about the name typed.
        sdAttachment.setOptions(QFileDialog::DontUseNativeDialog |
                                QFileDialog::DontConfirmOverwrite);
        sdAttachment.setAcceptMode(QFileDialog::AcceptSave);
        if (!chosen.isEmpty()) sdAttachment.selectFile(chosen);
        if (sdAttachment.exec() != QDialog::Accepted || sdAttachment.selectedFiles().isEmpty())
            return;
        chosen = sdAttachment.selectedFiles().first();
        const AttachmentList::SaveAsResult result = attachments_.SaveAs(
            static_cast<size_t>(index), ToPath(chosen),
            [this](const std::string& target) { return ConfirmReplace(target); });
        if (result == AttachmentList::SaveAsResult::Declined) continue;  // asked again
        if (result == AttachmentList::SaveAsResult::Failed)
            ShowMessage(LibraryText(AttachmentList::kSaveAsFailed));
        return;
    }
}
