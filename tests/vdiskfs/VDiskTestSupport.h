#pragma once

#include "BlockDevice.h"
#include "Volume.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vexo::test
{

// An image in a vector the test keeps, so it outlives the volume. Writes
// beyond the budget fail without touching the bytes: the image then holds
// exactly what a process killed at that moment would have left.
class FaultyBlockDevice : public BlockDevice
{
public:
    explicit FaultyBlockDevice(std::vector<uint8_t> &bytes, long writeBudget = -1)
        : m_bytes(bytes), m_budget(writeBudget)
    {
    }
    uint64_t size() const override { return m_bytes.size(); }
    VDiskError read(uint64_t offset, void *buffer, size_t length) override;
    VDiskError write(uint64_t offset, const void *buffer, size_t length) override;
    VDiskError sync() override { return VDiskError::None; }
    long writes() const { return m_writes; }
    // Write calls made so far, failed ones included.
    long attempts() const { return m_attempts; }
    // Makes `count` write calls fail, starting with the one numbered
    // `first` (counted by attempts()); the device works again after them.
    void failWrites(long first, long count)
    {
        m_failFirst = first;
        m_failEnd = first + count;
    }

private:
    std::vector<uint8_t> &m_bytes;
    long m_budget;
    long m_writes = 0;
    long m_attempts = 0;
    long m_failFirst = -1;
    long m_failEnd = -1;
};

// A fresh empty image of the given size in `bytes`, mounted.
std::unique_ptr<Volume> formatAndMount(std::vector<uint8_t> &bytes, size_t size, long writeBudget = -1);
std::unique_ptr<Volume> mountBytes(std::vector<uint8_t> &bytes, long writeBudget = -1);

VDiskError writeFile(Volume &volume, const std::string &name, const std::string &data);
VDiskError readFile(Volume &volume, const std::string &name, std::string &data);
// Problems the consistency check finds. A crash may leave lost clusters and
// a second FAT copy behind the first (fsck.fat takes the first); those are
// left out when asked.
std::vector<std::string> checkProblems(std::vector<uint8_t> &bytes, bool ignoreCrashLeftovers = false);

std::string randomBytes(std::mt19937 &rng, size_t length);

// Through the C functions, as the program does: a copy in with 1024-byte
// pieces (the last one possibly empty), a copy out with zflen and pieces,
// and a listing in the library's order.
bool apiPut(const std::string &name, const std::string &data);
std::string apiGet(const std::string &name);
std::vector<std::string> apiList();

// A private folder removed with everything in it at the end of the test.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs a shell command; gives its exit status and its output (stdout and
// stderr together).
int run(const std::string &command, std::string *output = nullptr);
std::string readLocal(const std::string &path);
void writeLocal(const std::string &path, const std::string &data);
std::string quote(const std::string &s);

} // namespace vexo::test
