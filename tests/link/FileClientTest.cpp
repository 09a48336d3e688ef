// The client library against the real server loop, in-process over a socket pair.
#include "FileClient.h"
#include "Crc32.h"
#include "DevicedProcess.h"
#include "LinkTestSupport.h"
#include "vexo/sys/PlaceFile.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace vexo::link;
using namespace vexo::link::test;

namespace
{

class FileClientTest : public ::testing::Test, protected ClientServerFolders
{
protected:
    void startLink(double flip = 0, int serverTimeoutMs = 3000)
    {
        std::shared_ptr<ByteStream> serverEnd = m_pair.b;
        std::shared_ptr<ByteStream> clientEnd = m_pair.a;
        if (flip > 0) {
            serverEnd = std::make_shared<FaultyStream>(m_pair.b, flip, 0, 21);
            clientEnd = std::make_shared<FaultyStream>(m_pair.a, flip, 0, 22);
        }
        m_server = std::make_unique<ServerThread>(m_device.path().string(), serverEnd, serverTimeoutMs);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(clientEnd));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
    }

    LinkError put(const std::string &local, const std::string &name, bool overwrite = true,
                  const TransferControl &control = {})
    {
        return m_client->send({TransferItem{local, name, overwrite}}, control).front();
    }
    LinkError get(const std::string &name, const std::string &local, bool overwrite = true,
                  const TransferControl &control = {})
    {
        return m_client->receive({TransferItem{name, local, overwrite}}, control).front();
    }
};

TEST_F(FileClientTest, FilesOfEverySizeAndKindArriveByteExactBothWays)
{
    startLink();
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"empty", {}},
        {"one", {0x42}},
        {"inline.bin", randomBytes(1900, 1)},
        {"edge.bin", randomBytes(2048, 2)},
        {"blocks.bin", randomBytes(3 * 32768 + 5, 3)},
        {"text.txt", textBytes(200000)},
    };
    for (const auto &[name, bytes] : files) {
        SCOPED_TRACE(name);
        writeFile(loc(name), bytes);
        ASSERT_EQ(put(loc(name), name), LinkError::Ok);
        EXPECT_EQ(readFile(dev(name)), bytes);
        ASSERT_EQ(get(name, loc(name + ".back")), LinkError::Ok);
        EXPECT_EQ(readFile(loc(name + ".back")), bytes);
    }
    // Text went compressed: far fewer bytes on the line than in the files.
    EXPECT_LT(m_client->stats().bytesWritten, 200000u + 100000u + 2048 + 1900);
}

TEST_F(FileClientTest, LookupDeleteRenameAndListing)
{
    startLink();
    writeFile(dev("a.txt"), randomBytes(10, 1));
    writeFile(dev("b.txt"), randomBytes(20, 1));
    std::filesystem::create_directory(dev("folder"));
    writeFile(dev(".vexo-part-abc123"), {1});
    writeFile(dev("much-longer-than-sixteen.txt"), {1});

    DeviceEntry entry;
    EXPECT_EQ(m_client->lookup("a.txt", &entry), LinkError::Ok);
    EXPECT_EQ(entry.size, 10u);
    EXPECT_EQ(m_client->lookup("A.TXT"), LinkError::NotFound);
    EXPECT_EQ(m_client->lookup("folder"), LinkError::NotFound);

    std::vector<DeviceEntry> entries;
    ASSERT_EQ(m_client->list("*.*", entries), LinkError::Ok);
    ASSERT_EQ(entries.size(), 2u); // no folder, no temporary file, no unaddressable name
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_EQ(entries[1].size, 20u);
    struct stat st {
    };
    stat(dev("b.txt").c_str(), &st);
    EXPECT_EQ(entries[1].mtimeMs / 1000, st.st_mtime);

    // Names as the program keeps them on its clipboard, with the device's prefix.
    EXPECT_EQ(m_client->lookup("TVR:\\a.txt"), LinkError::Ok);
    EXPECT_EQ(get("tvr:\\b.txt", loc("b.txt")), LinkError::Ok);
    EXPECT_EQ(readFile(loc("b.txt")).size(), 20u);

    EXPECT_EQ(m_client->rename("a.txt", "b.txt"), LinkError::Exists);
    EXPECT_EQ(m_client->rename("a.txt", "c.txt"), LinkError::Ok);
    EXPECT_EQ(m_client->rename("a.txt", "d.txt"), LinkError::NotFound);
    EXPECT_EQ(m_client->remove("c.txt"), LinkError::Ok);
    EXPECT_EQ(m_client->remove("c.txt"), LinkError::NotFound);
    EXPECT_EQ(listFolder(m_device.path()), (std::vector<std::string>{".vexo-part-abc123", "b.txt", "folder",
                                                                     "much-longer-than-sixteen.txt"}));
}

