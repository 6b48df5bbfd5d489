#include "QtDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

void TQtDispatcher::Post(std::function<void()> Task)
{
    // Queued on the application object, which lives on the GUI thread.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(Task), Qt::QueuedConnection);
}
