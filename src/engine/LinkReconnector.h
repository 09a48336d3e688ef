#pragma once

#include <atomic>
#include <functional>

namespace vexo
{

class DeviceAccess;

// Waits for a lost device link to come back, for at most a number of seconds,
// trying to connect again through DeviceAccess::reconnect. A stop asked for
// meanwhile is seen within a slice: the tries are short and the pauses
// between them are cut into slices that each look at the stop flag.
//
// Runs on the thread that found the link lost (the transfer worker).
class LinkReconnector
{
public:
    enum class Outcome { Reconnected, Stopped, GaveUp };

    // How long one try waits for the device's hello.
    static constexpr int TryTimeoutMs = 400;
    // Pause between two tries, so a missing node is not hammered.
    static constexpr int PauseMs = 500;
    // The stop flag is looked at this often while pausing.
    static constexpr int SliceMs = 50;

    // `stop` non-zero ends the waiting; it is the worker's stop flag.
    LinkReconnector(DeviceAccess &device, int seconds, const std::atomic<int> &stop);

    // Tries until connected, out of time or stopped. `secondsLeft` is told
    // the whole seconds left each time that number changes, first with all
    // of them.
    Outcome run(const std::function<void(int secondsLeft)> &secondsLeft);

private:
    DeviceAccess &m_device;
    const int m_seconds;
    const std::atomic<int> &m_stop;
};

} // namespace vexo
