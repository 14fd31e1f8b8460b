#include "TForm1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QShortcut>
#include <QUrl>
#include <algorithm>
#include <cstdint>

#include "LibraryText.h"
#include "ProductAddresses.h"
#include "UserFolder.h"
#include "VoiceMailExport.h"
#include "ui_TForm1.h"

namespace murmel {
namespace {

constexpr int kClientWidth = 389;
constexpr int kClientHeight = 52;
constexpr int kMessageLineHeight = 20;  // the line an unopenable voice mail adds below

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// File names are bytes on Linux: shown through the locale's file-name codec.
QString FileNameText(const std::string& path) { return QFile::decodeName(path.c_str()); }

}  // namespace

TForm1::TForm1(AudioOutput& output, std::string commandLineFile, bool hasArguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TForm1>()),
      output_(output),
      commandLineFile_(std::move(commandLineFile)),
      hasArguments_(hasArguments),
      settings_(UserFolder() + PlayerSettings::kFileName),
      core_(output, *this) {
    ui_->setupUi(this);
    setFixedSize(kClientWidth, kClientHeight);
    ui_->Label2->setText(
        tr("<a href=\"%1\">下载语音邮件录音机</a>").arg(QString::fromLatin1(kDownloadPage)));
    ui_->Label2->setToolTip(QString::fromLatin1(kDownloadPage));
    tmProgress_.setInterval(kTickMs);
    tmProgress_.setTimerType(Qt::PreciseTimer);
    timer1_.setInterval(kCommandLineDelayMs);
    timer1_.setSingleShot(true);
    connect(&tmProgress_, &QTimer::timeout, this, &TForm1::TmProgressTimer);
    connect(&timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(ui_->cbMusic, &QCheckBox::toggled, this, &TForm1::cbMusicClick);
    connect(ui_->Label2, &QLabel::linkActivated, this, &TForm1::Label2Click);
    connect(ui_->sbtnSpeed, &QToolButton::clicked, this, &TForm1::sbtnSpeedClick);
    connect(ui_->bitbtnExport, &QPushButton::clicked, this, &TForm1::bitbtnExportClick);
    ui_->ProgressBar1->installEventFilter(this);
    ui_->ProgressBar1->setCursor(Qt::PointingHandCursor);
    AddShortcuts();
    core_.SetSpeed(settings_.Speed());
    ShowSpeed();
    DisplayChanged(core_.Display());
}

TForm1::~TForm1() {
    if (!exportThread_.joinable()) return;
    exportCancel_ = true;  // the export stops within one tick of rendering
    exportThread_.join();
}

template <typename Call>
void TForm1::Guarded(Call&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        ShowError(Text(error.what()));
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    if (!hasArguments_) return;
    core_.SetCurrentFileName(commandLineFile_);
    timer1_.start();
}

void TForm1::closeEvent(QCloseEvent* event) {
    Guarded([&] { core_.FormClose(); });
    tmProgress_.stop();
    QWidget::closeEvent(event);
}

void TForm1::Timer1Timer() {
    timer1_.stop();
    Guarded([&] { core_.ExecuteMVMFile(core_.CurrentFileName()); });
}

void TForm1::TmProgressTimer() {
    // Ticks follow the output's clock: the wall clock for a sound server, the
    // rendered sound for the offline renderer, which renders while we wait.
    Clock& clock = output_.OutputClock();
    nextTickMs_ = std::max(nextTickMs_ + kTickMs, clock.NowMs());
    clock.WaitUntilMs(nextTickMs_);
    Guarded([&] { core_.TmProgressTimer(); });
}

void TForm1::BitBtn1Click() {
    Guarded([&] { core_.BitBtn1Click(); });
}

void TForm1::BitBtn2Click() {
    Guarded([&] { core_.BitBtn2Click(); });
}

void TForm1::cbMusicClick(bool checked) { core_.cbMusicClick(checked); }

void TForm1::Label2Click() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kDownloadPage))); }

void TForm1::UseSettingsFile(const std::string& path) {
    settings_ = PlayerSettings(path);
    Guarded([&] { core_.SetSpeed(settings_.Speed()); });
    ShowSpeed();
}

void TForm1::ShowSpeed() {
    const QString text = QStringLiteral("%1×").arg(core_.Speed());
    ui_->sbtnSpeed->setText(text);
    ui_->sbtnSpeed->setAccessibleName(tr("播放速度 %1").arg(text));
}

