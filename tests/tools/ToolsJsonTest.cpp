// "ls --json" of vexo (against vexo-deviced) and of vdisk, run as a script would.
#include "DevicedProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sys/time.h>

namespace vexo
{
namespace
{

namespace fs = std::filesystem;

class ToolsJson : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vexo-json-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static void write(const fs::path &path, const std::string &data) { std::ofstream(path) << data; }
    // Runs a shell command in the test's folder; its exit status and stdout.
    int sh(const std::string &command, std::string *out)
    {
        FILE *p = popen(("cd '" + m_dir.string() + "' && " + command).c_str(), "r");
        if (p == nullptr)
            return -1;
        out->clear();
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            out->append(buffer, n);
        const int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The value of "time" in the first object of a listing.
    static std::time_t firstTime(const std::string &json)
    {
        const size_t at = json.find("\"time\": \"");
        std::tm tm{};
        if (at == std::string::npos || !strptime(json.c_str() + at + 9, "%Y-%m-%dT%H:%M:%SZ", &tm))
            return -1;
        return timegm(&tm);
    }

    fs::path m_dir;
};

TEST_F(ToolsJson, VexoListsDeviceFilesWithEscapedNamesAndUtcTimes)
{
    const fs::path device = m_dir / "device";
    fs::create_directory(device);
    write(device / "say \"hi\".txt", "hello");
    write(device / "\xE4\xBB\xB7\xE6\xA0\xBC.csv", ""); // 价格.csv
    const timeval when[2] = {{1714571106, 0}, {1714571106, 0}};
    ASSERT_EQ(utimes((device / "say \"hi\".txt").c_str(), when), 0);
    const std::string port = (m_dir / "link").string();
    link::test::DevicedProcess server(device.string(), {"--pty", port}, port);

    std::string out;
    ASSERT_EQ(sh(std::string("LC_ALL=C ") + VEXO_CLI_PATH + " --port link ls --json", &out), 0);
    EXPECT_EQ(out.front(), '[') << out;
    EXPECT_NE(
        out.find("\n  {\"name\": \"say \\\"hi\\\".txt\", \"size\": 5, \"time\": \"2024-05-01T13:45:06Z\"}"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("\n  {\"name\": \"\xE4\xBB\xB7\xE6\xA0\xBC.csv\", \"size\": 0, "), std::string::npos)
        << out;
    EXPECT_EQ(out.substr(out.size() - 4), "}\n]\n") << out;
    EXPECT_EQ(sh(std::string(VEXO_CLI_PATH) + " --port link ls --jsn", &out), 2);
}

TEST_F(ToolsJson, VdiskTakesImageTimesAsLocalAndGivesThemInUtc)
{
    const std::string vdisk = VDISK_TOOL;
    std::string out;
    ASSERT_EQ(sh(vdisk + " img format --size 4 && " + vdisk + " img ls --json", &out), 0);
    EXPECT_EQ(out, "[]\n");
    write(m_dir / "notes.txt", "abc");
    // Written at Beijing time (UTC+8, no daylight saving).
    ASSERT_EQ(sh("TZ=CST-8 LC_ALL=C.UTF-8 " + vdisk + " img put notes.txt \"it's \xE6\x97\xA5.txt\"", &out),
              0);

    ASSERT_EQ(sh("TZ=CST-8 LC_ALL=C " + vdisk + " img ls --json", &out), 0);
    EXPECT_NE(out.find("[\n  {\"name\": \"it's \xE6\x97\xA5.txt\", \"size\": 3, \"time\": \""),
              std::string::npos)
        << out;
    const std::time_t there = firstTime(out);
    EXPECT_LE(std::abs(std::difftime(there, std::time(nullptr))), 120) << out;
    // The same image read in London in winter: the wall clock is taken as
    // London's, eight hours later in UTC.
    ASSERT_EQ(sh("TZ=GMT0 " + vdisk + " img ls --json", &out), 0);
    EXPECT_EQ(firstTime(out) - there, 8 * 3600) << out;
}

} // namespace
} // namespace vexo
