// vexo sync against a real vexo-deviced on a pseudo-terminal: the plan for
// each direction over a table of cases, the dry run, deletes, and what the
// record of the last synchronisation changes.
#include "DevicedProcess.h"
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <sys/time.h>

using namespace vexo::link::test;

namespace
{

const time_t kBase = std::time(nullptr) - 86400;
const time_t kNewer = kBase + 100;

struct Side {
    std::string name;
    std::string content;
    time_t mtime;
};

struct Case {
    std::optional<Side> pc;
    std::optional<Side> device;
    const char *toDevice, *toPc, *both; // the action the plan prints
};

const std::vector<Case> kCases = {
    {Side{"here.txt", "pc only", kBase}, std::nullopt, "send", "keep", "send"},
    {std::nullopt, Side{"there.txt", "device only", kBase}, "keep", "receive", "receive"},
    {Side{"newhere.txt", "pc, edited", kNewer}, Side{"newhere.txt", "device", kBase}, "send", "conflict",
     "send"},
    {Side{"newthere.txt", "pc", kBase}, Side{"newthere.txt", "device, edited", kNewer}, "conflict", "receive",
     "receive"},
    {Side{"equal.txt", "same", kBase}, Side{"equal.txt", "same", kBase}, "equal", "equal", "equal"},
    // The device's checksum tells these apart without moving them.
    {Side{"samesize.txt", "AAAA", kNewer}, Side{"samesize.txt", "BBBB", kBase}, "send", "conflict", "send"},
    {Side{"copied.txt", "CCCC", kBase}, Side{"copied.txt", "CCCC", kNewer}, "equal", "equal", "equal"},
    {Side{"abcdefghijklm.txt", "17-byte name", kBase}, std::nullopt, "conflict", "conflict", "conflict"},
    {Side{"Case.TXT", "pc, longer and newer", kNewer}, Side{"case.txt", "device", kBase}, "send", "conflict",
     "send"},
};

class SyncCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server = std::make_unique<DevicedProcess>(m_device.path().string(),
                                                    std::vector<std::string>{"--pty", link()}, link());
        std::filesystem::create_directory(pc());
        // The record of each synchronisation goes here, not to the user's data folder.
        setenv("XDG_DATA_HOME", data().c_str(), 1);
    }
    std::string data() const { return m_work / "data"; }
    std::string link() const { return m_work / "device.link"; }
    std::string pc() const { return m_work / "pc"; }

    static void put(const std::string &path, const Side &side)
    {
        writeFile(path, std::vector<uint8_t>(side.content.begin(), side.content.end()));
        const struct timeval times[2] = {{side.mtime, 0}, {side.mtime, 0}};
        utimes(path.c_str(), times);
    }
    // Every file of a folder with its content and time.
    static std::map<std::string, std::pair<std::string, time_t>> snapshot(const std::string &dir)
    {
        std::map<std::string, std::pair<std::string, time_t>> files;
        for (const auto &name : listFolder(dir)) {
            const auto bytes = readFile(dir + "/" + name);
            struct stat st {
            };
            stat((dir + "/" + name).c_str(), &st);
            files[name] = {std::string(bytes.begin(), bytes.end()), st.st_mtime};
        }
        return files;
    }
    int sync(std::vector<std::string> args, std::string *out = nullptr)
    {
        args.insert(args.begin(), {VEXO_CLI_PATH, "--port", link(), "sync", pc()});
        return runProgram(args, out);
    }

    TempDir m_device;
    TempDir m_work;
    std::unique_ptr<DevicedProcess> m_server;
};

