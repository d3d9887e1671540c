#include "ui/QtMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace ui {

model::MainThreadPoster qtMainThreadPoster() {
    return [](std::function<void()> item) {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, std::move(item), Qt::QueuedConnection);
        }
    };
}

} // namespace ui
