#include "FileBlockDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{
constexpr size_t kWritebackBytes = 256 * 1024;
} // namespace

FileBlockDevice::FileBlockDevice(int fd, bool writable, uint64_t size, uint64_t device, uint64_t inode)
    : m_fd(fd), m_writable(writable), m_size(size), m_device(device), m_inode(inode)
{
}

FileBlockDevice::~FileBlockDevice()
{
    ::close(m_fd);
}

VDiskError FileBlockDevice::fromFd(int fd, bool writable, std::unique_ptr<FileBlockDevice> &out)
{
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return VDiskError::Io;
    }
    out.reset(new FileBlockDevice(fd, writable, static_cast<uint64_t>(st.st_size),
                                  static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)));
    return VDiskError::None;
}

VDiskError FileBlockDevice::open(const std::string &path, std::unique_ptr<FileBlockDevice> &out)
{
    if (path.empty())
        return VDiskError::NoImage;
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        return VDiskError::Io;
    return fromFd(fd, writable, out);
}

VDiskError FileBlockDevice::create(const std::string &path, uint64_t size,
                                   std::unique_ptr<FileBlockDevice> &out)
{
    if (path.empty())
        return VDiskError::NoImage;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return VDiskError::Io;
    // Truncating to zero first makes the whole new size read as zero.
    if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return VDiskError::Io;
    }
    return fromFd(fd, true, out);
}

VDiskError FileBlockDevice::read(uint64_t offset, void *buffer, size_t length)
{
    if (offset > m_size || length > m_size - offset)
        return VDiskError::Io;
    auto *p = static_cast<uint8_t *>(buffer);
    while (length > 0) {
        ssize_t n = ::pread(m_fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return VDiskError::Io;
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return VDiskError::None;
}

VDiskError FileBlockDevice::write(uint64_t offset, const void *buffer, size_t length)
{
    if (!m_writable)
        return VDiskError::ReadOnly;
    if (offset > m_size || length > m_size - offset)
        return VDiskError::Io;
    const auto *p = static_cast<const uint8_t *>(buffer);
    const uint64_t start = offset;
    const size_t total = length;
    while (length > 0) {
        ssize_t n = ::pwrite(m_fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return VDiskError::Io;
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
#ifdef SYNC_FILE_RANGE_WRITE
    // Large stretches start on their way to the disk now, while the caller
    // prepares the next one, so the sync at unmount has little left to wait
    // for. Merely a hint: its failure changes nothing.
    if (total >= kWritebackBytes)
        (void)::sync_file_range(m_fd, static_cast<off_t>(start), static_cast<off_t>(total),
                                SYNC_FILE_RANGE_WRITE);
#endif
    return VDiskError::None;
}

VDiskError FileBlockDevice::sync()
{
    if (!m_writable)
        return VDiskError::None;
    // The size never changes while mounted, so the data is all there is.
    return ::fdatasync(m_fd) == 0 ? VDiskError::None : VDiskError::Io;
}

} // namespace vexo
