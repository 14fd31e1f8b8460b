#include "FormSetup.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <initializer_list>
#include <vector>

#include "AccessibleNames.h"
#include "IniFile.h"
#include "LibraryText.h"
#include "MicrophoneBox.h"
#include "ui_FormSetup.h"

using murmel::SettingsDialogModel;
using murmel::SettingsDialogValues;

namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

// Messages carry the caption of the window the dialog belongs to, as the program's
// other messages do.
QString MessageTitle(const QWidget* dialog) {
    const QWidget* owner = dialog->parentWidget();
    return owner ? owner->window()->windowTitle() : QGuiApplication::applicationDisplayName();
}
std::string Std(const QString& text) { return text.toStdString(); }

// Tab enters a group of options at the chosen one, as on every desktop; the arrow
// keys move within the group (Qt finds the others without their Tab focus).
void TabToCheckedOption(std::initializer_list<QRadioButton*> group) {
    std::vector<QRadioButton*> options(group);
    auto update = [options] {
        for (QRadioButton* option : options)
            option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton* option : options) QObject::connect(option, &QRadioButton::toggled, update);
    update();
}

}  // namespace

TFormSetup::TFormSetup(std::string programFolder, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormSetup>()), model_(std::move(programFolder)) {
    InstallAccessibleNames();
    ui_->setupUi(this);
    // The authentication box is editable: its text field takes the focus and is
    // what a screen reader announces, so it carries the label's name too.
    ui_->cbAuth->lineEdit()->setAccessibleName(AccessibleLabelText(ui_->Label6->text()));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // An empty field shows, greyed, that the setting is not made; the text itself
    // is never saved.
    for (QLineEdit* field :
         {ui_->edtSMTP, ui_->edtAccount, ui_->edtPW, ui_->edtName, ui_->edtEmailAdd})
        field->setPlaceholderText(ShownValue(SettingsDialogModel::kNotSet));
    connect(ui_->rbMAPI, &QRadioButton::toggled, this, &TFormSetup::rbClick);
    connect(ui_->rbSMTP, &QRadioButton::toggled, this, &TFormSetup::rbClick);
    connect(ui_->Button1, &QPushButton::clicked, this, &TFormSetup::Button1Click);
    connect(ui_->Button2, &QPushButton::clicked, this, &TFormSetup::Button2Click);
    connect(ui_->bitBtnAutoDect, &QPushButton::clicked, this, &TFormSetup::bitBtnAutoDectClick);
    microphones_ = new MicrophoneBox(ui_->cbMicrophone, this);
    // The sources are asked for whenever the page comes up: a headset plugged in
    // meanwhile appears.
    connect(ui_->PageControl1, &QTabWidget::currentChanged, this, [this](int page) {
        if (ui_->PageControl1->widget(page) == ui_->TabSheet2) microphones_->Refresh();
    });
    FormCreate();
    TabToCheckedOption({ui_->rbMAPI, ui_->rbSMTP});
    TabToCheckedOption({ui_->rbRec1K, ui_->rbRec2K, ui_->rbRec4K, ui_->rbRec8K});
}

TFormSetup::~TFormSetup() = default;

void TFormSetup::FormCreate() { ShowValues(model_.FormCreate()); }