TEST_F(FileClientTest, ManyDeletesGoManyToAFrameAndAnOlderServerGetsThemOneByOne)
{
    // Enough names for several requests; a missing and a forbidden one among them.
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i)
        names.push_back("F" + std::to_string(10000 + i) + ".TXT");
    names[7] = "GONE.TXT";
    names[300] = "a/b";
    uint64_t frames[2] = {}; // [older]
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older);
        for (const auto &name : names) {
            if (name != "GONE.TXT" && name != "a/b")
                writeFile(dev(name), {1});
        }
        writeFile(dev("KEEP.TXT"), {1});
        vexo::deviced::ServerOptions options;
        options.offerDeleteMany = !older;
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, options);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);

        // A stop given before the call sends nothing; a forbidden name is refused all the same.
        std::vector<LinkError> results;
        int stop = 1;
        ASSERT_EQ(m_client->removeMany(names, results, &stop), LinkError::Ok);
        std::vector<LinkError> stopped(names.size(), LinkError::Stopped);
        stopped[300] = LinkError::BadName;
        EXPECT_EQ(results, stopped);
        EXPECT_EQ(listFolder(m_device.path()).size(), 599u);

        const auto before = m_client->stats().framesSent;
        ASSERT_EQ(m_client->removeMany(names, results, nullptr), LinkError::Ok);
        frames[older] = m_client->stats().framesSent - before;
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(results[i], i == 7     ? LinkError::NotFound
                                  : i == 300 ? LinkError::BadName
                                             : LinkError::Ok)
                << names[i];
        EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"KEEP.TXT"});
        m_client.reset();
        m_server.reset();
    }
    EXPECT_LT(frames[0] * 20, frames[1]);
}

TEST_F(FileClientTest, CopiesKeepTimesAndTheDeviceAnswersChecksumsAndSpaceUnlessItIsOlder)
{
    const auto content = randomBytes(70000, 5);
    writeFile(dev("price.dat"), content);
    writeFile(loc("stock.dat"), {1, 2, 3});
    const auto mtimeOf = [](const std::string &path) {
        struct stat st {
        };
        stat(path.c_str(), &st);
        return st.st_mtime;
    };
    const time_t longAgo = 1500000000;
    const struct timeval times[2] = {{longAgo, 0}, {longAgo, 0}};
    ASSERT_EQ(utimes(loc("stock.dat").c_str(), times), 0);
    ASSERT_EQ(utimes(dev("price.dat").c_str(), times), 0);
    for (const bool older : {false, true}) {
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, 3000, false, !older);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
        uint32_t crc = 0;
        DeviceEntry entry;
        uint64_t freeBytes = 0, totalBytes = 0;
        const auto started = std::chrono::steady_clock::now();
        const auto e = m_client->checksum("price.dat", crc, &entry);
        const auto space = m_client->freeSpace(freeBytes, totalBytes);
        Hash hash{};
        const auto hashed = m_client->fileHash("price.dat", hash);
        if (older) {
            // Answered at once, not after the time-out of an unanswered request.
            EXPECT_EQ(e, LinkError::Unsupported);
            EXPECT_EQ(space, LinkError::Unsupported);
            EXPECT_EQ(hashed, LinkError::Unsupported);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
            EXPECT_EQ(m_client->lookup("price.dat"), LinkError::Ok);
            // Its listings end with their stream, without the closing count.
            std::vector<DeviceEntry> entries;
            EXPECT_EQ(m_client->list("*", entries), LinkError::Ok);
            EXPECT_EQ(entries.size(), 2u);
            // The older server is not sent a time it would refuse: the copy is stored, of today.
            ASSERT_EQ(put(loc("stock.dat"), "stock.dat"), LinkError::Ok);
            EXPECT_GT(mtimeOf(dev("stock.dat")), longAgo);
        } else {
            ASSERT_EQ(put(loc("stock.dat"), "stock.dat"), LinkError::Ok);
            EXPECT_EQ(mtimeOf(dev("stock.dat")), longAgo);
            ASSERT_EQ(get("price.dat", loc("price.dat")), LinkError::Ok);
            EXPECT_EQ(mtimeOf(loc("price.dat")), longAgo);
            EXPECT_EQ(e, LinkError::Ok);
            EXPECT_EQ(space, LinkError::Ok);
            EXPECT_GT(freeBytes, 0u);
            EXPECT_GE(totalBytes, freeBytes);
            EXPECT_EQ(crc, crc32(content.data(), content.size()));
            FileDigest expected;
            expected.add(content.data(), content.size());
            EXPECT_EQ(hashed, LinkError::Ok);
            EXPECT_EQ(hash, expected.hash());
            EXPECT_EQ(m_client->fileHash("missing.dat", hash), LinkError::NotFound);
            EXPECT_EQ(entry.size, content.size());
            EXPECT_EQ(m_client->checksum("missing.dat", crc), LinkError::NotFound);
            EXPECT_EQ(m_client->checksum("a/b", crc), LinkError::BadName);
        }
        m_client.reset();
        m_server.reset();
    }
}

