#include "QtUIThreadPost.h"

#include <exception>

void QtUIThreadPost::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this,
        [this, task = std::move(task)] {
            try {
                task();
            } catch (const std::exception& error) {
                if (showError_) showError_(QString::fromUtf8(error.what()));
            }
        },
        Qt::QueuedConnection);
}
