// Transfers that stop early and are continued: what each side keeps, that
// nothing of it shows, and that only a kept part both sides agree on is used.
#include "Crc32.h"
#include "FileClient.h"
#include "LinkTestSupport.h"
#include "PartialFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexo::link;
using namespace vexo::link::test;

namespace
{

constexpr uint64_t kSize = 256 * 1024;

// Changes bytes [at, at + 8) of the first `length` and makes up for it in the
// four after them, so that the CRC-32 of those bytes stays what it was: a
// forgery that CRC-32 alone cannot tell. CRC-32 is linear, so the patch is
// the solution of a 32 x 32 system over GF(2).
void forgeKeepingCrc(std::vector<uint8_t> &bytes, size_t at, size_t length)
{
    const uint32_t wanted = crc32(bytes.data(), length);
    for (size_t i = at; i < at + 8; ++i)
        bytes[i] ^= 0x5a;
    const size_t patch = at + 8;
    const uint32_t base = crc32(bytes.data(), length);
    uint64_t rows[32] = {}; // bit j of the effect on the CRC, one column per patch bit (bit 32: the target)
    for (int bit = 0; bit < 32; ++bit) {
        bytes[patch + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const uint32_t effect = crc32(bytes.data(), length) ^ base;
        bytes[patch + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        for (int j = 0; j < 32; ++j)
            rows[j] |= uint64_t{(effect >> j) & 1u} << bit;
    }
    for (int j = 0; j < 32; ++j)
        rows[j] |= uint64_t{((wanted ^ base) >> j) & 1u} << 32;
    for (int col = 0; col < 32; ++col) {
        int pivot = col;
        while (pivot < 32 && !((rows[pivot] >> col) & 1u))
            ++pivot;
        ASSERT_LT(pivot, 32);
        std::swap(rows[col], rows[pivot]);
        for (int j = 0; j < 32; ++j)
            if (j != col && ((rows[j] >> col) & 1u))
                rows[j] ^= rows[col];
    }
    for (int bit = 0; bit < 32; ++bit)
        if ((rows[bit] >> 32) & 1u)
            bytes[patch + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    ASSERT_EQ(crc32(bytes.data(), length), wanted);
}

class ResumeTest : public ::testing::Test, protected ClientServerFolders
{
protected:
    void start(bool serverResumes = true)
    {
        vexo::deviced::ServerOptions options;
        options.offerResume = serverResumes;
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, options);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
    }

    // One file either way, stopped once `stopAt` bytes of it have moved (0:
    // never); m_line is what crossed the line in the file's direction.
    LinkError move(bool sending, const std::string &from, const std::string &to, uint64_t stopAt = 0)
    {
        int stop = 0;
        TransferControl control;
        control.stop = &stop;
        control.onProgress = [&](size_t, uint64_t done, uint64_t) { stop = stopAt != 0 && done >= stopAt; };
        const std::vector<TransferItem> items{TransferItem{from, to, true}};
        const auto before = m_client->stats();
        const auto result =
            (sending ? m_client->send(items, control) : m_client->receive(items, control)).front();
        const auto after = m_client->stats();
        m_line = sending ? after.bytesWritten - before.bytesWritten : after.bytesRead - before.bytesRead;
        return result;
    }

    // What the device lists and a local folder shows (no hidden files).
    std::vector<std::string> listed()
    {
        std::vector<DeviceEntry> entries;
        EXPECT_EQ(m_client->list("*", entries), LinkError::Ok);
        std::vector<std::string> names;
        for (const auto &e : entries)
            names.push_back(e.name);
        return names;
    }
    static std::vector<std::string> shown(const std::filesystem::path &dir)
    {
        std::vector<std::string> names;
        for (const auto &name : listFolder(dir))
            if (name[0] != '.')
                names.push_back(name);
        return names;
    }
    // The one partial file a side keeps, or "" when there is none.
    static std::string partialIn(const std::filesystem::path &dir)
    {
        std::string found;
        for (const auto &name : listFolder(dir))
            if (name.find(".vexo-keep") != std::string::npos)
                found = (dir / name).string();
        return found;
    }

    uint64_t m_line = 0;
    TempDir m_elsewhere;
};

TEST_F(ResumeTest, StoppedTransfersKeepHiddenPartialsAndTheNextSendsOnlyTheRest)
{
    start();
    const auto data = randomBytes(kSize, 1);
    writeFile(loc("big"), data);
    writeFile(dev("big"), {7, 7, 7});
    writeFile(loc("back"), {8});
    for (const bool sending : {true, false}) {
        SCOPED_TRACE(sending ? "send" : "receive");
        const auto from = sending ? loc("big") : std::string("big");
        const auto to = sending ? std::string("big") : loc("back");
        const auto target = sending ? dev("big") : loc("back");
        const auto old = readFile(target);
        ASSERT_EQ(move(sending, from, to, kSize * 6 / 10), LinkError::Stopped);
        // The device restarts: a new session, and what it kept is still there.
        m_server.reset();
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b);
        // The old file survives, and what arrived is kept where nobody sees it.
        EXPECT_EQ(readFile(target), old);
        EXPECT_EQ(listed(), std::vector<std::string>{"big"});
        EXPECT_EQ(shown(m_local.path()), (std::vector<std::string>{"back", "big"}));
        ASSERT_NE(partialIn(sending ? m_device.path() : m_local.path()), "");

        ASSERT_EQ(move(sending, from, to), LinkError::Ok);
        EXPECT_EQ(readFile(target), data);
        EXPECT_LT(m_line, kSize * 6 / 10); // the kept part did not cross again
        EXPECT_EQ(partialIn(m_device.path()) + partialIn(m_local.path()), "");
    }
}

TEST_F(ResumeTest, AChangedSourceOrADamagedPartialStartsOverAndStillGivesTheExactFile)
{
    start();
    // Each spoils what the interrupted transfer left, in its own way.
    const std::vector<std::pair<const char *, std::function<void(const std::string &, const std::string &)>>>
        spoilers = {
            {"source rewritten", [](const std::string &source,
                                    const std::string &) { writeFile(source, randomBytes(kSize, 99)); }},
            {"same size and time, other bytes",
             [](const std::string &source, const std::string &) {
                 struct stat st {
                 };
                 stat(source.c_str(), &st);
                 writeFile(source, randomBytes(kSize, 98));
                 const timespec times[2] = {st.st_atim, st.st_mtim};
                 utimensat(AT_FDCWD, source.c_str(), times, 0);
             }},
            {"kept byte flipped",
             [](const std::string &, const std::string &partial) {
                 auto bytes = readFile(partial);
                 bytes[100] ^= 1;
                 writeFile(partial, bytes);
             }},
            {"record damaged",
             [](const std::string &, const std::string &partial) {
                 auto bytes = readFile(partial);
                 bytes[bytes.size() - 20] ^= 1;
                 writeFile(partial, bytes);
             }},
            {"truncated", [](const std::string &,
                             const std::string &partial) { ASSERT_EQ(truncate(partial.c_str(), 40000), 0); }},
            // Another party's bytes under the record's CRC-32.
            {"kept bytes forged, CRC-32 kept",
             [](const std::string &, const std::string &partial) {
                 auto bytes = readFile(partial);
                 const size_t kept = bytes.size() - bytes[bytes.size() - 37] - 37;
                 forgeKeepingCrc(bytes, 1000, kept);
                 writeFile(partial, bytes);
             }},
            // Continuing in place would grow the file elsewhere.
            {"hard link to a file elsewhere",
             [this](const std::string &, const std::string &partial) {
                 ASSERT_EQ(link(partial.c_str(), (m_elsewhere / "linked").c_str()), 0);
             }},
        };
    uint32_t seed = 10;
    for (const bool sending : {true, false}) {
        for (const auto &[what, spoil] : spoilers) {
            SCOPED_TRACE(std::string(sending ? "send, " : "receive, ") + what);
            const auto source = sending ? loc("src") : dev("src");
            writeFile(source, randomBytes(kSize, ++seed));
            const auto from = sending ? source : std::string("src");
            const auto to = sending ? std::string("src") : loc("dst");
            ASSERT_EQ(move(sending, from, to, kSize / 2), LinkError::Stopped);
            const auto partial = partialIn(sending ? m_device.path() : m_local.path());
            ASSERT_NE(partial, "");
            spoil(source, partial);

            ASSERT_EQ(move(sending, from, to), LinkError::Ok);
            EXPECT_EQ(readFile(sending ? dev("src") : loc("dst")), readFile(source));
            EXPECT_GT(m_line, kSize); // all of it again
            EXPECT_EQ(partialIn(m_device.path()) + partialIn(m_local.path()), "");
            if (std::filesystem::exists(m_elsewhere / "linked")) {
                EXPECT_LT(std::filesystem::file_size(m_elsewhere / "linked"), kSize);
                std::filesystem::remove(m_elsewhere / "linked");
            }
        }
    }
}

TEST_F(ResumeTest, WithoutResumeOnEitherSideNothingIsKept)
{
    for (const bool serverResumes : {false, true}) {
        SCOPED_TRACE(serverResumes ? "client turned off" : "older server");
        start(serverResumes);
        m_client->setResume(serverResumes ? false : true);
        writeFile(loc("big"), randomBytes(kSize, 3));
        writeFile(dev("big"), randomBytes(kSize, 4));
        EXPECT_EQ(move(true, loc("big"), "big", kSize / 2), LinkError::Stopped);
        EXPECT_EQ(move(false, "big", loc("back"), kSize / 2), LinkError::Stopped);
        EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"big"});
        EXPECT_EQ(listFolder(m_local.path()), std::vector<std::string>{"big"});
        ASSERT_EQ(move(true, loc("big"), "big"), LinkError::Ok);
        EXPECT_GT(m_line, kSize);
        m_client.reset();
        m_server.reset();
    }
}

