// vexo sync against a real vexo-deviced on a pseudo-terminal: the plan for
// each direction over a table of cases, the dry run, and deletes.
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
    }
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

        std::string out;
        ASSERT_EQ(sync({direction}, &out), 0) << out;
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

TEST_F(SyncCommandTest, DeletesOnlyWhenAskedAndNeverBothWays)
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
}

} // namespace
