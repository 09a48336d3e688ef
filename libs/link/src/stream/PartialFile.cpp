#include "PartialFile.h"

#include "ByteIO.h"
#include "Crc32.h"
#include "vexo/sys/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vexo::link
{

namespace
{
// The record after the data: name bytes, then this fixed tail.
//   u8 name length, u64 source size, i64 source time (ms), u64 kept bytes,
//   u32 CRC-32 of the kept bytes, u32 magic, u32 CRC-32 of the record before it.
constexpr size_t kTail = 1 + 8 + 8 + 8 + 4 + 4 + 4;
constexpr uint32_t kMagic = 0x504b5856; // "VXKP"
constexpr char kBesideSuffix[] = ".vexo-keep";

} // namespace

std::string PartialFile::pathBeside(const std::string &target)
{
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + base + kBesideSuffix;
}

bool PartialFile::isBesideName(const std::string &name)
{
    const size_t n = sizeof kBesideSuffix - 1;
    return name.size() > n + 1 && name[0] == '.' && name.compare(name.size() - n, n, kBesideSuffix) == 0;
}

void PartialFile::removeOlder(const std::string &folder,
                              const std::function<bool(const std::string &)> &isPartial,
                              int64_t maxAgeSeconds)
{
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const time_t now = time(nullptr);
    while (const dirent *e = readdir(dir)) {
        if (!isPartial(e->d_name))
            continue;
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + e->d_name;
        struct stat st {
        };
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > maxAgeSeconds)
            unlink(path.c_str());
    }
    closedir(dir);
}

