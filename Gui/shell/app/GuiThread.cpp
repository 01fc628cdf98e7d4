#include "shell/app/GuiThread.h"

#include <QMetaObject>
#include <QObject>

void PostToGuiThread(QObject* context, std::function<void()> work) {
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}