// Steps through the offered speeds; the choice applies at once and is kept.
void TForm1::sbtnSpeedClick() {
    const auto* current =
        std::find(std::begin(PlayerCore::kSpeeds), std::end(PlayerCore::kSpeeds), core_.Speed());
    const auto* next =
        current == std::end(PlayerCore::kSpeeds) || current + 1 == std::end(PlayerCore::kSpeeds)
            ? std::begin(PlayerCore::kSpeeds)
            : current + 1;
    Guarded([&] { core_.SetSpeed(*next); });
    ShowSpeed();
    try {
        settings_.SetSpeed(core_.Speed());
    } catch (const std::exception&) {
        // A program folder we may not write to: the speed holds for this run.
    }
}

void TForm1::SeekTo(int64_t ms) {
    Guarded([&] { core_.Seek(ms); });
}

void TForm1::AddShortcuts() {
    auto add = [this](QKeySequence key, auto action) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::Key_Left), [this] { SeekTo(core_.Voice().Position() - kSeekStepMs); });
    add(QKeySequence(Qt::Key_Right), [this] { SeekTo(core_.Voice().Position() + kSeekStepMs); });
    add(QKeySequence(Qt::Key_Home), [this] { SeekTo(0); });
    // Play and stop have keys of their own that no button needs; Space does it too
    // when no control takes it (keyPressEvent).
    for (QKeySequence key : {QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::Key_MediaPlay),
                             QKeySequence(Qt::Key_MediaTogglePlayPause)})
        add(key, [this] { BitBtn2Click(); });
    add(QKeySequence(Qt::Key_MediaStop), [this] {
        if (core_.Playing()) BitBtn2Click();
    });
    // Outside a dialog Qt's buttons ignore Return; here a focused button takes it,
    // as Space, like everywhere else on the desktop.
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (!qobject_cast<QCheckBox*>(button)) button->installEventFilter(this);
}

// Space reaches the window only when the focused control has no use for it (the
// progress bar, the window itself): then it plays or stops.
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        BitBtn2Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TForm1::PressedByReturn(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter)) return false;
    button->animateClick();
    return true;
}

// A click on the bar jumps there; a drag jumps along with it.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (PressedByReturn(watched, event)) return true;
    const QEvent::Type type = event->type();
    if (watched != ui_->ProgressBar1 ||
        (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
         type != QEvent::MouseButtonRelease))
        return QWidget::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool held = type == QEvent::MouseMove ? (mouse->buttons() & Qt::LeftButton) != 0
                                                : mouse->button() == Qt::LeftButton;
    if (!held || !core_.Display().progressTimerEnabled) return true;
    if (type == QEvent::MouseMove && lastDragSeek_.isValid() &&
        lastDragSeek_.elapsed() < kDragSeekMs)
        return true;
    lastDragSeek_.start();
    const double fraction =
        std::clamp(mouse->position().x() / std::max(1, ui_->ProgressBar1->width()), 0.0, 1.0);
    SeekTo(static_cast<int64_t>(fraction * static_cast<double>(core_.Display().progressMaximum)));
    return true;
}

