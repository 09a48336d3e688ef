#include "ImageLock.h"

#include "ImageHolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace vexo
{

namespace
{

// A later write shows in the file's times only once the clock has moved on
// past the last one by the file system's granularity (two seconds on FAT);
// until then the tables themselves are compared.
constexpr int64_t kTimesTrustedAfterNs = 3'000'000'000;

int64_t nanoseconds(const timespec &t)
{
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool same(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

void ImageLock::attach(FileBlockDevice *device, uint64_t tableBytes)
{
    m_device = device;
    m_tableBytes = tableBytes;
    m_held = Mode::None;
    m_noted = false;
    m_scanned = false;
    m_tables.clear();
}

VDiskError ImageLock::raise(Mode mode, bool &stale)
{
    stale = false;
    // A read-only image is never changed through us: reading is all it needs.
    if (m_device == nullptr || (mode == Mode::Exclusive && !m_device->writable()))
        mode = Mode::Shared;
    if (m_device == nullptr || mode <= m_held)
        return VDiskError::None;
    const auto now = std::chrono::steady_clock::now();
    if (mode == Mode::Exclusive &&
        (!m_scanned || now - m_scannedAt > std::chrono::milliseconds(kScanKeptMs))) {
        const ImageHolders::Holder *holder = nullptr;
        std::vector<ImageHolders::Holder> first, second;
        if (!(first = lockless()).empty()) {
            // One of ours between its open and its mark, or a program that
            // merely glances at the file, is gone again in a moment.
            std::this_thread::sleep_for(std::chrono::milliseconds(kGlanceMs));
            second = lockless();
        }
        for (const ImageHolders::Holder &one : first)
            for (const ImageHolders::Holder &two : second)
                if (one.pid == two.pid)
                    holder = &two;
        if (holder != nullptr) {
            m_detail = ImageHolders::name(*holder) + " has the image open: close the simulator first";
            m_scanned = false;
            return VDiskError::HeldOpen;
        }
        m_scanned = true;
        m_scannedAt = now;
    }
    const bool fromNone = m_held == Mode::None;
    VDiskError e = wait(mode);
    if (e != VDiskError::None)
        return e;
    m_held = mode;
    if (fromNone)
        stale = changedSinceLetGo();
    return VDiskError::None;
}

std::vector<ImageHolders::Holder> ImageLock::lockless() const
{
    std::vector<ImageHolders::Holder> holders = ImageHolders::find(m_device->device(), m_device->inode());
    holders.erase(std::remove_if(holders.begin(), holders.end(),
                                 [](const ImageHolders::Holder &h) { return h.takesLocks; }),
                  holders.end());
    return holders;
}

VDiskError ImageLock::wait(Mode mode)
{
    const auto start = std::chrono::steady_clock::now();
    // Short pauses: a waiter that looks seldom loses every turn to a writer
    // that comes back quickly.
    const auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (m_device->tryLock(mode))
            return VDiskError::None;
        // A file system without these locks cannot be shared safely by any
        // means we have; it is used as before.
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return VDiskError::None;
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(kWaitMs))
            break;
        std::this_thread::sleep_for(pause);
    }
    m_detail = "the image is in use by another program";
    for (const ImageHolders::Holder &holder : ImageHolders::find(m_device->device(), m_device->inode()))
        if (holder.changing || (mode == Mode::Exclusive && holder.reading)) {
            m_detail = "the image is in use by " + ImageHolders::name(holder);
            break;
        }
    return VDiskError::InUse;
}

void ImageLock::lower(Mode mode)
{
    if (m_device == nullptr || mode >= m_held)
        return;
    if (mode == Mode::None) {
        struct stat st {
        };
        m_noted = ::fstat(m_device->fd(), &st) == 0;
        m_modified = st.st_mtim;
        m_changed = st.st_ctim;
        m_size = st.st_size;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        m_tables.clear();
        if (m_noted && nanoseconds(now) - nanoseconds(m_modified) < kTimesTrustedAfterNs)
            m_tables = tables();
    }
    (void)m_device->tryLock(mode);
    m_held = mode;
}

bool ImageLock::changedSinceLetGo()
{
    if (!m_noted)
        return false;
    m_noted = false;
    struct stat st {
    };
    if (::fstat(m_device->fd(), &st) != 0 || !same(st.st_mtim, m_modified) || !same(st.st_ctim, m_changed) ||
        st.st_size != m_size)
        return true;
    if (m_tables.empty())
        return false;
    const bool changed = tables() != m_tables;
    m_tables.clear();
    return changed;
}

std::vector<uint8_t> ImageLock::tables()
{
    std::vector<uint8_t> bytes(std::min(m_tableBytes, m_device->size()));
    if (m_device->read(0, bytes.data(), bytes.size()) != VDiskError::None)
        bytes.assign(1, 0xFF); // unreadable: never equal to what a read gives
    return bytes;
}

} // namespace vexo
