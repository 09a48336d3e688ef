#include "DeviceFolder.h"

#include "DevicePartials.h"
#include "NameCodec.h"
#include "vexo/sys/PlaceFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vexo::deviced
{

using link::WireEntry;
using link::WireStatus;

namespace
{
constexpr const char kTempPrefix[] = ".vexo-part-";
// The palmtop's identity: an attribute of the folder, or where the file
// system has none, a file of 32 hex digits (and its next version while written).
constexpr const char kIdentityAttribute[] = "user.vexo.identity";
constexpr const char kIdentityName[] = ".vexo-identity";

int64_t mtimeMs(const struct stat &st)
{
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool isTemporary(const std::string &name)
{
    return name.rfind(kTempPrefix, 0) == 0 || DevicePartials::isPartialName(name) ||
           name.rfind(kIdentityName, 0) == 0;
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
    // Only the temporaries: kept partials follow their own rules (DevicePartials).
    while (const dirent *e = readdir(dir)) {
        if (std::string(e->d_name).rfind(kTempPrefix, 0) == 0)
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

WireStatus DeviceFolder::findFile(const std::string &wireName, std::string &path, struct stat &st) const
{
    if (!localPath(wireName, path))
        return WireStatus::BadName;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? WireStatus::Ok : WireStatus::NotFound;
}

WireStatus DeviceFolder::lookup(const std::string &wireName, WireEntry &entry) const
{
    std::string path;
    struct stat st {
    };
    const WireStatus status = findFile(wireName, path, st);
    if (status == WireStatus::Ok)
        entry = WireEntry{wireName, static_cast<uint64_t>(st.st_size), mtimeMs(st)};
    return status;
}

WireStatus DeviceFolder::openFile(const std::string &wireName, sys::UniqueFd &fd, WireEntry &entry) const
{
    std::string path;
    if (!localPath(wireName, path))
        return WireStatus::BadName;
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {
    };
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd.reset();
        return WireStatus::NotFound;
    }
    entry = WireEntry{wireName, static_cast<uint64_t>(st.st_size), mtimeMs(st)};
    return WireStatus::Ok;
}

bool DeviceFolder::identity(std::array<uint8_t, link::kIdentitySize> &id) const
{
    if (getxattr(m_root.c_str(), kIdentityAttribute, id.data(), id.size()) == static_cast<ssize_t>(id.size()))
        return true;
    const std::string path = m_root + "/" + kIdentityName;
    char hex[2 * link::kIdentitySize + 1] = {};
    if (std::FILE *f = std::fopen(path.c_str(), "re")) {
        const size_t n = std::fread(hex, 1, sizeof hex - 1, f);
        std::fclose(f);
        bool valid = n == sizeof hex - 1;
        for (size_t i = 0; valid && i < id.size(); ++i) {
            unsigned byte = 0;
            valid = std::isxdigit(static_cast<unsigned char>(hex[2 * i])) &&
                    std::isxdigit(static_cast<unsigned char>(hex[2 * i + 1])) &&
                    std::sscanf(hex + 2 * i, "%2x", &byte) == 1;
            id[i] = static_cast<uint8_t>(byte);
        }
        if (valid)
            return true;
    }
    std::random_device random;
    for (auto &byte : id)
        byte = static_cast<uint8_t>(random());
    return setIdentity(id);
}

bool DeviceFolder::setIdentity(const std::array<uint8_t, link::kIdentitySize> &id) const
{
    // An attribute of the folder itself travels with it and shows nowhere;
    // a file system without attributes (FAT) gets a hidden file instead.
    if (setxattr(m_root.c_str(), kIdentityAttribute, id.data(), id.size(), 0) == 0)
        return true;
    const std::string path = m_root + "/" + kIdentityName;
    const std::string next = path + ".new";
    std::FILE *f = std::fopen(next.c_str(), "we");
    if (!f)
        return false;
    bool ok = true;
    for (const uint8_t byte : id)
        ok = ok && std::fprintf(f, "%02x", byte) == 2;
    ok = std::fclose(f) == 0 && ok && ::rename(next.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(next.c_str());
    return ok;
}

WireStatus DeviceFolder::remove(const std::string &wireName) const
{
    std::string path;
    struct stat st {
    };
    const WireStatus status = findFile(wireName, path, st);
    if (status != WireStatus::Ok)
        return status;
    return unlink(path.c_str()) == 0 ? WireStatus::Ok : WireStatus::IoError;
}

WireStatus DeviceFolder::rename(const std::string &from, const std::string &to) const
{
    std::string src, dst;
    struct stat st {
    };
    if (!localPath(to, dst))
        return WireStatus::BadName;
    const WireStatus status = findFile(from, src, st);
    if (status != WireStatus::Ok)
        return status;
    if (src == dst)
        return WireStatus::Ok;
    // A rename never replaces another file.
    const int error = sys::placeFile(src, dst, sys::Placement::NeverReplace);
    return error == 0 ? WireStatus::Ok : error == EEXIST ? WireStatus::Exists : WireStatus::IoError;
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

sys::UniqueFd DeviceFolder::createTemporary(std::string &path) const
{
    sys::UniqueFd fd = sys::createUniqueFile(m_root + "/" + kTempPrefix, path, 0644);
    if (fd)
        fchmod(fd.get(), 0644);
    return fd;
}

WireStatus DeviceFolder::commit(const std::string &temporary, const std::string &wireName,
                                bool overwrite) const
{
    std::string path;
    struct stat st {
    };
    WireStatus refused = WireStatus::Ok;
    if (!localPath(wireName, path))
        refused = WireStatus::BadName;
    else if (overwrite && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        refused = WireStatus::IoError;
    if (refused != WireStatus::Ok) {
        unlink(temporary.c_str());
        return refused;
    }
    const int error =
        sys::placeFile(temporary, path, overwrite ? sys::Placement::Replace : sys::Placement::NeverReplace);
    if (error == 0)
        return WireStatus::Ok;
    unlink(temporary.c_str());
    return error == EEXIST ? WireStatus::Exists : WireStatus::IoError;
}

} // namespace vexo::deviced