TEST_F(FileClientTest, TextSharesOneContextPerFileBothWaysAndAnOlderServerGetsBlocksOnTheirOwn)
{
    // Log lines: words that recur across blocks between numbers that do not.
    std::vector<uint8_t> text;
    std::mt19937 rng(5);
    const char *hosts[] = {"gw01", "gw02", "db-main", "app03"};
    const char *events[] = {"Accepted publickey for deploy from", "Connection closed by",
                            "session opened for user root by", "GET /api/v1/items?page=",
                            "connection reset by peer while reading response header from upstream, client:"};
    while (text.size() < 5 * 32768) {
        const std::string line = "Mar 14 " + std::to_string(rng() % 86400) + " " + hosts[rng() % 4] + " " +
                                 events[rng() % 5] + " 10.0." + std::to_string(rng() % 256) + " port " +
                                 std::to_string(1024 + rng() % 60000) + "\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    writeFile(loc("log.txt"), text);
    uint64_t wire[2][2] = {}; // [older][put, get]
    for (const bool older : {false, true}) {
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, 3000, false, !older);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
        const auto before = m_client->stats();
        ASSERT_EQ(put(loc("log.txt"), "log.txt"), LinkError::Ok);
        EXPECT_EQ(readFile(dev("log.txt")), text);
        const auto between = m_client->stats();
        ASSERT_EQ(get("log.txt", loc("back.txt")), LinkError::Ok);
        EXPECT_EQ(readFile(loc("back.txt")), text);
        wire[older][0] = between.bytesWritten - before.bytesWritten;
        wire[older][1] = m_client->stats().bytesRead - between.bytesRead;
        m_client.reset();
        m_server.reset();
    }
    // Later blocks refer back into earlier ones only with the context.
    EXPECT_LT(wire[0][0] * 100, wire[1][0] * 97);
    EXPECT_LT(wire[0][1] * 100, wire[1][1] * 97);
}

