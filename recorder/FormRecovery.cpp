#include "FormRecovery.h"

#include <QFile>
#include <algorithm>

#include "LibraryText.h"
#include "ui_TFormRecovery.h"

TFormRecovery::TFormRecovery(murmel::RecoveryScan scan, std::string programFolder,
                             std::function<void(const std::string&)> recovered, QWidget* parent)
    : QDialog(parent),
      ui(new Ui::TFormRecovery),
      scan_(std::move(scan)),
      programFolder_(std::move(programFolder)),
      recovered_(std::move(recovered)) {
    ui->setupUi(this);
    connect(ui->bitbtnRecover, &QPushButton::clicked, this, &TFormRecovery::bitbtnRecoverClick);
    connect(ui->bitbtnDiscard, &QPushButton::clicked, this, &TFormRecovery::bitbtnDiscardClick);
    connect(ui->bitbtnLater, &QPushButton::clicked, this, &QDialog::reject);
    QStringList notes;
    for (const std::string& note : scan_.notes) notes << LibraryText(QString::fromLocal8Bit(note));
    ui->lbRecoveryNotes->setText(notes.join('\n'));
    ui->lbRecoveryNotes->setVisible(!notes.isEmpty());
    Fill();
    ui->lstvuRecordings->selectAll();
    ui->lstvuRecordings->setFocus();
}

TFormRecovery::~TFormRecovery() = default;

void TFormRecovery::Fill() {
    ui->lstvuRecordings->clear();
    for (const murmel::OrphanRecording& orphan : scan_.orphans) {
        QString kind = orphan.journal.withMusic ? tr("语音邮件") : tr("录音");
        if (!orphan.problem.empty())
            kind = tr("%1 (无法读取: %2)").arg(kind, LibraryText(orphan.problem));
        // Where "恢复" will put it: the path it was meant for, or "MyVoice" when
        // that is taken by now.
        const QString destination = QFile::decodeName(
            QByteArray::fromStdString(murmel::RecoveryDestination(orphan, programFolder_)));
        auto* row = new QTreeWidgetItem({QString::fromStdString(murmel::OrphanDateText(orphan)),
                                         QString::fromStdString(murmel::OrphanLengthText(orphan)),
                                         kind, destination});
        row->setToolTip(2, QFile::decodeName(QByteArray::fromStdString(orphan.journal.track)));
        row->setToolTip(3, destination);
        ui->lstvuRecordings->addTopLevelItem(row);
    }
    for (int column = 0; column < 4; ++column) ui->lstvuRecordings->resizeColumnToContents(column);
}

std::vector<int> TFormRecovery::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : ui->lstvuRecordings->selectedItems())
        rows.push_back(ui->lstvuRecordings->indexOfTopLevelItem(item));
    std::sort(rows.rbegin(), rows.rend());
    return rows;
}

void TFormRecovery::bitbtnRecoverClick() {
    QStringList failures;
    for (int row : SelectedRows()) {
        try {
            const murmel::RecoveredRecording saved =
                murmel::RecoverRecording(scan_.orphans[static_cast<size_t>(row)], programFolder_);
            scan_.orphans.erase(scan_.orphans.begin() + row);
            if (!saved.note.empty()) failures << LibraryText(QString::fromLocal8Bit(saved.note));
            if (recovered_) recovered_(saved.path);
        } catch (const murmel::ERecordingTaken& taken) {
            // Another recovery has it: no longer ours to offer.
            scan_.orphans.erase(scan_.orphans.begin() + row);
            failures << LibraryText(QString::fromLocal8Bit(taken.what()));
        } catch (const std::exception& error) {
            // The recording stays where it was, for another try.
            failures << LibraryText(QString::fromLocal8Bit(error.what()));
        }
    }
    ui->lbRecoveryNotes->setText(failures.join('\n'));
    ui->lbRecoveryNotes->setVisible(!failures.isEmpty());
    Fill();
    Finish();
}

void TFormRecovery::bitbtnDiscardClick() {
    QStringList failures;
    for (int row : SelectedRows()) {
        try {
            murmel::DiscardRecording(scan_.orphans[static_cast<size_t>(row)]);
        } catch (const murmel::ERecordingTaken& taken) {
            failures << LibraryText(QString::fromLocal8Bit(taken.what()));  // another recovery has it
        } catch (const std::exception& error) {
            failures << QString::fromLocal8Bit(error.what());
            continue;  // still there, for another try
        }
        scan_.orphans.erase(scan_.orphans.begin() + row);
    }
    ui->lbRecoveryNotes->setText(failures.join('\n'));
    ui->lbRecoveryNotes->setVisible(!failures.isEmpty());
    Fill();
    Finish();
}

void TFormRecovery::Finish() {
    if (scan_.orphans.empty() && ui->lbRecoveryNotes->text().isEmpty()) accept();
}
