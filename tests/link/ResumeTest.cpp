// Transfers that stop early and are continued: what each side keeps, that
// nothing of it shows, and that only a kept part both sides agree on is used.
#include "FileClient.h"
#include "LinkTestSupport.h"

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

} // namespace
