// The receiving end's copy of a file in transit, kept under a private name
// when the transfer stops early, so that the next transfer of the same file
// continues from it. A record after the data names the source and checks the
// kept bytes; anything that does not match is removed, never trusted.
#pragma once

#include "FileDigest.h"
#include "vexo/sys/PlaceFile.h"
#include "vexo/sys/UniqueFd.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vexo::link
{

// Only files of more than one block ask to resume: a smaller one costs less
// to send again than the question would on every transfer.
constexpr uint64_t kResumeMinSize = 32 * 1024;
// A partial older than this is removed rather than continued.
constexpr int64_t kPartialMaxAgeSeconds = 24 * 60 * 60;

struct PartialSource {
    std::string name; // the device name of the file
    uint64_t size = 0;
    int64_t mtimeMs = 0;
    bool operator==(const PartialSource &o) const
    {
        return name == o.name && size == o.size && mtimeMs == o.mtimeMs;
    }
};

class PartialFile
{
public:
    PartialFile() = default;
    ~PartialFile() { discard(); }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    // The hidden partial of a local destination, beside it (".NAME.vexo-keep"),
    // so that placing it is one rename within its folder.
    static std::string pathBeside(const std::string &target);
    static bool isBesideName(const std::string &name);
    // Removes files of `folder` that isPartial names and that were last
    // written more than maxAgeSeconds ago.
    static void removeOlder(const std::string &folder,
                            const std::function<bool(const std::string &)> &isPartial, int64_t maxAgeSeconds);

    struct Kept {
        time_t modified;
        std::string path;
        uint64_t size;
    };
    // The regular files of `folder` that isPartial names, but `except`.
    static std::vector<Kept> listKept(const std::string &folder,
                                      const std::function<bool(const std::string &)> &isPartial,
                                      const std::string &except);
    // Before a new partial of `size` bytes in `folder`: removes the oldest
    // others (but `except`) while maxKept or more are there or the free
    // space would not hold it.
    static void makeRoom(const std::string &folder, const std::function<bool(const std::string &)> &isPartial,
                         uint64_t size, size_t maxKept, const std::string &except);
    // Whether the file at `path` ends in an intact record (the data is not
    // read): a partial without one was cut off by a crash and is of no use.
    static bool hasRecord(const std::string &path);

    // Starts an empty partial at `path` (replacing whatever was there). False
    // when it cannot be created.
    bool create(const std::string &path, const PartialSource &source);
    // Takes up a kept partial: its record must be intact, name a part shorter
    // than the source, and match the CRC-32 of the bytes before it. Otherwise
    // the file is removed and false returned. On success the file is open
    // for appending at kept().
    bool reopen(const std::string &path);
    // reopen() in two steps, for a caller that reads the kept bytes itself
    // (a server, a slice at a time): open() checks the file and its record
    // without reading the data; takeUp() then takes the digest of the first
    // kept() bytes as read from fd(). Either removes the file when it fails.
    bool open(const std::string &path);
    bool takeUp(const FileDigest &kept);
    // Throws away what was kept and starts over for the same source.
    bool restart();

    bool isOpen() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }
    const std::string &path() const { return m_path; }
    const PartialSource &source() const { return m_source; }
    uint64_t kept() const { return m_kept; }
    uint32_t crc() const { return m_crc; }
    // The kept bytes as reopen read them from the disk (empty for a new or
    // restarted partial): what both sides compare before continuing.
    const FileDigest &keptDigest() const { return m_keptDigest; }
    // What is written so far: the first `kept` bytes, of CRC-32 `crc`.
    void note(uint64_t kept, uint32_t crc);

    // The transfer stopped early: writes the record and closes the file,
    // which stays for the next attempt (removed when nothing was written).
    void keep();
    // Closes and removes the file.
    void discard();
    // Closes the complete file and hands its path over to the caller, who
    // places or removes it; empty (and the file removed) when closing failed.
    std::string release();
    // Closes the complete file and renames it to `target`. 0 or an errno
    // value (EEXIST: NeverReplace found a file); on failure it is removed.
    int commit(const std::string &target, sys::Placement how);

private:
    bool readRecord(uint64_t length);

    sys::UniqueFd m_fd;
    std::string m_path;
    PartialSource m_source;
    uint64_t m_kept = 0;
    uint32_t m_crc = 0;
    FileDigest m_keptDigest;
};

} // namespace vexo::link
