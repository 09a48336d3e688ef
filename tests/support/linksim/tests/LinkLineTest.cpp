#include "LinkLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexo::test
{
namespace
{

constexpr int64_t kMs = 1000000;

LinkSimOptions lineOptions(double rate, int latencyMs = 0, double flip = 0, double drop = 0,
                           uint32_t seed = 1)
{
    LinkSimOptions options;
    options.bytesPerSecond = rate;
    options.latencyMs = latencyMs;
    options.bitFlipPerByte = flip;
    options.dropPerByte = drop;
    options.seed = seed;
    return options;
}

std::string takeAll(LinkLine &line)
{
    std::string out(reinterpret_cast<const char *>(line.pending()), line.pendingSize());
    line.consume(line.pendingSize());
    return out;
}

void send(LinkLine &line, const std::string &bytes, int64_t nowNs)
{
    line.accept(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), nowNs);
}

// Pushes `input` through a line as fast as it takes it, reading everything
// out, with time advancing in steps of `stepNs`.
std::string relay(LinkLine &line, const std::string &input, int64_t stepNs, int64_t *endNs = nullptr)
{
    std::string out;
    size_t sent = 0;
    int64_t now = 0;
    for (int guard = 0; guard < 10000000; ++guard, now += stepNs) {
        const size_t chunk = std::min(line.intakeRoom(), input.size() - sent);
        send(line, input.substr(sent, chunk), now);
        sent += chunk;
        line.advance(now, false);
        out += takeAll(line);
        if (sent == input.size() && line.nextEventNs() == LinkLine::kNever) {
            break;
        }
    }
    if (endNs) {
        *endNs = now;
    }
    return out;
}

std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 256) & 0xff);
    }
    return bytes;
}

TEST(LinkLine, BytesLeaveOnlyWhenTheLineHasSentThePreviousOnes)
{
    LinkLine line(lineOptions(1000), 7); // one byte per millisecond
    send(line, "abcdefghij", 0);
    line.advance(kMs / 2, false);
    EXPECT_EQ(takeAll(line), "");
    EXPECT_EQ(line.nextEventNs(), kMs);
    line.advance(kMs, false);
    EXPECT_EQ(takeAll(line), "a");
    line.advance(4 * kMs + kMs / 2, false);
    EXPECT_EQ(takeAll(line), "bcd");
    // A late wake-up catches up: the bytes were waiting, the line was busy.
    line.advance(20 * kMs, false);
    EXPECT_EQ(takeAll(line), "efghij");
    EXPECT_EQ(line.nextEventNs(), LinkLine::kNever);

    // Idle time is not saved up: after a pause the next byte still needs its
    // full millisecond.
    send(line, "k", 100 * kMs);
    line.advance(100 * kMs + kMs / 2, false);
    EXPECT_EQ(takeAll(line), "");
    line.advance(101 * kMs, false);
    EXPECT_EQ(takeAll(line), "k");
}

TEST(LinkLine, LongTransferKeepsTheLineRateWhateverTheWakeUps)
{
    const std::string input = pattern(11520);
    for (int64_t step : {int64_t{87000}, int64_t{300000}, int64_t{1300000}}) {
        LinkLine line(lineOptions(11520), 7);
        int64_t end = 0;
        EXPECT_EQ(relay(line, input, step, &end), input);
        // One second of line time, give or take a wake-up interval.
        EXPECT_GE(end, 1000 * kMs - step) << step;
        EXPECT_LE(end, 1000 * kMs + 2 * step) << step;
    }
}

