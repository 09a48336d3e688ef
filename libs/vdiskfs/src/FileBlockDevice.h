#pragma once

#include "BlockDevice.h"
#include "vexo/sys/UniqueFd.h"

#include <memory>
#include <string>

namespace vexo
{

// An image file. Opened read-write when allowed, otherwise read-only (then
// every write fails with ReadOnly).
//
// Its locks are open file description locks, so two opens of one image
// exclude each other even within one process. The contents are locked
// shared while read and exclusive while changed; while the file is open it
// also holds ImageHolders::kOpenMarkByte shared, which tells other openers
// that this one takes the locks.
class FileBlockDevice : public BlockDevice
{
public:
    enum class Lock { None, Shared, Exclusive };

    static VDiskError open(const std::string &path, std::unique_ptr<FileBlockDevice> &out);
    // Creates a new file (fails with Io when it exists) of the given size;
    // its bytes read as zero.
    static VDiskError create(const std::string &path, uint64_t size, std::unique_ptr<FileBlockDevice> &out);

    uint64_t size() const override { return m_size; }
    bool writable() const override { return m_writable; }
    VDiskError read(uint64_t offset, void *buffer, size_t length) override;
    VDiskError write(uint64_t offset, const void *buffer, size_t length) override;
    VDiskError sync() override;
    // Reads the size again (another program may have formatted the image
    // to a new one).
    VDiskError refresh() override;

    // Makes the file this long (under the exclusive lock).
    VDiskError resize(uint64_t size);
    // Sets the contents lock without waiting: false (errno EAGAIN) when
    // another opener holds a lock that conflicts.
    bool tryLock(Lock lock);
    int fd() const { return m_fd.get(); }

    // Identity of the file, to tell whether two paths name the same image.
    uint64_t device() const { return m_device; }
    uint64_t inode() const { return m_inode; }

private:
    FileBlockDevice(sys::UniqueFd fd, bool writable, uint64_t size, uint64_t device, uint64_t inode);
    static VDiskError fromFd(sys::UniqueFd fd, bool writable, std::unique_ptr<FileBlockDevice> &out);

    sys::UniqueFd m_fd;
    bool m_writable;
    uint64_t m_size;
    uint64_t m_device;
    uint64_t m_inode;
};

} // namespace vexo
