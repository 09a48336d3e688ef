#include "LinkSimulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace vexo::test
{
namespace
{

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One program's end of the cable.
class End
{
public:
    explicit End(const std::string &path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~End()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    End(const End &) = delete;
    End &operator=(const End &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // Writes everything, waiting for room; false on error or after `seconds`.
    bool writeAll(const std::string &bytes, double seconds = 10)
    {
        const auto start = Clock::now();
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<size_t>(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else if (!wait(POLLOUT, seconds - secondsSince(start))) {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes came or `seconds` passed.
    std::string read(size_t count, double seconds = 10)
    {
        const auto start = Clock::now();
        std::string out;
        char buffer[4096];
        while (out.size() < count) {
            const ssize_t got = ::read(m_fd, buffer, std::min(sizeof buffer, count - out.size()));
            if (got > 0) {
                out.append(buffer, static_cast<size_t>(got));
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else if (!wait(POLLIN, seconds - secondsSince(start))) {
                break;
            }
        }
        return out;
    }

private:
    bool wait(short events, double seconds)
    {
        if (seconds <= 0) {
            return false;
        }
        pollfd pfd{m_fd, events, 0};
        return ::poll(&pfd, 1, static_cast<int>(seconds * 1000) + 1) > 0;
    }

    int m_fd;
};

LinkSimOptions options(double rate, int latencyMs = 0)
{
    LinkSimOptions o;
    o.bytesPerSecond = rate;
    o.latencyMs = latencyMs;
    return o;
}

// Compares without printing megabytes of data when they differ.
::testing::AssertionResult sameBytes(const std::string &actual, const std::string &expected)
{
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << "got " << actual.size() << " bytes, expected " << expected.size()
                                         << ", first difference at " << at;
}

std::string noise(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed;
    for (char &c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

TEST(LinkSimulator, CarriesEveryByteValueIntactBothWaysAtOnce)
{
    for (double rate : {0.0, 400000.0}) {
        LinkSimulator link(options(rate));
        std::string error;
        ASSERT_TRUE(link.start(&error)) << error;
        End a(link.endA());
        End b(link.endB());
        ASSERT_TRUE(a.isOpen() && b.isOpen());

        // Bytes a cooked terminal would eat or translate: ^C, ^D, ^S, ^Q, CR, LF, DEL, 0xff.
        const std::string aToB = std::string("\x03\x04\x13\x11\r\n\x7f\xff\x00", 9) + noise(60000, 1);
        const std::string bToA = noise(60000, 2);
        std::string atB;
        std::string atA;
        std::thread readerB([&] { atB = b.read(aToB.size()); });
        std::thread readerA([&] { atA = a.read(bToA.size()); });
        std::thread writerB([&] { EXPECT_TRUE(b.writeAll(bToA)); });
        EXPECT_TRUE(a.writeAll(aToB));
        writerB.join();
        readerA.join();
        readerB.join();
        EXPECT_TRUE(sameBytes(atB, aToB)) << rate;
        EXPECT_TRUE(sameBytes(atA, bToA)) << rate;

        // The relay counts a write after the reader may already hold its bytes.
        LinkSimCounters counters = link.counters(LinkSimulator::Direction::AToB);
        for (int i = 0; i < 200 && counters.delivered < aToB.size(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            counters = link.counters(LinkSimulator::Direction::AToB);
        }
        EXPECT_EQ(counters.received, aToB.size());
        EXPECT_EQ(counters.delivered, aToB.size());
        EXPECT_EQ(counters.flipped + counters.dropped + counters.cut, 0u);
    }
}

TEST(LinkSimulator, PacesAtTheLineRate)
{
    // 100 KB at 200 KB/s: half a second of line time. The lower bound is what
    // pacing guarantees; the upper one only catches a grossly slow relay.
    LinkSimulator link(options(200000));
    ASSERT_TRUE(link.start(nullptr));
    End a(link.endA());
    End b(link.endB());
    const std::string data = noise(100000, 3);
    const auto start = Clock::now();
    std::thread writer([&] { EXPECT_TRUE(a.writeAll(data)); });
    EXPECT_TRUE(sameBytes(b.read(data.size()), data));
    const double elapsed = secondsSince(start);
    writer.join();
    EXPECT_GE(elapsed, 0.49);
    EXPECT_LT(elapsed, 2.0);
}

TEST(LinkSimulator, AddsLatencyEachWay)
{
    LinkSimulator link(options(0, 100));
    ASSERT_TRUE(link.start(nullptr));
    End a(link.endA());
    End b(link.endB());
    const auto start = Clock::now();
    ASSERT_TRUE(a.writeAll("?"));
    ASSERT_EQ(b.read(1, 5), "?");
    ASSERT_TRUE(b.writeAll("!"));
    ASSERT_EQ(a.read(1, 5), "!");
    const double roundTrip = secondsSince(start);
    EXPECT_GE(roundTrip, 0.199);
    EXPECT_LT(roundTrip, 1.5);
}

TEST(LinkSimulator, SameSeedGivesSameDamage)
{
    const std::string data = noise(30000, 4);
    auto run = [&](uint32_t seed, LinkSimCounters *counters) {
        LinkSimOptions o = options(0);
        o.bitFlipPerByte = 1e-3;
        o.dropPerByte = 1e-3;
        o.seed = seed;
        LinkSimulator link(o);
        EXPECT_TRUE(link.start(nullptr));
        End a(link.endA());
        End b(link.endB());
        std::thread writer([&] { EXPECT_TRUE(a.writeAll(data)); });
        // Every byte is either delivered or dropped: read until the relay
        // has accounted for all of them.
        std::string out;
        const auto start = Clock::now();
        while (secondsSince(start) < 10) {
            out += b.read(data.size(), 0.05);
            *counters = link.counters(LinkSimulator::Direction::AToB);
            if (counters->delivered + counters->dropped == data.size() && out.size() == counters->delivered) {
                break;
            }
        }
        writer.join();
        return out;
    };
    LinkSimCounters first;
    LinkSimCounters again;
    LinkSimCounters other;
    const std::string out1 = run(9, &first);
    const std::string out2 = run(9, &again);
    const std::string out3 = run(10, &other);
    EXPECT_TRUE(sameBytes(out1, out2));
    EXPECT_NE(out1, out3);
    EXPECT_NE(out1, data);
    EXPECT_GT(first.flipped, 0u);
    EXPECT_GT(first.dropped, 0u);
    EXPECT_EQ(first.flipped, again.flipped);
    EXPECT_EQ(first.dropped, again.dropped);
    EXPECT_EQ(out1.size(), data.size() - first.dropped);
}

TEST(LinkSimulator, EndCanBeClosedAndReopened)
{
    LinkSimulator link(options(0));
    ASSERT_TRUE(link.start(nullptr));
    End a(link.endA());
    {
        End b(link.endB());
        ASSERT_TRUE(a.writeAll("one"));
        EXPECT_EQ(b.read(3, 5), "one");
    }
    End b(link.endB());
    ASSERT_TRUE(b.isOpen());
    ASSERT_TRUE(a.writeAll("two"));
    EXPECT_EQ(b.read(3, 5), "two");
    ASSERT_TRUE(b.writeAll("back"));
    EXPECT_EQ(a.read(4, 5), "back");
}

TEST(LinkSimulator, CutCableLosesTrafficUntilMended)
{
    LinkSimulator link(options(0));
    ASSERT_TRUE(link.start(nullptr));
    End a(link.endA());
    End b(link.endB());
    link.setCut(true);
    ASSERT_TRUE(a.writeAll("lost"));
    ASSERT_TRUE(b.writeAll("gone"));
    EXPECT_EQ(b.read(1, 0.3), "");
    EXPECT_EQ(a.read(1, 0.01), "");
    EXPECT_EQ(link.counters(LinkSimulator::Direction::AToB).cut, 4u);
    EXPECT_EQ(link.counters(LinkSimulator::Direction::BToA).cut, 4u);

    link.setCut(false);
    ASSERT_TRUE(a.writeAll("back"));
    EXPECT_EQ(b.read(4, 5), "back");
}

TEST(LinkSimulator, StopReturnsPromptlyWhileTheReceiverIsNotReading)
{
    LinkSimulator link(options(0, 20));
    ASSERT_TRUE(link.start(nullptr));
    End a(link.endA());
    End b(link.endB()); // opened, never read
    std::atomic<bool> done{false};
    // Fill every buffer on the way until the sender is held back.
    std::thread writer([&] {
        const std::string block(65536, 'x');
        while (!done && a.writeAll(block, 0.2)) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(link.counters(LinkSimulator::Direction::AToB).received, 0u);
    const auto start = Clock::now();
    link.stop();
    EXPECT_LT(secondsSince(start), 1.0);
    done = true;
    writer.join();
    link.stop(); // twice is harmless
    EXPECT_EQ(link.endA(), "");
}

} // namespace
} // namespace vexo::test
