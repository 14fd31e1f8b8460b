// The main window's side of the microphone: a chosen microphone that has gone
// away, and the warnings about what it hears, in the status bar and as an alert
// for screen readers.
#include <QAccessible>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "TFormMain.h"
#include "ui_TFormMain.h"

bool TFormMain::RecordFromDefaultMicrophone(const std::string& source) {
    const QString name = QString::fromStdString(source);
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    tr("找不到设置中选择的麦克风“%1”。").arg(name), QMessageBox::NoButton, this);
    box.setInformativeText(
        tr("它可能已经拔出。可以改用系统默认的麦克风录音，或者在“参数设置”中另选一个。"));
    QPushButton* useDefault = box.addButton(tr("用默认麦克风录音(&D)"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(useDefault);
    box.exec();
    if (box.clickedButton() != useDefault) return false;
    ui->StatusBar1->showMessage(tr("麦克风“%1”不在，正在用系统默认的麦克风录音").arg(name));
    return true;
}

void TFormMain::InputWarningChanged(murmel::InputWarning warning) {
    QString text;
    if (warning == murmel::InputWarning::Silent)
        text = tr("没有听到麦克风的声音，请检查麦克风是否插好、是否静音");
    else if (warning == murmel::InputWarning::Clipping)
        text = tr("声音过大，录音已失真，请调低麦克风音量或离远一些");
    QStatusBar* bar = ui->StatusBar1;
    if (text.isEmpty()) {
        // Only our own warning is taken away, not what was shown after it.
        if (bar->currentMessage() == inputWarning_) bar->clearMessage();
        bar->setAccessibleDescription(QString());
        inputWarning_.clear();
        return;
    }
    inputWarning_ = text;
    bar->showMessage(text);
    bar->setAccessibleDescription(text);
    QAccessibleEvent alert(bar, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}
