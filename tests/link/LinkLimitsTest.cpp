// Link resource limits: what a hostile peer can make either side hold or wait
// for. The client against devices that list for ever or talk without
// answering; the server against clients that flood it or take no answers.
#include "CApiClient.h"
#include "DeviceServer.h"
#include "FileClient.h"
#include "Hello.h"
#include "HostileDevice.h"
#include "LinkTestSupport.h"
#include "ListingCodec.h"
#include "RawClient.h"
#include "vexo/sys/PtyPair.h"

#include <gtest/gtest.h>

#include <unistd.h>

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
    CApiClient api(pty.slavePath());
    const int client = api.client;
    ASSERT_EQ(ConnectServer(client), 0);
    RpcFindRecord record;
    const int find = RequestFindFileOpen(client, "*.*", &record);
    EXPECT_EQ(find, VEXO_ERR_TOO_LARGE);
    EXPECT_EQ(RequestFindFileClose(client, find), 0);
}

TEST(LinkLimitsTest, TheTimeOutCountsProgressOnTheRequestNotFramesHeard)
{
    enum class Call { Delete, Receive, List };
    struct Case {
        const char *what;
        Behaviour behaviour;
        Call call;
        LinkError expected;
    };
    const std::vector<Case> cases = {
        {"acks that acknowledge nothing", Behaviour::AckChatter, Call::Delete, LinkError::Timeout},
        {"close-acks", Behaviour::CloseAckChatter, Call::Delete, LinkError::Timeout},
        {"hello-acks of another session", Behaviour::ForeignHelloAck, Call::Delete, LinkError::Timeout},
        {"resets of another session", Behaviour::ForeignReset, Call::Delete, LinkError::Timeout},
        {"file data after the file failed", Behaviour::DataAfterFailure, Call::Receive,
         LinkError::TransferFailed},
        {"list parts without a byte", Behaviour::EmptyListParts, Call::List, LinkError::Timeout},
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
        std::vector<DeviceEntry> entries;
        const LinkError e = tc.call == Call::Receive
                                ? client.receive({TransferItem{"x", local / "x", true}}, {}).front()
                            : tc.call == Call::List ? client.list("*", entries)
                                                    : client.remove("x");
        EXPECT_EQ(e, tc.expected) << describe(e);
        EXPECT_LT(Clock::now() - started, milliseconds(timeoutMs + 900));
        // A failed receive leaves the destination as it was, and nothing beside it.
        EXPECT_EQ(readFile(local / "x"), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(listFolder(local.path()), std::vector<std::string>{"x"});
    }
}

TEST(LinkLimitsTest, AnswersOutsideTheirRangesAreProtocolErrorsNotValues)
{
    struct Case {
        const char *what;
        Behaviour behaviour;
        bool connects; // else the HelloAck itself is refused
    };
    const std::vector<Case> cases = {
        {"a HelloAck naming a 10-byte largest message", Behaviour::TinyMessages, false},
        {"a Lookup answered Ok without size and time", Behaviour::StallingGet, true},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        StreamPair pair;
        HostileDevice device(pair.b, tc.behaviour);
        FileClient client(std::make_shared<Pipe>(pair.a));
        client.setTimeout(600);
        const LinkError connected = client.connect();
        EXPECT_EQ(connected, tc.connects ? LinkError::Ok : LinkError::Protocol) << describe(connected);
        if (!tc.connects)
            continue;
        DeviceEntry entry;
        EXPECT_EQ(client.lookup("x", &entry), LinkError::Protocol);
    }
}

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
        auto line = std::make_shared<FaultyStream>(pair.a, 0, 0, 1);
        line->cutAfter(cut);
        FileClient client(std::make_shared<Pipe>(line));
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

TEST(LinkLimitsTest, ChangesThatDoNotMakeTheNamedListingFailAndHandNothingOn)
{
    const std::vector<WireEntry> held = {{"a.txt", 1, 0}, {"b", 2, 3}};
    const auto added = [](const char *name) { return ListingChange{WireEntry{name, 5, 6000}, false}; };
    const std::vector<WireEntry> withC = {held[0], held[1], {"c", 5, 6000}};
    std::vector<ListingChange> tooMany;
    std::vector<WireEntry> tooManyListing = held;
    for (int i = 0; i < 70000; ++i) {
        char name[17];
        std::snprintf(name, sizeof name, "f%07d", i);
        tooMany.push_back(added(name));
        tooManyListing.push_back(tooMany.back().entry);
    }
    struct Case {
        const char *what;
        std::vector<std::vector<uint8_t>> blocks;
        std::vector<WireEntry> claimed; // the listing whose count and token the Result names
        uint64_t tokenFlip;
        LinkError expected;
    };
    auto leftOver = encodeChangeBlocks({added("c")});
    leftOver.front().push_back(0);
    const std::vector<Case> cases = {
        {"honest changes", encodeChangeBlocks({added("c")}), withC, 0, LinkError::Ok},
        {"no changes: one empty block", {{}}, held, 0, LinkError::Ok},
        {"a removed name not held", encodeChangeBlocks({{WireEntry{"bb", 0, 0}, true}}), held, 0,
         LinkError::Protocol},
        {"a token the changes do not give", encodeChangeBlocks({added("c")}), withC, 1, LinkError::Protocol},
        {"a count the changes do not give", encodeChangeBlocks({added("c")}), held, 0, LinkError::Protocol},
        {"names out of order",
         encodeChangeBlocks({added("c"), added("bb")}),
         {held[0], held[1], {"bb", 5, 6000}, {"c", 5, 6000}},
         0,
         LinkError::Protocol},
        {"a name twice", encodeChangeBlocks({added("c"), added("c")}), withC, 0, LinkError::Protocol},
        {"bytes left over", leftOver, withC, 0, LinkError::Protocol},
        {"more entries than a listing may hold", encodeChangeBlocks(tooMany), tooManyListing, 0,
         LinkError::Protocol},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        StreamPair pair;
        HostileDevice device(pair.b, Behaviour::ForgedChanges, held);
        device.forgeChanges(tc.blocks, tc.claimed.size(), listingToken(tc.claimed) ^ tc.tokenFlip);
        FileClient client(std::make_shared<Pipe>(pair.a));
        client.setTimeout(2000);
        ASSERT_EQ(client.connect(), LinkError::Ok);
        std::vector<DeviceEntry> entries;
        ASSERT_EQ(client.list("*", entries), LinkError::Ok);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(client.list("*", entries), tc.expected);
        EXPECT_EQ(entries.size(), tc.expected == LinkError::Ok ? tc.claimed.size() : 0u);
        // The listing the changes did not fit is not named again: the next
        // List asks for a whole one.
        ASSERT_EQ(client.list("*", entries), LinkError::Ok);
        EXPECT_EQ(entries.size(), tc.expected == LinkError::Ok ? tc.claimed.size() : 2u);
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

TEST_F(ServerLimitsTest, QuestionsThatReadNoFileAreAnsweredWhileALargeFileIsRead)
{
    // Sparse, so it takes no room, but every byte of it is read and hashed.
    const auto big = m_device / "big.dat";
    writeFile(big, {});
    ASSERT_EQ(truncate(big.c_str(), off_t{1} << 30), 0);
    m_client.hello(0x2222, kMoreCapHash);
    steps(5);
    const uint16_t checksum = 0;
    ASSERT_TRUE(m_client.request(MsgType::Checksum, "big.dat"));
    ASSERT_TRUE(m_client.request(MsgType::Lookup, "file1000.dat"));
    std::vector<uint16_t> answered;
    bool working = false;
    for (int i = 0; i < 5000 && !(working && !answered.empty()) && m_server->inSession(); ++i) {
        m_server->step(1);
        for (const auto &f : m_client.read()) {
            Message m;
            if (f.type != FrameType::Data || !decodeMessage(f.payload, m))
                continue;
            if (m.type == MsgType::Result)
                answered.push_back(m.id);
            working = working || (m.type == MsgType::Working && m.id == checksum && m.offset > 0);
        }
    }
    // The Lookup did not wait for the Checksum, which told the client it was reading on.
    ASSERT_FALSE(answered.empty());
    EXPECT_EQ(answered.front(), checksum + 1);
    EXPECT_TRUE(working);
}

} // namespace
