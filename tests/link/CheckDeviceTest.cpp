// vexo check-device: green against vexo-deviced whatever it withholds, red
// with the reason named against palmtops that break the protocol.
#include "DevicedProcess.h"
#include "HostileDevice.h"
#include "LinkTestSupport.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vexo::link;
using namespace vexo::link::test;
using vexo::test::HostileDevice;

namespace
{

// The table's line that starts with `label`, or "" when there is none.
std::string line(const std::string &table, const std::string &label)
{
    std::istringstream in(table);
    for (std::string l; std::getline(in, l);)
        if (l.rfind(label, 0) == 0)
            return l;
    return "";
}

TEST(CheckDeviceTest, PassesAgainstTheServerWithEveryCapabilityAndWithEachWithheld)
{
    struct Case {
        const char *caps;
        const char *withheld; // the capability row that must read "no"
    };
    const std::vector<Case> cases = {
        {"0xFFFF", nullptr},          {"0xFFFE", " 1.0  zstd"},    {"0xFFFD", " 1.1  zlib"},
        {"0xFFFB", " 1.2  Checksum"}, {"0xFFF7", " 1.3  compact"}, {"0xFFEF", " 1.4  zstd context"},
        {"0xFFDF", " 1.5  PutNext"},  {"0xFFBF", " 1.6  delta"},   {"0xFF7F", " 1.7  kept partials"},
        {"0xFEFF", "10.0  Space"},    {"0xFDFF", "10.1  BLAKE2b"}, {"0xFBFF", "10.2  palmtop identity"},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.caps);
        TempDir work;
        std::filesystem::create_directory(work / "root");
        writeFile(work / "root/mine.txt", {1, 2, 3});
        DevicedProcess server(work / "root", {"--pty", work / "dev", "--caps", tc.caps}, work / "dev");
        std::string table;
        // The full sequence once; the others quick.
        std::vector<std::string> argv = {VEXO_CLI_PATH, "--port", work / "dev", "check-device"};
        if (tc.withheld)
            argv.push_back("--quick");
        EXPECT_EQ(runProgram(argv, &table), 0) << table;
        EXPECT_EQ(table.find("FAIL"), std::string::npos) << table;
        if (tc.withheld) {
            EXPECT_NE(line(table, tc.withheld).find(" no"), std::string::npos) << table;
        }
        // Only its own names were written, and none is left.
        EXPECT_EQ(listFolder(work / "root"), std::vector<std::string>{"mine.txt"});
        EXPECT_EQ(readFile(work / "root/mine.txt"), (std::vector<uint8_t>{1, 2, 3}));
    }
}

TEST(CheckDeviceTest, NamesWhatABrokenPalmtopGotWrong)
{
    struct Row {
        const char *check;  // the row that must fail
        const char *reason; // in its reason column
    };
    struct Case {
        HostileDevice::Behaviour behaviour;
        std::vector<Row> rows;
    };
    const std::vector<Case> cases = {
        {HostileDevice::Behaviour::HigherVersion,
         {{"HelloAck protocol version", "version 3, higher than the 2"}}},
        {HostileDevice::Behaviour::StallingGet,
         {{"put and get, 0 bytes", "get: the device did not answer in time"},
          {"answers within the time-out", "get vxchk-0.bin"}}},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.rows.front().check);
        vexo::sys::PtyPair pty;
        ASSERT_TRUE(pty.open(nullptr));
        HostileDevice device(std::make_shared<FdStream>(pty.master(), pty.master(), false), tc.behaviour);
        std::string table;
        EXPECT_EQ(runProgram({VEXO_CLI_PATH, "--port", pty.slavePath(), "--timeout", "1000", "check-device",
                              "--quick"},
                             &table),
                  1);
        for (const auto &r : tc.rows) {
            const std::string row = line(table, r.check);
            EXPECT_NE(row.find("FAIL"), std::string::npos) << table;
            EXPECT_NE(row.find(r.reason), std::string::npos) << table;
        }
    }
}

} // namespace
