// Link resource limits: what a hostile peer can make either side hold or wait
// for. The client against devices that list for ever or talk without
// answering; the server against clients that flood it or take no answers.
#include "DeviceServer.h"
#include "FileClient.h"
#include "Hello.h"
#include "HostileDevice.h"
#include "LinkTestSupport.h"
#include "RawClient.h"
#include "VexoFileClient.h"
#include "VexoUSBPipe.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

using namespace vexo::link;
using namespace vexo::link::test;
using vexo::test::HostileDevice;
namespace deviced = vexo::deviced;

namespace
{

using Behaviour = HostileDevice::Behaviour;
using std::chrono::milliseconds;

TEST(LinkLimitsTest, AnEndlessListingFailsCleanlyThroughTheClassAndTheCApi)
{
    {
        StreamPair pair;
        HostileDevice device(pair.b, Behaviour::EndlessListing);
        FileClient client(std::make_shared<Pipe>(pair.a));
        ASSERT_EQ(client.connect(), LinkError::Ok);
        std::vector<DeviceEntry> entries;
        EXPECT_EQ(client.list("*", entries), LinkError::TooLarge);
        EXPECT_TRUE(entries.empty());
        EXPECT_GT(device.entriesSent(), kMaxListEntries);
    }
    // The window's road: a pipe on a device node, the find calls.
    vexo::sys::PtyPair pty;
    ASSERT_TRUE(pty.open(nullptr));
    HostileDevice device(std::make_shared<FdStream>(pty.master(), pty.master(), false),
                         Behaviour::EndlessListing);
    const int pipe = InitUSBPipe();
    SetPipeDevicePath(pipe, pty.slavePath().c_str());
    OpenUSBPipe(pipe);
    const int client = InitVexoFileClient(pipe);
    ASSERT_EQ(ConnectServer(client), 0);
    RpcFindRecord record;
    const int find = RequestFindFileOpen(client, "*.*", &record);
    EXPECT_EQ(find, VEXO_ERR_TOO_LARGE);
    EXPECT_EQ(RequestFindFileClose(client, find), 0);
    UnInitVexoFileClient(client);
    CloseUSBPipe(pipe);
    UnInitUSBPipe(pipe);
}

TEST(LinkLimitsTest, TheTimeOutCountsProgressOnTheRequestNotFramesHeard)
{
    struct Case {
        const char *what;
        Behaviour behaviour;
        bool receive; // else a delete
        LinkError expected;
    };
    const std::vector<Case> cases = {
        {"acks that acknowledge nothing", Behaviour::AckChatter, false, LinkError::Timeout},
        {"close-acks", Behaviour::CloseAckChatter, false, LinkError::Timeout},
        {"hello-acks of another session", Behaviour::ForeignHelloAck, false, LinkError::Timeout},
        {"resets of another session", Behaviour::ForeignReset, false, LinkError::Timeout},
        {"file data after the file failed", Behaviour::DataAfterFailure, true, LinkError::TransferFailed},
    };
    const int timeoutMs = 600;
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        TempDir local;
        writeFile(local / "x", {1, 2, 3});
        StreamPair pair;
        HostileDevice device(pair.b, tc.behaviour, {}, milliseconds(100), std::chrono::seconds(8));
        FileClient client(std::make_shared<Pipe>(pair.a));
        client.setTimeout(timeoutMs);
        ASSERT_EQ(client.connect(), LinkError::Ok);
        const auto started = Clock::now();
        const LinkError e = tc.receive ? client.receive({TransferItem{"x", local / "x", true}}, {}).front()
                                       : client.remove("x");
        EXPECT_EQ(e, tc.expected) << describe(e);
        EXPECT_LT(Clock::now() - started, milliseconds(timeoutMs + 900));
        // A failed receive leaves the destination as it was, and nothing beside it.
        EXPECT_EQ(readFile(local / "x"), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(listFolder(local.path()), std::vector<std::string>{"x"});
    }
}

// Passes the first `limit` bytes read and loses everything after: a device
// killed at that point, or a line that drops the rest.
class CutStream : public ByteStream
{
public:
    CutStream(std::shared_ptr<ByteStream> inner, uint64_t limit) : m_inner(std::move(inner)), m_limit(limit)
    {
    }
    int wait(bool wantWrite, int timeoutMs) override { return m_inner->wait(wantWrite, timeoutMs); }
    long writeSome(const uint8_t *data, size_t size) override { return m_inner->writeSome(data, size); }
    long readSome(uint8_t *buffer, size_t capacity) override
    {
        const long n = m_inner->readSome(buffer, capacity);
        if (n <= 0)
            return n;
        const uint64_t kept =
            std::min<uint64_t>(static_cast<uint64_t>(n), m_limit - std::min(m_limit, m_read));
        m_read += static_cast<uint64_t>(n);
        return static_cast<long>(kept);
    }

private:
    std::shared_ptr<ByteStream> m_inner;
    uint64_t m_limit;
    uint64_t m_read = 0;
};

TEST(LinkLimitsTest, AListingCutOffMidwayFailsAndIsNeverReportedShort)
{
    {
        // A whole, well-formed stream of one entry, and then silence: not a listing.
        StreamPair pair;
        HostileDevice device(pair.b, Behaviour::ListingNoEnd, {WireEntry{"a.txt", 1, 0}});
        FileClient client(std::make_shared<Pipe>(pair.a));
        client.setTimeout(600);
        ASSERT_EQ(client.connect(), LinkError::Ok);
        std::vector<DeviceEntry> entries;
        EXPECT_EQ(client.list("*", entries), LinkError::Timeout);
        EXPECT_TRUE(entries.empty());
    }
    {
        // "Unchanged" is taken only for the very listing the client holds.
        StreamPair pair;
        HostileDevice device(pair.b, Behaviour::FalseUnchanged,
                             {WireEntry{"a.txt", 1, 0}, WireEntry{"b", 2, 3}});
        FileClient client(std::make_shared<Pipe>(pair.a));
        client.setTimeout(600);
        ASSERT_EQ(client.connect(), LinkError::Ok);
        std::vector<DeviceEntry> entries;
        ASSERT_EQ(client.list("*", entries), LinkError::Ok);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(client.list("*", entries), LinkError::Protocol);
        EXPECT_TRUE(entries.empty());
    }
    TempDir folder;
    for (int i = 0; i < 3000; ++i)
        writeFile(folder / ("f" + std::to_string(i * 7919 % 100000) + ".d" + std::to_string(i % 97)),
                  std::vector<uint8_t>(static_cast<size_t>(i % 13)));
    uint64_t helloBytes = 0;
    uint64_t allBytes = 0;
    {
        StreamPair pair;
        ServerThread server(folder.path().string(), pair.b);
        FileClient client(std::make_shared<Pipe>(pair.a));
        ASSERT_EQ(client.connect(), LinkError::Ok);
        helloBytes = client.stats().bytesRead;
        std::vector<DeviceEntry> entries;
        ASSERT_EQ(client.list("*", entries), LinkError::Ok);
        ASSERT_EQ(entries.size(), 3000u);
        allBytes = client.stats().bytesRead;
    }
    const uint64_t span = allBytes - helloBytes;
    for (const uint64_t cut :
         {helloBytes + 1, helloBytes + span / 3, helloBytes + span * 2 / 3, allBytes - 1}) {
        SCOPED_TRACE(cut);
        StreamPair pair;
        ServerThread server(folder.path().string(), pair.b);
        FileClient client(std::make_shared<Pipe>(std::make_shared<CutStream>(pair.a, cut)));
        client.setTimeout(500);
        ASSERT_EQ(client.connect(), LinkError::Ok);
        std::vector<DeviceEntry> entries;
        const LinkError e = client.list("*", entries);
        // Only the last cut may miss nothing but an acknowledgement.
        EXPECT_EQ(entries.size(), e == LinkError::Ok ? 3000u : 0u) << describe(e);
        if (cut < allBytes - 1) {
            EXPECT_NE(e, LinkError::Ok);
        }
    }
}

class ServerLimitsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Enough files that each listing is some kilobytes on the line.
        for (int i = 0; i < 400; ++i)
            writeFile(m_device / ("file" + std::to_string(1000 + i) + ".dat"), {});
        deviced::ServerOptions options;
        options.timeoutMs = 300;
        m_server = std::make_unique<deviced::DeviceServer>(m_folder, *m_pair.b, options);
    }
    void steps(int n)
    {
        for (int i = 0; i < n; ++i)
            m_server->step(1);
    }
    // The server answers a fresh client: Lookup of a file it has.
    bool servesAFreshClient()
    {
        m_client.read();
        m_client.hello(0x7777);
        steps(5);
        m_client.request(MsgType::Lookup, "file1000.dat");
        for (int i = 0; i < 100; ++i) {
            m_server->step(10);
            for (const auto &f : m_client.read()) {
                Message m;
                if (f.type == FrameType::Data && f.tag == m_client.tag() && decodeMessage(f.payload, m) &&
                    m.type == MsgType::Result)
                    return m.status == WireStatus::Ok;
            }
        }
        return false;
    }

    TempDir m_device;
    deviced::DeviceFolder m_folder{m_device.path().string()};
    StreamPair m_pair;
    std::unique_ptr<deviced::DeviceServer> m_server;
    RawClient m_client{m_pair.a};
};

