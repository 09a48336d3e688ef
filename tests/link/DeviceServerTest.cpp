// The server against a hand-driven client that sends what our client never
// would: hostile names, malformed messages, stray and repeated frames.
#include "BlockAssembler.h"
#include "Channel.h"
#include "Hello.h"
#include "LinkTestSupport.h"
#include "Message.h"
#include "OpenChain.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexo::link;
using namespace vexo::link::test;

namespace
{

class DeviceServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server = std::make_unique<ServerThread>(m_device.path().string(), m_pair.b, 3000, m_verbose);
        ASSERT_TRUE(hello(0x1234));
    }

    // protocol 1: the Hello record of a version-1 client, without the version byte.
    bool hello(uint32_t nonce, uint8_t protocol = kProtocolVersion, uint8_t *agreed = nullptr,
               uint8_t caps = 0)
    {
        Hello h;
        h.caps = localCodecCaps() | caps;
        h.nonce = nonce;
        h.maxPayload = 2048;
        h.window = 4;
        auto record = encodeHello(h);
        if (protocol == 1)
            record.resize(9);
        m_channel.sendControl(FrameType::Hello, tagForNonce(nonce), 0, record);
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < deadline) {
            m_channel.pump(Clock::now() + std::chrono::milliseconds(20));
            Frame f;
            Hello ack;
            while (m_channel.takeControl(f)) {
                if (f.type == FrameType::HelloAck && decodeHello(f.payload, ack) && ack.nonce == nonce) {
                    ChannelConfig config;
                    config.maxPayload = ack.maxPayload;
                    m_channel.start(tagForNonce(nonce), config);
                    if (agreed)
                        *agreed = ack.protocol;
                    return true;
                }
            }
        }
        return false;
    }

    // Sends a message and returns the first Result with its id (status BadRequest if none came).
    Message ask(Message msg)
    {
        msg.id = ++m_id;
        m_channel.send(encodeMessage(msg));
        return waitResult(msg.id);
    }

    Message waitResult(uint16_t id)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        std::vector<uint8_t> raw;
        while (Clock::now() < deadline) {
            m_channel.pump(Clock::now() + std::chrono::milliseconds(20));
            while (m_channel.takeMessage(raw)) {
                Message m;
                if (decodeMessage(raw, m) && m.type == MsgType::Result && m.id == id)
                    return m;
            }
        }
        Message none;
        none.status = WireStatus::BadRequest;
        return none;
    }

    // The names of a listing, or nothing when it failed or did not end.
    std::vector<std::string> list()
    {
        Message req = named(MsgType::List, "*");
        req.id = ++m_id;
        m_channel.send(encodeMessage(req));
        BlockAssembler assembler;
        std::vector<uint8_t> block, raw;
        std::vector<std::string> names;
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < deadline && !assembler.finished()) {
            m_channel.pump(Clock::now() + std::chrono::milliseconds(20));
            Message m;
            while (m_channel.takeMessage(raw)) {
                bool done = false;
                std::vector<WireEntry> entries;
                if (!decodeMessage(raw, m) || m.id != req.id || m.type != MsgType::ListPart ||
                    !assembler.add(m.part, block, done) || (done && !decodeEntries(block, entries)))
                    continue;
                for (const auto &e : entries)
                    names.push_back(e.name);
            }
        }
        return assembler.finished() ? names : std::vector<std::string>{};
    }

    Message named(MsgType type, const std::string &name, const std::string &name2 = "")
    {
        Message m;
        m.type = type;
        m.name = name;
        m.name2 = name2;
        return m;
    }

    bool m_verbose = false;
    TempDir m_device;
    StreamPair m_pair;
    std::unique_ptr<ServerThread> m_server;
    Channel m_channel{*m_pair.a};
    uint16_t m_id = 0;
};

TEST_F(DeviceServerTest, HostileNamesAreRefusedBeforeAnyFileIsTouched)
{
    writeFile(m_device / "victim", {1});
    const std::vector<std::string> names = {
        "../victim", "/etc/passwd",       "..",   ".",           "a\\b", "a/b", std::string("a\0b", 3),
        "\x1b[2J",   "12345678901234567", "\xC4", ".vexo-part-x"};
    for (const auto &name : names) {
        SCOPED_TRACE(::testing::PrintToString(name));
        EXPECT_EQ(ask(named(MsgType::Lookup, name)).status, WireStatus::BadName);
        EXPECT_EQ(ask(named(MsgType::Delete, name)).status, WireStatus::BadName);
        EXPECT_EQ(ask(named(MsgType::Get, name)).status, WireStatus::BadName);
        EXPECT_EQ(ask(named(MsgType::Rename, "victim", name)).status, WireStatus::BadName);
        auto put = named(MsgType::PutOpen, name);
        put.overwrite = true;
        put.size = 1;
        put.hasPart = true;
        put.part.flags = kPartEndOfBlock | kPartEndOfStream;
        put.part.data = {0x66};
        EXPECT_EQ(ask(put).status, WireStatus::BadName);
    }
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{"victim"});
}

