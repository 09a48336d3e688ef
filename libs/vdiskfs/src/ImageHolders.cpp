#include "ImageHolders.h"

#include "vexo/sys/FileIo.h"
#include "vexo/sys/UniqueFd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

std::string readSmall(const std::string &path)
{
    std::string text;
    return sys::readSmallFile(path, text, 65536) ? text : std::string();
}

bool isNumber(const char *s)
{
    if (*s == '\0')
        return false;
    for (; *s != '\0'; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// The locks the kernel lists for one open file:
// "lock:\t1: OFDLCK ADVISORY  WRITE -1 fe:00:1234 0 4611686018427387903".
void readLocks(const std::string &fdinfo, ImageHolders::Holder &holder)
{
    std::string line;
    for (size_t at = 0; sys::nextLine(fdinfo, at, line);) {
        char type[16];
        unsigned long long start = 0;
        if (std::sscanf(line.c_str(), "lock: %*s %*s %*s %15s %*s %*s %llu", type, &start) != 2)
            continue;
        if (start == ImageHolders::kOpenMarkByte) {
            holder.takesLocks = true;
        } else {
            holder.reading = holder.reading || std::strcmp(type, "READ") == 0;
            holder.changing = holder.changing || std::strcmp(type, "WRITE") == 0;
        }
    }
}

} // namespace

std::vector<ImageHolders::Holder> ImageHolders::find(uint64_t device, uint64_t inode)
{
    std::vector<Holder> holders;
    std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return holders;
    const pid_t self = ::getpid();
    while (const dirent *process = ::readdir(proc.get())) {
        if (!isNumber(process->d_name) || std::atoi(process->d_name) == self)
            continue;
        const std::string base = std::string("/proc/") + process->d_name;
        std::unique_ptr<DIR, int (*)(DIR *)> fds(::opendir((base + "/fd").c_str()), ::closedir);
        if (!fds)
            continue; // gone, or another user's
        Holder holder;
        bool holds = false;
        while (const dirent *fd = ::readdir(fds.get())) {
            struct stat st {
            };
            if (!isNumber(fd->d_name) || ::stat((base + "/fd/" + fd->d_name).c_str(), &st) != 0 ||
                uint64_t(st.st_dev) != device || uint64_t(st.st_ino) != inode)
                continue;
            holds = true;
            readLocks(readSmall(base + "/fdinfo/" + fd->d_name), holder);
        }
        if (!holds)
            continue;
        holder.pid = std::atoi(process->d_name);
        holder.program = readSmall(base + "/comm");
        while (!holder.program.empty() && holder.program.back() == '\n')
            holder.program.pop_back();
        holders.push_back(std::move(holder));
    }
    return holders;
}

std::string ImageHolders::name(const Holder &holder)
{
    return (holder.program.empty() ? std::string("another program") : holder.program) + " (pid " +
           std::to_string(holder.pid) + ")";
}

} // namespace vexo