TEST(LinkLine, LatencyDelaysEveryByteAfterItCrossedTheLine)
{
    LinkLine line(lineOptions(1000, 10), 7);
    send(line, "xy", 0);
    line.advance(10 * kMs, false); // x crossed at 1 ms, arrives at 11 ms
    EXPECT_EQ(takeAll(line), "");
    EXPECT_EQ(line.nextEventNs(), 11 * kMs);
    line.advance(11 * kMs, false);
    EXPECT_EQ(takeAll(line), "x");
    line.advance(12 * kMs, false);
    EXPECT_EQ(takeAll(line), "y");

    // Unthrottled, a byte crosses when the line is advanced.
    LinkLine unthrottled(lineOptions(0, 5), 7);
    send(unthrottled, "z", 0);
    unthrottled.advance(0, false);
    unthrottled.advance(4 * kMs, false);
    EXPECT_EQ(takeAll(unthrottled), "");
    unthrottled.advance(5 * kMs, false);
    EXPECT_EQ(takeAll(unthrottled), "z");
}

TEST(LinkLine, ReceiverThatStopsReadingHoldsTheSenderBackWithoutLaterBurst)
{
    LinkLine line(lineOptions(100000), 7); // 10 us per byte
    const size_t intake = line.intakeRoom();
    EXPECT_GE(intake, 64u);
    EXPECT_LT(intake, 4096u);

    // Nobody reads: the line fills what it holds, then takes nothing more.
    int64_t now = 0;
    size_t accepted = 0;
    for (; now < 2000 * kMs; now += kMs) {
        const std::string chunk(line.intakeRoom(), 'q');
        send(line, chunk, now);
        accepted += chunk.size();
        line.advance(now, false);
    }
    EXPECT_EQ(line.intakeRoom(), 0u);
    EXPECT_LT(line.pendingSize(), 64u * 1024);
    EXPECT_EQ(accepted, line.pendingSize() + intake);

    // Once the receiver reads again, the waiting bytes flow at the line rate,
    // not all at once.
    line.consume(line.pendingSize());
    line.advance(now, false); // one millisecond after the last look

    EXPECT_LE(line.pendingSize(), 101u);
}

TEST(LinkLine, FaultsDependOnlyOnSeedAndBytes)
{
    const std::string input = pattern(200000);
    auto run = [&](uint32_t seed, int64_t step) {
        LinkLine line(lineOptions(0, 0, 1e-3, 1e-3), seed);
        const std::string out = relay(line, input, step);
        return std::make_pair(out, line.counters());
    };
    const auto first = run(42, 1000);
    const auto again = run(42, 777777); // other timing, same faults
    const auto other = run(43, 1000);
    EXPECT_EQ(first.first, again.first);
    EXPECT_NE(first.first, other.first);

    const LinkSimCounters &c = first.second;
    // 200 expected of each; far outside these bounds means a broken generator.
    EXPECT_GT(c.flipped, 120u);
    EXPECT_LT(c.flipped, 300u);
    EXPECT_GT(c.dropped, 120u);
    EXPECT_LT(c.dropped, 300u);
    EXPECT_EQ(c.received, input.size());
    EXPECT_EQ(c.delivered + c.dropped, input.size());
    EXPECT_EQ(first.first.size(), c.delivered);

    // Without drops, every damaged byte differs from the original in exactly one bit.
    LinkLine flipsOnly(lineOptions(0, 0, 1e-2), 5);
    const std::string out = relay(flipsOnly, input, 1000);
    ASSERT_EQ(out.size(), input.size());
    uint64_t damaged = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        const unsigned diff = static_cast<unsigned char>(out[i] ^ input[i]);
        if (diff != 0) {
            ++damaged;
            EXPECT_EQ(diff & (diff - 1), 0u) << "byte " << i;
        }
    }
    EXPECT_EQ(damaged, flipsOnly.counters().flipped);
}

TEST(LinkLine, CutCableLosesBytesCrossingAndUnderWay)
{
    LinkLine line(lineOptions(1000, 10), 7);
    send(line, "ab", 0);
    line.advance(2 * kMs, false); // both crossed, still under way
    line.advance(3 * kMs, true);
    send(line, "cd", 3 * kMs);
    line.advance(50 * kMs, true);
    EXPECT_EQ(takeAll(line), "");
    EXPECT_EQ(line.counters().cut, 4u);

    send(line, "e", 60 * kMs);
    line.advance(80 * kMs, false);
    EXPECT_EQ(takeAll(line), "e");
}

} // namespace
} // namespace vexo::test
