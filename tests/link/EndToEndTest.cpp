// The C libraries and the vexo tools against a real vexo-deviced process on
// pseudo-terminals, plain or through the simulated serial line.
#include "DevicedProcess.h"
#include "FileClient.h"
#include "LinkSimulator.h"
#include "LinkTestSupport.h"
#include "VexoFileClient.h"
#include "VexoUSBPipe.h"
#include "VexoUartPipe.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vexo::link::test;
using Clock = std::chrono::steady_clock;

namespace
{

int64_t le64(const RpcFindRecord &r, size_t offset)
{
    int64_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t *>(&r) + offset, 8);
    return v;
}

class EndToEndTest : public ::testing::Test
{
protected:
    ~EndToEndTest() override { release(); }

    // Opens the link as the program does: USB pipe, device path, client, time-out, hello.
    void openLink(const std::string &path, int timeoutMs = 3000)
    {
        m_pipe = InitUSBPipe();
        ASSERT_GT(m_pipe, 0);
        ASSERT_EQ(SetPipeDevicePath(m_pipe, path.c_str()), 0);
        OpenUSBPipe(m_pipe);
        m_client = InitVexoFileClient(m_pipe);
        ASSERT_GT(m_client, 0);
        SetRespondTimeout(m_client, timeoutMs);
        ASSERT_EQ(ConnectServer(m_client), 0);
    }
    void release()
    {
        if (m_client) {
            CloseConnection(m_client);
            UnInitVexoFileClient(m_client);
        }
        if (m_pipe) {
            CloseUSBPipe(m_pipe);
            UnInitUSBPipe(m_pipe);
        }
        m_client = m_pipe = 0;
    }
    // A serial line at a high simulated rate, vexo-deviced on end B.
    void startSimulated(double flip, double drop = 0, std::vector<vexo::test::CablePull> pulls = {})
    {
        vexo::test::LinkSimOptions options;
        options.pulls = std::move(pulls);
        options.bytesPerSecond = 300000;
        options.latencyMs = 1;
        options.bitFlipPerByte = flip;
        options.dropPerByte = drop;
        options.seed = 3;
        m_sim = std::make_unique<vexo::test::LinkSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_sim->start(&error)) << error;
        m_server = std::make_unique<DevicedProcess>(m_device.path().string(),
                                                    std::vector<std::string>{"--device", m_sim->endB()});
    }
    void startPty(std::vector<std::string> more = {})
    {
        more.insert(more.begin(), {"--pty", ptyLink()});
        m_server = std::make_unique<DevicedProcess>(m_device.path().string(), more, ptyLink());
    }
    std::string ptyLink() const { return m_work / "device.link"; }
    std::string dev(const std::string &name) const { return m_device / name; }
    std::string loc(const std::string &name) const { return m_work / name; }

    TempDir m_device;
    TempDir m_work;
    std::unique_ptr<vexo::test::LinkSimulator> m_sim;
    std::unique_ptr<DevicedProcess> m_server;
    int m_pipe = 0;
    int m_client = 0;
};