TEST_F(FileClientTest, SmallFilesOfABatchOpenAgainstTheOneBeforeAndAServerWithoutThatGetsWholeOpens)
{
    // Names that share heads, tails, both or nothing; a refused file midway;
    // an empty and a compressible file; times that step back and jump years.
    struct Item {
        std::string name;
        std::vector<uint8_t> bytes;
        time_t mtime;
    };
    std::mt19937 rng(9);
    const auto noise = [&rng](size_t n) {
        std::vector<uint8_t> v(n);
        for (auto &b : v)
            b = static_cast<uint8_t>(rng());
        return v;
    };
    const std::vector<Item> items = {
        {"IMG_0001.JPG", noise(700), 1700000000},
        {"IMG_0002.JPG", noise(900), 1700000002},
        {"IMG_0010.JPG", noise(10), 1699999000},
        {"x", {}, 1700000005},
        {"IMG_0011.JPG", noise(300), 1700000006},
        {"notes-202612.txt", std::vector<uint8_t>(1500, 'a'), 900000000},
        {"notes-202612.txt", noise(50), 1800000000},
        {"dotes-202612.txt", noise(400), 1700000007},
    };
    const size_t refused = 4;
    const std::vector<uint8_t> kept = {1, 2, 3};
    std::vector<TransferItem> batch;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string path = loc(std::to_string(i));
        writeFile(path, items[i].bytes);
        const suseconds_t usec = static_cast<suseconds_t>(i * 111000);
        const struct timeval times[2] = {{items[i].mtime, usec}, {items[i].mtime, usec}};
        ASSERT_EQ(utimes(path.c_str(), times), 0);
        batch.push_back({path, items[i].name, i != refused});
    }
    uint64_t wire[2] = {}; // [older]
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older);
        std::filesystem::remove_all(m_device.path());
        std::filesystem::create_directory(m_device.path());
        writeFile(dev(items[refused].name), kept);
        vexo::deviced::ServerOptions options;
        options.offerLeanBatch = !older;
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, options);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
        const auto before = m_client->stats().dataBytesSent;
        const auto results = m_client->send(batch, {});
        wire[older] = m_client->stats().dataBytesSent - before;
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(results[i], i == refused ? LinkError::Exists : LinkError::Ok);
            if (i == refused || i == 5) // 5 is replaced by 6
                continue;
            EXPECT_EQ(readFile(dev(items[i].name)), items[i].bytes);
            struct stat st {
            };
            ASSERT_EQ(stat(dev(items[i].name).c_str(), &st), 0);
            EXPECT_EQ(st.st_mtim.tv_sec, items[i].mtime);
            EXPECT_EQ(st.st_mtim.tv_nsec / 1000000, static_cast<long>(i * 111));
        }
        EXPECT_EQ(readFile(dev(items[refused].name)), kept);
        // Another batch in the same session starts from a whole open again.
        ASSERT_EQ(put(loc("0"), "IMG_0003.JPG"), LinkError::Ok);
        EXPECT_EQ(readFile(dev("IMG_0003.JPG")), items[0].bytes);
        m_client.reset();
        m_server.reset();
    }
    // The opens after the first cost a few bytes besides their data.
    EXPECT_LE(wire[0] + 7 * 10, wire[1]);
}

// Whether the client's listing is exactly what the device's folder holds.
::testing::AssertionResult sameAsDevice(const std::vector<DeviceEntry> &entries, const std::string &root,
                                        const std::string &pattern = "*")
{
    std::vector<WireEntry> device;
    if (vexo::deviced::DeviceFolder(root).list(pattern, device) != WireStatus::Ok)
        return ::testing::AssertionFailure() << "the folder does not list";
    if (device.size() != entries.size())
        return ::testing::AssertionFailure()
               << entries.size() << " entries, the device has " << device.size();
    for (size_t i = 0; i < device.size(); ++i)
        if (std::tie(entries[i].name, entries[i].size, entries[i].mtimeMs) !=
            std::tie(device[i].name, device[i].size, device[i].mtimeMs))
            return ::testing::AssertionFailure() << "entry " << i << " differs: " << entries[i].name;
    return ::testing::AssertionSuccess();
}

