#include "engine/LinkReconnector.h"

#include "engine/DeviceAccess.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

namespace vexo
{

LinkReconnector::LinkReconnector(DeviceAccess &device, int seconds, const std::atomic<int> &stop)
    : m_device(device), m_seconds(seconds), m_stop(stop)
{
}

LinkReconnector::Outcome LinkReconnector::run(const std::function<void(int secondsLeft)> &secondsLeft)
{
    const QDeadlineTimer deadline(qint64(m_seconds) * 1000);
    int shown = -1;
    // Rounded up, so the count starts at the whole budget and shows 1 in the last second.
    auto tell = [&] {
        const int left = int((deadline.remainingTime() + 999) / 1000);
        if (left != shown && left > 0)
            secondsLeft(shown = left);
    };
    while (m_stop.load() == 0 && !deadline.hasExpired()) {
        tell();
        if (m_device.reconnect(TryTimeoutMs))
            return Outcome::Reconnected;
        const QDeadlineTimer pause(PauseMs);
        while (m_stop.load() == 0 && !pause.hasExpired() && !deadline.hasExpired()) {
            tell();
            QThread::msleep(ulong(std::min<qint64>(SliceMs, pause.remainingTime())));
        }
    }
    return m_stop.load() != 0 ? Outcome::Stopped : Outcome::GaveUp;
}

} // namespace vexo