TEST_F(EndToEndTest, TheProgramsCallsInTheirOrders)
{
    startPty();
    openLink(ptyLink());
    RpcFindRecord record;
    const int none = RequestFindFileOpen(m_client, "*.*", &record);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(RequestFindFileClose(m_client, none), 0);

    const auto data = randomBytes(50000, 1);
    writeFile(loc("up.bin"), data);
    int progress = -1, stop = 0;
    int64_t bytesDone = -1, bytesTotal = -1;
    EXPECT_EQ(SetTransferCounters(m_client + 1000, &bytesDone, &bytesTotal), VEXO_ERR_BAD_HANDLE);
    EXPECT_EQ(SetTransferCounters(m_client, &bytesDone, &bytesTotal), 0);
    EXPECT_EQ(RequestSendFileEx(m_client, loc("up.bin").c_str(), "up.bin", &progress, nullptr, &stop, 1), 1);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(bytesDone, 50000);
    EXPECT_EQ(bytesTotal, 50000);
    EXPECT_EQ(readFile(dev("up.bin")), data);
    EXPECT_EQ(RequestSendFileEx(m_client, loc("up.bin").c_str(), "up.bin", &progress, nullptr, &stop, 0),
              VEXO_ERR_EXISTS);
    EXPECT_EQ(RequestLookupFile(m_client, "up.bin"), 0);
    EXPECT_EQ(RequestLookupFile(m_client, "down.bin"), VEXO_ERR_NOT_FOUND);
    RpcFindRecord info{};
    EXPECT_EQ(RequestFileInfo(m_client, "up.bin", &info), 0);
    EXPECT_EQ(le64(info, 24), 50000);
    EXPECT_GT(le64(info, 16), 0);
    EXPECT_EQ(RequestFileInfo(m_client, "down.bin", &info), VEXO_ERR_NOT_FOUND);

    const int find = RequestFindFileOpen(m_client, "*.*", &record);
    ASSERT_GT(find, 0);
    EXPECT_STREQ(record.name, "up.bin");
    EXPECT_EQ(le64(record, 24), 50000);
    EXPECT_NEAR(static_cast<double>(le64(record, 16)) / 1000,
                static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count()),
                60);
    EXPECT_EQ(RequestFindFileNext(m_client, find, &record), 1);
    EXPECT_EQ(RequestFindFileClose(m_client, find), 0);
    EXPECT_EQ(RequestFindFileNext(m_client, find, &record), VEXO_ERR_BAD_HANDLE);

    progress = -1;
    bytesDone = bytesTotal = -1;
    EXPECT_EQ(RequestReceiveFileEx(m_client, "up.bin", loc("down.bin").c_str(), &progress, nullptr, &stop, 1),
              1);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(bytesDone, 50000);
    EXPECT_EQ(bytesTotal, 50000);
    // Once cleared, a transfer no longer touches them.
    EXPECT_EQ(SetTransferCounters(m_client, nullptr, nullptr), 0);
    bytesDone = -1;
    EXPECT_EQ(RequestSendFileEx(m_client, loc("up.bin").c_str(), "up.bin", &progress, nullptr, &stop, 1), 1);
    EXPECT_EQ(bytesDone, -1);
    EXPECT_EQ(readFile(loc("down.bin")), data);
    EXPECT_EQ(RequestRenameFile(m_client, "up.bin", "moved.bin"), 0);
    EXPECT_EQ(RequestDeleteFile(m_client, "moved.bin"), 0);
    EXPECT_EQ(RequestDeleteFile(m_client, "moved.bin"), VEXO_ERR_NOT_FOUND);
    EXPECT_EQ(RequestLookupFile(m_client + 1000, "x"), VEXO_ERR_BAD_HANDLE);

    // Disconnect and connect again on the same handles, as the program does.
    EXPECT_EQ(CloseConnection(m_client), 0);
    EXPECT_EQ(RequestLookupFile(m_client, "down.bin"), VEXO_ERR_NOT_CONNECTED);
    SetRespondTimeout(m_client, 3000);
    EXPECT_EQ(ConnectServer(m_client), 0);
    EXPECT_EQ(RequestLookupFile(m_client, "x"), VEXO_ERR_NOT_FOUND);
}

TEST_F(EndToEndTest, SerialPipeAndLineSettings)
{
    startPty();
    const int pipe = InitUartPipe();
    EXPECT_EQ(SetUartIntParam(pipe, 3, 115200, 7, 0, 1), -1); // only 8N1
    EXPECT_EQ(SetUartIntParam(pipe, 3, 115200, 8, 0, 1), 0);
    EXPECT_EQ(SetPipeDevicePath(pipe, loc("no-such-tty").c_str()), 0);
    EXPECT_EQ(OpenUartPipe(pipe), -1);
    EXPECT_EQ(SetPipeDevicePath(pipe, ptyLink().c_str()), 0);
    EXPECT_EQ(OpenUartPipe(pipe), 0);
    const int client = InitVexoFileClient(pipe);
    EXPECT_EQ(ConnectServer(client), 0);
    EXPECT_EQ(RequestLookupFile(client, "none"), VEXO_ERR_NOT_FOUND);
    EXPECT_EQ(UnInitVexoFileClient(client), 0);
    EXPECT_EQ(CloseUartPipe(pipe), 0);
    EXPECT_EQ(UnInitUartPipe(pipe), 0);
    EXPECT_EQ(SetPipeDevicePath(pipe, "x"), -1);
    EXPECT_EQ(InitVexoFileClient(pipe), 0);
}

