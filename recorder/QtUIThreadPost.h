#pragma once
#include <QObject>
#include <QPointer>
#include <functional>

#include "UIThreadPost.h"

// Work from the capture thread reaches the window thread as a queued call. A task
// that throws has its message shown by `showError` (the standard error display).
class QtUIThreadPost : public QObject, public murmel::UIThreadPost {
    Q_OBJECT
  public:
    explicit QtUIThreadPost(std::function<void(const QString&)> showError,
                            QObject* parent = nullptr)
        : QObject(parent), showError_(std::move(showError)) {}
    void Post(std::function<void()> task) override;

  private:
    std::function<void(const QString&)> showError_;
};
