#include "FolderSpace.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <utility>

namespace vexo::deviced
{

FolderSpace::FolderSpace(std::string root, uint64_t capacity) : m_root(std::move(root)), m_capacity(capacity)
{
}

bool FolderSpace::measure(uint64_t &freeBytes, uint64_t &totalBytes) const
{
    struct statvfs vfs {
    };
    if (::statvfs(m_root.c_str(), &vfs) != 0)
        return false;
    // f_bavail: what an unprivileged writer may still use.
    freeBytes = uint64_t{vfs.f_bavail} * vfs.f_frsize;
    totalBytes = uint64_t{vfs.f_blocks} * vfs.f_frsize;
    if (m_capacity != 0 && m_capacity < totalBytes) {
        totalBytes = m_capacity;
        const uint64_t used = usedBytes();
        freeBytes = std::min(freeBytes, used < m_capacity ? m_capacity - used : 0);
    }
    return true;
}

bool FolderSpace::fits(uint64_t size) const
{
    uint64_t freeBytes = 0, totalBytes = 0;
    return !measure(freeBytes, totalBytes) || size <= freeBytes;
}

uint64_t FolderSpace::usedBytes() const
{
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(m_root.c_str()), ::closedir);
    if (!dir)
        return 0;
    uint64_t used = 0;
    struct stat st {
    };
    while (const dirent *e = ::readdir(dir.get())) {
        if (::fstatat(::dirfd(dir.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            used += static_cast<uint64_t>(st.st_size);
    }
    return used;
}

} // namespace vexo::deviced