TEST_F(EndToEndTest, NoDeviceFailsConnectWithinTheTimeOut)
{
    m_pipe = InitUSBPipe();
    SetPipeDevicePath(m_pipe, loc("nothing-here").c_str());
    OpenUSBPipe(m_pipe);
    m_client = InitVexoFileClient(m_pipe);
    EXPECT_EQ(ConnectServer(m_client), VEXO_ERR_NOT_CONNECTED);

    // A line with nobody at the other end: the hello goes unanswered.
    vexo::test::LinkSimulator sim(vexo::test::LinkSimOptions{0, 0, 0, 0, 1, {}, 0, 0});
    ASSERT_TRUE(sim.start(nullptr));
    SetPipeDevicePath(m_pipe, sim.endA().c_str());
    SetRespondTimeout(m_client, 400);
    const auto started = Clock::now();
    EXPECT_EQ(ConnectServer(m_client), VEXO_ERR_TIMEOUT);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1400));
}

TEST_F(EndToEndTest, ServerKilledMidFileFailsInTimeAndLeavesNothingPartial)
{
    startSimulated(0);
    openLink(m_sim->endA(), 1000);
    SetResume(m_client, 0); // nothing kept for a next attempt either
    writeFile(dev("big.bin"), randomBytes(3 << 20, 2));
    writeFile(loc("big.bin"), {1, 2});
    std::atomic<int> progress{0};
    int stop = 0;
    Clock::time_point killedAt = Clock::now();
    // A call that fails before the file is under way (a starved machine) must
    // not leave the killer waiting for progress that never comes.
    std::atomic<bool> returned{false};
    auto killWhenUnderWay = [&] {
        while (progress.load() < 5 && !returned)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        killedAt = Clock::now();
        m_server->killHard();
    };
    std::thread killer(killWhenUnderWay);
    const int rc = RequestReceiveFileEx(m_client, "big.bin", loc("big.bin").c_str(),
                                        reinterpret_cast<int *>(&progress), nullptr, &stop, 1);
    returned = true;
    killer.join();
    EXPECT_LT(rc, 0);
    EXPECT_LT(Clock::now() - killedAt, std::chrono::milliseconds(1000 + 1000)); // time-out + 1 s
    EXPECT_EQ(readFile(loc("big.bin")), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(listFolder(m_work.path()), std::vector<std::string>{"big.bin"});

    // Sending into a server that dies: failure, and a restarted server sweeps its partial file.
    m_server = std::make_unique<DevicedProcess>(m_device.path().string(),
                                                std::vector<std::string>{"--device", m_sim->endB()});
    progress = 0;
    returned = false;
    std::thread killer2(killWhenUnderWay);
    EXPECT_LT(RequestSendFileEx(m_client, dev("big.bin").c_str(), "copy.bin",
                                reinterpret_cast<int *>(&progress), nullptr, &stop, 1),
              0);
    returned = true;
    killer2.join();
    EXPECT_LT(Clock::now() - killedAt, std::chrono::milliseconds(1000 + 1000));
    m_server = std::make_unique<DevicedProcess>(m_device.path().string(),
                                                std::vector<std::string>{"--device", m_sim->endB()});
    EXPECT_EQ(RequestLookupFile(m_client, "copy.bin"), VEXO_ERR_NOT_FOUND); // reconnects by itself
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(EndToEndTest, StopFlagEndsTheCallWithinASecondAndTheKeptPartOutlivesTheServer)
{
    startSimulated(0);
    openLink(m_sim->endA());
    writeFile(loc("big.bin"), randomBytes(3 << 20, 2));
    writeFile(dev("big.bin"), {9});
    std::atomic<int> progress{0};
    std::atomic<int> stop{0};
    Clock::time_point stoppedAt = Clock::now();
    std::atomic<bool> returned{false};
    std::thread stopper([&] {
        while (progress.load() < 10 && !returned)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stoppedAt = Clock::now();
        stop = 1;
    });
    const int rc =
        RequestSendFileEx(m_client, loc("big.bin").c_str(), "big.bin", reinterpret_cast<int *>(&progress),
                          nullptr, reinterpret_cast<int *>(&stop), 1);
    const auto returnedAt = Clock::now();
    returned = true;
    stopper.join();
    EXPECT_EQ(rc, VEXO_ERR_STOPPED);
    EXPECT_LT(returnedAt - stoppedAt, std::chrono::seconds(1));
    EXPECT_EQ(readFile(dev("big.bin")), std::vector<uint8_t>{9});
    // What arrived stays, hidden, for the next attempt; the old file is untouched.
    const auto names = listFolder(m_device.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind(".vexo-keep-", 0), 0u);
    EXPECT_EQ(names[1], "big.bin");
    EXPECT_EQ(RequestLookupFile(m_client, "big.bin"), 0);

    // The server is stopped and started again: the part it kept survives and
    // is continued, and the palmtop is still the same one.
    char before[33] = {}, after[33] = {};
    ASSERT_EQ(RequestDeviceIdentity(m_client, before, sizeof before), 0);
    EXPECT_EQ(std::strlen(before), 32u);
    m_server.reset();
    m_server = std::make_unique<DevicedProcess>(m_device.path().string(),
                                                std::vector<std::string>{"--device", m_sim->endB()});
    EXPECT_EQ(RequestLookupFile(m_client, "big.bin"), 0); // reconnects by itself, once it serves
    EXPECT_EQ(listFolder(m_device.path()), names);
    ASSERT_EQ(RequestSendFileEx(m_client, loc("big.bin").c_str(), "big.bin", nullptr, nullptr, nullptr, 1),
              1);
    EXPECT_EQ(readFile(dev("big.bin")), readFile(loc("big.bin")));
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"big.bin"});
    ASSERT_EQ(RequestDeviceIdentity(m_client, after, sizeof after), 0);
    EXPECT_STREQ(after, before);
}