void PartialFile::makeRoom(const std::string &folder,
                           const std::function<bool(const std::string &)> &isPartial, uint64_t size,
                           size_t maxKept, const std::string &except)
{
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    std::vector<Kept> kept = listKept(folder, isPartial, except);
    std::sort(kept.begin(), kept.end(), [](const Kept &a, const Kept &b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    auto tooFull = [&] {
        struct statvfs fs {
        };
        return statvfs(dirPath.c_str(), &fs) == 0 && uint64_t{fs.f_bavail} * fs.f_frsize < size;
    };
    for (size_t i = 0; i < kept.size() && (kept.size() - i >= maxKept || tooFull()); ++i)
        unlink(kept[i].path.c_str());
}

std::vector<PartialFile::Kept>
PartialFile::listKept(const std::string &folder, const std::function<bool(const std::string &)> &isPartial,
                      const std::string &except)
{
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    std::vector<Kept> kept;
    if (DIR *dir = opendir(dirPath.c_str())) {
        while (const dirent *e = readdir(dir)) {
            const std::string path = dirPath + "/" + e->d_name;
            struct stat st {
            };
            if (isPartial(e->d_name) && path != except && lstat(path.c_str(), &st) == 0 &&
                S_ISREG(st.st_mode))
                kept.push_back({st.st_mtime, path, static_cast<uint64_t>(st.st_size)});
        }
        closedir(dir);
    }
    return kept;
}

bool PartialFile::hasRecord(const std::string &path)
{
    PartialFile probe;
    probe.m_fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {
    };
    return probe.m_fd && fstat(probe.m_fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
           probe.readRecord(static_cast<uint64_t>(st.st_size));
}

bool PartialFile::create(const std::string &path, const PartialSource &source)
{
    discard();
    unlink(path.c_str());
    m_fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!m_fd)
        return false;
    m_path = path;
    m_source = source;
    m_kept = 0;
    m_crc = 0;
    m_keptDigest = FileDigest();
    return true;
}

bool PartialFile::reopen(const std::string &path)
{
    FileDigest kept;
    return open(path) && (kept.addFrom(m_fd.get(), m_kept) || (discard(), false)) && takeUp(kept);
}

bool PartialFile::open(const std::string &path)
{
    discard();
    m_fd.reset(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {
    };
    // Only a file of our own that nothing else links to: appending to a hard
    // link would grow a file elsewhere, perhaps outside the folder.
    if (!m_fd || fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        st.st_uid != geteuid()) {
        m_fd.reset();
        return false;
    }
    m_path = path;
    m_keptDigest = FileDigest();
    if (!readRecord(static_cast<uint64_t>(st.st_size))) {
        discard();
        return false;
    }
    return true;
}

bool PartialFile::takeUp(const FileDigest &kept)
{
    // The bytes must still be those the record describes: a partial damaged
    // on the disk is not continued. (One written to match the record passes
    // here; the hash both sides compare catches it.)
    if (!m_fd || kept.length() != m_kept || kept.crc() != m_crc ||
        ftruncate(m_fd.get(), static_cast<off_t>(m_kept)) != 0 ||
        lseek(m_fd.get(), static_cast<off_t>(m_kept), SEEK_SET) < 0) {
        discard();
        return false;
    }
    m_keptDigest = kept;
    return true;
}

bool PartialFile::readRecord(uint64_t length)
{
    uint8_t tail[kTail];
    if (length < kTail || pread(m_fd.get(), tail, kTail, static_cast<off_t>(length - kTail)) != kTail ||
        getLe32(tail + kTail - 8) != kMagic)
        return false;
    const size_t nameSize = tail[0];
    if (length < kTail + nameSize)
        return false;
    std::vector<uint8_t> record(nameSize + kTail);
    const off_t at = static_cast<off_t>(length - record.size());
    if (pread(m_fd.get(), record.data(), record.size(), at) != static_cast<ssize_t>(record.size()) ||
        crc32(record.data(), record.size() - 4) != getLe32(record.data() + record.size() - 4))
        return false;
    const uint8_t *f = record.data() + nameSize;
    m_source.name.assign(reinterpret_cast<const char *>(record.data()), nameSize);
    m_source.size = getLe64(f + 1);
    m_source.mtimeMs = static_cast<int64_t>(getLe64(f + 9));
    m_kept = getLe64(f + 17);
    m_crc = getLe32(f + 25);
    return m_kept > 0 && m_kept < m_source.size && m_kept == static_cast<uint64_t>(at);
}

bool PartialFile::restart()
{
    if (!m_fd || ftruncate(m_fd.get(), 0) != 0 || lseek(m_fd.get(), 0, SEEK_SET) < 0) {
        discard();
        return false;
    }
    m_kept = 0;
    m_crc = 0;
    m_keptDigest = FileDigest();
    return true;
}

void PartialFile::note(uint64_t kept, uint32_t crc)
{
    m_kept = kept;
    m_crc = crc;
}

void PartialFile::keep()
{
    if (!m_fd)
        return;
    if (m_kept == 0 || m_source.name.size() > 255) {
        discard();
        return;
    }
    std::vector<uint8_t> record(m_source.name.begin(), m_source.name.end());
    record.resize(record.size() + kTail);
    uint8_t *f = record.data() + m_source.name.size();
    f[0] = static_cast<uint8_t>(m_source.name.size());
    putLe64(f + 1, m_source.size);
    putLe64(f + 9, static_cast<uint64_t>(m_source.mtimeMs));
    putLe64(f + 17, m_kept);
    putLe32(f + 25, m_crc);
    putLe32(f + 29, kMagic);
    putLe32(f + 33, crc32(record.data(), record.size() - 4));
    // Anything written past the kept bytes (a block cut short) goes first.
    if (ftruncate(m_fd.get(), static_cast<off_t>(m_kept)) != 0 ||
        pwrite(m_fd.get(), record.data(), record.size(), static_cast<off_t>(m_kept)) !=
            static_cast<ssize_t>(record.size()) ||
        !m_fd.close()) {
        discard();
        return;
    }
    m_path.clear();
}

void PartialFile::discard()
{
    m_fd.reset();
    if (!m_path.empty())
        unlink(m_path.c_str());
    m_path.clear();
}

std::string PartialFile::release()
{
    if (!m_fd.close()) {
        discard();
        return {};
    }
    std::string path;
    path.swap(m_path);
    return path;
}

int PartialFile::commit(const std::string &target, sys::Placement how)
{
    const std::string path = release();
    if (path.empty())
        return EIO;
    const int error = sys::placeFile(path, target, how);
    if (error != 0)
        unlink(path.c_str());
    return error;
}

} // namespace vexo::link
