#include "LinkLine.h"

#include <algorithm>
#include <cmath>

namespace vexo::test
{

namespace
{
// The relay wakes up every fraction of a millisecond, but on a busy machine
// a wake-up can come late; the line keeps 20 ms of data in hand so that a
// late wake-up does not leave it idle while the sender has data waiting.
constexpr double kIntakeSeconds = 0.020;
constexpr size_t kMinIntake = 64;
constexpr size_t kUnthrottledIntake = 64 * 1024;
// Arrived bytes the receiver has not taken yet, on top of those under way.
constexpr size_t kPendingLimit = 16 * 1024;
} // namespace

LinkLine::LinkLine(const LinkSimOptions &options, uint64_t faultSeed)
    : m_byteNs(options.bytesPerSecond > 0 ? 1e9 / options.bytesPerSecond : 0),
      m_latencyNs(options.latencyMs > 0 ? int64_t{options.latencyMs} * 1000000 : 0),
      m_faults(options.bitFlipPerByte, options.dropPerByte, faultSeed),
      m_frameFaults(options.frameDropEvery, options.frameDamageEvery)
{
    if (m_byteNs > 0) {
        const double perWakeup = options.bytesPerSecond * kIntakeSeconds;
        m_intakeLimit = std::clamp(static_cast<size_t>(perWakeup), kMinIntake, kUnthrottledIntake);
    } else {
        m_intakeLimit = kUnthrottledIntake;
    }
    // Room for everything that can be under way during the latency, so that
    // latency alone never slows the line down.
    size_t underway = 0;
    if (m_latencyNs > 0) {
        underway = m_byteNs > 0 ? static_cast<size_t>(2.0 * static_cast<double>(m_latencyNs) / m_byteNs) + 1
                                : 256 * 1024;
    }
    m_downstreamLimit = kPendingLimit + underway;
}

size_t LinkLine::intakeRoom() const
{
    return m_intake.size() < m_intakeLimit ? m_intakeLimit - m_intake.size() : 0;
}

size_t LinkLine::downstreamRoom() const
{
    const size_t used = m_underway.size() + pendingSize();
    return used < m_downstreamLimit ? m_downstreamLimit - used : 0;
}

void LinkLine::accept(const uint8_t *data, size_t size, int64_t nowNs)
{
    if (size == 0) {
        return;
    }
    // An idle line starts on a byte the moment it arrives, not earlier:
    // idle time is never saved up as credit.
    if (m_intake.empty() && m_lineFreeNs < static_cast<double>(nowNs)) {
        m_lineFreeNs = static_cast<double>(nowNs);
    }
    m_intake.insert(m_intake.end(), data, data + size);
    m_counters.received += size;
}

void LinkLine::release(int64_t nowNs, bool cut)
{
    while (!m_underway.empty() && (cut || m_underway.front().first <= nowNs)) {
        if (cut) {
            ++m_counters.cut;
        } else {
            m_pending.push_back(m_underway.front().second);
        }
        m_underway.pop_front();
    }
}

void LinkLine::advance(int64_t nowNs, bool cut)
{
    // Bytes under way go first, so later ones can never overtake them.
    release(nowNs, cut);

    const size_t room = downstreamRoom();
    size_t count = std::min(m_intake.size(), room);
    if (m_byteNs > 0) {
        const double slots = std::floor((static_cast<double>(nowNs) - m_lineFreeNs) / m_byteNs);
        count = slots <= 0 ? 0 : std::min(count, static_cast<size_t>(std::min(slots, 1e12)));
    }
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = m_intake.front();
        m_intake.pop_front();
        int64_t arrival = nowNs;
        if (m_byteNs > 0) {
            m_lineFreeNs += m_byteNs;
            arrival = static_cast<int64_t>(std::ceil(m_lineFreeNs));
        }
        if (cut) {
            ++m_counters.cut;
            continue;
        }
        auto fate = m_frameFaults.apply(byte);
        if (fate == FaultInjector::Fate::Intact) {
            fate = m_faults.apply(byte);
        }
        switch (fate) {
        case FaultInjector::Fate::Dropped:
            ++m_counters.dropped;
            continue;
        case FaultInjector::Fate::Flipped:
            ++m_counters.flipped;
            break;
        case FaultInjector::Fate::Intact:
            break;
        }
        arrival += m_latencyNs;
        if (arrival <= nowNs && m_underway.empty()) {
            m_pending.push_back(byte);
        } else {
            m_underway.emplace_back(arrival, byte);
        }
    }
    // A receiver that does not read stalls the line; it must not build up
    // credit that would later let a burst through faster than the line rate.
    if (m_byteNs > 0 && !m_intake.empty() && count == room && m_lineFreeNs < static_cast<double>(nowNs)) {
        m_lineFreeNs = static_cast<double>(nowNs);
    }
}

void LinkLine::consume(size_t count)
{
    count = std::min(count, pendingSize());
    m_pendingHead += count;
    m_counters.delivered += count;
    if (m_pendingHead == m_pending.size()) {
        m_pending.clear();
        m_pendingHead = 0;
    } else if (m_pendingHead > 64 * 1024) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingHead));
        m_pendingHead = 0;
    }
}

int64_t LinkLine::nextEventNs() const
{
    int64_t next = kNever;
    if (!m_underway.empty()) {
        next = m_underway.front().first;
    }
    if (!m_intake.empty() && downstreamRoom() > 0) {
        const int64_t lineReady = m_byteNs > 0 ? static_cast<int64_t>(std::ceil(m_lineFreeNs + m_byteNs)) : 0;
        next = std::min(next, lineReady);
    }
    return next;
}

} // namespace vexo::test
