#include "MicrophoneBox.h"

#include <QComboBox>
#include <QThread>
#include <memory>

MicrophoneBox::MicrophoneBox(QComboBox* box, QObject* parent) : QObject(parent), box_(box) {
    Fill({});
}

std::string MicrophoneBox::Chosen() const { return box_->currentData().toString().toStdString(); }

void MicrophoneBox::Show(const std::string& source) {
    const int index = box_->findData(QString::fromStdString(source));
    if (index >= 0) {
        box_->setCurrentIndex(index);
        return;
    }
    // A source the server does not have (now): kept as chosen, marked as missing.
    box_->addItem(tr("%1（未找到）").arg(QString::fromStdString(source)),
                  QString::fromStdString(source));
    box_->setCurrentIndex(box_->count() - 1);
}

void MicrophoneBox::Fill(const std::vector<murmel::CaptureSource>& sources) {
    const std::string chosen = box_->count() > 0 ? Chosen() : std::string();
    sources_ = sources;
    box_->clear();
    box_->addItem(tr("系统默认"), QString());
    bool monitors = false;
    for (const murmel::CaptureSource& source : sources_) {
        if (source.monitor && !monitors) box_->insertSeparator(box_->count());
        monitors = source.monitor;
        box_->addItem(QString::fromStdString(source.description),
                      QString::fromStdString(source.name));
        box_->setItemData(box_->count() - 1, QString::fromStdString(source.name), Qt::ToolTipRole);
    }
    Show(chosen);
}

void MicrophoneBox::Refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    auto found = std::make_shared<std::vector<murmel::CaptureSource>>();
    // Not parented: the dialog may close before the server answers; the thread then
    // finishes on its own and is deleted, and its result goes nowhere.
    QThread* thread = QThread::create([found] { *found = murmel::ListCaptureSources(); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, found] {
        refreshing_ = false;
        Fill(*found);
        emit Refreshed();
    });
    thread->start();
}