TEST_F(FileClientTest, AThousandEntriesListInFewFramesAndARefreshBringsWhatChanged)
{
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older);
        std::filesystem::remove_all(m_device.path());
        std::filesystem::create_directory(m_device.path());
        // Sizes and times as varied as a palmtop's, so that a whole listing
        // costs what it would there.
        for (int i = 0; i < 1000; ++i) {
            const std::string name = dev("n" + std::to_string(10000 + i) + ".txt");
            writeFile(name, {});
            std::filesystem::resize_file(name, static_cast<uintmax_t>(i) * 7919 % 3000000);
            const time_t t = 1500000000 + i * i * 37 % 999983;
            const struct timeval times[2] = {{t, 0}, {t, 0}};
            ASSERT_EQ(utimes(name.c_str(), times), 0);
        }
        vexo::deviced::ServerOptions options;
        options.offerListDelta = !older; // whole listings, as before changes were sent alone
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, options);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
        const auto framesBefore = m_client->stats().bytesRead;
        std::vector<DeviceEntry> entries;
        ASSERT_EQ(m_client->list("*", entries), LinkError::Ok);
        ASSERT_EQ(entries.size(), 1000u);
        EXPECT_EQ(entries[999].name, "n10999.txt");
        // Compressed batches: well under the ~25 bytes a plain entry would take.
        const auto whole = m_client->stats().bytesRead - framesBefore;
        EXPECT_LT(whole, 10000u);

        // A folder that has not changed since costs its Result alone; after
        // any change of a name, a size or a time the listing is the device's
        // again, for a few bytes a change unless the server is older.
        const auto again = [&] {
            const auto before = m_client->stats().bytesRead;
            EXPECT_EQ(m_client->list("*", entries), LinkError::Ok);
            EXPECT_TRUE(sameAsDevice(entries, m_device.path().string()));
            return m_client->stats().bytesRead - before;
        };
        const auto changed = [&] {
            const auto bytes = again();

            EXPECT_GT(bytes, 32u);
            if (older)
                EXPECT_GT(bytes, whole / 2);
            else
                EXPECT_LT(bytes, whole / 4);
        };
        EXPECT_LT(again(), 64u);
        writeFile(dev("n10500.txt"), {1});
        changed();
        struct timeval times[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(utimes(dev("n10500.txt").c_str(), times), 0);
        changed();
        writeFile(dev("n10999.txv"), {});
        changed();
        for (int i = 0; i < 20; ++i) {
            std::filesystem::remove(dev("n" + std::to_string(10000 + i) + ".txt"));
            writeFile(dev("m" + std::to_string(i)), {});
            writeFile(dev("n" + std::to_string(10100 + i) + ".txt"),
                      std::vector<uint8_t>(static_cast<size_t>(i)));
            ASSERT_EQ(utimes(dev("n" + std::to_string(10200 + i) + ".txt").c_str(), times), 0);
        }
        changed();
        EXPECT_LT(again(), 64u);
        // Another pattern is a listing of its own.
        std::vector<DeviceEntry> some;
        EXPECT_EQ(m_client->list("n1099?.txt", some), LinkError::Ok);
        EXPECT_TRUE(sameAsDevice(some, m_device.path().string(), "n1099?.txt"));
        EXPECT_GT(again(), whole / 2);
        m_client.reset();
        m_server.reset();
    }
}

TEST_F(FileClientTest, OverwriteZeroKeepsExistingAndWritesMissing)
{
    startLink();
    writeFile(loc("new"), randomBytes(5000, 9));
    writeFile(dev("kept"), {1, 2, 3});
    EXPECT_EQ(put(loc("new"), "kept", false), LinkError::Exists);
    EXPECT_EQ(readFile(dev("kept")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(put(loc("new"), "missing", false), LinkError::Ok);
    EXPECT_EQ(readFile(dev("missing")), readFile(loc("new")));

    writeFile(loc("local-kept"), {4});
    EXPECT_EQ(get("missing", loc("local-kept"), false), LinkError::Exists);
    EXPECT_EQ(readFile(loc("local-kept")), (std::vector<uint8_t>{4}));
    EXPECT_EQ(get("missing", loc("local-new"), false), LinkError::Ok);
    EXPECT_EQ(get("missing", loc("local-kept"), true), LinkError::Ok);
    EXPECT_EQ(readFile(loc("local-kept")), readFile(loc("new")));
}

// Makes this process act as on a file system with neither renameat2 flags
// nor hard links (vfat, exFAT), counting how often each was refused.
class NoHardLinks
{
public:
    NoHardLinks() : m_saved(vexo::sys::placeCalls())
    {
        s_refused = 0;
        vexo::sys::placeCalls().renameNoReplace = [](const char *, const char *) { return refuse(EINVAL); };
        vexo::sys::placeCalls().hardLink = [](const char *, const char *) { return refuse(EPERM); };
    }
    ~NoHardLinks() { vexo::sys::placeCalls() = m_saved; }
    NoHardLinks(const NoHardLinks &) = delete;
    NoHardLinks &operator=(const NoHardLinks &) = delete;
    static int refused() { return s_refused; }

private:
    static int refuse(int error)
    {
        ++s_refused;
        errno = error;
        return -1;
    }
    static inline std::atomic<int> s_refused{0};
    vexo::sys::PlaceCalls m_saved;
};

// Receives with overwrite 0 into `dir`: a missing file arrives whole, an
// existing one is kept, and no temporary file is left either way.
void expectReceivesWithoutReplacing(FileClient &client, const std::string &dir)
{
    const auto get = [&](const std::string &name, bool overwrite) {
        return client.receive({TransferItem{"src", dir + "/" + name, overwrite}}, {}).front();
    };
    writeFile(dir + "/kept", {4});
    EXPECT_EQ(get("kept", false), LinkError::Exists);
    EXPECT_EQ(readFile(dir + "/kept"), (std::vector<uint8_t>{4}));
    EXPECT_EQ(get("new", false), LinkError::Ok);
    EXPECT_EQ(get("new", false), LinkError::Exists);
    EXPECT_EQ(get("kept", true), LinkError::Ok);
    const std::vector<uint8_t> sent = randomBytes(70000, 12);
    EXPECT_EQ(readFile(dir + "/new"), sent);
    EXPECT_EQ(readFile(dir + "/kept"), sent);
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"kept", "new"}));
}