TEST_F(ResumeTest, APutThatCanNeverFitDropsNoKeptPartial)
{
    start();
    writeFile(loc("big"), randomBytes(kSize, 5));
    ASSERT_EQ(move(true, loc("big"), "big", kSize / 2), LinkError::Stopped);
    const auto partial = partialIn(m_device.path());
    ASSERT_NE(partial, "");
    // Sparse: a terabyte no palmtop holds, whatever it drops.
    const auto huge = loc("huge");
    writeFile(huge, {});
    ASSERT_EQ(truncate(huge.c_str(), off_t{1} << 40), 0);
    EXPECT_EQ(move(true, huge, "huge"), LinkError::DeviceIo);
    EXPECT_EQ(partialIn(m_device.path()), partial);
}

// Room for a new partial leaves the seven newest others, so that with it at
// most eight are kept; files that are not partials are never touched.
TEST_F(ResumeTest, AtMostEightPartialsAreKeptTheOldestGoFirst)
{
    const std::string folder = m_device.path().string();
    for (int i = 0; i < 9; ++i) {
        const std::string path = folder + "/.keep-" + std::to_string(i);
        writeFile(path, {uint8_t(i)});
        const timespec times[2] = {{1000 + i, 0}, {1000 + i, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    writeFile(folder + "/plain", {1});
    PartialFile::makeRoom(
        folder, [](const std::string &name) { return name.rfind(".keep-", 0) == 0; }, 0, 8, std::string());
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(std::filesystem::exists(folder + "/.keep-" + std::to_string(i)), i >= 2) << i;
    EXPECT_TRUE(std::filesystem::exists(folder + "/plain"));
}

} // namespace
