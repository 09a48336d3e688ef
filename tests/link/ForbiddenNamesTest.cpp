// Forbidden names from a device: left out where they arrive (the library),
// and whatever `vexo ls` prints is quoted.
#include "DevicedProcess.h"
#include "FileClient.h"
#include "HostileDevice.h"
#include "LinkTestSupport.h"
#include "VexoFileClient.h"
#include "VexoUSBPipe.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vexo::link;
using namespace vexo::link::test;
using vexo::test::HostileDevice;

namespace
{

const std::vector<WireEntry> kListing = {
    {"../x", 1, 0},
    {"/abs", 1, 0},
    {"a.txt", 3, 0},
    {"a/b", 1, 0},
    {"\x1B[2J\x1B]0;owned\x07", 1, 0},
    {"x\n    999  forged", 1, 0},
    {"b c.txt", 4, 0},
    {"..", 1, 0},
    {".", 1, 0},
    {"a\\b", 1, 0},
    {"12345678901234567", 1, 0},
    {"\xFF\xFF", 1, 0},
    {"q\"uote", 5, 0},
};
const std::vector<std::string> kAllowed = {"a.txt", "b c.txt", "q\"uote"};

class ForbiddenNamesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pty.open(nullptr));
        m_device =
            std::make_unique<HostileDevice>(std::make_shared<FdStream>(m_pty.master(), m_pty.master(), false),
                                            HostileDevice::Behaviour::Listing, kListing);
    }

    vexo::sys::PtyPair m_pty;
    std::unique_ptr<HostileDevice> m_device;
};

TEST_F(ForbiddenNamesTest, TheLibraryLeavesThemOutOfListings)
{
    auto pipe = std::make_shared<Pipe>(Pipe::Kind::Usb);
    pipe->setDevicePath(m_pty.slavePath());
    ASSERT_TRUE(pipe->open());
    FileClient client(pipe);
    ASSERT_EQ(client.connect(), LinkError::Ok);
    std::vector<DeviceEntry> entries;
    size_t refused = 0;
    ASSERT_EQ(client.list("*", entries, &refused), LinkError::Ok);
    std::vector<std::string> names;
    for (const auto &e : entries)
        names.push_back(e.name);
    EXPECT_EQ(names, kAllowed);
    EXPECT_EQ(refused, kListing.size() - kAllowed.size());
    EXPECT_EQ(client.close(), LinkError::Ok);

    // The window's road sees the same three.
    const int p = InitUSBPipe();
    SetPipeDevicePath(p, m_pty.slavePath().c_str());
    OpenUSBPipe(p);
    const int c = InitVexoFileClient(p);
    ASSERT_EQ(ConnectServer(c), 0);
    RpcFindRecord record;
    names.clear();
    const int find = RequestFindFileOpen(c, "*.*", &record);
    ASSERT_GT(find, 0);
    do
        names.emplace_back(record.name);
    while (RequestFindFileNext(c, find, &record) == 0);
    RequestFindFileClose(c, find);
    EXPECT_EQ(names, kAllowed);
    UnInitVexoFileClient(c);
    CloseUSBPipe(p);
    UnInitUSBPipe(p);
}

TEST_F(ForbiddenNamesTest, VexoLsPrintsEveryNameQuotedAndFailsTheRun)
{
    std::string out;
    EXPECT_EQ(runProgram({VEXO_CLI_PATH, "--port", m_pty.slavePath(), "ls"}, &out), 1);
    EXPECT_EQ(out.find('\x1B'), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_NE(out.find("  \"a.txt\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  \"b c.txt\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  \"q\\\"uote\"\n"), std::string::npos) << out;
}

} // namespace
