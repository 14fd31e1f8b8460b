#pragma once
// Drives the modal windows a test opens: every message box is recorded and closed;
// every other modal dialog gets the next queued action. Actions run from the event
// loop, never inside the polling timer, so they may open further modal windows.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

class ModalDriver : public QObject {
  public:
    using Action = std::function<void(QWidget*)>;

    ModalDriver() {
        connect(&timer_, &QTimer::timeout, this, &ModalDriver::Tick);
        timer_.start(5);
    }
    void Then(Action action) { actions_.push_back(std::move(action)); }
    bool Done() const { return actions_.empty(); }

    QStringList Messages;  // texts of the message boxes, in order
    int Unexpected = 0;    // dialogs that found no action (rejected)

  private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == seen_) return;
        seen_ = modal;
        if (!modal) return;
        QPointer<QWidget> target = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Messages << box->text();
            QTimer::singleShot(0, box, [box] { box->done(0); });
            return;
        }
        Action action;
        if (actions_.empty()) {
            ++Unexpected;
            action = [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); };
        } else {
            action = std::move(actions_.front());
            actions_.pop_front();
        }
        QTimer::singleShot(0, modal, [action, target] {
            if (target) action(target);
        });
    }

    QTimer timer_;
    QPointer<QWidget> seen_;
    std::deque<Action> actions_;
};