TEST_F(FileClientTest, OverwriteZeroWorksWithoutHardLinksOnBothSides)
{
    startLink();
    writeFile(dev("src"), randomBytes(70000, 12));
    const NoHardLinks vfatLike;
    expectReceivesWithoutReplacing(*m_client, m_local.path().string());
    EXPECT_GE(NoHardLinks::refused(), 2);
    // The device's side places its files the same way.
    writeFile(loc("up"), {7, 7});
    EXPECT_EQ(put(loc("up"), "src", false), LinkError::Exists);
    EXPECT_EQ(put(loc("up"), "up", false), LinkError::Ok);
    EXPECT_EQ(readFile(dev("up")), (std::vector<uint8_t>{7, 7}));
}

TEST_F(FileClientTest, OverwriteZeroWorksOnAMountedVfatImage)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting an image needs root";
    const std::string image = loc("stick.img");
    const std::string mountPoint = loc("stick");
    std::filesystem::create_directory(mountPoint);
    writeFile(image, {});
    std::filesystem::resize_file(image, 8u << 20);
    if (runProgram({"mkfs.vfat", image}) != 0 && runProgram({"/usr/sbin/mkfs.vfat", image}) != 0)
        GTEST_SKIP() << "mkfs.vfat is missing";
    if (runProgram({"mount", "-t", "vfat", "-o", "loop", image, mountPoint}) != 0)
        GTEST_SKIP() << "this system cannot mount a vfat image through a loop device";
    struct Unmount {
        std::string dir;
        ~Unmount() { runProgram({"umount", dir}); }
    } unmount{mountPoint};
    startLink();
    writeFile(dev("src"), randomBytes(70000, 12));
    expectReceivesWithoutReplacing(*m_client, mountPoint);
}

TEST_F(FileClientTest, HostileAndOverlongNamesAreRefusedAndCreateNothing)
{
    startLink();
    writeFile(loc("src"), {1});
    const std::vector<std::string> hostile = {"../escape",
                                              "a/b",
                                              "..",
                                              ".",
                                              "a\\b",
                                              std::string("x\0y", 3),
                                              "\x01",
                                              "12345678901234567",
                                              "\xC4\xE3\xBA\xC3\xC4\xE3\xBA\xC3\xC4"
                                              "\xE3\xBA\xC3\xC4\xE3\xBA\xC3\xC4\xE3"};
    for (const auto &name : hostile) {
        SCOPED_TRACE(::testing::PrintToString(name));
        EXPECT_EQ(put(loc("src"), name), LinkError::BadName);
        EXPECT_EQ(get(name, loc("out")), LinkError::BadName);
        EXPECT_EQ(m_client->lookup(name), LinkError::BadName);
        EXPECT_EQ(m_client->remove(name), LinkError::BadName);
    }
    EXPECT_TRUE(listFolder(m_device.path()).empty());
    EXPECT_FALSE(std::filesystem::exists(loc("out")));

    // Exactly 16 bytes, Chinese characters included, is fine; the file is stored under its UTF-8 name.
    const std::string sixteen = "\xC4\xE3\xBA\xC3"
                                "abcdefghijkl";
    ASSERT_EQ(put(loc("src"), sixteen), LinkError::Ok);
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"\xE4\xBD\xA0\xE5\xA5\xBD"
                                                                    "abcdefghijkl"});
    EXPECT_EQ(put(loc("src"), sixteen + "m"), LinkError::BadName);
}

