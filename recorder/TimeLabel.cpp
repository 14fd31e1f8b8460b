#include "TimeLabel.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace {

// Screen readers hear the label's name ("录音时间") and, as its value and
// description, the time it shows now.
class TimeLabelAccessible : public QAccessibleWidget {
  public:
    explicit TimeLabelAccessible(TTimeLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const auto* label = static_cast<const TTimeLabel*>(widget());
        if (t == QAccessible::Value || t == QAccessible::Description) return label->text();
        if (t == QAccessible::Name && label->accessibleName().isEmpty()) return label->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* TimeLabelFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("TTimeLabel") || !object || !object->isWidgetType())
        return nullptr;
    return new TimeLabelAccessible(static_cast<TTimeLabel*>(object));
}

}  // namespace

TTimeLabel::TTimeLabel(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(TimeLabelFactory);
        return true;
    }();
    (void)installed;
}

bool TTimeLabel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::ParentChange:
    case QEvent::ScreenChangeInternal:
        DropBackground();
        break;
    default:
        break;
    }
    return QLabel::event(event);
}

void TTimeLabel::paintEvent(QPaintEvent* event) {
    if (takingBackground_) return;  // the window is drawing what lies under us
    if (!background_.isNull()) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, background_);
    }
    QLabel::paintEvent(event);
}

// Until the picture is taken the label is transparent again and the widgets
// under it paint themselves, as for any label.
void TTimeLabel::DropBackground() {
    background_ = QPixmap();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (takePending_) return;
    takePending_ = true;
    // Drawing the window from inside its own paint is not allowed: take it next.
    QTimer::singleShot(0, this, [this] {
        takePending_ = false;
        TakeBackground();
    });
}

void TTimeLabel::TakeBackground() {
    if (!isVisible() || size().isEmpty()) return;
    QWidget* top = window();
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(top->palette().color(QPalette::Window));
    takingBackground_ = true;
    top->render(&picture, QPoint(), QRegion(QRect(mapTo(top, QPoint(0, 0)), size())),
                QWidget::DrawWindowBackground | QWidget::DrawChildren);
    takingBackground_ = false;
    background_ = picture;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}