TEST_F(SyncCommandTest, PlanForEachDirectionDryRunChangesNothingThenTheRunDoesWhatItPrinted)
{
    for (const char *direction : {"--to-device", "--to-pc", "--both"}) {
        SCOPED_TRACE(direction);
        std::filesystem::remove_all(pc());
        std::filesystem::remove_all(data());
        std::filesystem::create_directory(pc());
        for (const auto &name : listFolder(m_device.path()))
            std::filesystem::remove(m_device / name);
        for (const auto &c : kCases) {
            if (c.pc)
                put(pc() + "/" + c.pc->name, *c.pc);
            if (c.device)
                put(m_device / c.device->name, *c.device);
        }
        const auto pcBefore = snapshot(pc());
        const auto deviceBefore = snapshot(m_device.path());

        std::string plan;
        ASSERT_EQ(sync({direction, "--dry-run"}, &plan), 0);
        EXPECT_EQ(snapshot(pc()), pcBefore);
        EXPECT_EQ(snapshot(m_device.path()), deviceBefore);

        // Each direction leaves a conflict (the name too long for the palmtop) undone.
        std::string out;
        ASSERT_EQ(sync({direction}, &out), 3) << out;
        // The same plan is printed before anything moves.
        EXPECT_EQ(out.rfind(plan.substr(0, plan.find("dry run")), 0), 0u) << out;

        const auto pcAfter = snapshot(pc());
        const auto deviceAfter = snapshot(m_device.path());
        for (const auto &c : kCases) {
            const std::string action = std::string(direction) == "--to-device" ? c.toDevice
                                       : std::string(direction) == "--to-pc"   ? c.toPc
                                                                               : c.both;
            const std::string pcName = c.pc ? c.pc->name : c.device->name;
            const std::string deviceName = c.device ? c.device->name : c.pc->name;
            SCOPED_TRACE(pcName + ": " + action);
            EXPECT_NE(plan.find(action + std::string(11 - action.size(), ' ') + pcName), std::string::npos)
                << plan;
            const auto pcFile = pcAfter.find(pcName);
            const auto deviceFile = deviceAfter.find(deviceName);
            if (action == "send") {
                ASSERT_NE(deviceFile, deviceAfter.end());
                EXPECT_EQ(deviceFile->second, pcBefore.at(pcName)); // content and time
            } else if (action == "receive") {
                ASSERT_NE(pcFile, pcAfter.end());
                EXPECT_EQ(pcFile->second, deviceBefore.at(deviceName));
            } else {
                EXPECT_EQ(pcFile == pcAfter.end() ? std::nullopt : std::optional(pcFile->second),
                          c.pc ? std::optional(pcBefore.at(pcName)) : std::nullopt);
                EXPECT_EQ(deviceFile == deviceAfter.end() ? std::nullopt : std::optional(deviceFile->second),
                          c.device ? std::optional(deviceBefore.at(deviceName)) : std::nullopt);
            }
        }
        // A name differing only in case stays one file on the device.
        EXPECT_EQ(deviceAfter.count("Case.TXT"), 0u);

        // Whatever could move has moved: a second run has nothing left to do.
        ASSERT_EQ(sync({direction, "--dry-run"}, &out), 0);
        EXPECT_NE(out.find("plan: send 0 (0 bytes), receive 0 (0 bytes)"), std::string::npos) << out;
    }
}

TEST_F(SyncCommandTest, DeletesOnlyWhenAskedAndBothWaysOnlyAfterAnEarlierSync)
{
    put(pc() + "/kept.txt", {"", "pc", kBase});
    put(pc() + "/pconly.txt", {"", "pc only", kBase});
    put(m_device / "kept.txt", {"", "pc", kBase});
    put(m_device / "gone.txt", {"", "device only", kBase});

    std::string out;
    EXPECT_EQ(sync({"--both", "--delete"}, &out), 2);
    // Refused before any device is needed.
    EXPECT_EQ(
        runProgram({VEXO_CLI_PATH, "--port", m_work / "absent", "sync", pc(), "--to-pc", "--to-device"}), 2);
    EXPECT_EQ(sync({"--to-device", "--delete", "--dry-run"}, &out), 0);
    EXPECT_NE(out.find("delete-dev gone.txt"), std::string::npos) << out;
    EXPECT_EQ(listFolder(m_device.path()), (std::vector<std::string>{"gone.txt", "kept.txt"}));

    EXPECT_EQ(sync({"--to-device"}), 0);
    EXPECT_EQ(listFolder(m_device.path()), (std::vector<std::string>{"gone.txt", "kept.txt", "pconly.txt"}));
    EXPECT_EQ(sync({"--to-device", "--delete"}), 0);
    EXPECT_EQ(listFolder(m_device.path()), (std::vector<std::string>{"kept.txt", "pconly.txt"}));

    put(m_device / "fresh.txt", {"", "device only", kBase});
    std::filesystem::remove(m_device / "pconly.txt");
    EXPECT_EQ(sync({"--to-pc"}), 0);
    EXPECT_EQ(listFolder(pc()), (std::vector<std::string>{"fresh.txt", "kept.txt", "pconly.txt"}));
    EXPECT_EQ(sync({"--to-pc", "--delete"}), 0);
    EXPECT_EQ(listFolder(pc()), (std::vector<std::string>{"fresh.txt", "kept.txt"}));

    // Now the record knows both files: each deletion goes to the other side.
    std::filesystem::remove(pc() + "/fresh.txt");
    std::filesystem::remove(m_device / "kept.txt");
    EXPECT_EQ(sync({"--both", "--delete"}, &out), 0) << out;
    EXPECT_TRUE(listFolder(pc()).empty());
    EXPECT_TRUE(listFolder(m_device.path()).empty());
}

