#include "AccessibleNames.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

QString AccessibleLabelText(QString text) {
    for (qsizetype at = text.indexOf(QLatin1Char('&')); at >= 0 && at + 1 < text.size();
         at = text.indexOf(QLatin1Char('&'), at + 1)) {
        // "&Z认证": the letter is only the key; "&&" is a plain "&".
        const bool keyLetter = text[at + 1].isLetter() && text[at + 1].unicode() < 0x80 &&
                               at + 2 < text.size() && text[at + 2].unicode() >= 0x80;
        text.remove(at, keyLetter ? 2 : 1);
    }
    return text.trimmed();
}

namespace {

// The label whose buddy WIDGET is, among its siblings.
QString BuddyText(const QWidget* widget) {
    const QWidget* parent = widget->parentWidget();
    if (!parent) return {};
    for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (label->buddy() == widget) return AccessibleLabelText(label->text());
    return {};
}

// What Qt's own combo box interface offers (the popup list and the line edit as
// children, pressing opens the list), named as described above.
class NamedComboBox : public QAccessibleWidget {
  public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            QString name = widget()->accessibleName();
            if (name.isEmpty()) name = BuddyText(widget());
            return name.isEmpty() ? Box()->currentText() : name;
        }
        case QAccessible::Value:
            return Box()->isEditable() ? Box()->lineEdit()->text() : Box()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return Box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Box()->view());
        if (index == 1 && Box()->isEditable())
            return QAccessible::queryAccessibleInterface(Box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == Box()->view()) return 0;
        if (Box()->isEditable() && child->object() == Box()->lineEdit()) return 1;
        return -1;
    }

    QStringList actionNames() const override {
        return {showMenuAction(), pressAction()};
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) Box()->showPopup();
    }

  private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* ComboBoxFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("QComboBox") || !object || !object->isWidgetType())
        return nullptr;
    return new NamedComboBox(static_cast<QComboBox*>(object));
}

}  // namespace

void InstallAccessibleNames() {
    static const bool installed = [] {
        QAccessible::installFactory(ComboBoxFactory);
        return true;
    }();
    (void)installed;
}
