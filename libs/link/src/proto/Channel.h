// Reliable, ordered delivery of messages over a noisy byte stream: numbered
// Data frames in a sliding window, cumulative and selective acknowledgements,
// immediate negative acknowledgements for damaged frames, retransmission on
// loss evidence or time-out. Control frames pass through unsequenced.
#pragma once

#include "ByteStream.h"
#include "Frame.h"
#include "FrameDecoder.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace vexo::link
{

using Clock = std::chrono::steady_clock;

struct ChannelConfig {
    size_t maxPayload = 2048;  // largest message, bytes (at most kMaxFramePayload)
    unsigned windowFrames = 4; // unacknowledged Data frames in flight, 1..32
    int initialRtoMs = 1000;   // retransmission time-out before any round trip was measured
    int minRtoMs = 300;
    int maxRtoMs = 3000;
    int maxRetries = 12;    // transmissions of one frame beyond the first before the link counts as lost
    bool shortAcks = false; // the peer takes an Ack without payload for one whose bitmap is 0
};

struct ChannelStats {
    uint64_t framesSent = 0;    // Data frames put on the line, resends included
    uint64_t framesResent = 0;  // of those, the ones sent again after a time-out or a NAK
    uint64_t bytesWritten = 0;  // line bytes, framing and control frames included
    uint64_t dataBytesSent = 0; // of those, the Data frames' (counted as they are queued for the line)
    uint64_t bytesRead = 0;
    uint64_t naksSent = 0;
};

class Channel
{
public:
    static constexpr unsigned kMaxWindow = 32;
    static constexpr size_t kMaxOutput = 64 * 1024;

    explicit Channel(ByteStream &stream);

    // Begins a session: sequence numbers restart at 0 both ways; queued
    // messages are dropped, bytes already encoded for the line still go out.
    void start(uint8_t tag, const ChannelConfig &config);
    // Ends the session; Data, Ack and Nak frames are then handed out as control frames.
    void stop();
    // Ends the session as stop() does and tells the peer with a Reset of its
    // tag, in place of the answers that were still waiting. The Reset may go
    // past kMaxOutput by a little, so a peer that reads late still hears of it.
    void drop();
    bool active() const { return m_active; }
    uint8_t tag() const { return m_tag; }
    const ChannelConfig &config() const { return m_config; }

    // Queues a message (at most config().maxPayload bytes) for reliable delivery.
    void send(std::vector<uint8_t> message);
    // Drops queued messages that have not been given a sequence number yet
    // (all of them, or those the predicate picks).
    void discardUnsent();
    void discardUnsent(const std::function<bool(const std::vector<uint8_t> &)> &pick);
    // True when nothing waits for the window, so a sender may queue more.
    bool hasRoom() const;
    // Bytes of queued messages not yet given a sequence number.
    size_t unsentBytes() const { return m_unsentBytes; }
    // True when every queued message was acknowledged and all bytes were written.
    bool idle() const;
    size_t unackedFrames() const { return m_unacked.size(); }
    // Bytes of the messages queued in this session, and of those the ones the
    // peer has acknowledged in the order they were queued: a sender that
    // notes queuedTotal() after a message knows it arrived once
    // deliveredTotal() reaches the note.
    uint64_t queuedTotal() const { return m_queuedTotal; }
    uint64_t deliveredTotal() const { return m_deliveredTotal; }
    // The largest message worth sending now: config().maxPayload on a clean
    // line, less while frames have been resent lately (see dataPayload in Channel.cpp).
    size_t dataPayload() const;

    // Encodes an unsequenced frame for the line at once; dropped (as the line
    // could have lost it) while a peer that does not read has left more than
    // kMaxOutput bytes waiting.
    void sendControl(FrameType type, uint8_t tag, uint16_t seq, const std::vector<uint8_t> &payload);

    // Moves bytes both ways until a message or control frame waits, there is
    // room for more messages where there was none (the window opened after
    // being full, or the queue went into it), the deadline passes or
    // the link fails; a deadline already passed still takes the input that is
    // there (one read). Returns false
    // once the stream broke or a frame ran out of retries (then failed() stays true until start()).
    bool pump(Clock::time_point deadline);
    // Writes pending bytes until none are left or the deadline passes.
    bool flush(Clock::time_point deadline);

    bool takeMessage(std::vector<uint8_t> &message);
    // Control frames, and sequenced frames that belong to no current session.
    bool takeControl(Frame &frame);

    bool failed() const { return m_failed; }
    bool streamBroken() const { return m_streamBroken; }
    Clock::time_point lastHeard() const { return m_lastHeard; }
    // When our Data frames last made progress: an acknowledgement covered one
    // of them, or one went out while none was outstanding. Frames heard that
    // acknowledge nothing new do not count.
    Clock::time_point lastProgress() const { return m_lastProgress; }
    const ChannelStats &stats() const { return m_stats; }

private:
    struct OutFrame {
        uint16_t seq = 0;
        std::vector<uint8_t> encoded;
        Clock::time_point sentAt;
        uint64_t sentOrder = 0;
        size_t messageSize = 0;
        int retries = 0;
        bool sacked = false;
        bool resendDue = false;
        // The line showed this frame damaged or lost (a Nak, or a later frame
        // arrived first): its resend counts toward the damage rate. A timer's
        // resend does not: a busy machine or a slow peer looks the same.
        bool lineFault = false;
    };

    size_t windowNow() const;
    // A frame waits to be resent, or fewer than two are in flight while a
    // queued message fits the window.
    bool needsSecondFrame() const;
    void fillOutput();
    // The stream itself failed: the channel stays failed; returns false.
    bool breakStream();
    bool writeOutput();
    bool readInput();
    // Gives up the frame that was waiting for its rest when bytes arrive
    // after kStaleFrameMs of silence; true when it did.
    bool dropStalePartial(bool afterSilence);
    static constexpr int kStaleFrameMs = 1000;
    void handleFrame(Frame &frame, Clock::time_point now);
    void handleDamaged(const Frame &frame);
    void handleData(Frame &frame, Clock::time_point now);
    void handleAck(const Frame &frame, Clock::time_point now);
    void handleNak(const Frame &frame);
    void queueAcks(Clock::time_point now);
    void checkTimers(Clock::time_point now);
    Clock::time_point nextTimer() const;
    Clock::time_point probeAt() const;
    void rttSample(Clock::duration sample);
    void transmit(OutFrame &frame, Clock::time_point now);
    bool hasInbound() const { return !m_inbound.empty() || !m_controls.empty(); }

    ByteStream &m_stream;
    ChannelConfig m_config;
    FrameDecoder m_decoder;
    // The incomplete frame the decoder waits for, and when bytes last came.
    uint64_t m_partialFrame = 0;
    Clock::time_point m_lastBytes;
    bool m_active = false;
    bool m_failed = false;
    bool m_streamBroken = false;
    uint8_t m_tag = 0;

    std::vector<uint8_t> m_out;
    std::deque<std::vector<uint8_t>> m_unsent;
    size_t m_unsentBytes = 0;
    uint64_t m_queuedTotal = 0;
    uint64_t m_deliveredTotal = 0;
    std::deque<OutFrame> m_unacked;
    uint16_t m_nextSeq = 0;
    uint64_t m_sendOrder = 0;
    uint64_t m_maxAckedOrder = 0;
    Clock::time_point m_lastProgress;

    static constexpr unsigned kRecvSlots = 64;
    uint16_t m_recvNext = 0;
    std::array<bool, kRecvSlots> m_have{};
    std::array<std::vector<uint8_t>, kRecvSlots> m_slots;
    bool m_ackDue = false;
    bool m_ackNow = false; // a gap, a duplicate or a large frame: acknowledge without delay
    unsigned m_ackPending = 0;
    Clock::time_point m_ackDueSince;
    bool m_roomOpened = false;
    std::vector<uint16_t> m_naksDue;

    std::deque<std::vector<uint8_t>> m_inbound;
    std::deque<Frame> m_controls;

    // Recent Data bytes transmitted and frames resent, both halved whenever
    // the bytes reach kNoiseHalfLife: the line's damage rate as of late.
    double m_noiseBytes = 0;
    double m_noiseResends = 0;

    double m_srttMs = 0;
    double m_rttvarMs = 0;
    int m_rtoMs = 1000;
    bool m_probed = false; // the silent peer was probed; cleared by progress
    bool m_busy = false;   // frames were outstanding all the time since m_lastProgress
    // Bytes acknowledged and the time they took, both halved whenever the
    // bytes reach kPaceHalfLife: the line's pace as of late.
    double m_paceBytes = 0;
    double m_paceMs = 0;
    Clock::time_point m_lastHeard;
    ChannelStats m_stats;
};

} // namespace vexo::link