void TFormSetup::ShowValues(const SettingsDialogValues& values) {
    ui_->Edit1->setText(Utf8(values.RecordingsFolder));
    (values.UseMapi ? ui_->rbMAPI : ui_->rbSMTP)->setChecked(true);
    rbClick();
    ui_->edtSMTP->setText(ShownValue(values.ServerName));
    ui_->edtPort->setText(Utf8(values.ServerPort));
    ui_->edtAccount->setText(ShownValue(values.ServerUser));
    ui_->edtPW->setText(ShownValue(values.ServerPassword));
    ui_->edtName->setText(ShownValue(values.MyName));
    ui_->edtEmailAdd->setText(ShownValue(values.EmailAdd));
    ui_->cbAuth->setCurrentIndex(values.AuthIndex);
    ui_->cbAllowPlainAuth->setChecked(values.AllowPlainAuth);
    QRadioButton* quality[] = {ui_->rbRec1K, ui_->rbRec2K, ui_->rbRec4K, ui_->rbRec8K};
    const std::vector<std::string>& resolutions = SettingsDialogModel::Resolutions();
    for (size_t i = 0; i < resolutions.size(); ++i)
        if (resolutions[i] == values.Resolution) quality[i]->setChecked(true);
    ui_->cbAutoName->setChecked(values.AutoName);
    microphones_->Show(values.Microphone);
    ui_->cbCleanVoice->setChecked(values.CleanVoice);
}

SettingsDialogValues TFormSetup::Values() const {
    SettingsDialogValues values;
    values.UseMapi = ui_->rbMAPI->isChecked();
    values.ServerName = StoredValue(ui_->edtSMTP->text());
    values.ServerPort = Std(ui_->edtPort->text());
    values.ServerUser = StoredValue(ui_->edtAccount->text());
    values.ServerPassword = StoredValue(ui_->edtPW->text());
    values.MyName = StoredValue(ui_->edtName->text());
    values.EmailAdd = StoredValue(ui_->edtEmailAdd->text());
    values.AuthIndex =
        SettingsDialogModel::AuthIndexFromText(StoredValue(ui_->cbAuth->currentText()));
    values.AllowPlainAuth = ui_->cbAllowPlainAuth->isChecked();
    const QRadioButton* quality[] = {ui_->rbRec1K, ui_->rbRec2K, ui_->rbRec4K, ui_->rbRec8K};
    for (size_t i = 0; i < 4; ++i)
        if (quality[i]->isChecked()) values.Resolution = SettingsDialogModel::Resolutions()[i];
    values.AutoName = ui_->cbAutoName->isChecked();
    values.Microphone = microphones_->Chosen();
    values.CleanVoice = ui_->cbCleanVoice->isChecked();
    return values;
}

void TFormSetup::rbClick() {
    bool enabled = !ui_->rbMAPI->isChecked();
    QWidget* controls[] = {ui_->GroupBox3,     ui_->GroupBox1,  ui_->Label1,      ui_->Label2,
                           ui_->Label3,        ui_->Label5,     ui_->Label6,      ui_->Label7,
                           ui_->Label8,        ui_->edtName,    ui_->edtEmailAdd, ui_->edtPW,
                           ui_->edtSMTP,       ui_->edtAccount, ui_->edtPort,     ui_->cbAuth,
                           ui_->bitBtnAutoDect, ui_->cbAllowPlainAuth};
    for (QWidget* control : controls) control->setEnabled(enabled);
}

void TFormSetup::Button1Click() {
    try {
        model_.Button1Click(Values());
    } catch (const murmel::EIniFileError& error) {
        QMessageBox::critical(this, MessageTitle(this), LibraryText(error.what()));
        return;
    } catch (const murmel::ESettingsText& error) {
        QMessageBox::warning(this, MessageTitle(this), LibraryText(error.what()));
        return;
    }
    accept();
}

void TFormSetup::Button2Click() { reject(); }

void TFormSetup::bitBtnAutoDectClick() {
    SettingsDialogValues values = Values();
    murmel::AutoDetectResult result = model_.AutoDetectSmtp(values);
    if (result == murmel::AutoDetectResult::Filled) {
        ui_->edtSMTP->setText(ShownValue(values.ServerName));
        ui_->edtAccount->setText(ShownValue(values.ServerUser));
        ui_->edtPort->setText(Utf8(values.ServerPort));
        ui_->cbAuth->setCurrentIndex(values.AuthIndex);
    }
    for (const std::string& message : SettingsDialogModel::AutoDetectMessages(result))
        QMessageBox::information(this, MessageTitle(this), LibraryText(message));
}
