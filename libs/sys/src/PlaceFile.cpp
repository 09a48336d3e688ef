#include "vexo/sys/PlaceFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vexo::sys
{

namespace
{

int realRenameNoReplace(const char *from, const char *to)
{
#ifndef RENAME_NOREPLACE
    constexpr unsigned RENAME_NOREPLACE = 1;
#endif
    // Through syscall(): older C libraries lack the renameat2() wrapper.
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
}

int realHardLink(const char *from, const char *to)
{
    return ::link(from, to);
}

bool refusedFlag(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool noHardLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Without renameat2 flags and hard links, the name is claimed first: an
// O_EXCL create fails if anything holds the name, and otherwise leaves an
// empty file that is ours alone, which rename() then replaces atomically. No
// instant shows a partial file under the name; at worst a reader sees it
// empty for a moment. A file placed by another writer between the two steps
// would have failed its own claim, as it finds ours.
int placeNoLinks(const std::string &from, const std::string &target)
{
    UniqueFd claim(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!claim)
        return errno;
    struct stat claimed {
    };
    const bool known = ::fstat(claim.get(), &claimed) == 0;
    claim.close();
    if (::rename(from.c_str(), target.c_str()) == 0)
        return 0;
    const int error = errno;
    // Remove the claim only while it is still the empty file we made.
    struct stat now {
    };
    if (known && ::lstat(target.c_str(), &now) == 0 && now.st_ino == claimed.st_ino &&
        now.st_dev == claimed.st_dev && now.st_size == 0)
        ::unlink(target.c_str());
    return error;
}

int placeNeverReplace(const std::string &from, const std::string &target)
{
    PlaceCalls &calls = placeCalls();
    if (calls.renameNoReplace(from.c_str(), target.c_str()) == 0)
        return 0;
    if (!refusedFlag(errno))
        return errno;
    if (calls.hardLink(from.c_str(), target.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (!noHardLinks(errno))
        return errno;
    return placeNoLinks(from, target);
}

} // namespace

PlaceCalls &placeCalls()
{
    static PlaceCalls calls{realRenameNoReplace, realHardLink};
    return calls;
}

UniqueFd createUniqueFile(const std::string &prefix, std::string &path, unsigned mode)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%06llx", static_cast<unsigned long long>(random() & 0xFFFFFFu));
        path = prefix + suffix;
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode)));
        if (fd || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}

int placeFile(const std::string &from, const std::string &target, Placement how)
{
    if (how == Placement::NeverReplace)
        return placeNeverReplace(from, target);
    return ::rename(from.c_str(), target.c_str()) == 0 ? 0 : errno;
}

bool placeSymlink(const std::string &link, const std::string &target, std::string *error)
{
    struct stat st {
    };
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error)
                *error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        if (error)
            *error = "cannot create " + link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace vexo::sys