TEST_F(EndToEndTest, NoisySimulatedLineGivesExactFilesBothWays)
{
    startSimulated(1e-4, 1e-5);
    openLink(m_sim->endA());
    const auto data = randomBytes(400000, 6);
    writeFile(loc("noisy.bin"), data);
    int progress = 0, stop = 0;
    ASSERT_EQ(
        RequestSendFileEx(m_client, loc("noisy.bin").c_str(), "noisy.bin", &progress, nullptr, &stop, 1), 1);
    EXPECT_EQ(readFile(dev("noisy.bin")), data);
    ASSERT_EQ(
        RequestReceiveFileEx(m_client, "noisy.bin", loc("back.bin").c_str(), &progress, nullptr, &stop, 1),
        1);
    EXPECT_EQ(readFile(loc("back.bin")), data);
    EXPECT_GT(m_sim->counters(vexo::test::LinkSimulator::Direction::AToB).flipped, 0u);
}

TEST_F(EndToEndTest, ServesOverStandardInputAndOutput)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    writeFile(dev("s.txt"), textBytes(5000));
    {
        DevicedProcess server(m_device.path().string(), fds[1]);
        close(fds[1]);
        auto stream = std::make_shared<vexo::link::FdStream>(fds[0], fds[0], true);
        vexo::link::FileClient client(std::make_shared<vexo::link::Pipe>(stream));
        ASSERT_EQ(client.connect(), vexo::link::LinkError::Ok);
        EXPECT_EQ(client.receive({{"s.txt", loc("s.txt"), true}}, {}).front(), vexo::link::LinkError::Ok);
        EXPECT_EQ(readFile(loc("s.txt")), textBytes(5000));
        EXPECT_EQ(client.close(), vexo::link::LinkError::Ok);
    }
}

