#pragma once

#include "FaultInjector.h"
#include "FrameFaults.h"
#include "LinkSimOptions.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

namespace vexo::test
{

// One direction of the simulated line, without any I/O: bytes come in from
// the sender, cross the line one after another at the line rate, meet their
// faults, wait out the latency and queue up for the receiver. All times are
// nanoseconds on one monotonic clock, supplied by the caller, so the timing
// rules can be checked without real time passing.
class LinkLine
{
public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

    LinkLine(const LinkSimOptions &options, uint64_t faultSeed);

    // How many bytes the line will take from the sender now. It holds only a
    // few milliseconds of line time, so a sender that outruns the line is
    // held back by its own buffers, as with a real serial port.
    size_t intakeRoom() const;
    // Bytes the sender wrote, seen at `nowNs`; at most intakeRoom() of them.
    void accept(const uint8_t *data, size_t size, int64_t nowNs);

    // Sends whatever the line had time to send by `nowNs` and releases bytes
    // whose latency has passed. While `cut` is set, bytes crossing the line
    // or still under way are lost (counted as cut).
    void advance(int64_t nowNs, bool cut);

    // Bytes that have arrived and wait for the receiver to take them.
    const uint8_t *pending() const { return m_pending.data() + m_pendingHead; }
    size_t pendingSize() const { return m_pending.size() - m_pendingHead; }
    // The receiver took the first `count` pending bytes.
    void consume(size_t count);

    // The earliest time at which advance() has something to do, or kNever.
    // A sender's new bytes or a receiver's room may come sooner.
    int64_t nextEventNs() const;

    const LinkSimCounters &counters() const { return m_counters; }

private:
    size_t downstreamRoom() const;
    void release(int64_t nowNs, bool cut);

    double m_byteNs; // line time of one byte; 0 = unthrottled
    int64_t m_latencyNs;
    size_t m_intakeLimit;
    size_t m_downstreamLimit;
    FaultInjector m_faults;
    FrameFaults m_frameFaults;
    double m_lineFreeNs = 0; // when the line finishes the last byte it sent
    std::deque<uint8_t> m_intake;
    std::deque<std::pair<int64_t, uint8_t>> m_underway; // (arrival time, byte)
    std::vector<uint8_t> m_pending;
    size_t m_pendingHead = 0;
    LinkSimCounters m_counters;
};

} // namespace vexo::test
