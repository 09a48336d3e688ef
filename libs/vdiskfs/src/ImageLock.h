#pragma once

#include "FileBlockDevice.h"
#include "ImageHolders.h"
#include "VDiskError.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vexo
{

// The lock a mounted image holds on its file, and what the image looked
// like when it was last let go, so that tables cached from before can be
// told stale once another writer has changed the image meanwhile.
//
// raise() waits up to kWaitMs for other openers, then fails with InUse and
// names the holder in detail(). Going to Exclusive is refused with HeldOpen
// (holder in detail()) while a program that takes no lock has the image
// open: the simulator writes without asking.
class ImageLock
{
public:
    using Mode = FileBlockDevice::Lock;
    static constexpr int kWaitMs = 3000;
    static constexpr int kGlanceMs = 100;
    // Looking through /proc takes milliseconds: a batch of changes looks
    // once, not once per file. The simulator may open the image right after
    // any look, so a look kept this long is not less safe.
    static constexpr int kScanKeptMs = 1000;

    // The file the lock is on, and how many bytes at its start hold the
    // tables (boot sector, FATs, root folder); both change on a remount.
    void attach(FileBlockDevice *device, uint64_t tableBytes);
    void setTableBytes(uint64_t bytes) { m_tableBytes = bytes; }

    // Holds at least `mode`. `stale` is set when the lock was let go before
    // and another writer has changed the tables since.
    VDiskError raise(Mode mode, bool &stale);
    // Holds no more than `mode`; before letting go entirely it notes how
    // the image looks.
    void lower(Mode mode);
    Mode held() const { return m_held; }
    // Who is behind the last InUse or HeldOpen, in words.
    const std::string &detail() const { return m_detail; }

private:
    VDiskError wait(Mode mode);
    // The other openers that take no lock.
    std::vector<ImageHolders::Holder> lockless() const;
    bool changedSinceLetGo();
    std::vector<uint8_t> tables();

    FileBlockDevice *m_device = nullptr;
    uint64_t m_tableBytes = 0;
    Mode m_held = Mode::None;
    std::string m_detail;
    bool m_scanned = false;
    std::chrono::steady_clock::time_point m_scannedAt;
    // What was seen when the lock was let go.
    bool m_noted = false;
    timespec m_modified{};
    timespec m_changed{};
    int64_t m_size = 0;
    std::vector<uint8_t> m_tables;
};

} // namespace vexo