// Special files: a FIFO, a folder, symbolic links (one to a file outside the
// served folder) are neither listed nor served, and never block the server.
TEST_F(DeviceServerTest, SpecialFilesAreNeitherListedNorServed)
{
    TempDir outside;
    writeFile(outside / "secret", {5, 5, 5});
    writeFile(m_device / "plain", {1});
    ASSERT_EQ(symlink((outside / "secret").c_str(), (m_device / "outside").c_str()), 0);
    ASSERT_EQ(symlink("plain", (m_device / "inside").c_str()), 0);
    ASSERT_EQ(mkfifo((m_device / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((m_device / "dir").c_str(), 0700), 0);
    for (const std::string name : {"outside", "inside", "fifo", "dir"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ask(named(MsgType::Lookup, name)).status, WireStatus::NotFound);
        EXPECT_EQ(ask(named(MsgType::Get, name)).status, WireStatus::NotFound);
        EXPECT_EQ(ask(named(MsgType::Delete, name)).status, WireStatus::NotFound);
        EXPECT_EQ(ask(named(MsgType::Rename, name, "renamed")).status, WireStatus::NotFound);
    }
    EXPECT_EQ(list(), std::vector<std::string>{"plain"});
    EXPECT_EQ(ask(named(MsgType::Lookup, "plain")).status, WireStatus::Ok);
    EXPECT_EQ(readFile(outside / "secret"), (std::vector<uint8_t>{5, 5, 5}));
    EXPECT_EQ(listFolder(m_device.path()),
              (std::vector<std::string>{"dir", "fifo", "inside", "outside", "plain"}));
    // A server stuck in the FIFO's open would be let go here, so that a
    // regression fails the checks above instead of hanging the suite.
    const int writer = open((m_device / "fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        close(writer);
}

TEST_F(DeviceServerTest, MalformedAndMismatchedInputGivesCleanErrors)
{
    // Not a message at all: ignored, and the session goes on.
    m_channel.send({0x99, 1, 2, 3});
    m_channel.send({});
    EXPECT_EQ(ask(named(MsgType::Lookup, "none")).status, WireStatus::NotFound);

    // More data than declared, and a wrong CRC: refused, nothing left behind.
    auto put = named(MsgType::PutOpen, "f");
    put.overwrite = true;
    put.size = 2;
    put.hasPart = true;
    put.part.flags = kPartEndOfBlock | kPartEndOfStream;
    put.part.data = {1, 2, 3};
    EXPECT_EQ(ask(put).status, WireStatus::CheckFailed);
    put.part.data = {1, 2};
    put.part.flags |= kPartStreamCrc;
    put.part.streamCrc = 12345;
    EXPECT_EQ(ask(put).status, WireStatus::CheckFailed);
    // Data of a file that was never opened is dropped.
    Message data;
    data.type = MsgType::FileData;
    data.id = 999;
    data.hasPart = true;
    data.part.flags = kPartEndOfBlock | kPartEndOfStream;
    m_channel.send(encodeMessage(data));
    // A request the device does not serve.
    Message odd;
    odd.type = MsgType::GetOpen;
    EXPECT_EQ(ask(odd).status, WireStatus::BadRequest);
    EXPECT_TRUE(listFolder(m_device.path()).empty());
}

TEST_F(DeviceServerTest, AChainedOpenCountsOnlyInASessionThatAgreedOnItAfterAnOpen)
{
    auto open = named(MsgType::PutOpen, "a1.txt");
    open.overwrite = true;
    open.hasPart = true;
    open.part.flags = kPartEndOfBlock | kPartEndOfStream;
    open.part.data = {7};
    open.size = 1;
    auto next = open;
    next.type = MsgType::PutNext;
    next.name = "2";
    next.sharedHead = 1;
    next.sharedTail = 4;
    // A client without the capability: unknown, ignored.
    EXPECT_EQ(ask(open).status, WireStatus::Ok);
    m_channel.send(encodeMessage(next));
    EXPECT_EQ(ask(named(MsgType::Lookup, "a2.txt")).status, WireStatus::NotFound);
    // With it, but in a new session with no open before: ignored too.
    ASSERT_TRUE(hello(0x4321, kProtocolVersion, nullptr, kCapLeanBatch));
    m_channel.send(encodeMessage(next));
    EXPECT_EQ(ask(named(MsgType::Lookup, "a2.txt")).status, WireStatus::NotFound);
    // After an open it stands for the next id and the name it shares.
    EXPECT_EQ(ask(open).status, WireStatus::Ok);
    m_channel.send(encodeMessage(next));
    EXPECT_EQ(waitResult(static_cast<uint16_t>(m_id + 1)).status, WireStatus::Ok);
    EXPECT_EQ(readFile(m_device / "a2.txt"), std::vector<uint8_t>{7});
}

TEST_F(DeviceServerTest, RepeatedHelloKeepsTheSessionNewHelloStartsOver)
{
    auto put = named(MsgType::PutOpen, "half");
    put.overwrite = true;
    put.size = 100000;
    m_channel.send(encodeMessage(put)); // opened, never finished
    EXPECT_EQ(ask(named(MsgType::Lookup, "none")).status, WireStatus::NotFound);
    ASSERT_EQ(listFolder(m_device.path()).size(), 1u); // the temporary file
    // The same nonce again (its HelloAck was lost): the half-sent file stays.
    Hello h;
    h.caps = localCodecCaps();
    h.nonce = 0x1234;
    h.maxPayload = 2048;
    h.window = 4;
    m_channel.sendControl(FrameType::Hello, tagForNonce(0x1234), 0, encodeHello(h));
    EXPECT_EQ(ask(named(MsgType::Lookup, "none")).status, WireStatus::NotFound);
    EXPECT_EQ(listFolder(m_device.path()).size(), 1u);
    // A new client: the partial file goes.
    ASSERT_TRUE(hello(0x5678));
    EXPECT_EQ(ask(named(MsgType::Lookup, "none")).status, WireStatus::NotFound);
    EXPECT_TRUE(listFolder(m_device.path()).empty());
}

TEST_F(DeviceServerTest, ListingsEndWithTheirCountExceptForAVersionOneClient)
{
    writeFile(m_device / "a.txt", {1});
    writeFile(m_device / "b.txt", {2});
    for (const uint8_t protocol : {2, 1}) {
        SCOPED_TRACE(protocol);
        uint8_t agreed = 0;
        ASSERT_TRUE(hello(0x5000u + protocol, protocol, &agreed));
        EXPECT_EQ(agreed, protocol);
        Message req = named(MsgType::List, "*");
        req.id = ++m_id;
        m_channel.send(encodeMessage(req));
        BlockAssembler assembler;
        std::vector<uint8_t> block, raw;
        bool ended = false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(800);
        while (Clock::now() < deadline) {
            m_channel.pump(Clock::now() + std::chrono::milliseconds(20));
            Message m;
            bool done = false;
            while (m_channel.takeMessage(raw)) {
                ASSERT_TRUE(decodeMessage(raw, m));
                if (m.type == MsgType::ListPart) {
                    ASSERT_FALSE(ended);
                    ASSERT_TRUE(assembler.add(m.part, block, done));
                } else if (m.type == MsgType::Result) {
                    // Only after the whole stream, counting what it held.
                    ASSERT_TRUE(assembler.finished());
                    EXPECT_EQ(m.status, WireStatus::Ok);
                    EXPECT_EQ(m.size, 2u);
                    ended = true;
                }
            }
        }
        EXPECT_TRUE(assembler.finished());
        EXPECT_EQ(ended, protocol >= 2);
    }
}

TEST_F(DeviceServerTest, FramesOfAForgottenSessionAreAnsweredWithReset)
{
    const uint8_t oldTag = m_channel.tag();
    m_channel.sendControl(FrameType::Close, oldTag, 0, {});
    bool closed = false, reset = false;
    auto await = [&](bool &flag) {
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (!flag && Clock::now() < deadline) {
            m_channel.pump(Clock::now() + std::chrono::milliseconds(20));
            Frame f;
            while (m_channel.takeControl(f)) {
                closed = closed || (f.type == FrameType::CloseAck && f.tag == oldTag);
                reset = reset || (f.type == FrameType::Reset && f.tag == oldTag);
            }
        }
    };
    await(closed);
    // Still talking in the closed session, as a client that missed the close would.
    m_channel.send(encodeMessage(named(MsgType::Lookup, "x")));
    await(reset);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(reset);
}

class DeviceServerLogTest : public DeviceServerTest
{
protected:
    DeviceServerLogTest() { m_verbose = true; }
};

// What a hostile client names reaches the log quoted: one line per request,
// no terminal control sequence.
TEST_F(DeviceServerLogTest, ForbiddenNamesAreLoggedQuotedAndEscaped)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ask(named(MsgType::Lookup, "\x1B[2J\x1B]0;owned\x07")).status, WireStatus::BadName);
    EXPECT_EQ(ask(named(MsgType::Get, "x\nvexo-deviced: forged")).status, WireStatus::BadName);
    EXPECT_EQ(ask(named(MsgType::Delete, "../" + std::string(200, 'a'))).status, WireStatus::BadName);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.find('\x1B'), std::string::npos) << log;
    EXPECT_EQ(log.find('\x07'), std::string::npos) << log;
    EXPECT_EQ(log.find("\nvexo-deviced: forged"), std::string::npos) << log;
    EXPECT_NE(log.find("lookup \"\\x1B[2J\\x1B]0;owned\\x07\": bad name"), std::string::npos) << log;
    EXPECT_NE(log.find("send \"x\\x0Avexo-deviced: forged\": bad name"), std::string::npos) << log;
    EXPECT_EQ(listFolder(m_device.path()), std::vector<std::string>{});
}

} // namespace