void TForm1::bitbtnExportClick() {
    if (exportThread_.joinable()) return;  // one export at a time
    std::string source = core_.CurrentFileName();
    if (source.empty()) source = ChooseVoiceMail();
    if (source.empty()) return;
    const QFileInfo voiceMail(FileNameText(source));
    const QString chosen = QFileDialog::getSaveFileName(
        this, tr("导出为 MP3 文件"),
        voiceMail.dir().filePath(voiceMail.completeBaseName() + ".mp3"),
        QStringLiteral("*.mp3 (*.mp3)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) return;
    const std::string target = QFile::encodeName(chosen).toStdString();

    exportProgress_ = new QProgressDialog(tr("正在导出 %1").arg(QFileInfo(chosen).fileName()),
                                          tr("取消"), 0, 1000, this);
    exportProgress_->setWindowTitle(windowTitle());
    exportProgress_->setWindowModality(Qt::WindowModal);
    exportProgress_->setAutoClose(false);
    exportProgress_->setAutoReset(false);
    exportProgress_->setMinimumDuration(0);
    connect(exportProgress_, &QProgressDialog::canceled, this, [this] { exportCancel_ = true; });
    exportProgress_->open();

    exportCancel_ = false;
    ExportOptions options;
    options.speed = core_.Speed();
    // The window thread never waits for the export: progress and the end come back queued.
    exportThread_ = std::thread([this, source, target, options] {
        std::string error;
        bool cancelled = false;
        try {
            ExportVoiceMail(source, target, options, [this](int64_t done, int64_t total) {
                QMetaObject::invokeMethod(
                    this, [this, done, total] { ExportProgressed(done, total); },
                    Qt::QueuedConnection);
                return !exportCancel_;
            });
        } catch (const EExportCancelled&) {
            cancelled = true;
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        QMetaObject::invokeMethod(
            this, [this, error, cancelled] { ExportFinished(error, cancelled); },
            Qt::QueuedConnection);
    });
}

void TForm1::ExportProgressed(int64_t doneMs, int64_t totalMs) {
    if (exportProgress_ && totalMs > 0)
        exportProgress_->setValue(
            static_cast<int>(std::min<int64_t>(1000, doneMs * 1000 / totalMs)));
}

void TForm1::ExportFinished(const std::string& error, bool /*cancelled*/) {
    exportThread_.join();  // it has nothing left to do but return
    if (exportProgress_) {
        exportProgress_->close();
        exportProgress_->deleteLater();
        exportProgress_ = nullptr;
    }
    if (!error.empty()) ShowError(Text(error));
}

void TForm1::DisplayChanged(const PlayerDisplay& display) {
    ui_->BitBtn2->setText(LibraryText(display.playCaption));
    ui_->Label1->setText(Text(display.timeText));
    // The bar counts milliseconds, scaled down for a track too long for an int.
    const int64_t scale = display.progressMaximum / INT32_MAX + 1;
    // A maximum of 0 would make the bar a busy indicator: an idle bar is empty instead.
    ui_->ProgressBar1->setMaximum(
        std::max<int>(1, static_cast<int>(display.progressMaximum / scale)));
    ui_->ProgressBar1->setValue(
        static_cast<int>(std::min(display.progress, display.progressMaximum) / scale));
    if (display.progressTimerEnabled && !tmProgress_.isActive()) {
        // A voice mail has just started: an earlier failure is no longer news.
        HideMessageLine();
        nextTickMs_ = output_.OutputClock().NowMs();
        tmProgress_.start();
    } else if (!display.progressTimerEnabled) {
        tmProgress_.stop();
    }
    ShowMusicBox(display.musicAvailable);
}

// A plain recording has no tune: the box shows the music off and cannot be changed.
// The user's choice comes back with the next voice mail; the core's mute state was
// never touched in between.
void TForm1::ShowMusicBox(bool available) {
    QCheckBox* box = ui_->cbMusic;
    if (box->isEnabled() == available) return;
    const QSignalBlocker blocker(box);
    if (!available) musicChosen_ = box->isChecked();
    box->setChecked(available && musicChosen_);
    box->setEnabled(available);
}

std::string TForm1::ChooseVoiceMail() {
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString(), QString(), QStringLiteral("*.mvm *.mp3 *.wav (*.mvm *.mp3 *.wav)"),
        nullptr, QFileDialog::DontUseNativeDialog);
    return chosen.isEmpty() ? std::string() : std::string(QFile::encodeName(chosen).constData());
}

void TForm1::OpenFailed(const std::string& fileName, const std::string& reason) {
    const QString name = FileNameText(fileName);
    ShowMessageLine(tr("无法打开 %1：%2").arg(QFileInfo(name).fileName(), LibraryText(reason)),
                    QStringLiteral("%1\n%2").arg(name, LibraryText(reason)));
}

void TForm1::PlaybackFailed(const std::string& reason) { ShowError(Text(reason)); }

void TForm1::ShowMessageLine(const QString& text, const QString& detail) {
    QLabel* line = ui_->lbMessage;
    line->setText(line->fontMetrics().elidedText(text, Qt::ElideMiddle, line->width()));
    line->setToolTip(detail);
    line->setAccessibleName(text);
    line->show();
    setFixedSize(kClientWidth, kClientHeight + kMessageLineHeight);
}

void TForm1::HideMessageLine() {
    if (ui_->lbMessage->isHidden()) return;
    ui_->lbMessage->hide();
    setFixedSize(kClientWidth, kClientHeight);
}

void TForm1::ShowError(const QString& text) {
    // Non-blocking, so playback and its timer go on behind the message.
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), LibraryText(text),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace murmel
