// Link resource limits, measured: vexo against an endless listing and
// vexo-deviced against a request flood, each as a process under a 64 MB
// address-space limit. Each must fail or drop cleanly and stay under it.
#include "BlockCodec.h"
#include "Hello.h"
#include "HostileDevice.h"
#include "LinkTestSupport.h"
#include "Message.h"
#include "RawClient.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vexo::link;
using namespace vexo::link::test;
using vexo::test::HostileDevice;

namespace
{

constexpr rlim_t kLimit = 64u << 20;

// The sanitizers reserve terabytes of address space: there only the outcome is checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimited = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimited = false;
#else
constexpr bool kLimited = true;
#endif
#else
constexpr bool kLimited = true;
#endif

struct Outcome {
    int status = -1;   // exit status, or -1 when killed
    long maxRssKb = 0; // peak resident memory
    std::string stderrText;
};

class LimitedProcess
{
public:
    // Starts argv with stdin and stdout on `io` (or /dev/null) and stderr into a file.
    LimitedProcess(const std::vector<std::string> &argv, int io, const std::string &stderrPath)
        : m_stderrPath(stderrPath)
    {
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            if (kLimited) {
                const rlimit limit{kLimit, kLimit};
                setrlimit(RLIMIT_AS, &limit);
            }
            const int null = open("/dev/null", O_RDWR);
            dup2(io >= 0 ? io : null, STDIN_FILENO);
            dup2(io >= 0 ? io : null, STDOUT_FILENO);
            const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~LimitedProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // Waits at most `limit` for the end (then kills it); gives its status and peak memory.
    Outcome wait(std::chrono::milliseconds limit)
    {
        Outcome o;
        const auto deadline = Clock::now() + limit;
        int status = 0;
        rusage usage{};
        pid_t done = 0;
        while ((done = wait4(m_pid, &status, WNOHANG, &usage)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0) {
            kill(m_pid, SIGKILL);
            wait4(m_pid, &status, 0, &usage);
        }
        m_pid = -1;
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.maxRssKb = usage.ru_maxrss;
        const auto bytes = readFile(m_stderrPath);
        o.stderrText.assign(bytes.begin(), bytes.end());
        return o;
    }
    void terminate() { kill(m_pid, SIGTERM); }

private:
    pid_t m_pid = -1;
    std::string m_stderrPath;
};

TEST(LinkMemoryTest, VexoLsAgainstAnEndlessListingFailsUnder64MB)
{
    TempDir work;
    vexo::sys::PtyPair pty;
    ASSERT_TRUE(pty.open(nullptr));
    HostileDevice device(std::make_shared<FdStream>(pty.master(), pty.master(), false),
                         HostileDevice::Behaviour::EndlessListing);
    LimitedProcess vexo({VEXO_CLI_PATH, "--port", pty.slavePath(), "ls"}, -1, work / "stderr");
    const Outcome o = vexo.wait(std::chrono::seconds(30));
    EXPECT_EQ(o.status, 1) << o.stderrText;
    EXPECT_NE(o.stderrText.find("larger than allowed"), std::string::npos) << o.stderrText;
    EXPECT_TRUE(!kLimited || o.maxRssKb * 1024 < static_cast<long>(kLimit)) << o.maxRssKb << " KiB";
    std::printf("vexo ls against an endless listing: exit %d, peak %ld KiB, %llu entries offered\n", o.status,
                o.maxRssKb, static_cast<unsigned long long>(device.entriesSent()));
}

TEST(LinkMemoryTest, VexoDevicedAgainstARequestFloodDropsTheSessionUnder64MB)
{
    TempDir device, work;
    for (int i = 0; i < 1000; ++i)
        writeFile(device / ("file" + std::to_string(10000 + i) + ".dat"), {});
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    LimitedProcess server(
        {VEXO_DEVICED_PATH, "--root", device.path().string(), "--stdio", "--verbose", "--timeout", "500"},
        fds[1], work / "stderr");
    close(fds[1]);
    RawClient client(std::make_shared<FdStream>(fds[0], fds[0], false));
    // Every session here has tag 1: what is heard is told apart by its content.
    const auto heard = [&](const std::function<bool(const Frame &)> &wanted, int ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline)
            for (const auto &f : client.read(20))
                if (f.tag == client.tag() && wanted(f))
                    return true;
        return false;
    };
    const auto isReset = [](const Frame &f) { return f.type == FrameType::Reset; };
    // As our client does: Hello again every 400 ms, since a line the server
    // found full may have cost its HelloAck.
    const auto connect = [&](uint32_t nonce) {
        const auto ack = [nonce](const Frame &f) {
            Hello h;
            return f.type == FrameType::HelloAck && decodeHello(f.payload, h) && h.nonce == nonce;
        };
        for (int i = 0; i < 25; ++i) {
            client.hello(nonce);
            if (heard(ack, 400))
                return true;
        }
        return false;
    };

    // Lists as fast as the server takes them, its answers read and thrown
    // away, never acknowledged: the server must give up the session.
    ASSERT_TRUE(connect(0x11111111));
    bool reset = false;
    for (int i = 0; i < 20000 && !reset; ++i) {
        client.request(MsgType::List, "*");
        if (i % 64 == 0)
            for (const auto &f : client.read())
                reset = reset || (f.tag == client.tag() && isReset(f));
    }
    EXPECT_TRUE(reset || heard(isReset, 10000));

    // A client that never reads: requests, then closes of other sessions, each answered into a full line.
    client.hello(0x22222222);
    for (int i = 0; i < 5000; ++i) {
        if (!client.request(MsgType::List, "*"))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        client.send(FrameType::Close, 0, {}, 1 + i % 200);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    client.read();

    // Still serving: a fresh client's Lookup is answered.
    ASSERT_TRUE(connect(0x33333333));
    ASSERT_TRUE(client.request(MsgType::Lookup, "file10000.dat"));
    EXPECT_TRUE(heard(
        [](const Frame &f) {
            Message m;
            return f.type == FrameType::Data && decodeMessage(f.payload, m) && m.type == MsgType::Result &&
                   m.status == WireStatus::Ok;
        },
        10000));

    server.terminate();
    const Outcome o = server.wait(std::chrono::seconds(5));
    close(fds[0]);
    EXPECT_EQ(o.status, 0) << o.stderrText.substr(0, 2000);
    EXPECT_NE(o.stderrText.find("session dropped: too many requests waiting"), std::string::npos);
    EXPECT_TRUE(!kLimited || o.maxRssKb * 1024 < static_cast<long>(kLimit)) << o.maxRssKb << " KiB";
    std::printf("vexo-deviced against a request flood: exit %d, peak %ld KiB\n", o.status, o.maxRssKb);
}

} // namespace
