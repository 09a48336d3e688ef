#include "HelloCheck.h"

#include "BlockCodec.h"
#include "Channel.h"
#include "Frame.h"
#include "Hello.h"
#include "Message.h"
#include "OpenChain.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace vexo::cli
{

using namespace link;
using std::chrono::milliseconds;

namespace
{

// A client of every capability this side knows.
constexpr uint8_t kAllCaps = kCapZstd | kCapZlib | kCapSync | kCapCompactList | kCapZstdContext |
                             kCapLeanBatch | kCapListDelta | kCapResume;
constexpr uint8_t kAllMoreCaps = kMoreCapSpace | kMoreCapHash | kMoreCapIdentity;
constexpr uint16_t kOfferedPayload = 2048;
constexpr uint8_t kOfferedWindow = 4;
constexpr int kHelloRepeatMs = 400;
const char *statusName(WireStatus s)
{
    static const char *const names[] = {"Ok",      "NotFound", "BadName",    "Exists",
                                        "IoError", "Stopped",  "BadRequest", "CheckFailed"};
    const auto i = static_cast<size_t>(s);
    return i < sizeof names / sizeof names[0] ? names[i] : "an unknown status";
}

} // namespace

HelloCheck::HelloCheck(ByteStream &stream, int timeoutMs, CheckTable &table)
    : m_stream(stream), m_timeoutMs(timeoutMs), m_table(table)
{
}

bool HelloCheck::run()
{
    Channel channel(m_stream);
    std::random_device seed;
    uint32_t nonce = 0;
    while (nonce <= 0xFF) // so that the one below is never 0 either
        nonce = seed();
    const uint8_t tag = tagForNonce(nonce);
    Hello mine;
    mine.caps = kAllCaps & static_cast<uint8_t>(localCodecCaps() | ~(kCapZstd | kCapZlib));
    mine.moreCaps = kAllMoreCaps;
    mine.nonce = nonce;
    mine.maxPayload = kOfferedPayload;
    mine.window = kOfferedWindow;

    // Says Hello until the answer comes, as a client does.
    const auto awaitAck = [&](const Hello &sent, Frame &ack, Hello &theirs, bool &malformed) {
        const auto hello = encodeHello(sent);
        const auto started = Clock::now();
        const auto deadline = started + milliseconds(m_timeoutMs);
        auto nextSend = started;
        while (Clock::now() < deadline) {
            if (Clock::now() >= nextSend) {
                channel.sendControl(FrameType::Hello, tagForNonce(sent.nonce), 0, hello);
                nextSend = Clock::now() + milliseconds(kHelloRepeatMs);
            }
            if (!channel.pump(std::min(deadline, nextSend)))
                return false;
            Frame frame;
            while (channel.takeControl(frame)) {
                if (frame.type != FrameType::HelloAck)
                    continue;
                if (!decodeHello(frame.payload, theirs)) {
                    malformed = true;
                    continue;
                }
                if (theirs.nonce == sent.nonce) {
                    ack = frame;
                    return true;
                }
            }
        }
        return false;
    };

    Frame ack;
    Hello theirs;
    bool malformed = false;
    // Values below their ranges are raised into them; the session this opens
    // is replaced by the next Hello's.
    Hello low = mine;
    low.nonce = nonce ^ 0x5A; // another tag too
    low.maxPayload = 10;
    low.window = 0;
    if (awaitAck(low, ack, theirs, malformed)) {
        const bool raised = theirs.maxPayload == kMinPayload && theirs.window == 1;
        m_table.add("Hello of size 10, window 0: 64 and 1", raised,
                    raised ? ""
                           : "HelloAck with size " + std::to_string(theirs.maxPayload) + " and window " +
                                 std::to_string(theirs.window));
    }
    const auto started = Clock::now();
    if (!awaitAck(mine, ack, theirs, malformed)) {
        m_table.add("Hello answered with a HelloAck", false,
                    malformed ? "only HelloAcks whose record is malformed (too short, or nonce 0)"
                              : "no HelloAck with the Hello's nonce within the time-out");
        return false;
    }
    m_caps = theirs.caps;
    m_moreCaps = theirs.moreCaps;
    m_table.setOffered(m_caps, m_moreCaps);
    m_table.add("Hello answered with a HelloAck", true,
                "after " +
                    std::to_string(std::chrono::duration_cast<milliseconds>(Clock::now() - started).count()) +
                    " ms");
    m_table.add("HelloAck frame tag made from the nonce", ack.tag == tag,
                ack.tag == tag ? "" : "tag " + hexByte(ack.tag) + ", the nonce gives " + hexByte(tag));
    if (theirs.version != kFormatVersion) {
        m_table.add("HelloAck record format 1", false, "record format " + std::to_string(theirs.version));
        return false;
    }
    if (theirs.protocol > mine.protocol) {
        m_table.add("HelloAck protocol version", false,
                    "version " + std::to_string(theirs.protocol) + ", higher than the " +
                        std::to_string(mine.protocol) + " offered");
        return false;
    }
    m_table.add("HelloAck protocol version", true, "version " + std::to_string(theirs.protocol));
    std::string limits;
    if (theirs.maxPayload < kMinPayload || theirs.maxPayload > mine.maxPayload)
        limits = "message size " + std::to_string(theirs.maxPayload) + ", outside " +
                 std::to_string(kMinPayload) + ".." + std::to_string(mine.maxPayload);
    else if (theirs.window < 1 || theirs.window > mine.window)
        limits = "window " + std::to_string(theirs.window) + ", outside 1.." + std::to_string(mine.window);
    m_table.add("HelloAck message size and window", limits.empty(),
                limits.empty() ? std::to_string(theirs.maxPayload) + " bytes, " +
                                     std::to_string(theirs.window) + " frames"
                               : limits);
    std::string caps;
    if (theirs.caps & ~mine.caps)
        caps = "bits " + hexByte(theirs.caps & ~mine.caps) + " of byte 1 were not offered";
    else if (theirs.moreCaps & ~mine.moreCaps)
        caps = "bits " + hexByte(theirs.moreCaps & ~mine.moreCaps) + " of byte 10 were not offered";
    else if ((theirs.caps & kCapCompactList) && theirs.protocol < 2)
        caps = "compact listings in a version-1 session";
    else if ((theirs.caps & kCapListDelta) && !(theirs.caps & kCapCompactList))
        caps = "delta listings without compact listings";
    m_table.add("HelloAck capabilities: only those shared", caps.empty(), caps);
    if (theirs.moreCaps & kMoreCapIdentity) {
        m_identity = theirs.identity;
        const bool any = std::any_of(m_identity.begin(), m_identity.end(), [](uint8_t b) { return b != 0; });
        std::string id;
        for (const uint8_t b : m_identity)
            id += hexByte(b).substr(2);
        m_table.add("HelloAck identity", any, any ? id : "all zero");
    }
    if (!limits.empty())
        return false;

    // A repeated Hello of the session (its HelloAck was lost) is answered alike.
    Frame again;
    Hello repeated;
    const bool answered = awaitAck(mine, again, repeated, malformed);
    m_table.add("repeated Hello answered alike",
                answered && again.payload == ack.payload && again.tag == ack.tag,
                !answered                      ? "no HelloAck within the time-out"
                : again.payload == ack.payload ? ""
                                               : "another HelloAck");

    // A damaged Data frame of the session, header intact, is answered at once with a Nak of its seq.
    Message probe;
    probe.type = MsgType::Lookup;
    probe.name = kCheckPrefix + "none.bin";
    Frame damaged;
    damaged.tag = tag;
    damaged.payload = encodeMessage(probe);
    auto bytes = encodeFrame(damaged);
    bytes[kFrameHeaderSize] ^= 0x01;
    auto deadline = Clock::now() + milliseconds(m_timeoutMs);
    for (size_t done = 0; done < bytes.size() && Clock::now() < deadline;) {
        const long n = m_stream.writeSome(bytes.data() + done, bytes.size() - done);
        if (n < 0)
            break;
        done += static_cast<size_t>(n);
        if (done < bytes.size())
            m_stream.wait(true, 50);
    }
    bool nak = false;
    while (!nak && Clock::now() < deadline && channel.pump(deadline)) {
        Frame frame;
        while (channel.takeControl(frame))
            nak = nak || (frame.type == FrameType::Nak && frame.tag == tag && frame.seq == 0);
    }
    m_table.add("damaged Data frame answered with a Nak", nak,
                nak ? "" : "no Nak of seq 0 within the time-out");

    ChannelConfig config;
    config.maxPayload = theirs.maxPayload;
    config.windowFrames = theirs.window;
    config.shortAcks = (theirs.caps & kCapLeanBatch) != 0;
    channel.start(tag, config);
    // Names every device refuses, each asked as a Lookup, and one that is merely missing.
    const std::vector<std::pair<std::string, WireStatus>> asks = {
        {"", WireStatus::BadName},
        {kCheckPrefix + "0123456789a", WireStatus::BadName}, // 17 bytes
        {"vx/chk", WireStatus::BadName},
        {"vx\\chk", WireStatus::BadName},
        {".", WireStatus::BadName},
        {"..", WireStatus::BadName},
        {"vx\x01"
         "chk",
         WireStatus::BadName},
        {"vx\xFF\xFE", WireStatus::BadName}, // not code page 936
        {kCheckPrefix + "none.bin", WireStatus::NotFound},
    };
    for (size_t i = 0; i < asks.size(); ++i) {
        Message lookup;
        lookup.type = MsgType::Lookup;
        lookup.id = static_cast<uint16_t>(i + 1);
        lookup.name = asks[i].first;
        channel.send(encodeMessage(lookup));
    }
    std::vector<std::string> answers(asks.size());
    size_t results = 0;
    std::string odd;
    deadline = Clock::now() + milliseconds(m_timeoutMs);
    while (results < asks.size() && Clock::now() < deadline && channel.pump(deadline)) {
        std::vector<uint8_t> raw;
        while (channel.takeMessage(raw)) {
            Message msg;
            deadline = Clock::now() + milliseconds(m_timeoutMs);
            if (!decodeMessage(raw, msg) || msg.type != MsgType::Result || msg.id < 1 ||
                msg.id > asks.size()) {
                odd = "a message that is no Result of a Lookup (type " + hexByte(raw.empty() ? 0 : raw[0]) +
                      ")";
                continue;
            }
            auto &answer = answers[msg.id - 1];
            if (answer.empty())
                ++results;
            answer = msg.status == asks[msg.id - 1].second ? "ok" : statusName(msg.status);
        }
    }
    std::string badNames, missing;
    for (size_t i = 0; i < asks.size(); ++i) {
        std::string &reason = asks[i].second == WireStatus::BadName ? badNames : missing;
        if (!reason.empty() || answers[i] == "ok")
            continue;
        reason = "Lookup of " + shownName(asks[i].first) + ": " +
                 (answers[i].empty() ? std::string("no answer within the time-out")
                                     : answers[i] + ", not " + statusName(asks[i].second));
    }
    m_table.add("bad names refused with BadName", badNames.empty() && odd.empty(),
                badNames.empty() ? odd : badNames);
    m_table.add("Lookup of a missing name: NotFound", missing.empty(), missing);
    deadline = Clock::now() + milliseconds(m_timeoutMs);
    while (!channel.idle() && Clock::now() < deadline && channel.pump(deadline)) {
        std::vector<uint8_t> ignored;
        while (channel.takeMessage(ignored)) {
        }
    }
    const auto &stats = channel.stats();
    m_table.add("Data frames acknowledged", channel.idle(),
                channel.idle()
                    ? std::to_string(stats.framesSent) + " frames, " + std::to_string(stats.framesResent) +
                          " sent again"
                    : std::to_string(channel.unackedFrames()) + " frames unacknowledged after the time-out");

    channel.stop();
    channel.sendControl(FrameType::Close, tag, 0, {});
    bool closed = false;
    deadline = Clock::now() + milliseconds(m_timeoutMs);
    while (!closed && Clock::now() < deadline && channel.pump(deadline)) {
        Frame frame;
        while (channel.takeControl(frame))
            closed = closed || (frame.type == FrameType::CloseAck && frame.tag == tag);
    }
    m_table.add("Close answered with CloseAck", closed, closed ? "" : "no CloseAck of the session's tag");
    return true;
}

} // namespace vexo::cli
