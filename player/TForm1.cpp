#include "TForm1.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>
#include <cstdint>

#include "ProductAddresses.h"
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
      core_(output, *this),
      commandLineFile_(std::move(commandLineFile)),
      hasArguments_(hasArguments) {
    ui_->setupUi(this);
    setFixedSize(kClientWidth, kClientHeight);
    ui_->Label2->setText(QStringLiteral("<a href=\"%1\">下载语音邮件录音机</a>")
                             .arg(QString::fromLatin1(kDownloadPage)));
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
    DisplayChanged(core_.Display());
}

TForm1::~TForm1() = default;

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

void TForm1::DisplayChanged(const PlayerDisplay& display) {
    ui_->BitBtn2->setText(Text(display.playCaption));
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
}

std::string TForm1::ChooseVoiceMail() {
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("*.mvm (*.mvm)"),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    return chosen.isEmpty() ? std::string() : std::string(QFile::encodeName(chosen).constData());
}

void TForm1::OpenFailed(const std::string& fileName, const std::string& reason) {
    const QString name = FileNameText(fileName);
    ShowMessageLine(QStringLiteral("无法打开 %1：%2").arg(QFileInfo(name).fileName(), Text(reason)),
                    QStringLiteral("%1\n%2").arg(name, Text(reason)));
}

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
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace murmel
