// The vdisk command-line tool, run as a user would.
#include "BootSector.h"
#include "FatTable.h"
#include "FileBlockDevice.h"
#include "VDiskTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vexo
{
namespace
{

class VdiskTool : public ::testing::Test
{
protected:
    // Runs "vdisk IMAGE ARGS" in the test's folder.
    int vdisk(const std::string &args, std::string *output = nullptr)
    {
        return test::run(
            "cd " + test::quote(m_dir.path()) + " && LC_ALL=C.UTF-8 " + VDISK_TOOL + " img " + args, output);
    }
    std::string local(const std::string &name) { return test::readLocal(m_dir.file(name)); }
    // Runs each command, expecting it to fail (with `status`, or with any
    // status but 0 when that is 0) and to say why in the given words.
    void expectFailures(std::initializer_list<std::pair<const char *, const char *>> cases, int status = 0)
    {
        std::string out;
        for (const auto &[command, words] : cases) {
            const int got = vdisk(command, &out);
            if (status == 0)
                EXPECT_NE(got, 0) << command;
            else
                EXPECT_EQ(got, status) << command;
            EXPECT_NE(out.find(words), std::string::npos) << command << ": " << out;
        }
    }

    test::TempDir m_dir;
};

TEST_F(VdiskTool, PutsListsGetsRenamesAndRemoves)
{
    ASSERT_EQ(vdisk("format --size 4"), 0);
    test::writeLocal(m_dir.file("one.txt"), "first");
    test::writeLocal(m_dir.file("two.bin"), std::string(70000, '2'));
    test::writeLocal(m_dir.file("three.txt"), "");
    // A put keeps the file's date as the local wall clock; --now dates it now.
    const std::string utc = "cd " + test::quote(m_dir.path()) + " && TZ=UTC0 LC_ALL=C.UTF-8 ";
    ASSERT_EQ(test::run(utc + "touch -d '2021-03-04 05:06:07' one.txt two.bin"), 0);
    ASSERT_EQ(test::run(utc + VDISK_TOOL + " img put one.txt two.bin three.txt"), 0);
    ASSERT_EQ(vdisk("put --now one.txt '\xE6\xB5\x8B\xE8\xAF\x95 File.txt'"), 0); // 测试 File.txt
    std::string out;
    ASSERT_EQ(vdisk("ls", &out), 0);
    // "     70000  2024-05-01 13:45  two.bin": size in ten columns, date, time.
    const size_t end = out.find("  two.bin\n");
    ASSERT_NE(end, std::string::npos) << out;
    size_t start = end;
    while (start > 0 && out[start - 1] != '\n')
        --start;
    const std::string line = out.substr(start, end - start);
    int size = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, used = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%10d  %4d-%2d-%2d %2d:%2d%n", &size, &year, &month, &day, &hour,
                          &minute, &used),
              6)
        << line;
    EXPECT_EQ(line.substr(0, 12), "     70000  ");
    EXPECT_EQ(used, 28) << line;
    EXPECT_EQ(line.substr(12), "2021-03-04 05:06");
    EXPECT_NE(out.find("  \xE6\xB5\x8B\xE8\xAF\x95 File.txt\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("2021-03-04 05:06  \xE6\xB5\x8B"), std::string::npos) << "dated now: " << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);

    ASSERT_EQ(vdisk("get TWO.BIN copy.bin"), 0);
    EXPECT_EQ(local("copy.bin"), std::string(70000, '2'));
    ASSERT_EQ(test::run("mkdir " + test::quote(m_dir.file("out"))), 0);
    ASSERT_EQ(vdisk("get '\xE6\xB5\x8B\xE8\xAF\x95 file.txt' three.txt out"), 0);
    EXPECT_EQ(local("out/\xE6\xB5\x8B\xE8\xAF\x95 file.txt"), "first");
    EXPECT_EQ(local("out/three.txt"), "");
    ASSERT_EQ(vdisk("get '*.TXT' out"), 0);
    EXPECT_EQ(local("out/one.txt"), "first");
    test::writeLocal(m_dir.file("two.bin"), "to be replaced");
    ASSERT_EQ(vdisk("get two.bin"), 0);
    EXPECT_EQ(local("two.bin"), std::string(70000, '2'));
    ASSERT_EQ(test::run("ls -A " + test::quote(m_dir.path()), &out), 0);
    EXPECT_EQ(out.find(".vdisk-"), std::string::npos) << "no temporary file left: " << out;

    ASSERT_EQ(vdisk("mv one.txt 'Renamed One.txt'"), 0);
    ASSERT_EQ(vdisk("rm two.bin three.txt"), 0);
    ASSERT_EQ(vdisk("ls", &out), 0);
    EXPECT_NE(out.find("Renamed One.txt"), std::string::npos);
    EXPECT_EQ(out.find("two.bin"), std::string::npos);
    ASSERT_EQ(vdisk("check", &out), 0) << out;
    EXPECT_NE(out.find("consistent"), std::string::npos);
    // df counts the free clusters the check counts.
    unsigned clusters = 0, clusterBytes = 0, freeClusters = 0;
    const size_t counts = out.find(" clusters of ");
    ASSERT_NE(counts, std::string::npos) << out;
    ASSERT_EQ(std::sscanf(out.c_str() + out.rfind(' ', counts - 1) + 1, "%u clusters of %u", &clusters,
                          &clusterBytes),
              2);
    ASSERT_EQ(std::sscanf(out.c_str() + out.find(" used, ") + 7, "%u free", &freeClusters), 1) << out;
    ASSERT_EQ(vdisk("df", &out), 0);
    EXPECT_EQ(out, std::to_string(uint64_t(freeClusters) * clusterBytes) + " bytes free of " +
                       std::to_string(uint64_t(clusters) * clusterBytes) + " (" +
                       std::to_string(freeClusters) + " of " + std::to_string(clusters) + " clusters of " +
                       std::to_string(clusterBytes) + " bytes)\n");
    if (test::run("command -v fsck.fat") == 0) {
        EXPECT_EQ(test::run("fsck.fat -n " + test::quote(m_dir.file("img")), &out), 0) << out;
    }
}

TEST_F(VdiskTool, ReportsEveryFailureWithAMessageAndAnExitCode)
{
    std::string out;
    EXPECT_EQ(test::run(std::string(VDISK_TOOL), &out), 2);
    EXPECT_NE(out.find("usage"), std::string::npos);
    EXPECT_EQ(vdisk("frobnicate"), 2);
    EXPECT_EQ(vdisk("ls", &out), 1);
    EXPECT_NE(out.find("No such file"), std::string::npos) << out;
    ASSERT_EQ(vdisk("format"), 0);
    test::writeLocal(m_dir.file("keep.txt"), "kept");
    ASSERT_EQ(vdisk("put keep.txt"), 0);

    expectFailures({
        {"put missing.txt", "No such file"},
        {"put keep.txt eighteen-bytes-xyz", "invalid name"},
        {"put keep.txt 'what?'", "invalid name"},
        {"put keep.txt '\xF0\x9F\x98\x80'", "no CP936"},
        {"get missing.txt", "no such file in the image"},
        {"get 'z*' .", "no file in the image matches"},
        {"rm missing.txt", "no such file in the image"},
        {"mv missing.txt x.txt", "no such file in the image"},
        {"format --size 0", "--size"},
        {"get a b not-a-folder", "not a folder"},
    });
    test::writeLocal(m_dir.file("other.txt"), "other");
    ASSERT_EQ(vdisk("put other.txt"), 0);
    EXPECT_EQ(vdisk("mv other.txt KEEP.TXT", &out), 1);
    EXPECT_NE(out.find("already has that name"), std::string::npos) << out;

    // One bad file among good ones: the good ones go in, the exit says no.
    test::writeLocal(m_dir.file("good.txt"), "good");
    EXPECT_EQ(vdisk("put good.txt missing.txt keep.txt", &out), 1);
    ASSERT_EQ(vdisk("get good.txt back.txt"), 0);
    EXPECT_EQ(local("back.txt"), "good");

    // Too large for the image: the older file keeps its contents.
    test::writeLocal(m_dir.file("huge.bin"), std::string(17u << 20, 'h'));
    EXPECT_EQ(vdisk("put huge.bin keep.txt", &out), 1);
    EXPECT_NE(out.find("image is full"), std::string::npos) << out;
    ASSERT_EQ(vdisk("get keep.txt kept.txt"), 0);
    EXPECT_EQ(local("kept.txt"), "kept");

    // A lost cluster: a FAT entry taken by no file.
    ASSERT_EQ(vdisk("check", &out), 0) << out;
    std::string image = local("img");
    BootSector boot;
    ASSERT_EQ(BootSector::parse(reinterpret_cast<const uint8_t *>(image.data()), image.size(), boot),
              VDiskError::None);
    image[boot.fatOffset(0) + 200] = image[boot.fatOffset(0) + 201] = '\xFF'; // cluster 100
    test::writeLocal(m_dir.file("img"), image);
    EXPECT_EQ(vdisk("check", &out), 1);
    EXPECT_NE(out.find("lost clusters"), std::string::npos) << out;
}

// What the tool says on damaged entries and on names it cannot show.
TEST_F(VdiskTool, SaysSoWhenItCannotDoWhatWasAsked)
{
    ASSERT_EQ(vdisk("format --size 1"), 0);
    test::writeLocal(m_dir.file("a.txt"), "a");
    test::writeLocal(m_dir.file("b.bin"), std::string(5000, 'b'));
    ASSERT_EQ(vdisk("put a.txt b.bin c.bin"), 1) << "c.bin is missing";
    ASSERT_EQ(vdisk("put b.bin c.bin"), 0);
    ASSERT_EQ(vdisk("put a.txt x.txt"), 0);
    std::string image = local("img");
    std::vector<uint8_t> bytes(image.begin(), image.end());
    {
        // x.txt's 8.3 name begins with a byte that is not CP936.
        auto volume = test::mountBytes(bytes);
        ASSERT_TRUE(volume);
        const uint8_t invalid = 0xFF;
        ASSERT_EQ(volume->device().write(
                      volume->boot().rootOffset() + volume->lookup("x.txt")->shortSlot * 32, &invalid, 1),
                  VDiskError::None);
    }
    test::writeLocal(m_dir.file("img"), std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(test::run("mkdir " + test::quote(m_dir.file("out"))), 0);
    std::string out;
    EXPECT_EQ(vdisk("get '*' out", &out), 1);
    EXPECT_NE(out.find("\\xFF.txt: skipped: the name has no form in this locale"), std::string::npos) << out;
    EXPECT_EQ(local("out/a.txt"), "a") << "the names it can show are copied";
    EXPECT_EQ(local("out/b.bin"), std::string(5000, 'b'));

    image = local("img");
    // a.txt's size reads 0xFFFFFFFF; b.bin's chain runs on into c.bin's.
    bytes.assign(image.begin(), image.end());
    {
        auto volume = test::mountBytes(bytes);
        ASSERT_TRUE(volume);
        const DirFile *a = volume->lookup("a.txt");
        volume->root().update(a->shortSlot, a->entry.cluster, 0xFFFFFFFFu, a->entry.written);
        volume->fat().set(volume->lookup("b.bin")->entry.cluster + 1,
                          volume->lookup("c.bin")->entry.cluster + 2);
        ASSERT_EQ(volume->fat().flush(volume->device(), volume->boot()), VDiskError::None);
        ASSERT_EQ(volume->root().flush(volume->device(), volume->boot()), VDiskError::None);
    }
    test::writeLocal(m_dir.file("img"), std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(vdisk("ls", &out), 0);
    EXPECT_NE(out.find("4294967295  "), std::string::npos) << out;
    expectFailures(
        {
            {"get a.txt", "a.txt: the image is damaged; run check"},
            {"get c.bin", "c.bin: the image is damaged; run check"},
            {"rm b.bin", "b.bin: the image is damaged; run check"},
            {"put a.txt c.bin", "c.bin: the image is damaged; run check"},
        },
        1);
    EXPECT_EQ(local("img"), std::string(bytes.begin(), bytes.end())) << "refusals change nothing";
}

// Writers take turns at one image: two scripts putting at once leave it
// consistent with every file they were told was put; a writer kept out too
// long, or kept out by a program that takes no lock, changes nothing.
TEST_F(VdiskTool, WritersTakeTurnsAndAProgramHoldingTheImageIsNamed)
{
    ASSERT_EQ(vdisk("format --size 8"), 0);
    std::mt19937 rng(31);
    std::map<std::string, std::string> files;
    for (char writer : {'a', 'b'})
        for (int i = 0; i < 40; ++i) {
            const std::string name = std::string(1, writer) + std::to_string(i) + ".bin";
            files[name] = test::randomBytes(rng, 1000 + rng() % 60000);
            test::writeLocal(m_dir.file(name), files[name]);
        }
    const std::string loop =
        "for i in $(seq 0 39); do " + std::string(VDISK_TOOL) + " img put W$i.bin && echo put W$i.bin; done";
    auto writer = [&](char w) {
        std::string l = loop;
        for (size_t at; (at = l.find('W')) != std::string::npos;)
            l[at] = w;
        return "(" + l + ")";
    };
    std::string out;
    ASSERT_EQ(test::run("cd " + test::quote(m_dir.path()) + " && " + writer('a') + " > a.log 2>&1 & cd " +
                        test::quote(m_dir.path()) + " && " + writer('b') + " > b.log 2>&1; wait"),
              0);
    const std::string log = local("a.log") + local("b.log");
    EXPECT_EQ(vdisk("check", &out), 0) << out;
    ASSERT_EQ(test::run("mkdir " + test::quote(m_dir.file("out"))), 0);
    int put = 0;
    for (const auto &[name, data] : files) {
        if (log.find("put " + name + "\n") == std::string::npos)
            continue;
        ++put;
        ASSERT_EQ(vdisk("get " + name + " out", &out), 0) << out;
        EXPECT_EQ(local("out/" + name), data) << name;
    }
    EXPECT_EQ(put, 80) << "a writer waits its turn: " << log;

    const std::string before = local("img");
    {
        // This process keeps the lock past the writer's patience.
        std::unique_ptr<FileBlockDevice> device;
        ASSERT_EQ(FileBlockDevice::open(m_dir.file("img"), device), VDiskError::None);
        ASSERT_TRUE(device->tryLock(FileBlockDevice::Lock::Exclusive));
        const std::string busy =
            "the image is in use by vdiskfs_tests (pid " + std::to_string(getpid()) + ")";
        expectFailures({{"rm a0.bin", busy.c_str()}}, 1);
    }
    // A program that takes no lock (the simulator) holds it open.
    const int fd = ::open(m_dir.file("img").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::execlp("sleep", "sleep", "30", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fd);
    ASSERT_GT(holder, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // until it is "sleep"
    const std::string named =
        "sleep (pid " + std::to_string(holder) + ") has the image open: close the simulator first";
    expectFailures({{"put b0.bin new.bin", named.c_str()},
                    {"mv a1.bin c1.bin", named.c_str()},
                    {"format", named.c_str()}},
                   1);
    EXPECT_EQ(vdisk("get a2.bin out", &out), 0) << "reading stays allowed: " << out;
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(local("img"), before) << "refusals change nothing";
}

// A 1 GiB image whose one folder's chain runs through every cluster: the
// check reads no more of it than a full folder holds.
TEST_F(VdiskTool, ChecksAHugeFolderInLittleMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit and AddressSanitizer do not mix";
#endif
    ASSERT_EQ(vdisk("format --size 1024"), 0);
    {
        std::unique_ptr<FileBlockDevice> device;
        ASSERT_EQ(FileBlockDevice::open(m_dir.file("img"), device), VDiskError::None);
        std::unique_ptr<Volume> volume;
        ASSERT_EQ(Volume::mount(std::move(device), volume), VDiskError::None);
        FatTable &fat = volume->fat();
        for (uint32_t c = 2; c < fat.lastCluster(); ++c)
            fat.set(c, c + 1);
        fat.set(fat.lastCluster(), fat.endOfChain());
        RootDirectory::NamePlan plan = volume->root().plan("BIG", u"BIG");
        uint32_t slot = 0;
        ASSERT_EQ(volume->root().reserve(plan, slot), VDiskError::None);
        dirent::ShortEntry fields;
        fields.attr = dirent::kAttrDirectory;
        fields.cluster = 2;
        volume->root().create(plan, slot, "BIG", u"BIG", fields);
        ASSERT_EQ(fat.flush(volume->device(), volume->boot()), VDiskError::None);
        ASSERT_EQ(volume->root().flush(volume->device(), volume->boot()), VDiskError::None);
    }
    std::string out;
    EXPECT_EQ(
        test::run("cd " + test::quote(m_dir.path()) + " && ulimit -v 32768 && " + VDISK_TOOL + " img check",
                  &out),
        1);
    EXPECT_NE(out.find("BIG: folder larger than 65536 entries"), std::string::npos) << out;
    EXPECT_NE(out.find("FAT16, 65"), std::string::npos) << out;
}

} // namespace
} // namespace vexo