TEST_F(EndToEndTest, CommandLineClient)
{
    startPty({"--capacity", "1000000"});
    const std::string vexo = VEXO_CLI_PATH;
    const std::string port = ptyLink();
    writeFile(loc("one.txt"), textBytes(3000));
    writeFile(loc("two.bin"), randomBytes(70000, 4));
    std::string out;
    EXPECT_EQ(runProgram({vexo, "--port", port, "put", loc("one.txt"), loc("two.bin")}), 0);
    EXPECT_EQ(
        runProgram({vexo, "--port", port, "put", loc("one.txt"), "--as", "\xE4\xBD\xA0\xE5\xA5\xBD.txt"}), 0);
    // A second name is a local file too, never a name to send under.
    EXPECT_EQ(runProgram({vexo, "--port", port, "put", loc("one.txt"), "no-such-file.txt"}), 1);
    EXPECT_EQ(runProgram({vexo, "--port", port, "ls"}, &out), 0);
    EXPECT_NE(out.find("      3000  "), std::string::npos) << out;
    EXPECT_NE(out.find("two.bin"), std::string::npos);
    EXPECT_NE(out.find("\xE4\xBD\xA0\xE5\xA5\xBD.txt"), std::string::npos);
    std::filesystem::create_directory(loc("back"));
    EXPECT_EQ(runProgram({vexo, "--port", port, "get", "one.txt", "two.bin", loc("back")}), 0);
    EXPECT_EQ(readFile(loc("back/two.bin")), readFile(loc("two.bin")));
    EXPECT_EQ(runProgram({vexo, "--port", port, "get", "\xE4\xBD\xA0\xE5\xA5\xBD.txt", loc("back/x.txt")}),
              0);
    EXPECT_EQ(readFile(loc("back/x.txt")), readFile(loc("one.txt")));
    EXPECT_EQ(runProgram({vexo, "--port", port, "mv", "one.txt", "three.txt"}), 0);
    EXPECT_EQ(runProgram({vexo, "--port", port, "rm", "three.txt"}), 0);
    EXPECT_EQ(runProgram({vexo, "--port", port, "rm", "three.txt"}), 1);
    EXPECT_EQ(runProgram({vexo, "--port", port, "put", loc("one.txt"), "--as", "seventeen-bytes.x"}), 1);
    // What is left: 70,000 and 3,000 bytes of the million.
    EXPECT_EQ(runProgram({vexo, "--port", port, "df"}, &out), 0);
    EXPECT_NE(out.find("  1000000          73000         927000    8%"), std::string::npos) << out;
    EXPECT_EQ(runProgram({vexo, "--port", loc("absent"), "ls"}), 1);
    EXPECT_EQ(runProgram({vexo, "--port", port, "frobnicate"}), 2);
    EXPECT_EQ(listFolder(m_device.path()),
              (std::vector<std::string>{"two.bin", "\xE4\xBD\xA0\xE5\xA5\xBD.txt"}));
}