// Special files on the PC: a FIFO or a folder is refused at once, never waited on.
TEST_F(FileClientTest, SpecialFilesAreNotSentFromThePc)
{
    startLink();
    ASSERT_EQ(mkfifo(loc("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(loc("dir"));
    // Lets go of a client stuck in the FIFO's open, so that a regression fails below instead of hanging.
    std::atomic<bool> done{false};
    std::thread releaser([&] {
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int writer = open(loc("fifo").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer);
    });
    const auto started = Clock::now();
    EXPECT_EQ(put(loc("fifo"), "fifo"), LinkError::LocalIo);
    EXPECT_EQ(put(loc("dir"), "dir"), LinkError::LocalIo);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
    done = true;
    releaser.join();
    EXPECT_TRUE(listFolder(m_device.path()).empty());
}

TEST_F(FileClientTest, StopMidFileKeepsTheOldDestinationOnBothSides)
{
    startLink();
    m_client->setResume(false); // nothing at all is left; what resume keeps is in ResumeTest
    const auto big = randomBytes(4 << 20, 5);
    writeFile(loc("big"), big);
    writeFile(dev("target"), {7, 7, 7});
    int stop = 0;
    TransferControl control;
    control.stop = &stop;
    control.onProgress = [&](size_t, uint64_t done, uint64_t) {
        if (done > 200000)
            stop = 1;
    };
    EXPECT_EQ(put(loc("big"), "target", true, control), LinkError::Stopped);
    EXPECT_EQ(readFile(dev("target")), (std::vector<uint8_t>{7, 7, 7}));

    stop = 0;
    writeFile(dev("big"), big);
    writeFile(loc("target"), {8});
    EXPECT_EQ(get("big", loc("target"), true, control), LinkError::Stopped);
    EXPECT_EQ(readFile(loc("target")), std::vector<uint8_t>{8});
    EXPECT_EQ(listFolder(m_local.path()), (std::vector<std::string>{"big", "target"}));

    // The session goes on: the next request works and no partial file is left.
    EXPECT_EQ(m_client->lookup("target"), LinkError::Ok);
    EXPECT_EQ(listFolder(m_device.path()), (std::vector<std::string>{"big", "target"}));
}

TEST_F(FileClientTest, BatchesPipelineManyFilesAndReportEachResult)
{
    startLink();
    std::vector<TransferItem> items;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i);
        writeFile(loc(name), randomBytes(static_cast<size_t>(i) * 300, static_cast<uint32_t>(i)));
        items.push_back({loc(name), name, true});
    }
    items.push_back({loc("absent"), "absent", true});
    items.push_back({loc("f1"), "bad/name", true});
    const auto results = m_client->send(items, {});
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(results[static_cast<size_t>(i)], LinkError::Ok);
        EXPECT_EQ(readFile(dev("f" + std::to_string(i))), readFile(loc("f" + std::to_string(i))));
    }
    EXPECT_EQ(results[40], LinkError::LocalIo);
    EXPECT_EQ(results[41], LinkError::BadName);

    std::filesystem::create_directory(loc("back"));
    std::vector<TransferItem> gets;
    for (int i = 0; i < 40; ++i)
        gets.push_back({"f" + std::to_string(i), loc("back/f" + std::to_string(i)), true});
    gets.push_back({"nothere", loc("back/nothere"), true});
    const auto back = m_client->receive(gets, {});
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(readFile(loc("back/f" + std::to_string(i))), readFile(loc("f" + std::to_string(i))));
    EXPECT_EQ(back[40], LinkError::NotFound);
    EXPECT_EQ(listFolder(m_local.path() / "back").size(), 40u);
}

TEST_F(FileClientTest, BitFlipsBothWaysStillGiveExactFiles)
{
    startLink(1e-4);
    const auto data = randomBytes(300000, 8);
    writeFile(loc("noisy"), data);
    ASSERT_EQ(put(loc("noisy"), "noisy"), LinkError::Ok);
    EXPECT_EQ(readFile(dev("noisy")), data);
    ASSERT_EQ(get("noisy", loc("noisy.back")), LinkError::Ok);
    EXPECT_EQ(readFile(loc("noisy.back")), data);
    EXPECT_GT(m_client->stats().framesResent + m_client->stats().naksSent, 0u);
}

