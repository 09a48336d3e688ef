#include "DeviceCheck.h"

#include "BlockCodec.h"
#include "Channel.h"
#include "Crc32.h"
#include "Hello.h"
#include "Message.h"
#include "OpenChain.h"
#include "ResumeCodec.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>

namespace vexo::cli
{

using namespace link;
using std::chrono::milliseconds;

namespace
{

// Every name this check uses starts so; nothing else on the device is touched.
const std::string kPrefix = "vxchk-";
constexpr uint8_t kAllCaps = kCapZstd | kCapZlib | kCapSync | kCapCompactList | kCapZstdContext |
                             kCapLeanBatch | kCapListDelta | kCapResume;
constexpr uint8_t kAllMoreCaps = kMoreCapSpace;
constexpr uint16_t kOfferedPayload = 2048;
constexpr uint8_t kOfferedWindow = 4;
constexpr int kHelloRepeatMs = 400;

struct CapName {
    int byte; // of the hello record
    uint8_t bit;
    const char *name;
};
const CapName kCapNames[] = {
    {1, kCapZstd, "zstd blocks"},
    {1, kCapZlib, "zlib blocks"},
    {1, kCapSync, "Checksum, PutOpen times"},
    {1, kCapCompactList, "compact listings, tokens"},
    {1, kCapZstdContext, "zstd context per file"},
    {1, kCapLeanBatch, "PutNext, Acks without bitmap"},
    {1, kCapListDelta, "delta listings"},
    {1, kCapResume, "kept partials, resume"},
    {10, kMoreCapSpace, "Space"},
};

const char *statusName(WireStatus s)
{
    static const char *const names[] = {"Ok",      "NotFound", "BadName",    "Exists",
                                        "IoError", "Stopped",  "BadRequest", "CheckFailed"};
    const auto i = static_cast<size_t>(s);
    return i < sizeof names / sizeof names[0] ? names[i] : "an unknown status";
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Printable form of a name for the reasons column.
std::string shown(const std::string &bytes)
{
    std::string out = "\"";
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            out += static_cast<char>(c);
        else
            out += "\\x" + hex(c).substr(2);
    }
    return out + "\"";
}

// Half text that compresses well, half bytes that do not: blocks of both kinds.
std::vector<uint8_t> content(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    static const char text[] = "The palmtop keeps its notes in a flat folder; ";
    for (size_t i = 0; i < size; ++i)
        bytes[i] =
            i < size / 2 ? static_cast<uint8_t>(text[i % (sizeof text - 1)]) : static_cast<uint8_t>(random());
    return bytes;
}

bool writeLocal(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> readLocal(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t localTimeMs(const std::string &path)
{
    struct stat st {
    };
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

std::string describeListing(const std::map<std::string, uint64_t> &got,
                            const std::map<std::string, uint64_t> &want)
{
    for (const auto &[name, size] : want) {
        const auto it = got.find(name);
        if (it == got.end())
            return shown(name) + " missing";
        if (it->second != size)
            return shown(name) + " listed with " + std::to_string(it->second) + " bytes, not " +
                   std::to_string(size);
    }
    for (const auto &[name, size] : got)
        if (!want.count(name))
            return shown(name) + " listed, but it is not there";
    return "";
}

} // namespace

DeviceCheck::DeviceCheck(std::shared_ptr<Pipe> pipe, int timeoutMs, bool quick)
    : m_pipe(std::move(pipe)), m_timeoutMs(timeoutMs), m_quick(quick)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-check-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        m_work = pattern;
}

DeviceCheck::~DeviceCheck()
{
    std::error_code ignored;
    if (!m_work.empty())
        std::filesystem::remove_all(m_work, ignored);
}

void DeviceCheck::row(const std::string &check, bool pass, const std::string &reason)
{
    m_rows.push_back(Row{check, pass, reason});
}

bool DeviceCheck::expect(const std::string &check, LinkError got, LinkError want, const std::string &what)
{
    if (got == want) {
        row(check, true);
        return true;
    }
    const std::string instead = got == LinkError::Ok ? std::string("it succeeded") : describe(got);
    row(check, false, (what.empty() ? "" : what + ": ") + instead + "; expected: " + describe(want));
    return false;
}

template <typename Call> LinkError DeviceCheck::timed(const std::string &what, Call call)
{
    const auto started = Clock::now();
    const LinkError e = call();
    const auto ms = std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
    if (e == LinkError::Timeout)
        m_timedOut.push_back(what);
    else if (ms > m_slowestMs) {
        m_slowestMs = ms;
        m_slowest = what;
    }
    return e;
}

int DeviceCheck::run(std::FILE *out)
{
    if (m_work.empty()) {
        std::fprintf(stderr, "vexo: check-device: cannot make a temporary folder\n");
        return 1;
    }
    if (checkHandshake()) {
        FileClient client(m_pipe);
        if (open(client, 0, "")) {
            // Each codec the device offers, on sessions of their own.
            std::vector<std::pair<uint8_t, std::string>> profiles;
            const uint8_t codecs = m_caps & (kCapZstd | kCapZlib);
            if (m_quick) {
                profiles.push_back({0, (codecs & kCapZstd) ? "zstd" : (codecs & kCapZlib) ? "zlib" : "none"});
            } else {
                if (codecs & kCapZstd)
                    profiles.push_back({kCapZlib, "zstd"});
                if ((codecs & kCapZstd) && (m_caps & kCapZstdContext))
                    profiles.push_back({kCapZlib | kCapZstdContext, "zstd, blocks alone"});
                if (codecs & kCapZlib)
                    profiles.push_back({kCapZstd, "zlib"});
                profiles.push_back({kCapZstd | kCapZlib, "none"});
            }
            client.close();
            for (const auto &[withheld, label] : profiles)
                checkTransfers(withheld, label);
            checkBatch();
            FileClient requests(m_pipe);
            if (open(requests, 0, " for requests")) {
                checkNames(requests);
                checkRequests(requests);
                requests.close();
            }
            checkListings();
            checkResume();
            cleanUp();
        }
        std::string reason =
            m_slowest.empty() ? "" : "slowest " + std::to_string(m_slowestMs) + " ms (" + m_slowest + ")";
        for (size_t i = 0; i < m_timedOut.size(); ++i)
            reason += (i > 0 ? ", " : reason.empty() ? "no answer to: " : "; no answer to: ") + m_timedOut[i];
        row("answers within the time-out (" + std::to_string(m_timeoutMs) + " ms)", m_timedOut.empty(),
            reason);
    }

    std::fprintf(out, "%-46s %s\n", "capability (byte, bit)", "offered");
    for (const auto &cap : kCapNames) {
        int bit = 0;
        while ((1u << bit) != cap.bit)
            ++bit;
        const bool on = cap.byte == 1 ? (m_caps & cap.bit) : (m_moreCaps & cap.bit);
        char label[64];
        std::snprintf(label, sizeof label, "%2d.%d  %s", cap.byte, bit, cap.name);
        std::fprintf(out, "%-46s %s\n", label, !m_offered ? "?" : on ? "yes" : "no");
    }
    std::fprintf(out, "\n%-46s %-6s %s\n", "check", "result", "reason");
    size_t failed = 0;
    for (const auto &r : m_rows) {
        failed += r.pass ? 0 : 1;
        std::fprintf(out, "%-46s %-6s %s\n", r.check.c_str(), r.pass ? "pass" : "FAIL", r.reason.c_str());
    }
    std::fprintf(out, "\n%zu checks, %zu failed\n", m_rows.size(), failed);
    return failed == 0 ? 0 : 1;
}

bool DeviceCheck::checkHandshake()
{
    std::string error;
    const auto stream = m_pipe->stream(&error);
    if (!stream) {
        row("port opened", false, error);
        return false;
    }
    Channel channel(*stream);
    std::random_device seed;
    uint32_t nonce = 0;
    while (nonce == 0)
        nonce = seed();
    const uint8_t tag = tagForNonce(nonce);
    Hello mine;
    mine.caps = kAllCaps & static_cast<uint8_t>(localCodecCaps() | ~(kCapZstd | kCapZlib));
    mine.moreCaps = kAllMoreCaps;
    mine.nonce = nonce;
    mine.maxPayload = kOfferedPayload;
    mine.window = kOfferedWindow;
    const auto hello = encodeHello(mine);

    // Says Hello until the answer comes, as a client does.
    const auto awaitAck = [&](Frame &ack, Hello &theirs, bool &malformed) {
        const auto started = Clock::now();
        const auto deadline = started + milliseconds(m_timeoutMs);
        auto nextSend = started;
        while (Clock::now() < deadline) {
            if (Clock::now() >= nextSend) {
                channel.sendControl(FrameType::Hello, tag, 0, hello);
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
                if (theirs.nonce == nonce) {
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
    const auto started = Clock::now();
    if (!awaitAck(ack, theirs, malformed)) {
        row("Hello answered with a HelloAck", false,
            malformed ? "only HelloAcks whose record is malformed (too short, or nonce 0)"
                      : "no HelloAck with the Hello's nonce within the time-out");
        return false;
    }
    m_offered = true;
    m_caps = theirs.caps;
    m_moreCaps = theirs.moreCaps;
    row("Hello answered with a HelloAck", true,
        "after " + std::to_string(std::chrono::duration_cast<milliseconds>(Clock::now() - started).count()) +
            " ms");
    row("HelloAck frame tag made from the nonce", ack.tag == tag,
        ack.tag == tag ? "" : "tag " + hex(ack.tag) + ", the nonce gives " + hex(tag));
    if (theirs.version != kFormatVersion) {
        row("HelloAck record format 1", false, "record format " + std::to_string(theirs.version));
        return false;
    }
    if (theirs.protocol > mine.protocol) {
        row("HelloAck protocol version", false,
            "version " + std::to_string(theirs.protocol) + ", higher than the " +
                std::to_string(mine.protocol) + " offered");
        return false;
    }
    row("HelloAck protocol version", true, "version " + std::to_string(theirs.protocol));
    std::string limits;
    if (theirs.maxPayload < kMinPayload || theirs.maxPayload > mine.maxPayload)
        limits = "message size " + std::to_string(theirs.maxPayload) + ", outside " +
                 std::to_string(kMinPayload) + ".." + std::to_string(mine.maxPayload);
    else if (theirs.window < 1 || theirs.window > mine.window)
        limits = "window " + std::to_string(theirs.window) + ", outside 1.." + std::to_string(mine.window);
    row("HelloAck message size and window", limits.empty(),
        limits.empty()
            ? std::to_string(theirs.maxPayload) + " bytes, " + std::to_string(theirs.window) + " frames"
            : limits);
    std::string caps;
    if (theirs.caps & ~mine.caps)
        caps = "bits " + hex(theirs.caps & ~mine.caps) + " of byte 1 were not offered";
    else if (theirs.moreCaps & ~mine.moreCaps)
        caps = "bits " + hex(theirs.moreCaps & ~mine.moreCaps) + " of byte 10 were not offered";
    else if ((theirs.caps & kCapCompactList) && theirs.protocol < 2)
        caps = "compact listings in a version-1 session";
    else if ((theirs.caps & kCapListDelta) && !(theirs.caps & kCapCompactList))
        caps = "delta listings without compact listings";
    row("HelloAck capabilities: only those shared", caps.empty(), caps);
    if (!limits.empty())
        return false;

    // A repeated Hello of the session (its HelloAck was lost) is answered alike.
    Frame again;
    Hello repeated;
    const bool answered = awaitAck(again, repeated, malformed);
    row("repeated Hello answered alike", answered && again.payload == ack.payload && again.tag == ack.tag,
        !answered                      ? "no HelloAck within the time-out"
        : again.payload == ack.payload ? ""
                                       : "another HelloAck");

    ChannelConfig config;
    config.maxPayload = theirs.maxPayload;
    config.windowFrames = theirs.window;
    config.shortAcks = (theirs.caps & kCapLeanBatch) != 0;
    channel.start(tag, config);
    // Names every device refuses, each asked as a Lookup, and one that is merely missing.
    const std::vector<std::pair<std::string, WireStatus>> asks = {
        {"", WireStatus::BadName},
        {kPrefix + "0123456789a", WireStatus::BadName}, // 17 bytes
        {"vx/chk", WireStatus::BadName},
        {"vx\\chk", WireStatus::BadName},
        {".", WireStatus::BadName},
        {"..", WireStatus::BadName},
        {"vx\x01"
         "chk",
         WireStatus::BadName},
        {"vx\xFF\xFE", WireStatus::BadName}, // not code page 936
        {kPrefix + "none.bin", WireStatus::NotFound},
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
    auto deadline = Clock::now() + milliseconds(m_timeoutMs);
    while (results < asks.size() && Clock::now() < deadline && channel.pump(deadline)) {
        std::vector<uint8_t> raw;
        while (channel.takeMessage(raw)) {
            Message msg;
            deadline = Clock::now() + milliseconds(m_timeoutMs);
            if (!decodeMessage(raw, msg) || msg.type != MsgType::Result || msg.id < 1 ||
                msg.id > asks.size()) {
                odd = "a message that is no Result of a Lookup (type " + hex(raw.empty() ? 0 : raw[0]) + ")";
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
        reason = "Lookup of " + shown(asks[i].first) + ": " +
                 (answers[i].empty() ? std::string("no answer within the time-out")
                                     : answers[i] + ", not " + statusName(asks[i].second));
    }
    row("bad names refused with BadName", badNames.empty() && odd.empty(), badNames.empty() ? odd : badNames);
    row("Lookup of a missing name: NotFound", missing.empty(), missing);
    deadline = Clock::now() + milliseconds(m_timeoutMs);
    while (!channel.idle() && Clock::now() < deadline && channel.pump(deadline)) {
        std::vector<uint8_t> ignored;
        while (channel.takeMessage(ignored)) {
        }
    }
    const auto &stats = channel.stats();
    row("Data frames acknowledged", channel.idle(),
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
    row("Close answered with CloseAck", closed, closed ? "" : "no CloseAck of the session's tag");
    return true;
}

bool DeviceCheck::open(FileClient &client, uint8_t withheld, const std::string &label)
{
    client.setTimeout(m_timeoutMs);
    client.withhold(withheld, 0);
    const LinkError e = timed("Hello", [&] { return client.connect(); });
    // Only a session that did not open is worth a row of its own.
    if (e != LinkError::Ok)
        row("session" + label, false, describe(e));
    return e == LinkError::Ok;
}

std::string DeviceCheck::roundTrip(FileClient &client, const std::string &name,
                                   const std::vector<uint8_t> &bytes)
{
    const std::string source = local("sent"), received = local("received");
    std::remove(received.c_str());
    if (!writeLocal(source, bytes))
        return "cannot write a local file";
    LinkError e = client.send({TransferItem{source, name, true}}, {}).front();
    if (e == LinkError::Timeout)
        m_timedOut.push_back("put " + name);
    if (e != LinkError::Ok)
        return std::string("put: ") + describe(e);
    e = client.receive({TransferItem{name, received, true}}, {}).front();
    if (e == LinkError::Timeout)
        m_timedOut.push_back("get " + name);
    if (e != LinkError::Ok)
        return std::string("get: ") + describe(e);
    if (readLocal(received) != bytes)
        return "get: the bytes received differ from those sent";
    DeviceEntry entry;
    e = timed("Lookup " + name, [&] { return client.lookup(name, &entry); });
    if (e != LinkError::Ok)
        return std::string("Lookup: ") + describe(e);
    if (entry.size != bytes.size())
        return "Lookup: " + std::to_string(entry.size) + " bytes, not " + std::to_string(bytes.size());
    // A FAT disk keeps times to 2 s.
    const int64_t sent = localTimeMs(source);
    if ((m_caps & kCapSync) && std::llabs(entry.mtimeMs - sent) > 2000)
        return "Lookup: time " + std::to_string(entry.mtimeMs) + " ms, the put carried " +
               std::to_string(sent);
    return "";
}

void DeviceCheck::checkTransfers(uint8_t withheld, const std::string &label)
{
    FileClient client(m_pipe);
    if (!open(client, withheld, " (" + label + ")"))
        return;
    const size_t large = m_quick ? 40000 : 200000;
    for (const size_t size : {size_t(0), size_t(1), large}) {
        const std::string name = kPrefix + std::to_string(size) + ".bin";
        const std::string reason = roundTrip(client, name, content(size, static_cast<uint32_t>(size)));
        row("put and get, " + std::to_string(size) + (size == 1 ? " byte (" : " bytes (") + label + ")",
            reason.empty(), reason);
    }
    client.close();
}

void DeviceCheck::checkBatch()
{
    if (!(m_caps & kCapLeanBatch)) {
        row("PutNext: a batch of small files", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " for a batch"))
        return;
    std::vector<TransferItem> sends, gets;
    std::vector<std::vector<uint8_t>> bytes;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = kPrefix + "b" + std::to_string(i) + ".txt";
        bytes.push_back(content(100u * static_cast<size_t>(i), static_cast<uint32_t>(i)));
        writeLocal(local(name), bytes.back());
        sends.push_back(TransferItem{local(name), name, true});
        gets.push_back(TransferItem{name, local(name + ".back"), true});
    }
    std::string reason;
    const auto sent = client.send(sends, {});
    const auto got = client.receive(gets, {});
    for (size_t i = 0; i < sends.size() && reason.empty(); ++i) {
        if (sent[i] != LinkError::Ok)
            reason = "put " + sends[i].destination + ": " + describe(sent[i]);
        else if (got[i] != LinkError::Ok)
            reason = "get " + gets[i].source + ": " + describe(got[i]);
        else if (readLocal(gets[i].destination) != bytes[i])
            reason = "get " + gets[i].source + ": the bytes received differ from those sent";
    }
    row("PutNext: a batch of 3 small files", reason.empty(), reason);
    client.close();
}

void DeviceCheck::checkNames(FileClient &client)
{
    // The longest name, and one of two-byte characters ("文件" in code page 936).
    std::string reason;
    for (const std::string &name : {kPrefix + "0123456789", kPrefix + "\xCE\xC4\xBC\xFE.txt"}) {
        if (reason.empty())
            reason = roundTrip(client, name, content(10, 1));
        if (!reason.empty()) {
            reason = shown(name) + ": " + reason;
            break;
        }
    }
    row("names at the limits: 16 bytes, code page 936", reason.empty(), reason);
}

void DeviceCheck::checkRequests(FileClient &client)
{
    const std::string one = kPrefix + "1.bin", moved = kPrefix + "mv.bin", zero = kPrefix + "0.bin";
    const std::string missing = kPrefix + "none.bin";
    // vxchk-0.bin and vxchk-1.bin are there from the transfers.
    writeLocal(local("one"), content(1, 1));
    LinkError e = client.send({TransferItem{local("one"), one, false}}, {}).front();
    expect("put without overwrite onto a file: Exists", e, LinkError::Exists);

    expect("mv", timed("Rename", [&] { return client.rename(one, moved); }), LinkError::Ok);
    e = timed("Lookup", [&] { return client.lookup(one); });
    expect("mv: the old name is gone (NotFound)", e, LinkError::NotFound);
    expect("mv onto a taken name: Exists", timed("Rename", [&] { return client.rename(moved, zero); }),
           LinkError::Exists);
    expect("mv of a missing name: NotFound", timed("Rename", [&] { return client.rename(missing, one); }),
           LinkError::NotFound);
    expect("rm", timed("Delete", [&] { return client.remove(moved); }), LinkError::Ok);
    expect("rm of a missing name: NotFound", timed("Delete", [&] { return client.remove(moved); }),
           LinkError::NotFound);
    expect("get of a missing name: NotFound",
           timed("get " + missing,
                 [&] {
                     return client.receive({TransferItem{missing, local("missing"), true}}, {}).front();
                 }),
           LinkError::NotFound);

    if (!(m_caps & kCapSync)) {
        row("Checksum", true, "not offered");
    } else {
        const auto bytes = content(m_quick ? 40000 : 200000, m_quick ? 40000 : 200000);
        const std::string name = kPrefix + std::to_string(bytes.size()) + ".bin";
        uint32_t crc = 0;
        e = timed("Checksum", [&] { return client.checksum(name, crc); });
        const uint32_t want = crc32(bytes.data(), bytes.size());
        if (e == LinkError::Ok && crc != want)
            row("Checksum", false, "CRC-32 " + hex(crc) + ", the file's is " + hex(want));
        else
            expect("Checksum", e, LinkError::Ok);
    }
    if (!(m_moreCaps & kMoreCapSpace)) {
        row("Space", true, "not offered");
    } else {
        uint64_t freeBytes = 0, totalBytes = 0;
        e = timed("Space", [&] { return client.freeSpace(freeBytes, totalBytes); });
        if (e == LinkError::Ok)
            row("Space", true, std::to_string(freeBytes) + " bytes free of " + std::to_string(totalBytes));
        else
            expect("Space", e, LinkError::Ok);
    }
}

void DeviceCheck::checkListings()
{
    const std::string pattern = kPrefix + "*";
    std::map<std::string, uint64_t> want;
    {
        FileClient client(m_pipe);
        if (!open(client, 0, " for listings"))
            return;
        // What is there, by Lookup: the listings must agree with it.
        for (const std::string &name :
             {kPrefix + "0.bin", kPrefix + "1.bin",
              kPrefix + std::to_string(m_quick ? 40000 : 200000) + ".bin", kPrefix + "0123456789",
              kPrefix + "\xCE\xC4\xBC\xFE.txt", kPrefix + "b1.txt", kPrefix + "b2.txt", kPrefix + "b3.txt"}) {
            DeviceEntry entry;
            if (client.lookup(name, &entry) == LinkError::Ok)
                want[name] = entry.size;
        }
        client.close();
    }
    const auto listed = [&](FileClient &client, std::string &reason) {
        std::vector<DeviceEntry> entries;
        const LinkError e = timed("List", [&] { return client.list(pattern, entries); });
        if (e != LinkError::Ok) {
            reason = describe(e);
            return;
        }
        std::map<std::string, uint64_t> got;
        for (const auto &entry : entries)
            got[entry.name] = entry.size;
        reason = describeListing(got, want);
    };

    // Protocol version 1 ends a listing with its stream, version 2 with a Result.
    for (const uint8_t version : {uint8_t(1), uint8_t(2)}) {
        FileClient client(m_pipe);
        client.setTimeout(m_timeoutMs);
        client.withhold(kCapCompactList | kCapListDelta, 0, version);
        const std::string label = "listing, entry by entry, version " + std::to_string(version);
        const LinkError e = timed("Hello", [&] { return client.connect(); });
        std::string reason;
        if (e == LinkError::Ok)
            listed(client, reason);
        else
            reason = std::string("session: ") + describe(e);
        row(label, reason.empty(), reason);
        client.close();
    }
    if (!(m_caps & kCapCompactList)) {
        row("listing, compact", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " with compact listings"))
        return;
    std::string reason;
    auto before = client.stats().bytesRead;
    listed(client, reason);
    const auto whole = client.stats().bytesRead - before;
    row("listing, compact", reason.empty(), reason);
    before = client.stats().bytesRead;
    listed(client, reason);
    const auto again = client.stats().bytesRead - before;
    if (reason.empty() && again >= whole)
        reason = "the whole listing again (" + std::to_string(again) + " bytes) where its token was current";
    row("listing unchanged: the Result alone", reason.empty(), reason);

    const std::string added = kPrefix + "new.txt";
    writeLocal(local("new"), content(5, 5));
    const LinkError e = client.send({TransferItem{local("new"), added, true}}, {}).front();
    if (e == LinkError::Ok)
        want[added] = 5;
    listed(client, reason);
    row(std::string("listing after a change") + ((m_caps & kCapListDelta) ? " (delta)" : ""),
        e == LinkError::Ok && reason.empty(),
        e != LinkError::Ok ? std::string("put: ") + describe(e) : reason);
    client.close();
}

void DeviceCheck::checkResume()
{
    // The client resumes only with both bits: the partial's record holds the source's time.
    if (!(m_caps & kCapResume) || !(m_caps & kCapSync)) {
        row("resume offer after an interrupted put", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " for resume"))
        return;
    const std::string name = kPrefix + "resume.bin";
    std::vector<uint8_t> bytes(m_quick ? 160 * 1024 : 512 * 1024);
    std::mt19937 random(7);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(random());
    writeLocal(local("resume"), bytes);
    int stop = 0;
    TransferControl control;
    control.stop = &stop;
    control.onProgress = [&](size_t, uint64_t done, uint64_t) {
        if (done >= bytes.size() / 2)
            stop = 1;
    };
    const TransferItem item{local("resume"), name, true};
    LinkError e = client.send({item}, control).front();
    std::string reason;
    if (e != LinkError::Stopped) {
        reason = std::string("the first put was to stop midway: ") + describe(e);
    } else {
        const auto before = client.stats().dataBytesSent;
        e = client.send({item}, {}).front();
        const auto sent = client.stats().dataBytesSent - before;
        if (e != LinkError::Ok)
            reason = std::string("put: ") + describe(e);
        // A kept part is whole blocks of 32 KiB; framing adds about 1 % to what is sent.
        else if (sent + 16 * 1024 > bytes.size())
            reason = "no kept part offered: " + std::to_string(sent) + " bytes sent again for a file of " +
                     std::to_string(bytes.size());
        else if (client.receive({TransferItem{name, local("resume.back"), true}}, {}).front() !=
                     LinkError::Ok ||
                 readLocal(local("resume.back")) != bytes)
            reason = "the continued file, received back, differs from the one sent";
        else
            reason = "continued: " + std::to_string(sent) + " bytes sent for " + std::to_string(bytes.size());
    }
    row("resume offer after an interrupted put", reason.rfind("continued", 0) == 0, reason);
    client.close();
}

void DeviceCheck::cleanUp()
{
    FileClient client(m_pipe);
    if (!open(client, 0, " for the clean-up"))
        return;
    std::vector<DeviceEntry> entries;
    std::string reason;
    if (const LinkError e = client.list("*", entries); e != LinkError::Ok)
        reason = std::string("List: ") + describe(e);
    for (const auto &entry : entries) {
        if (entry.name.rfind(kPrefix, 0) != 0)
            continue;
        if (const LinkError e = client.remove(entry.name); e != LinkError::Ok && reason.empty())
            reason = "rm " + shown(entry.name) + ": " + describe(e);
    }
    entries.clear();
    if (reason.empty() && client.list("*", entries) == LinkError::Ok)
        for (const auto &entry : entries)
            if (entry.name.rfind(kPrefix, 0) == 0 && reason.empty())
                reason = shown(entry.name) + " still listed after its rm";
    row("names of the check removed", reason.empty(), reason);
    client.close();
}

} // namespace vexo::cli
