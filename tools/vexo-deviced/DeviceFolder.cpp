#include "DeviceFolder.h"

#include "Crc32.h"
#include "NameCodec.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::deviced
{

using link::WireEntry;
using link::WireStatus;

namespace
{
constexpr const char kTempPrefix[] = ".vexo-part-";

int64_t mtimeMs(const struct stat &st)
{
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool isTemporary(const std::string &name)
{
    return name.rfind(kTempPrefix, 0) == 0;
}
} // namespace

bool matchPattern(const std::string &pattern, const std::string &name)
{
    if (pattern == "*" || pattern == "*.*")
        return true;
    // Iterative glob with one backtrack point for the last '*'.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                      std::tolower(static_cast<unsigned char>(name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

DeviceFolder::DeviceFolder(std::string root) : m_root(std::move(root))
{
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

bool DeviceFolder::check(std::string *error) const
{
    struct stat st {
    };
    if (stat(m_root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        access(m_root.c_str(), R_OK | W_OK | X_OK) != 0) {
        if (error)
            *error = m_root + ": not a writable folder";
        return false;
    }
    return true;
}

void DeviceFolder::removeStaleTemporaries() const
{
    DIR *dir = opendir(m_root.c_str());
    if (!dir)
        return;
    while (const dirent *e = readdir(dir)) {
        if (isTemporary(e->d_name))
            unlink((m_root + "/" + e->d_name).c_str());
    }
    closedir(dir);
}

bool DeviceFolder::localPath(const std::string &wireName, std::string &path) const
{
    std::string utf8;
    if (!link::isValidDeviceName(wireName) || !link::cp936ToUtf8(wireName, utf8) || isTemporary(utf8))
        return false;
    path = m_root + "/" + utf8;
    return true;
}

WireStatus DeviceFolder::plainFile(const std::string &wireName, std::string &path, struct stat &st) const
{
    if (!localPath(wireName, path))
        return WireStatus::BadName;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return WireStatus::NotFound;
    return WireStatus::Ok;
}

WireStatus DeviceFolder::lookup(const std::string &wireName, WireEntry &entry) const
{
    std::string path;
    struct stat st {
    };
    if (const auto status = plainFile(wireName, path, st); status != WireStatus::Ok)
        return status;
    entry.name = wireName;
    entry.size = static_cast<uint64_t>(st.st_size);
    entry.mtimeMs = mtimeMs(st);
    return WireStatus::Ok;
}

WireStatus DeviceFolder::checksum(const std::string &wireName, WireEntry &entry, uint32_t &crc) const
{
    std::string path;
    if (!localPath(wireName, path))
        return WireStatus::BadName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {
    };
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return WireStatus::NotFound;
    }
    const bool whole = link::crc32OfFile(fd, crc);
    ::close(fd);
    if (!whole)
        return WireStatus::IoError;
    entry.name = wireName;
    entry.size = static_cast<uint64_t>(st.st_size);
    entry.mtimeMs = mtimeMs(st);
    return WireStatus::Ok;
}

WireStatus DeviceFolder::remove(const std::string &wireName) const
{
    std::string path;
    struct stat st {
    };
    if (const auto status = plainFile(wireName, path, st); status != WireStatus::Ok)
        return status;
    return unlink(path.c_str()) == 0 ? WireStatus::Ok : WireStatus::IoError;
}

WireStatus DeviceFolder::rename(const std::string &from, const std::string &to) const
{
    std::string src, dst;
    if (!localPath(from, src) || !localPath(to, dst))
        return WireStatus::BadName;
    struct stat st {
    };
    if (lstat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return WireStatus::NotFound;
    if (src == dst)
        return WireStatus::Ok;
    // A rename never replaces another file.
    if (::link(src.c_str(), dst.c_str()) != 0)
        return errno == EEXIST ? WireStatus::Exists : WireStatus::IoError;
    unlink(src.c_str());
    return WireStatus::Ok;
}

WireStatus DeviceFolder::list(const std::string &pattern, std::vector<WireEntry> &entries) const
{
    DIR *dir = opendir(m_root.c_str());
    if (!dir)
        return WireStatus::IoError;
    while (const dirent *e = readdir(dir)) {
        const std::string utf8 = e->d_name;
        std::string wire;
        if (isTemporary(utf8) || !link::utf8ToCp936(utf8, wire) || !link::isValidDeviceName(wire) ||
            !matchPattern(pattern, wire))
            continue;
        struct stat st {
        };
        if (lstat((m_root + "/" + utf8).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        entries.push_back(WireEntry{wire, static_cast<uint64_t>(st.st_size), mtimeMs(st)});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const WireEntry &a, const WireEntry &b) { return a.name < b.name; });
    return WireStatus::Ok;
}

int DeviceFolder::createTemporary(std::string &path) const
{
    path = m_root + "/" + kTempPrefix + "XXXXXX";
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0)
        fchmod(fd, 0644);
    return fd;
}

WireStatus DeviceFolder::commit(const std::string &temporary, const std::string &wireName,
                                bool overwrite) const
{
    std::string path;
    WireStatus status = WireStatus::Ok;
    if (!localPath(wireName, path)) {
        status = WireStatus::BadName;
    } else if (overwrite) {
        struct stat st {
        };
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            status = WireStatus::IoError;
        else if (::rename(temporary.c_str(), path.c_str()) != 0)
            status = WireStatus::IoError;
        else
            return WireStatus::Ok;
    } else if (::link(temporary.c_str(), path.c_str()) != 0) {
        status = errno == EEXIST ? WireStatus::Exists : WireStatus::IoError;
    }
    unlink(temporary.c_str());
    return status;
}

} // namespace vexo::deviced