TEST_F(EndToEndTest, CommandLineClientCarriesOnAcrossAPulledCable)
{
    // 600 KB each way at 300 KB/s; the cable goes for 2 s during the put and during the get.
    startSimulated(0, 0, {{360000, 2}, {1050000, 2}});
    const auto data = randomBytes(600000, 7);
    writeFile(loc("big"), data);
    const std::string vexo = std::string(VEXO_CLI_PATH) + " --port " + m_sim->endA() +
                             " --baud 115200 --timeout 1000 --retry-seconds 20 ";
    std::string out;
    EXPECT_EQ(runProgram({"/bin/sh", "-c", vexo + "put " + loc("big") + " 2>&1"}, &out), 0) << out;
    EXPECT_NE(out.find("reconnecting"), std::string::npos) << out;
    EXPECT_EQ(readFile(dev("big")), data);
    EXPECT_EQ(runProgram({"/bin/sh", "-c", vexo + "get big " + loc("back") + " 2>&1"}, &out), 0) << out;
    EXPECT_NE(out.find("reconnecting"), std::string::npos) << out;
    EXPECT_EQ(readFile(loc("back")), data);
    EXPECT_EQ(m_sim->pullsBegun(), 2);
    // Continued, not started over: little more than the file crossed each way.
    using Direction = vexo::test::LinkSimulator::Direction;
    EXPECT_LT(m_sim->counters(Direction::AToB).received, data.size() * 13 / 10);
    EXPECT_LT(m_sim->counters(Direction::BToA).received, data.size() * 13 / 10);
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"big"});
    EXPECT_EQ(listFolder(m_work.path()), (std::vector<std::string>{"back", "big"}));
}

TEST_F(EndToEndTest, ARunThatMeetsAnotherPalmtopAfterAReconnectStopsAndSaysSo)
{
    // The cable goes for 2 s during the second file; meanwhile another
    // palmtop takes the first one's place on the same port.
    startSimulated(0, 0, {{360000, 2}});
    TempDir other;
    writeFile(loc("small"), textBytes(3000));
    writeFile(loc("big"), randomBytes(600000, 8));
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        while (m_sim->pullsBegun() == 0 && !done)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_server.reset();
        m_server = std::make_unique<DevicedProcess>(other.path().string(),
                                                    std::vector<std::string>{"--device", m_sim->endB()});
    });
    const std::string vexo = std::string(VEXO_CLI_PATH) + " --port " + m_sim->endA() +
                             " --baud 115200 --timeout 1000 --retry-seconds 20 ";
    std::string out;
    EXPECT_EQ(runProgram({"/bin/sh", "-c", vexo + "put " + loc("small") + " " + loc("big") + " 2>&1"}, &out),
              1);
    done = true;
    swapper.join();
    EXPECT_NE(out.find("another palmtop answered on " + m_sim->endA() +
                       "; 1 files were copied to the first one, 1 were not copied"),
              std::string::npos)
        << out;
    const auto first = listFolder(m_device.path());
    ASSERT_EQ(first.size(), 2u); // the small file, and the part of the big one kept for later
    EXPECT_EQ(first[1], "small");
    EXPECT_TRUE(listFolder(other.path()).empty());
}

TEST_F(EndToEndTest, AListingToATerminalReadLateIsPrintedWhole)
{
    // Another process on the terminal made the open file non-blocking, and
    // nobody reads it for a while: the listing waits for the terminal rather
    // than losing its rest and still exiting 0.
    for (int i = 0; i < 3000; ++i)
        writeFile(dev("f" + std::to_string(i)), {});
    startPty();
    vexo::sys::PtyPair terminal;
    ASSERT_TRUE(terminal.open(nullptr));
    const int out = ::open(terminal.slavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(out, 0);
    const std::string vexo = VEXO_CLI_PATH;
    const std::string port = ptyLink();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        execl(vexo.c_str(), vexo.c_str(), "--port", port.c_str(), "ls", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::string text;
    int status = -1;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    // What the program wrote before it exited may reach the terminal's other
    // end a while later on a busy machine: reading stops after a quiet spell.
    auto lastRead = Clock::now();
    for (bool exited = false; Clock::now() < deadline;) {
        pollfd p{terminal.master(), POLLIN, 0};
        char buf[65536];
        if (poll(&p, 1, 300) > 0) {
            const ssize_t n = read(terminal.master(), buf, sizeof buf);
            if (n > 0) {
                text.append(buf, static_cast<size_t>(n));
                lastRead = Clock::now();
            }
        } else if (exited) {
            if (Clock::now() - lastRead > std::chrono::seconds(3))
                break;
        } else {
            exited = waitpid(pid, &status, WNOHANG) == pid;
        }
    }
    if (status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3000);
}

} // namespace
