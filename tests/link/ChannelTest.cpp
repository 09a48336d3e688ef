#include "Channel.h"
#include "LinkTestSupport.h"
#include "Pipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

using namespace vexo::link;
using namespace vexo::link::test;

namespace
{

std::vector<uint8_t> numbered(uint32_t i, size_t size)
{
    auto v = randomBytes(size, i);
    v[0] = static_cast<uint8_t>(i);
    v[1] = static_cast<uint8_t>(i >> 8);
    return v;
}

// Sends `count` messages from a to b over a damaging line (both directions
// damaged) and checks they arrive once each, in order, unchanged.
void exchange(double flip, double drop, int count)
{
    StreamPair pair;
    auto aSide = std::make_shared<FaultyStream>(pair.a, flip, drop, 11);
    auto bSide = std::make_shared<FaultyStream>(pair.b, flip, drop, 12);
    Channel a(*aSide), b(*bSide);
    ChannelConfig config;
    config.maxPayload = 1024;
    config.windowFrames = 8;
    config.minRtoMs = 50;
    config.initialRtoMs = 100;
    a.start(5, config);
    b.start(5, config);

    std::atomic<bool> done{false};
    std::thread receiver([&] {
        int expected = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (expected < count && Clock::now() < deadline) {
            ASSERT_TRUE(b.pump(Clock::now() + std::chrono::milliseconds(20)));
            std::vector<uint8_t> m;
            while (b.takeMessage(m)) {
                ASSERT_EQ(m, numbered(static_cast<uint32_t>(expected), 200 + expected % 800)) << expected;
                ++expected;
            }
        }
        EXPECT_EQ(expected, count);
        // Keep acknowledging until the sender has heard everything.
        while (!done.load())
            b.pump(Clock::now() + std::chrono::milliseconds(10));
    });
    int queued = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while ((queued < count || !a.idle()) && Clock::now() < deadline) {
        while (queued < count && a.hasRoom()) {
            a.send(numbered(static_cast<uint32_t>(queued), 200 + queued % 800));
            ++queued;
        }
        ASSERT_TRUE(a.pump(Clock::now() + std::chrono::milliseconds(20)));
    }
    EXPECT_TRUE(a.idle());
    done.store(true);
    receiver.join();
    if (flip > 0) {
        EXPECT_GT(a.stats().framesResent, 0u);
    }
}

TEST(ChannelTest, DeliversInOrderOnACleanLine)
{
    exchange(0, 0, 500);
}

TEST(ChannelTest, DeliversInOrderThroughBitFlipsAndLostBytes)
{
    exchange(2e-4, 5e-5, 800);
}

TEST(ChannelTest, MessagesShrinkOnADamagingLineNeverBelowTheFloorAndGrowBackWhenItClears)
{
    StreamPair pair;
    auto aSide = std::make_shared<FaultyStream>(pair.a, 0, 0, 31);
    auto bSide = std::make_shared<FaultyStream>(pair.b, 0, 0, 32);
    Channel a(*aSide), b(*bSide);
    ChannelConfig config;
    config.minRtoMs = 50;
    config.initialRtoMs = 100;
    a.start(3, config);
    b.start(3, config);
    // Sends 400 KiB in messages of the size the sender picks; returns the smallest.
    const auto send = [&] {
        size_t smallest = config.maxPayload;
        size_t bytes = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while ((bytes < 400 * 1024 || !a.idle()) && Clock::now() < deadline) {
            while (bytes < 400 * 1024 && a.hasRoom()) {
                smallest = std::min(smallest, a.dataPayload());
                bytes += a.dataPayload();
                a.send(std::vector<uint8_t>(a.dataPayload(), 0x55));
            }
            a.pump(Clock::now() + std::chrono::milliseconds(5));
            b.pump(Clock::now() + std::chrono::milliseconds(5));
            std::vector<uint8_t> m;
            while (b.takeMessage(m)) {
            }
        }
        EXPECT_TRUE(a.idle());
        return smallest;
    };
    // A peer that answers late (a busy machine) makes the timers resend: that
    // says nothing about the line.
    a.send(std::vector<uint8_t>(64, 0x55));
    for (const auto stall = Clock::now() + std::chrono::milliseconds(400); Clock::now() < stall;)
        a.pump(stall);
    EXPECT_EQ(send(), config.maxPayload);
    aSide->setFlip(3e-4);
    bSide->setFlip(3e-4);
    const size_t noisy = send();
    EXPECT_LT(noisy, config.maxPayload);
    EXPECT_GE(noisy, 848u); // 98 % of a clean line
    aSide->setFlip(0);
    bSide->setFlip(0);
    send();
    EXPECT_EQ(a.dataPayload(), config.maxPayload);
}

// Hands on what it reads at a slow serial line's pace: a few bytes at a time,
// never a pause between them.
class SlowLineStream : public ByteStream
{
public:
    SlowLineStream(std::shared_ptr<ByteStream> inner, double bytesPerSecond)
        : m_inner(std::move(inner)), m_rate(bytesPerSecond)
    {
    }
    int wait(bool wantWrite, int timeoutMs) override { return m_inner->wait(wantWrite, timeoutMs); }
    long writeSome(const uint8_t *data, size_t size) override { return m_inner->writeSome(data, size); }
    long readSome(uint8_t *buffer, size_t capacity) override
    {
        const auto now = Clock::now();
        m_credit = std::min(16.0, m_credit + std::chrono::duration<double>(now - m_last).count() * m_rate);
        m_last = now;
        if (m_credit < 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        }
        const long n = m_inner->readSome(buffer, std::min(capacity, static_cast<size_t>(m_credit)));
        if (n > 0)
            m_credit -= static_cast<double>(n);
        return n;
    }

private:
    std::shared_ptr<ByteStream> m_inner;
    double m_rate;
    double m_credit = 0;
    Clock::time_point m_last = Clock::now();
};

// At 9,600 baud a 2 KiB frame takes over 2 s to arrive; bytes that keep
// coming must never be taken for a frame cut off by a pulled cable.
TEST(ChannelTest, AFrameSlowerThanASecondArrivesWhole)
{
    StreamPair pair;
    auto slow = std::make_shared<SlowLineStream>(pair.b, 960);
    Channel a(*pair.a), b(*slow);
    ChannelConfig config;
    config.maxPayload = 2048;
    config.initialRtoMs = 3000;
    config.minRtoMs = 3000;
    a.start(3, config);
    b.start(3, config);
    const auto message = numbered(7, 2048);
    a.send(message);
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (got.empty() && Clock::now() < deadline) {
        ASSERT_TRUE(a.pump(Clock::now() + std::chrono::milliseconds(5)));
        ASSERT_TRUE(b.pump(Clock::now() + std::chrono::milliseconds(5)));
        b.takeMessage(got);
    }
    EXPECT_EQ(got, message);
    EXPECT_EQ(a.stats().framesResent, 0u);
}

// Writes whole frames on, losing the first transmission of the Data frames
// with the given sequence numbers, as a line that swallows a frame would.
class FrameLosingStream : public ByteStream
{
public:
    FrameLosingStream(std::shared_ptr<ByteStream> inner, std::vector<uint16_t> lose)
        : m_inner(std::move(inner)), m_lose(std::move(lose))
    {
    }
    int wait(bool wantWrite, int timeoutMs) override { return m_inner->wait(wantWrite, timeoutMs); }
    long readSome(uint8_t *buffer, size_t capacity) override { return m_inner->readSome(buffer, capacity); }
    long writeSome(const uint8_t *data, size_t size) override
    {
        m_frame.insert(m_frame.end(), data, data + size);
        while (m_frame.size() >= kFrameHeaderSize) {
            const size_t total = kFrameOverhead + (m_frame[5] | m_frame[6] << 8);
            if (m_frame.size() < total)
                break;
            const auto lost = std::find(m_lose.begin(), m_lose.end(), m_frame[3] | m_frame[4] << 8);
            if (m_frame[1] == static_cast<uint8_t>(FrameType::Data) && lost != m_lose.end())
                m_lose.erase(lost);
            else
                writeAll(m_frame.data(), total);
            m_frame.erase(m_frame.begin(), m_frame.begin() + static_cast<std::ptrdiff_t>(total));
        }
        return static_cast<long>(size);
    }

private:
    void writeAll(const uint8_t *data, size_t size)
    {
        while (size > 0) {
            const long n = m_inner->writeSome(data, size);
            if (n <= 0) {
                m_inner->wait(true, 100);
                continue;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }

    std::shared_ptr<ByteStream> m_inner;
    std::vector<uint16_t> m_lose;
    std::vector<uint8_t> m_frame;
};

// A lost frame is sent again as soon as the loss can be known, not after the
// time-out, and the sender never sits out its wait with room in the window:
// one lost in the middle (the frames after it show the gap) and the last one
// (nothing after it can show it).
TEST(ChannelTest, ALostFrameIsSentAgainWithoutWaitingForTheTimeOut)
{
    for (const uint16_t lost : {10, 39}) {
        SCOPED_TRACE(lost);
        StreamPair pair;
        auto aSide = std::make_shared<FrameLosingStream>(pair.a, std::vector<uint16_t>{lost});
        Channel a(*aSide), b(*pair.b);
        ChannelConfig config;
        config.initialRtoMs = 3000;
        config.minRtoMs = 3000;
        a.start(4, config);
        b.start(4, config);
        std::atomic<bool> done{false};
        std::thread receiver([&] {
            std::vector<uint8_t> m;
            while (!done.load()) {
                b.pump(Clock::now() + std::chrono::milliseconds(10));
                while (b.takeMessage(m)) {
                }
            }
        });
        // One message at a time, with a long wait each, as a server answering requests does.
        const auto started = Clock::now();
        int queued = 0;
        while ((queued < 40 || !a.idle()) && Clock::now() - started < std::chrono::seconds(10)) {
            if (queued < 40 && a.hasRoom())
                a.send(numbered(static_cast<uint32_t>(queued++), 600));
            ASSERT_TRUE(a.pump(Clock::now() + std::chrono::seconds(5)));
        }
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        done.store(true);
        receiver.join();
        EXPECT_TRUE(a.idle());
        EXPECT_LT(took, 1500);
        EXPECT_GE(a.stats().framesResent, 1u);
    }
}

TEST(ChannelTest, GivesUpWhenThePeerNeverAnswers)
{
    StreamPair pair;
    Channel a(*pair.a);
    ChannelConfig config;
    config.initialRtoMs = 20;
    config.minRtoMs = 20;
    config.maxRtoMs = 40;
    config.maxRetries = 3;
    a.start(1, config);
    a.send({1, 2, 3});
    const auto started = Clock::now();
    while (a.pump(Clock::now() + std::chrono::milliseconds(50)) &&
           Clock::now() - started < std::chrono::seconds(5)) {
    }
    EXPECT_TRUE(a.failed());
    EXPECT_FALSE(a.streamBroken());
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
}

TEST(ChannelTest, FramesOfAnotherSessionAreHandedOutNotDelivered)
{
    StreamPair pair;
    Channel a(*pair.a), b(*pair.b);
    a.start(1, ChannelConfig{});
    b.start(2, ChannelConfig{});
    a.send({9, 9});
    a.pump(Clock::now() + std::chrono::milliseconds(20));
    b.pump(Clock::now() + std::chrono::milliseconds(100));
    std::vector<uint8_t> m;
    EXPECT_FALSE(b.takeMessage(m));
    Frame f;
    ASSERT_TRUE(b.takeControl(f));
    EXPECT_EQ(f.type, FrameType::Data);
    EXPECT_EQ(f.tag, 1);
}

TEST(ChannelTest, ReportsAClosedStream)
{
    StreamPair pair;
    Channel a(*pair.a);
    a.start(1, ChannelConfig{});
    pair.b.reset();
    EXPECT_FALSE(a.pump(Clock::now() + std::chrono::milliseconds(500)));
    EXPECT_TRUE(a.streamBroken());
}

// A line whose far end reads nothing until told to, then everything.
class HeldLine : public ByteStream
{
public:
    bool open = false;
    std::vector<uint8_t> taken;
    int wait(bool wantWrite, int) override { return wantWrite && open ? kWritable : 0; }
    long readSome(uint8_t *, size_t) override { return 0; }
    long writeSome(const uint8_t *data, size_t size) override
    {
        if (!open)
            return 0;
        taken.insert(taken.end(), data, data + size);
        return static_cast<long>(size);
    }
};

TEST(ChannelTest, ADroppedSessionIsAnnouncedOnAFullLineWithinItsBound)
{
    HeldLine line;
    Channel a(line);
    for (int i = 0; i < 10000; ++i)
        a.sendControl(FrameType::CloseAck, 9, 0, {});
    // A peer that never reads has its sessions dropped again and again.
    for (uint8_t tag = 1; tag <= 200; ++tag) {
        a.start(tag, ChannelConfig{});
        a.send({1, 2, 3});
        a.drop();
    }
    line.open = true;
    ASSERT_TRUE(a.flush(Clock::now() + std::chrono::seconds(5)));
    EXPECT_LE(line.taken.size(), Channel::kMaxOutput + 64 + kFrameOverhead);
    FrameDecoder decoder;
    decoder.feed(line.taken.data(), line.taken.size());
    Frame f;
    bool first = false;
    while (decoder.next(f) == FrameDecoder::Result::Frame) {
        EXPECT_NE(f.type, FrameType::Data);
        first = first || (f.type == FrameType::Reset && f.tag == 1);
    }
    EXPECT_TRUE(first);
}

TEST(PipeTest, DefaultDeviceNodesFollowThePortNumber)
{
    Pipe serial(Pipe::Kind::Uart);
    serial.setLine(3, 57600);
    EXPECT_EQ(serial.devicePath(), "/dev/ttyS2");
    EXPECT_EQ(serial.baud(), 57600);
    Pipe usb(Pipe::Kind::Usb);
    EXPECT_EQ(usb.devicePath(), "/dev/ttyACM0");
    EXPECT_EQ(usb.baud(), 0); // a USB pipe never sets a speed
    usb.setDevicePath("/dev/ttyACM1");
    EXPECT_EQ(usb.devicePath(), "/dev/ttyACM1");
}

} // namespace