TEST_F(FileClientTest, ASilentDeviceFailsTheCallWithinTheTimeOut)
{
    startLink();
    m_client->setTimeout(500);
    m_client->setResume(false);
    writeFile(dev("big"), randomBytes(8 << 20, 4));
    writeFile(loc("dest"), {1});
    std::thread killer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        m_server->kill();
    });
    const auto started = Clock::now();
    const auto e = get("big", loc("dest"));
    killer.join();
    EXPECT_TRUE(e == LinkError::Timeout || e == LinkError::TransferFailed) << describe(e);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500 + 1000));
    EXPECT_EQ(readFile(loc("dest")), std::vector<uint8_t>{1});
    EXPECT_EQ(listFolder(m_local.path()), std::vector<std::string>{"dest"});

    const auto again = Clock::now();
    EXPECT_EQ(m_client->lookup("big"), LinkError::Timeout);
    EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(500 + 1000));
}

TEST_F(FileClientTest, ANewServerOnTheSameLineIsPickedUpByTheNextCallOnlyIfItIsTheSamePalmtop)
{
    using Identity = std::optional<std::array<uint8_t, kIdentitySize>>;
    const Identity first = std::array<uint8_t, kIdentitySize>{1, 2, 3};
    const Identity other = std::array<uint8_t, kIdentitySize>{9};
    struct Case {
        const char *what;
        Identity before, after;
        LinkError expected;
    };
    const std::vector<Case> cases = {
        {"older palmtops, as before identities", std::nullopt, std::nullopt, LinkError::Ok},
        {"the same palmtop started again", first, first, LinkError::Ok},
        {"another palmtop in the cradle", first, other, LinkError::OtherDevice},
        {"an older palmtop in its place", first, std::nullopt, LinkError::OtherDevice},
    };
    writeFile(loc("x"), {1});
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        TempDir second;
        writeFile(second / "x", {2});
        vexo::deviced::ServerOptions options;
        options.identity = tc.before;
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, options);
        m_client = std::make_unique<FileClient>(std::make_shared<Pipe>(m_pair.a));
        ASSERT_EQ(m_client->connect(), LinkError::Ok);
        m_server->kill();
        m_server.reset();
        m_client->setTimeout(300);
        EXPECT_NE(m_client->lookup("x"), LinkError::Ok);
        options.identity = tc.after;
        m_server = std::make_unique<ServerThread>(second.path().string(), m_pair.b, options);
        EXPECT_EQ(m_client->lookup("x"), tc.expected);
        // Nothing meant for the first palmtop reaches the second.
        EXPECT_EQ(put(loc("x"), "y"), tc.expected);
        EXPECT_EQ(listFolder(second.path()).size(), tc.expected == LinkError::Ok ? 2u : 1u);
        // Connecting anew takes whichever palmtop answers.
        m_client->setTimeout(3000);
        EXPECT_EQ(m_client->connect(), LinkError::Ok);
        EXPECT_EQ(m_client->lookup("y"), tc.expected == LinkError::Ok ? LinkError::Ok : LinkError::NotFound);
        EXPECT_EQ(m_client->close(), LinkError::Ok);
        EXPECT_EQ(m_client->lookup("x"), LinkError::NotConnected);
    }
}

TEST_F(FileClientTest, ARestartedDeviceAnswersQuestionsInANewSessionAtOnce)
{
    startLink();
    writeFile(dev("x"), {1});
    m_server.reset();
    m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b);
    std::vector<DeviceEntry> entries;
    EXPECT_EQ(m_client->list("*", entries), LinkError::Ok);
    EXPECT_EQ(entries.size(), 1u);
    m_server.reset();
    m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b);
    EXPECT_EQ(m_client->lookup("x"), LinkError::Ok);
    // A change is not repeated on its own: the caller learns the session was lost.
    m_server.reset();
    m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b);
    EXPECT_EQ(m_client->remove("x"), LinkError::NotConnected);
    EXPECT_EQ(m_client->remove("x"), LinkError::Ok);
}

} // namespace
