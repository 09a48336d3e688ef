#pragma once

#include <QDeadlineTimer>

#include <functional>

class QObject;
class QThread;

namespace vexo
{

// The one way a thread is stopped and awaited at shut-down. `stop` asks the
// thread to end (cuts it off, raises its stop flag); then the caller waits
// for it. Meanwhile the calls the thread has posted to `receiver` are
// dropped: being cut off they would change nothing, and a blocking hand-over
// among them would otherwise hold both threads for good. Returns false when
// `limit` passed first: the thread is then left to end on its own.
bool StopThread(QThread &thread, QObject *receiver, const std::function<void()> &stop,
                QDeadlineTimer limit = QDeadlineTimer(QDeadlineTimer::Forever));

} // namespace vexo
