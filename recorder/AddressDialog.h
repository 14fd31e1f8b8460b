#pragma once
// What the two address dialogs share: a name, a face and an address; "确定" hands
// them to a save handler and closes only when it succeeded, "取消" closes.
#include <QDialog>
#include <functional>

class QComboBox;
class QLineEdit;

namespace murmel {

class AddressDialog : public QDialog {
    Q_OBJECT
  public:
    // Returns true when the entry was stored; on false (it has told the user why)
    // the dialog stays open.
    using SaveHandler = std::function<bool(const AddressDialog&)>;

    void SetSaveHandler(SaveHandler handler) { save_ = std::move(handler); }
    void SetEntry(int face, const QString& name, const QString& email);
    int Face() const;
    QString Name() const;
    QString Email() const;

  protected:
    explicit AddressDialog(QWidget* parent);
    // Called by the dialogs after their form is set up.
    void Connect();

  private:
    void OkClick();

    SaveHandler save_;
    QLineEdit* name_ = nullptr;
    QLineEdit* email_ = nullptr;
    QComboBox* faces_ = nullptr;
    int keptFace_ = 0;  // a stored face the chooser does not offer stays as it was
};

}  // namespace murmel
