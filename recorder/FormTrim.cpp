#include "FormTrim.h"

#include <QMessageBox>
#include <QPushButton>

#include "LibraryText.h"
#include "MMUtils.h"
#include "RecordingTrim.h"
#include "ui_TFormTrim.h"

namespace {
constexpr int kWaveformColumns = 1000;

QString TimeText(int64_t ms) { return QString::fromStdString(murmel::FormatTimeText(ms, true)); }
}  // namespace

TFormTrim::TFormTrim(std::string path, std::function<void(const std::string&)> saved,
                     QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TFormTrim>()),
      path_(std::move(path)),
      saved_(std::move(saved)),
      preview_(std::make_unique<murmel::TrimPreview>()) {
    ui->setupUi(this);
    connect(ui->sbStart, &QSlider::valueChanged, this, &TFormTrim::sbStartChange);
    connect(ui->sbEnd, &QSlider::valueChanged, this, &TFormTrim::sbEndChange);
    connect(ui->pbWaveform, &TrimWaveform::StartMoved, this,
            [this](int64_t ms) { ui->sbStart->setValue(static_cast<int>(ms)); });
    connect(ui->pbWaveform, &TrimWaveform::EndMoved, this,
            [this](int64_t ms) { ui->sbEnd->setValue(static_cast<int>(ms)); });
    connect(ui->bitbtnPlayStart, &QPushButton::clicked, this, &TFormTrim::bitbtnPlayStartClick);
    connect(ui->bitbtnPlayEnd, &QPushButton::clicked, this, &TFormTrim::bitbtnPlayEndClick);
    connect(ui->bitbtnPlaySelection, &QPushButton::clicked, this,
            &TFormTrim::bitbtnPlaySelectionClick);
    connect(ui->bitbtnSaveNew, &QPushButton::clicked, this, &TFormTrim::bitbtnSaveNewClick);
    connect(ui->bitbtnReplace, &QPushButton::clicked, this, &TFormTrim::bitbtnReplaceClick);
    connect(ui->bitbtnClose, &QPushButton::clicked, this, &QDialog::reject);
    SetBusy(true);
    ui->lbStatus->setText(tr("正在读取录音..."));
    worker_ = std::thread([this, path = path_] {
        std::shared_ptr<murmel::TrimSource> source;
        std::vector<murmel::WaveformPeak> peaks;
        QString failure;
        try {
            source = std::make_shared<murmel::TrimSource>(path);
            peaks = source->Peaks(kWaveformColumns, &cancel_);
        } catch (const std::exception& error) {
            failure = LibraryText(QString::fromLocal8Bit(error.what()));
        }
        QMetaObject::invokeMethod(
            this, [=, this] { Opened(source, peaks, failure); }, Qt::QueuedConnection);
    });
}

TFormTrim::~TFormTrim() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    preview_.reset();
}

void TFormTrim::Opened(std::shared_ptr<murmel::TrimSource> source,
                       std::vector<murmel::WaveformPeak> peaks, const QString& failure) {
    if (worker_.joinable()) worker_.join();
    if (!source) {
        ui->lbStatus->setText(failure);
        emit Ready();
        return;
    }
    source_ = std::move(source);
    const int length = static_cast<int>(source_->LengthMs());
    ui->pbWaveform->SetLength(length);
    ui->pbWaveform->SetPeaks(std::move(peaks));
    for (QSlider* slider : {ui->sbStart, ui->sbEnd}) slider->setRange(0, length);
    ui->sbEnd->setValue(length);
    ui->sbStart->setValue(0);
    ui->lbStatus->clear();
    ShowSelection();
    SetBusy(false);
    ui->sbStart->setFocus();
    emit Ready();
}

void TFormTrim::sbStartChange(int value) {
    if (value >= ui->sbEnd->value() && ui->sbEnd->value() > 0) {
        ui->sbStart->setValue(std::max(ui->sbEnd->value() - 10, 0));  // keep a span
        return;
    }
    ShowSelection();
}

void TFormTrim::sbEndChange(int value) {
    if (value <= ui->sbStart->value()) {
        ui->sbEnd->setValue(std::min(ui->sbStart->value() + 10, ui->sbEnd->maximum()));
        return;
    }
    ShowSelection();
}

void TFormTrim::ShowSelection() {
    ui->lbStartTime->setText(TimeText(ui->sbStart->value()));
    ui->lbEndTime->setText(TimeText(ui->sbEnd->value()));
    ui->sbStart->setAccessibleDescription(ui->lbStartTime->text());
    ui->sbEnd->setAccessibleDescription(ui->lbEndTime->text());
    ui->pbWaveform->SetSelection(ui->sbStart->value(), ui->sbEnd->value());
}

void TFormTrim::SetBusy(bool busy) {
    for (QWidget* control :
         {static_cast<QWidget*>(ui->sbStart), static_cast<QWidget*>(ui->sbEnd),
          static_cast<QWidget*>(ui->bitbtnPlayStart), static_cast<QWidget*>(ui->bitbtnPlayEnd),
          static_cast<QWidget*>(ui->bitbtnPlaySelection), static_cast<QWidget*>(ui->bitbtnSaveNew),
          static_cast<QWidget*>(ui->bitbtnReplace)})
        control->setEnabled(!busy && source_);
}

void TFormTrim::PlaySpan(int64_t fromMs, int64_t toMs) {
    if (!source_) return;
    preview_->Play(source_->VoiceTrack(), std::max<int64_t>(fromMs, 0),
                   std::min<int64_t>(toMs, source_->LengthMs()));
}

void TFormTrim::bitbtnPlayStartClick() {
    PlaySpan(ui->sbStart->value() - kAroundMarkMs, ui->sbStart->value() + kAroundMarkMs);
}

void TFormTrim::bitbtnPlayEndClick() {
    PlaySpan(ui->sbEnd->value() - kAroundMarkMs, ui->sbEnd->value() + kAroundMarkMs);
}

void TFormTrim::bitbtnPlaySelectionClick() { PlaySpan(ui->sbStart->value(), ui->sbEnd->value()); }

void TFormTrim::RunInBackground(std::function<void()> work, std::function<void()> done) {
    preview_->Stop();
    SetBusy(true);
    ui->lbStatus->setText(tr("正在保存..."));
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        QString failure;
        try {
            work();
        } catch (const std::exception& error) {
            failure = LibraryText(QString::fromLocal8Bit(error.what()));
        }
        QMetaObject::invokeMethod(
            this,
            [this, failure, done] {
                if (worker_.joinable()) worker_.join();
                SetBusy(false);
                ui->lbStatus->clear();
                if (!failure.isEmpty()) {
                    QMessageBox::warning(this, windowTitle(), failure);
                    return;
                }
                done();
            },
            Qt::QueuedConnection);
    });
}

void TFormTrim::bitbtnSaveNewClick() {
    const int64_t start = ui->sbStart->value(), end = ui->sbEnd->value();
    auto target = std::make_shared<std::string>();
    RunInBackground([=, this] { *target = murmel::SaveTrimBeside(path_, start, end); },
                    [this, target] {
                        if (saved_) saved_(*target);
                        accept();
                    });
}

void TFormTrim::bitbtnReplaceClick() {
    if (QMessageBox::question(this, windowTitle(),
                              tr("用剪辑后的录音替换原录音吗？原录音将移到回收站。")) !=
        QMessageBox::Yes)
        return;
    const int64_t start = ui->sbStart->value(), end = ui->sbEnd->value();
    RunInBackground([=, this] { murmel::ReplaceWithTrim(path_, start, end); },
                    [this] { accept(); });
}