TEST_F(ServerLimitsTest, AFloodOfListRequestsThatAreNeverAcknowledgedDropsTheSession)
{
    m_client.hello(0x1111);
    steps(5);
    ASSERT_TRUE(m_server->inSession());
    // Each List is answered with kilobytes that can never leave the window:
    // the server stops taking requests, its bounded queue fills, the session goes.
    int sent = 0;
    for (; sent < 3000 && m_server->inSession(); ++sent) {
        ASSERT_TRUE(m_client.request(MsgType::List, "*"));
        if (sent % 16 == 0) {
            m_server->step(1);
            m_client.read();
        }
    }
    steps(5);
    EXPECT_FALSE(m_server->inSession()) << sent << " requests";
    EXPECT_LT(sent, 1000);
    // The client sends nothing more, yet learns that its session is gone.
    bool reset = false;
    for (const auto &f : m_client.read())
        reset = reset || (f.type == FrameType::Reset && f.tag == m_client.tag());
    EXPECT_TRUE(reset);
    EXPECT_TRUE(servesAFreshClient());
}

TEST_F(ServerLimitsTest, AClientThatKeepsTalkingButTakesNoAnswersIsDropped)
{
    m_client.hello(0x2222);
    steps(5);
    ASSERT_TRUE(m_client.request(MsgType::List, "*"));
    // An Ack that acknowledges nothing, every 20 ms: heard, but no progress.
    const auto started = Clock::now();
    while (m_server->inSession() && Clock::now() - started < std::chrono::seconds(3)) {
        m_client.send(FrameType::Ack, 0, {0, 0, 0, 0});
        m_server->step(20);
    }
    EXPECT_FALSE(m_server->inSession());
    EXPECT_LT(Clock::now() - started, milliseconds(300 + 700));
    EXPECT_TRUE(servesAFreshClient());
}

} // namespace
