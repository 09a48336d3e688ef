#include "engine/StopThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace vexo
{

namespace
{

// How often the posted calls are looked at while waiting.
constexpr int SliceMs = 20;

} // namespace

bool StopThread(QThread &thread, QObject *receiver, const std::function<void()> &stop, QDeadlineTimer limit)
{
    if (stop)
        stop();
    for (;;) {
        QDeadlineTimer slice(SliceMs);
        if (!limit.isForever() && limit.deadline() < slice.deadline())
            slice = limit;
        if (thread.wait(slice))
            return true;
        // A dropped blocking call releases the thread that waits for it.
        if (receiver)
            QCoreApplication::removePostedEvents(receiver, QEvent::MetaCall);
        if (limit.hasExpired())
            return false;
    }
}

} // namespace vexo
