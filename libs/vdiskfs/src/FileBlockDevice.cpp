#include "FileBlockDevice.h"

#include "ImageHolders.h"
#include "vexo/sys/FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vexo
{

namespace
{
constexpr size_t kWritebackBytes = 256 * 1024;
} // namespace

FileBlockDevice::FileBlockDevice(sys::UniqueFd fd, bool writable, uint64_t size, uint64_t device,
                                 uint64_t inode)
    : m_fd(std::move(fd)), m_writable(writable), m_size(size), m_device(device), m_inode(inode)
{
}

VDiskError FileBlockDevice::fromFd(sys::UniqueFd fd, bool writable, std::unique_ptr<FileBlockDevice> &out)
{
    struct stat st {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return VDiskError::Io;
    // Merely a mark for other openers: nobody takes this byte exclusive.
    struct flock mark {
    };
    mark.l_type = F_RDLCK;
    mark.l_whence = SEEK_SET;
    mark.l_start = static_cast<off_t>(ImageHolders::kOpenMarkByte);
    mark.l_len = 1;
    (void)::fcntl(fd.get(), F_OFD_SETLK, &mark);
    out.reset(new FileBlockDevice(std::move(fd), writable, static_cast<uint64_t>(st.st_size),
                                  static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)));
    return VDiskError::None;
}

VDiskError FileBlockDevice::open(const std::string &path, std::unique_ptr<FileBlockDevice> &out)
{
    if (path.empty())
        return VDiskError::NoImage;
    bool writable = true;
    sys::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (!fd)
        return VDiskError::Io;
    return fromFd(std::move(fd), writable, out);
}

VDiskError FileBlockDevice::create(const std::string &path, uint64_t size,
                                   std::unique_ptr<FileBlockDevice> &out)
{
    if (path.empty())
        return VDiskError::NoImage;
    // Only a new file: an existing one may be in use and is locked first.
    sys::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd)
        return VDiskError::Io;
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0)
        return VDiskError::Io;
    return fromFd(std::move(fd), true, out);
}

VDiskError FileBlockDevice::read(uint64_t offset, void *buffer, size_t length)
{
    if (offset > m_size || length > m_size - offset)
        return VDiskError::Io;
    return sys::readAllAt(m_fd.get(), buffer, length, offset) ? VDiskError::None : VDiskError::Io;
}

VDiskError FileBlockDevice::write(uint64_t offset, const void *buffer, size_t length)
{
    if (!m_writable)
        return VDiskError::ReadOnly;
    if (offset > m_size || length > m_size - offset)
        return VDiskError::Io;
    if (!sys::writeAllAt(m_fd.get(), buffer, length, offset))
        return VDiskError::Io;
#ifdef SYNC_FILE_RANGE_WRITE
    // Large stretches start on their way to the disk now, while the caller
    // prepares the next one, so the sync at unmount has little left to wait
    // for. Merely a hint: its failure changes nothing.
    if (length >= kWritebackBytes)
        (void)::sync_file_range(m_fd.get(), static_cast<off_t>(offset), static_cast<off_t>(length),
                                SYNC_FILE_RANGE_WRITE);
#endif
    return VDiskError::None;
}

VDiskError FileBlockDevice::sync()
{
    if (!m_writable)
        return VDiskError::None;
    // The size never changes while mounted, so the data is all there is.
    return ::fdatasync(m_fd.get()) == 0 ? VDiskError::None : VDiskError::Io;
}

VDiskError FileBlockDevice::refresh()
{
    struct stat st {
    };
    if (::fstat(m_fd.get(), &st) != 0)
        return VDiskError::Io;
    m_size = static_cast<uint64_t>(st.st_size);
    return VDiskError::None;
}

VDiskError FileBlockDevice::resize(uint64_t size)
{
    if (!m_writable)
        return VDiskError::ReadOnly;
    if (::ftruncate(m_fd.get(), static_cast<off_t>(size)) != 0)
        return VDiskError::Io;
    return refresh();
}

bool FileBlockDevice::tryLock(Lock lock)
{
    struct flock range {
    };
    range.l_type = lock == Lock::None ? F_UNLCK : lock == Lock::Shared ? F_RDLCK : F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = static_cast<off_t>(ImageHolders::kOpenMarkByte);
    return ::fcntl(m_fd.get(), F_OFD_SETLK, &range) == 0;
}

} // namespace vexo