TEST_F(SyncCommandTest, TheRecordSendsAChangeASecondAfterAndStopsAtAChangeOnBothSides)
{
    const auto device = [&](const std::string &name) {
        const auto bytes = readFile(m_device / name);
        return std::string(bytes.begin(), bytes.end());
    };
    const auto inode = [&](const std::string &name) {
        struct stat st {
        };
        stat((m_device / name).c_str(), &st);
        return st.st_ino;
    };
    put(pc() + "/notes.txt", {"", "first", kBase});
    put(pc() + "/stock.dat", {"", "unchanged", kBase});
    std::string out;
    ASSERT_EQ(sync({"--both"}, &out), 0) << out;
    const auto stockInode = inode("stock.dat");

    // Edited a second after the device's copy: within the 2-second step, other size.
    struct stat st {
    };
    stat((m_device / "notes.txt").c_str(), &st);
    put(pc() + "/notes.txt", {"", "first, and more", st.st_mtime + 1});
    ASSERT_EQ(sync({"--both"}, &out), 0) << out;
    EXPECT_NE(out.find("send       notes.txt"), std::string::npos) << out;
    EXPECT_EQ(device("notes.txt"), "first, and more");
    // An equal file is left as it is.
    EXPECT_NE(out.find("equal      stock.dat"), std::string::npos) << out;
    EXPECT_EQ(inode("stock.dat"), stockInode);

    // Changed on both sides: nothing is overwritten, and the exit status says so.
    put(pc() + "/notes.txt", {"", "the PC's edit", kNewer});
    put(m_device / "notes.txt", {"", "the palmtop's", kNewer + 3600});
    EXPECT_EQ(sync({"--both"}, &out), 3) << out;
    EXPECT_NE(out.find("conflict   notes.txt"), std::string::npos) << out;
    EXPECT_EQ(device("notes.txt"), "the palmtop's");
    const auto pcNotes = readFile(pc() + "/notes.txt");
    EXPECT_EQ(std::string(pcNotes.begin(), pcNotes.end()), "the PC's edit");
    // Still a conflict the next time, until settled.
    EXPECT_EQ(sync({"--both", "--dry-run"}, &out), 0);
    EXPECT_NE(out.find("conflict   notes.txt"), std::string::npos) << out;
    EXPECT_EQ(sync({"--both", "--prefer", "pc"}, &out), 0) << out;
    EXPECT_EQ(device("notes.txt"), "the PC's edit");
    EXPECT_EQ(sync({"--both", "--prefer", "either"}), 2);

    // A damaged record is set aside and not trusted: both ways nothing may be deleted.
    ASSERT_EQ(listFolder(data() + "/VexoFile/sync").size(), 1u);
    const std::string record = data() + "/VexoFile/sync/" + listFolder(data() + "/VexoFile/sync")[0];
    writeFile(record, textBytes(100));
    EXPECT_EQ(sync({"--both", "--delete"}), 2);
    EXPECT_TRUE(std::filesystem::exists(record + ".damaged"));
}

} // namespace
