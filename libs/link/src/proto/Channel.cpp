#include "Channel.h"

#include "ByteIO.h"

#include <algorithm>
#include <cmath>

namespace vexo::link
{

namespace
{
// New Data frames are only encoded while little is waiting in our own output
// buffer, so acknowledgements never queue behind more than about one frame.
constexpr size_t kOutLowWater = 256;
// Short answers that arrive while we are sending are acknowledged together,
// at most this late (well below the smallest retransmission time-out), so
// acknowledgements take little of a line that is busy with our data.
constexpr auto kAckDelay = std::chrono::milliseconds(150);
constexpr unsigned kAckDelayMaxFrames = 8;
constexpr size_t kSmallFrame = 256;
// The earliest a silent peer is probed (see probeAt), however short the round trip.
constexpr double kMinProbeMs = 20;
// The line's pace is known once this many bytes were acknowledged, and
// follows a change within about as many.
constexpr double kPaceMinBytes = 8 * 1024;
constexpr double kPaceHalfLife = 64 * 1024;
// Room past kMaxOutput for the Reset of a dropped session: a handful of
// frames, however often a peer that does not read has its session dropped.
constexpr size_t kDropReserve = 64;
// Bytes on the wire per data message beyond its data: frame header and CRC
// (13), message type, id and part flags (4).
constexpr double kPartOverhead = 17;
// The smallest message the sender shrinks to: 844 bytes of data per 861 on
// the wire keep a clean line at 98 %, whatever a burst of damage suggested.
constexpr size_t kMinNoisyPayload = 848;
constexpr double kNoiseHalfLife = 64 * 1024;

int16_t seqDiff(uint16_t a, uint16_t b)
{
    return static_cast<int16_t>(static_cast<uint16_t>(a - b));
}

int msUntil(Clock::time_point t, Clock::time_point now)
{
    if (t <= now)
        return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count() + 1;
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}
} // namespace

Channel::Channel(ByteStream &stream) : m_stream(stream), m_lastHeard(Clock::now())
{
}

void Channel::start(uint8_t tag, const ChannelConfig &config)
{
    m_config = config;
    m_config.windowFrames = std::clamp(m_config.windowFrames, 1u, kMaxWindow);
    m_config.maxPayload = std::clamp<size_t>(m_config.maxPayload, 64, kMaxFramePayload);
    m_tag = tag;
    m_active = true;
    m_failed = m_streamBroken;
    m_unsent.clear();
    m_unsentBytes = 0;
    m_queuedTotal = 0;
    m_deliveredTotal = 0;
    m_unacked.clear();
    m_nextSeq = 0;
    m_maxAckedOrder = m_sendOrder;
    m_recvNext = 0;
    m_have.fill(false);
    m_ackDue = m_ackNow = false;
    m_ackPending = 0;
    m_naksDue.clear();
    m_inbound.clear();
    m_srttMs = 0;
    m_rttvarMs = 0;
    m_rtoMs = m_config.initialRtoMs;
    m_probed = false;
    m_busy = false;
    m_paceBytes = 0;
    m_paceMs = 0;
    m_lastProgress = Clock::now();
    m_lastHeard = Clock::now();
}

void Channel::stop()
{
    m_active = false;
    m_failed = m_streamBroken;
    m_unsent.clear();
    m_unsentBytes = 0;
    m_unacked.clear();
    m_inbound.clear();
    m_naksDue.clear();
    m_ackDue = m_ackNow = false;
    m_ackPending = 0;
}

void Channel::drop()
{
    const bool wasActive = m_active;
    stop();
    if (wasActive && !m_streamBroken && m_out.size() < kMaxOutput + kDropReserve)
        appendFrame(m_out, FrameType::Reset, m_tag, 0, nullptr, 0);
}

void Channel::send(std::vector<uint8_t> message)
{
    m_unsentBytes += message.size();
    m_queuedTotal += message.size();
    m_unsent.push_back(std::move(message));
}

void Channel::discardUnsent()
{
    m_queuedTotal -= m_unsentBytes;
    m_unsent.clear();
    m_unsentBytes = 0;
}

void Channel::discardUnsent(const std::function<bool(const std::vector<uint8_t> &)> &pick)
{
    m_unsent.erase(std::remove_if(m_unsent.begin(), m_unsent.end(), pick), m_unsent.end());
    // Notes taken after a discarded message now lie beyond what can arrive:
    // their senders see less progress, never more.
    m_queuedTotal -= m_unsentBytes;
    m_unsentBytes = 0;
    for (const auto &m : m_unsent)
        m_unsentBytes += m.size();
    m_queuedTotal += m_unsentBytes;
}

bool Channel::hasRoom() const
{
    return m_unsent.empty() && m_unacked.size() < windowNow();
}

size_t Channel::dataPayload() const
{
    // A frame of F wire bytes gets through whole with probability (1-p)^F, p
    // the damage rate per byte, so data/(F) * (1-p)^F peaks near
    // F = sqrt(overhead / p): about 400 bytes at p = 1e-4, 2 KiB below 4e-6.
    // Early on, a single resend is not taken as a rate over a few bytes.
    if (m_noiseResends < 0.5)
        return m_config.maxPayload;
    const double p = m_noiseResends / std::max(m_noiseBytes, 16 * 1024.0);
    const double frame = std::sqrt(kPartOverhead / p);
    const double payload = frame - kPartOverhead + 4;
    const size_t floor = std::min(kMinNoisyPayload, m_config.maxPayload);
    if (payload >= static_cast<double>(m_config.maxPayload))
        return m_config.maxPayload;
    return std::max(floor, static_cast<size_t>(payload) / 16 * 16);
}

bool Channel::needsSecondFrame() const
{
    if (std::any_of(m_unacked.begin(), m_unacked.end(), [](const OutFrame &f) { return f.resendDue; }))
        return true;
    const auto inFlight =
        std::count_if(m_unacked.begin(), m_unacked.end(), [](const OutFrame &f) { return !f.sacked; });
    return !m_unsent.empty() && m_unacked.size() < windowNow() && inFlight < 2;
}

size_t Channel::windowNow() const
{
    // Smaller messages keep the bytes in flight, not the frames: a resent
    // frame waits behind those already in the line's buffers, and the window
    // must not run dry before its acknowledgement is back. The peer accepts
    // frames up to 64 ahead of the one it waits for.
    return std::min<size_t>(kMaxWindow, m_config.windowFrames * m_config.maxPayload / dataPayload());
}

bool Channel::idle() const
{
    return m_unsent.empty() && m_unacked.empty() && m_out.empty();
}

void Channel::sendControl(FrameType type, uint8_t tag, uint16_t seq, const std::vector<uint8_t> &payload)
{
    if (m_out.size() < kMaxOutput)
        appendFrame(m_out, type, tag, seq, payload.data(), payload.size());
}

bool Channel::takeMessage(std::vector<uint8_t> &message)
{
    if (m_inbound.empty())
        return false;
    message = std::move(m_inbound.front());
    m_inbound.pop_front();
    return true;
}

bool Channel::takeControl(Frame &frame)
{
    if (m_controls.empty())
        return false;
    frame = std::move(m_controls.front());
    m_controls.pop_front();
    return true;
}

void Channel::transmit(OutFrame &frame, Clock::time_point now)
{
    m_out.insert(m_out.end(), frame.encoded.begin(), frame.encoded.end());
    m_noiseBytes += static_cast<double>(frame.encoded.size());
    m_stats.dataBytesSent += frame.encoded.size();
    if (m_noiseBytes >= kNoiseHalfLife) {
        m_noiseBytes /= 2;
        m_noiseResends /= 2;
    }
    frame.sentAt = now;
    frame.sentOrder = ++m_sendOrder;
    ++m_stats.framesSent;
}

void Channel::fillOutput()
{
    if (!m_active)
        return;
    const auto now = Clock::now();
    while (m_out.size() < kOutLowWater) {
        auto due =
            std::find_if(m_unacked.begin(), m_unacked.end(), [](const OutFrame &f) { return f.resendDue; });
        if (due != m_unacked.end()) {
            due->resendDue = false;
            if (++due->retries > m_config.maxRetries) {
                m_failed = true;
                return;
            }
            ++m_stats.framesResent;
            if (due->lineFault)
                m_noiseResends += 1;
            due->lineFault = false;
            transmit(*due, now);
            continue;
        }
        if (m_unsent.empty() || m_unacked.size() >= windowNow())
            break;
        OutFrame frame;
        frame.seq = m_nextSeq++;
        const auto &msg = m_unsent.front();
        appendFrame(frame.encoded, FrameType::Data, m_tag, frame.seq, msg.data(), msg.size());
        frame.messageSize = msg.size();
        m_unsentBytes -= msg.size();
        m_unsent.pop_front();
        if (m_unacked.empty()) {
            m_lastProgress = now; // the peer's time to acknowledge starts now
            m_busy = true;
        }
        m_unacked.push_back(std::move(frame));
        transmit(m_unacked.back(), now);
    }
}

bool Channel::breakStream()
{
    m_streamBroken = m_failed = true;
    return false;
}

bool Channel::writeOutput()
{
    while (!m_out.empty()) {
        const long n = m_stream.writeSome(m_out.data(), m_out.size());
        if (n < 0)
            return breakStream();
        if (n == 0)
            break;
        m_stats.bytesWritten += static_cast<uint64_t>(n);
        m_out.erase(m_out.begin(), m_out.begin() + n);
    }
    return true;
}

bool Channel::flush(Clock::time_point deadline)
{
    for (;;) {
        if (!writeOutput())
            return false;
        if (m_out.empty())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const int ready = m_stream.wait(true, msUntil(deadline, now));
        if (ready & ByteStream::kFailed)
            return breakStream();
    }
}

bool Channel::readInput()
{
    uint8_t buffer[4096];
    for (int rounds = 0; rounds < 64; ++rounds) {
        const long n = m_stream.readSome(buffer, sizeof buffer);
        if (n < 0)
            return breakStream();
        if (n == 0)
            break;
        m_stats.bytesRead += static_cast<uint64_t>(n);
        m_decoder.feed(buffer, static_cast<size_t>(n));
        const auto now = Clock::now();
        const bool afterSilence = now - m_lastBytes >= std::chrono::milliseconds(kStaleFrameMs);
        m_lastBytes = now;
        Frame frame;
        for (;;) {
            const auto result = m_decoder.next(frame);
            if (result == FrameDecoder::Result::None && !dropStalePartial(afterSilence))
                break;
            if (result == FrameDecoder::Result::None)
                continue;
            if (result == FrameDecoder::Result::Damaged)
                handleDamaged(frame);
            else
                handleFrame(frame, now);
        }
        if (static_cast<size_t>(n) < sizeof buffer)
            break;
    }
    queueAcks(Clock::now());
    return true;
}

bool Channel::dropStalePartial(bool afterSilence)
{
    // A frame cut off by a pulled cable would otherwise swallow what comes
    // after it, the peer's small Hellos too, until its announced length has
    // arrived: that may take minutes. A frame's bytes come without a pause
    // however slow the line, so a frame that was already waiting when the line
    // fell silent is given up once bytes come again. Only that one: the new
    // bytes may begin a frame of their own.
    const uint64_t at = m_decoder.partialFrameAt();
    const bool stale = afterSilence && at != 0 && at == m_partialFrame;
    m_partialFrame = at;
    if (!stale)
        return false;
    m_decoder.dropPartialFrame();
    m_partialFrame = 0;
    return true;
}

void Channel::handleFrame(Frame &frame, Clock::time_point now)
{
    m_lastHeard = now;
    const bool sequenced =
        frame.type == FrameType::Data || frame.type == FrameType::Ack || frame.type == FrameType::Nak;
    if (!sequenced || !m_active || frame.tag != m_tag) {
        m_controls.push_back(std::move(frame));
        return;
    }
    switch (frame.type) {
    case FrameType::Data:
        handleData(frame, now);
        break;
    case FrameType::Ack:
        handleAck(frame, now);
        break;
    default:
        handleNak(frame);
        break;
    }
}

void Channel::handleDamaged(const Frame &frame)
{
    if (!m_active || frame.type != FrameType::Data || frame.tag != m_tag)
        return;
    const int16_t d = seqDiff(frame.seq, m_recvNext);
    if (d >= 0 && d < static_cast<int16_t>(kRecvSlots) && !m_have[frame.seq % kRecvSlots] &&
        std::find(m_naksDue.begin(), m_naksDue.end(), frame.seq) == m_naksDue.end())
        m_naksDue.push_back(frame.seq);
}

void Channel::handleData(Frame &frame, Clock::time_point now)
{
    if (!m_ackDue)
        m_ackDueSince = now;
    m_ackDue = true;
    ++m_ackPending;
    const int16_t d = seqDiff(frame.seq, m_recvNext);
    if (d != 0 || frame.payload.size() > kSmallFrame)
        m_ackNow = true; // a gap to report, a duplicate, or bulk data the sender waits on
    if (d < 0 || d >= static_cast<int16_t>(kRecvSlots))
        return; // a duplicate (acknowledged again) or not from this window
    const unsigned slot = frame.seq % kRecvSlots;
    if (!m_have[slot]) {
        m_have[slot] = true;
        m_slots[slot] = std::move(frame.payload);
    }
    while (m_have[m_recvNext % kRecvSlots]) {
        const unsigned s = m_recvNext % kRecvSlots;
        m_inbound.push_back(std::move(m_slots[s]));
        m_slots[s].clear();
        m_have[s] = false;
        ++m_recvNext;
    }
}

void Channel::queueAcks(Clock::time_point now)
{
    // A peer that does not read gets no more acknowledgements than fit; the
    // next one carries the same news.
    if (!m_active || m_out.size() >= kMaxOutput)
        return;
    for (uint16_t seq : m_naksDue) {
        if (seqDiff(seq, m_recvNext) >= 0 && !m_have[seq % kRecvSlots]) {
            appendFrame(m_out, FrameType::Nak, m_tag, seq, nullptr, 0);
            ++m_stats.naksSent;
        }
    }
    m_naksDue.clear();
    if (!m_ackDue)
        return;
    const bool busy = !m_unacked.empty();
    // Never so many that the peer's window fills while they wait: its answers
    // would then pile up behind the window and trickle out a round trip at a time.
    const unsigned most = std::clamp(m_config.windowFrames / 2, 1u, kAckDelayMaxFrames);
    if (busy && !m_ackNow && m_ackPending < most && now - m_ackDueSince < kAckDelay)
        return;
    m_ackDue = m_ackNow = false;
    m_ackPending = 0;
    uint32_t bits = 0;
    for (unsigned i = 0; i < 32; ++i)
        if (m_have[static_cast<uint16_t>(m_recvNext + 1 + i) % kRecvSlots])
            bits |= 1u << i;
    uint8_t payload[4];
    putLe32(payload, bits);
    const size_t size = bits == 0 && m_config.shortAcks ? 0 : sizeof payload;
    appendFrame(m_out, FrameType::Ack, m_tag, m_recvNext, payload, size);
}

void Channel::rttSample(Clock::duration sample)
{
    const double ms = std::chrono::duration<double, std::milli>(sample).count();
    if (m_srttMs == 0) {
        m_srttMs = ms;
        m_rttvarMs = ms / 2;
    } else {
        m_rttvarMs = 0.75 * m_rttvarMs + 0.25 * std::fabs(m_srttMs - ms);
        m_srttMs = 0.875 * m_srttMs + 0.125 * ms;
    }
    m_rtoMs = std::clamp(static_cast<int>(m_srttMs + 4 * m_rttvarMs), m_config.minRtoMs, m_config.maxRtoMs);
}

void Channel::handleAck(const Frame &frame, Clock::time_point now)
{
    // Without payload: nothing has arrived beyond `next` (a peer that agreed on short acks).
    if (!frame.payload.empty() && frame.payload.size() < 4)
        return;
    const uint16_t next = frame.seq;
    // An acknowledgement beyond what we sent is not ours to believe.
    if (seqDiff(next, m_nextSeq) > 0)
        return;
    const uint32_t bits = frame.payload.empty() ? 0 : getLe32(frame.payload.data());
    bool progress = false;
    double ackedBytes = 0;
    while (!m_unacked.empty() && seqDiff(m_unacked.front().seq, next) < 0) {
        const OutFrame &f = m_unacked.front();
        if (f.retries == 0)
            rttSample(now - f.sentAt);
        if (!f.sacked)
            ackedBytes += static_cast<double>(f.encoded.size());
        m_maxAckedOrder = std::max(m_maxAckedOrder, f.sentOrder);
        m_deliveredTotal += f.messageSize;
        m_unacked.pop_front();
        progress = true;
    }
    for (auto &f : m_unacked) {
        const int16_t d = seqDiff(f.seq, next) - 1;
        if (d >= 0 && d < 32 && (bits & (1u << d)) && !f.sacked) {
            f.sacked = true;
            f.resendDue = false;
            ackedBytes += static_cast<double>(f.encoded.size());
            m_maxAckedOrder = std::max(m_maxAckedOrder, f.sentOrder);
            progress = true;
        }
    }
    // A frame sent before one that has arrived is lost: send it again now
    // rather than wait for its timer.
    for (auto &f : m_unacked)
        if (!f.sacked && f.sentOrder < m_maxAckedOrder)
            f.resendDue = f.lineFault = true;
    if (progress) {
        // The line's pace, from the bytes acknowledged while frames were
        // outstanding all along; recent news weighs most.
        if (m_busy) {
            m_paceBytes += ackedBytes;
            m_paceMs += std::chrono::duration<double, std::milli>(now - m_lastProgress).count();
            if (m_paceBytes >= kPaceHalfLife) {
                m_paceBytes /= 2;
                m_paceMs /= 2;
            }
        }
        m_lastProgress = now;
        m_busy = !m_unacked.empty();
        m_probed = false;
        m_roomOpened = m_roomOpened || hasRoom();
    }
}

void Channel::handleNak(const Frame &frame)
{
    for (auto &f : m_unacked) {
        if (f.seq == frame.seq && !f.sacked) {
            f.resendDue = f.lineFault = true;
            break;
        }
    }
}

Clock::time_point Channel::probeAt() const
{
    // The newest frames in flight and the acknowledgement of the last ones
    // can be lost without a trace: nothing sent after them shows the gap, and
    // the time-out is far longer than a fast line's round trip. So once the
    // peer has been silent for twice the round trip (plus the delay it may
    // give acknowledgements of short frames), the oldest missing frame goes
    // again, once until the next progress: if only the acknowledgement was
    // lost, the copy makes the peer acknowledge everything again.
    constexpr auto never = Clock::time_point::max();
    // Without a round trip and the line's pace measured there is nothing to
    // tell a loss from a slow line by.
    if (m_probed || m_srttMs <= 0 || m_paceBytes < kPaceMinBytes)
        return never;
    auto since = m_lastProgress;
    bool waiting = false;
    bool small = true;
    double inFlight = 0;
    for (const auto &f : m_unacked) {
        if (f.sacked)
            continue;
        if (f.resendDue)
            return never;
        waiting = true;
        since = std::max(since, f.sentAt);
        small = small && f.encoded.size() <= kSmallFrame + kFrameOverhead;
        inFlight += static_cast<double>(f.encoded.size());
    }
    // The frames in flight take their time on a slow line: twice the round
    // trip of a short frame plus that.
    double ms = std::max(2 * (m_srttMs + inFlight * m_paceMs / m_paceBytes), kMinProbeMs);
    if (small)
        ms += std::chrono::duration<double, std::milli>(kAckDelay).count();
    if (!waiting || ms >= m_rtoMs)
        return never;
    return since + std::chrono::microseconds(static_cast<int64_t>(ms * 1000));
}

Clock::time_point Channel::nextTimer() const
{
    // An acknowledgement held back by a full output waits for the line, not a timer.
    auto next = m_ackDue && m_out.size() < kMaxOutput ? m_ackDueSince + kAckDelay : Clock::time_point::max();
    for (const auto &f : m_unacked) {
        if (f.sacked || f.resendDue)
            continue;
        const auto ref = std::max(f.sentAt, m_lastProgress);
        next = std::min(next, ref + std::chrono::milliseconds(m_rtoMs));
    }
    return std::min(next, probeAt());
}

void Channel::checkTimers(Clock::time_point now)
{
    bool expired = false;
    for (auto &f : m_unacked) {
        if (f.sacked || f.resendDue)
            continue;
        if (now - std::max(f.sentAt, m_lastProgress) >= std::chrono::milliseconds(m_rtoMs)) {
            f.resendDue = true;
            expired = true;
        }
    }
    if (expired) {
        m_rtoMs = std::min(m_rtoMs * 2, m_config.maxRtoMs);
        return;
    }
    if (now >= probeAt()) {
        auto oldest =
            std::find_if(m_unacked.begin(), m_unacked.end(), [](const OutFrame &f) { return !f.sacked; });
        oldest->resendDue = true;
        m_probed = true;
    }
}

bool Channel::pump(Clock::time_point deadline)
{
    bool polled = false;
    // A caller whose messages all went into the window with room to spare
    // hears of it at once: waiting for an acknowledgement instead would leave
    // the line idle for the whole deadline when the newest frame is lost,
    // since nothing sent after it could show the loss.
    const bool roomAtEntry = hasRoom();
    for (;;) {
        if (m_failed)
            return false;
        fillOutput();
        if (m_failed || !writeOutput())
            return false;
        if (hasInbound() || m_roomOpened || (!roomAtEntry && hasRoom())) {
            m_roomOpened = false;
            return true;
        }
        auto now = Clock::now();
        if (m_active) {
            if (m_ackDue) {
                queueAcks(now);
                if (!m_ackDue)
                    continue;
            }
            checkTimers(now);
            // New frames go out one per acknowledgement, which keeps a slow
            // line's buffers short; but never just one frame in flight when
            // more could go: when that frame or its acknowledgement is lost,
            // nothing comes to clock the next one, and on a fast line each
            // acknowledgement arrives before the next frame is written.
            if (m_out.size() < kOutLowWater && needsSecondFrame())
                continue;
        }
        if (now >= deadline) {
            // A deadline that has passed still takes what is there, once:
            // more input cannot keep the caller here.
            if (polled || !(m_stream.wait(false, 0) & ByteStream::kReadable))
                return true;
            polled = true;
            if (!readInput())
                return false;
            continue;
        }
        const auto wake = std::min(deadline, nextTimer());
        const int ready = m_stream.wait(!m_out.empty(), msUntil(wake, now));
        if (ready & ByteStream::kReadable) {
            if (!readInput())
                return false;
        } else if (ready & ByteStream::kFailed) {
            return breakStream();
        }
    }
}

} // namespace vexo::link
