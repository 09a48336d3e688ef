#include "FileClient.h"

#include "BlockAssembler.h"
#include "BlockSplitter.h"
#include "Crc32.h"
#include "Hello.h"
#include "ListingCodec.h"
#include "NameCodec.h"
#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"
#include "vexo/sys/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <random>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::link
{

namespace
{
constexpr unsigned kWindowFrames = 4;
constexpr size_t kPipelinedGets = 8;
constexpr int kHelloResendMs = 400;
constexpr int kCloseWaitMs = 1500;

// Frames short enough to cross a slow line in well under 200 ms, so a lost
// frame costs little and a stop is honoured quickly.
uint16_t payloadForBaud(int baud)
{
    if (baud <= 0)
        return 2048;
    const int bytes = baud / 10 * 18 / 100;
    return static_cast<uint16_t>(std::clamp(bytes / 256 * 256, 256, 2048));
}

uint32_t randomNonce()
{
    std::random_device rd;
    uint32_t n = rd() ^ static_cast<uint32_t>(Clock::now().time_since_epoch().count());
    return n == 0 ? 1 : n;
}

// The program writes device files as "TVR:\NAME" where it keeps their kind;
// the device knows bare names only.
std::string bareName(const std::string &name)
{
    static const char kPrefix[] = "TVR:\\";
    const size_t n = sizeof kPrefix - 1;
    if (name.size() > n && strncasecmp(name.c_str(), kPrefix, n) == 0)
        return name.substr(n);
    return name;
}

bool stopRequested(const TransferControl &c)
{
    return c.stop && __atomic_load_n(c.stop, __ATOMIC_RELAXED) != 0;
}

void setProgress(const TransferControl &c, uint64_t done, uint64_t total, bool complete)
{
    if (!c.progress)
        return;
    int pct = complete ? 100 : total == 0 ? 0 : static_cast<int>(std::min<uint64_t>(99, done * 100 / total));
    __atomic_store_n(c.progress, pct, __ATOMIC_RELAXED);
}

// Puts a finished file in place; with overwrite 0 an existing destination
// wins, even one that appeared during the transfer.
LinkError commitFile(sys::AtomicFile &file, bool overwrite)
{
    const int error = file.commit(overwrite ? sys::Placement::Replace : sys::Placement::NeverReplace);
    return error == 0 ? LinkError::Ok : error == EEXIST ? LinkError::Exists : LinkError::LocalIo;
}
} // namespace

struct FileClient::Outgoing {
    size_t index = 0;
    uint16_t id = 0;
    sys::UniqueFd fd;
    uint64_t size = 0;
    uint64_t sent = 0;
    uint32_t crc = 0;
    void closeFile() { fd.reset(); }
};

struct FileClient::Incoming {
    size_t index = 0;
    uint16_t id = 0;
    std::string dest;
    bool overwrite = true;
    sys::AtomicFile file; // the copy, beside its destination until complete
    bool opened = false;
    uint64_t size = 0;
    int64_t mtimeMs = 0;               // the device file's time, which the copy keeps
    LinkError failure = LinkError::Ok; // once set, the rest of the stream is read and dropped
    uint64_t dropped = 0;              // bytes of the stream dropped after a failure
    BlockAssembler assembler;
    void discard() { file.discard(); }
};

FileClient::FileClient(std::shared_ptr<Pipe> pipe) : m_pipe(std::move(pipe))
{
    m_lastId = static_cast<uint16_t>(randomNonce());
}

FileClient::~FileClient() = default;

void FileClient::setTimeout(int ms)
{
    m_timeoutMs = std::max(ms, 100);
}

ChannelStats FileClient::stats() const
{
    return m_channel ? m_channel->stats() : ChannelStats{};
}

void FileClient::abandon()
{
    lose(LinkError::Ok);
}

size_t FileClient::maxPartData() const
{
    // FileData: type, id, flags and the stream CRC; smaller while the line
    // damages frames (Channel::dataPayload).
    return m_channel->dataPayload() - 8;
}

LinkError FileClient::attach()
{
    auto stream = m_pipe->stream();
    if (!stream) {
        // The pipe was closed or its device is gone: let go of the old one now.
        m_channel.reset();
        m_stream.reset();
        if (m_state == State::Connected)
            m_state = State::Lost;
        return LinkError::NotConnected;
    }
    if (stream != m_stream || !m_channel) {
        m_channel.reset();
        m_stream = std::move(stream);
        m_channel = std::make_unique<Channel>(*m_stream);
        if (m_state == State::Connected)
            m_state = State::Lost;
    }
    return LinkError::Ok;
}

LinkError FileClient::lose(LinkError error)
{
    if (m_state == State::Connected)
        m_state = State::Lost;
    if (m_channel) {
        const bool broken = m_channel->streamBroken();
        m_channel->stop();
        if (broken) {
            m_pipe->dropStream(m_stream);
            m_channel.reset();
            m_stream.reset();
        }
    }
    return error;
}

LinkError FileClient::hello()
{
    uint32_t nonce = randomNonce();
    while (tagForNonce(nonce) == m_lastTag)
        ++nonce;
    const uint8_t tag = tagForNonce(nonce);
    m_channel->stop();
    Hello mine;
    mine.caps = localCodecCaps() | kCapSync | kCapCompactList;
    mine.nonce = nonce;
    mine.maxPayload = payloadForBaud(m_pipe->baud());
    mine.window = kWindowFrames;
    const auto payload = encodeHello(mine);

    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    auto nextSend = Clock::now();
    while (Clock::now() < deadline) {
        if (Clock::now() >= nextSend) {
            m_channel->sendControl(FrameType::Hello, tag, 0, payload);
            nextSend = Clock::now() + std::chrono::milliseconds(kHelloResendMs);
        }
        if (!m_channel->pump(std::min(deadline, nextSend)))
            return lose(LinkError::NotConnected);
        Frame frame;
        while (m_channel->takeControl(frame)) {
            Hello theirs;
            if (frame.type != FrameType::HelloAck || !decodeHello(frame.payload, theirs) ||
                theirs.nonce != nonce)
                continue;
            if (theirs.version != kFormatVersion || theirs.protocol > mine.protocol)
                return LinkError::Protocol;
            ChannelConfig config;
            config.maxPayload = std::min(mine.maxPayload, theirs.maxPayload);
            config.windowFrames = std::min<unsigned>(mine.window, std::max<unsigned>(theirs.window, 1));
            m_codec = chooseCodec(mine.caps, theirs.caps);
            m_peerCaps = theirs.caps;
            m_protocol = theirs.protocol;
            m_channel->start(tag, config);
            m_lastTag = tag;
            m_state = State::Connected;
            return LinkError::Ok;
        }
    }
    return LinkError::Timeout;
}

LinkError FileClient::ensureSession()
{
    if (m_state == State::Closed)
        return LinkError::NotConnected;
    if (const auto e = attach(); e != LinkError::Ok)
        return e;
    if (m_state == State::Connected && !m_channel->failed())
        return LinkError::Ok;
    m_state = State::Lost;
    return hello();
}

LinkError FileClient::connect()
{
    if (const auto e = attach(); e != LinkError::Ok) {
        m_state = State::Closed;
        return e;
    }
    const auto e = hello();
    if (e != LinkError::Ok)
        m_state = State::Closed;
    return e;
}

LinkError FileClient::close()
{
    if (m_state != State::Connected || !m_channel || m_channel->failed()) {
        m_state = State::Closed;
        return LinkError::Ok;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(m_timeoutMs, kCloseWaitMs));
    while (!m_channel->idle() && Clock::now() < deadline) {
        if (!m_channel->pump(std::min(deadline, Clock::now() + std::chrono::milliseconds(50))))
            break;
        std::vector<uint8_t> dropped;
        while (m_channel->takeMessage(dropped)) {
        }
    }
    const uint8_t tag = m_channel->tag();
    m_channel->stop();
    auto nextSend = Clock::now();
    bool acked = false;
    while (!acked && Clock::now() < deadline) {
        if (Clock::now() >= nextSend) {
            m_channel->sendControl(FrameType::Close, tag, 0, {});
            nextSend = Clock::now() + std::chrono::milliseconds(300);
        }
        if (!m_channel->pump(std::min(deadline, nextSend)))
            break;
        Frame frame;
        while (m_channel->takeControl(frame))
            acked = acked || (frame.type == FrameType::CloseAck && frame.tag == tag);
    }
    m_state = State::Closed;
    return LinkError::Ok;
}

LinkError FileClient::next(Message &msg, bool &got, Clock::time_point since, int maxWaitMs)
{
    got = false;
    const auto timeout = std::chrono::milliseconds(m_timeoutMs);
    const auto now = Clock::now();
    const auto progress = std::max(m_channel->lastProgress(), since);
    if (now - progress > timeout)
        return lose(LinkError::Timeout);
    const auto until = std::min(now + std::chrono::milliseconds(maxWaitMs),
                                progress + timeout + std::chrono::milliseconds(1));
    if (!m_channel->pump(until))
        return lose(m_channel->streamBroken() ? LinkError::NotConnected : LinkError::Timeout);
    Frame frame;
    while (m_channel->takeControl(frame)) {
        if (frame.type == FrameType::Reset && frame.tag == m_channel->tag()) {
            m_resetSeen = true;
            return lose(LinkError::NotConnected);
        }
    }
    std::vector<uint8_t> raw;
    if (m_channel->takeMessage(raw)) {
        if (!decodeMessage(raw, msg))
            return lose(LinkError::Protocol);
        got = true;
    }
    return LinkError::Ok;
}

LinkError FileClient::request(Message req, Message &resp, bool readOnly)
{
    for (int attempt = 0;; ++attempt) {
        if (const auto e = ensureSession(); e != LinkError::Ok)
            return e;
        req.id = nextId();
        m_channel->send(encodeMessage(req));
        const auto since = Clock::now();
        m_resetSeen = false;
        LinkError e = LinkError::Ok;
        for (;;) {
            bool got = false;
            if (e = next(resp, got, since, 1000); e != LinkError::Ok)
                break;
            if (got && resp.type == MsgType::Result && resp.id == req.id)
                return errorFromStatus(resp.status);
        }
        // The device lost our session (it restarted): a question that changes
        // nothing is simply asked again in a new one.
        if (!(e == LinkError::NotConnected && m_resetSeen && readOnly && attempt == 0))
            return e;
    }
}

LinkError FileClient::lookup(const std::string &given, DeviceEntry *entry)
{
    const std::string name = bareName(given);
    if (!isValidDeviceName(name))
        return LinkError::BadName;
    Message req, resp;
    req.type = MsgType::Lookup;
    req.name = name;
    const auto e = request(req, resp, true);
    if (e == LinkError::Ok && entry) {
        entry->name = name;
        entry->size = resp.size;
        entry->mtimeMs = resp.mtimeMs;
    }
    return e;
}

LinkError FileClient::checksum(const std::string &given, uint32_t &crc, DeviceEntry *entry)
{
    const std::string name = bareName(given);
    if (!isValidDeviceName(name))
        return LinkError::BadName;
    if (const auto e = ensureSession(); e != LinkError::Ok)
        return e;
    if (!(m_peerCaps & kCapSync))
        return LinkError::Unsupported;
    Message req, resp;
    req.type = MsgType::Checksum;
    req.name = name;
    const auto e = request(req, resp, true);
    if (e != LinkError::Ok)
        return e;
    if (!resp.hasCrc)
        return lose(LinkError::Protocol);
    crc = resp.crc;
    if (entry) {
        entry->name = name;
        entry->size = resp.size;
        entry->mtimeMs = resp.mtimeMs;
    }
    return LinkError::Ok;
}

LinkError FileClient::remove(const std::string &given)
{
    const std::string name = bareName(given);
    if (!isValidDeviceName(name))
        return LinkError::BadName;
    Message req, resp;
    req.type = MsgType::Delete;
    req.name = name;
    return request(req, resp, false);
}

LinkError FileClient::rename(const std::string &givenFrom, const std::string &givenTo)
{
    const std::string from = bareName(givenFrom);
    const std::string to = bareName(givenTo);
    if (!isValidDeviceName(from) || !isValidDeviceName(to))
        return LinkError::BadName;
    Message req, resp;
    req.type = MsgType::Rename;
    req.name = from;
    req.name2 = to;
    return request(req, resp, false);
}

LinkError FileClient::list(const std::string &pattern, std::vector<DeviceEntry> &entries, size_t *refused)
{
    if (pattern.size() > 255)
        return LinkError::BadName;
    for (int attempt = 0;; ++attempt) {
        m_resetSeen = false;
        size_t dropped = 0;
        const auto e = listOnce(pattern, entries, dropped);
        if (refused)
            *refused = dropped;
        if (e != LinkError::Ok) {
            // A failed listing hands back nothing, and gives its memory back.
            std::vector<DeviceEntry>().swap(entries);
        }
        if (!(e == LinkError::NotConnected && m_resetSeen && attempt == 0))
            return e;
    }
}

LinkError FileClient::listOnce(const std::string &pattern, std::vector<DeviceEntry> &entries, size_t &refused)
{
    entries.clear();
    if (const auto e = ensureSession(); e != LinkError::Ok)
        return e;
    const bool compact = (m_peerCaps & kCapCompactList) && m_protocol >= 2;
    Message req;
    req.type = MsgType::List;
    req.id = nextId();
    req.name = pattern;
    if (compact && m_held.token != 0 && m_held.pattern == pattern)
        req.since = m_held.token;
    m_channel->send(encodeMessage(req));
    auto since = Clock::now();
    BlockAssembler assembler;
    bool anyPart = false;
    std::vector<uint8_t> block;
    size_t budget = kMaxListBytes;
    auto charge = [&budget](size_t bytes) {
        if (bytes > budget)
            return false;
        budget -= bytes;
        return true;
    };
    for (;;) {
        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, since, 1000); e != LinkError::Ok)
            return e;
        if (!got || msg.id != req.id)
            continue;
        if (msg.type == MsgType::Result) {
            if (msg.status != WireStatus::Ok)
                return errorFromStatus(msg.status);
            const uint64_t token = static_cast<uint64_t>(msg.mtimeMs);
            // Unchanged: the Result alone, naming the listing we hold, with its count.
            if (!anyPart && req.since != 0) {
                if (!msg.hasInfo || token != req.since || msg.size != m_held.entries.size() + m_held.refused)
                    return lose(LinkError::Protocol);
                entries = m_held.entries;
                refused = m_held.refused;
                return LinkError::Ok;
            }
            // Only a count matching everything that arrived ends a listing.
            if (m_protocol < 2 || !assembler.finished() || !msg.hasInfo ||
                msg.size != entries.size() + refused || (compact && token == 0))
                return lose(LinkError::Protocol);
            if (compact)
                m_held = HeldListing{pattern, token, entries, refused};
            return LinkError::Ok;
        }
        if (msg.type != MsgType::ListPart)
            continue;
        anyPart = true;
        // The rest of an over-long listing is still on its way: the session
        // cannot carry on after it.
        if (!charge(msg.part.data.size() + 64))
            return lose(LinkError::TooLarge);
        since = Clock::now();
        bool blockDone = false;
        std::vector<WireEntry> wire;
        if (!assembler.add(msg.part, block, blockDone) ||
            (blockDone && !(compact ? decodeCompactBlock(block, wire) : decodeEntries(block, wire))))
            return lose(LinkError::Protocol);
        for (auto &w : wire) {
            // Names the window or a terminal could be tricked by never leave the library.
            if (!isValidDeviceName(w.name)) {
                ++refused;
                continue;
            }
            if (entries.size() == kMaxListEntries || !charge(sizeof(DeviceEntry) + w.name.size()))
                return lose(LinkError::TooLarge);
            entries.push_back(DeviceEntry{std::move(w.name), w.size, w.mtimeMs});
        }
        // A version-1 server ends a listing with its stream; a later one with a count.
        if (assembler.finished() && m_protocol < 2)
            return LinkError::Ok;
    }
}

bool FileClient::openNextSend(const TransferItem &item, Outgoing &out, LinkError &error)
{
    const std::string name = bareName(item.destination);
    if (!isValidDeviceName(name)) {
        error = LinkError::BadName;
        return false;
    }
    // A FIFO or a device would block the open or the reads: only regular files go.
    out.fd.reset(::open(item.source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {
    };
    if (!out.fd || fstat(out.fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.closeFile();
        error = LinkError::LocalIo;
        return false;
    }
    out.id = nextId();
    out.size = static_cast<uint64_t>(st.st_size);
    out.sent = 0;
    out.crc = 0;

    Message open;
    open.type = MsgType::PutOpen;
    open.id = out.id;
    open.name = name;
    open.overwrite = item.overwrite;
    open.size = out.size;
    // The copy keeps the source's time, so that a later comparison by size and
    // time finds the two equal without a checksum.
    if (m_peerCaps & kCapSync) {
        open.hasTime = true;
        open.mtimeMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    }
    // A small file travels inside the open message: one frame per file.
    const size_t room = m_channel->config().maxPayload - messageOverhead(open) - 5;
    if (out.size <= room) {
        std::vector<uint8_t> raw(out.size);
        if (!sys::readAll(out.fd.get(), raw.data(), raw.size())) {
            out.closeFile();
            error = LinkError::LocalIo;
            return false;
        }
        const uint32_t crc = crc32(raw.data(), raw.size());
        auto parts = splitBlock(m_codec, raw.data(), raw.size(), room, true, crc, true);
        open.hasPart = true;
        open.part = std::move(parts.front());
        out.sent = out.size;
        out.closeFile();
    }
    m_channel->send(encodeMessage(open));
    return true;
}

bool FileClient::submitBlock(Outgoing &out, LinkError &error)
{
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kMaxBlockSize, out.size - out.sent));
    std::vector<uint8_t> raw(n);
    if (!sys::readAll(out.fd.get(), raw.data(), n)) {
        error = LinkError::LocalIo;
        return false;
    }
    out.crc = crc32(raw.data(), n, out.crc);
    out.sent += n;
    const bool last = out.sent == out.size;
    for (auto &part : splitBlock(m_codec, raw.data(), n, maxPartData(), last, out.crc)) {
        Message data;
        data.type = MsgType::FileData;
        data.id = out.id;
        data.hasPart = true;
        data.part = std::move(part);
        m_channel->send(encodeMessage(data));
    }
    if (last)
        out.closeFile();
    return true;
}

std::vector<LinkError> FileClient::send(const std::vector<TransferItem> &items,
                                        const TransferControl &control)
{
    std::vector<LinkError> results(items.size(), LinkError::Stopped);
    std::vector<bool> done(items.size(), false);
    auto finish = [&](size_t i, LinkError e) {
        results[i] = e;
        done[i] = true;
    };
    if (const auto e = ensureSession(); e != LinkError::Ok) {
        std::fill(results.begin(), results.end(), e);
        return results;
    }
    setProgress(control, 0, 1, false);
    size_t nextItem = 0;
    bool current = false; // `cur` is being submitted
    Outgoing cur;
    std::deque<Outgoing> awaiting; // fully submitted, waiting for the device's result
    std::vector<std::pair<uint16_t, size_t>> localAborts;
    bool stopping = false;
    bool abortPending = false;
    uint16_t abortId = 0;
    auto since = Clock::now();

    // The open file is closed on every way out, an exception's included.
    struct Closer {
        Outgoing &file;
        ~Closer() { file.closeFile(); }
    } closer{cur};

    auto sendAbort = [&]() {
        Message abort;
        abort.type = MsgType::Abort;
        abort.id = nextId();
        m_channel->send(encodeMessage(abort));
        return abort.id;
    };
    auto report = [&](size_t index, uint64_t sentBytes, uint64_t size) {
        if (control.onProgress)
            control.onProgress(index, sentBytes, size);
    };

    for (;;) {
        if (!stopping && stopRequested(control)) {
            stopping = true;
            m_channel->discardUnsent();
            cur.closeFile();
            current = false;
            abortId = sendAbort();
            abortPending = true;
            since = Clock::now();
        }
        while (!stopping && m_channel->hasRoom()) {
            if (!current) {
                if (nextItem == items.size())
                    break;
                const size_t index = nextItem++;
                LinkError error = LinkError::Ok;
                cur = Outgoing{};
                cur.index = index;
                if (!openNextSend(items[index], cur, error)) {
                    finish(index, error);
                    continue;
                }
                report(index, cur.sent, cur.size);
                if (!cur.fd)
                    awaiting.push_back(std::move(cur));
                else
                    current = true;
                continue;
            }
            LinkError error = LinkError::Ok;
            if (!submitBlock(cur, error)) {
                // The device holds a partial file for this id: make it drop it.
                m_channel->discardUnsent();
                cur.closeFile();
                current = false;
                localAborts.emplace_back(sendAbort(), cur.index);
                finish(cur.index, error);
                continue;
            }
            report(cur.index, cur.sent, cur.size);
            if (items.size() == 1)
                setProgress(control, cur.sent, cur.size, false);
            if (!cur.fd) {
                awaiting.push_back(std::move(cur));
                current = false;
            }
        }
        if (stopping ? !abortPending
                     : (!current && nextItem == items.size() && awaiting.empty() && localAborts.empty()))
            break;

        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, since, 100); e != LinkError::Ok) {
            cur.closeFile();
            for (size_t i = 0; i < items.size(); ++i)
                if (!done[i])
                    finish(i, stopping                  ? LinkError::Stopped
                              : e == LinkError::Timeout ? e
                                                        : LinkError::TransferFailed);
            return results;
        }
        if (!got || msg.type != MsgType::Result)
            continue;
        if (stopping && msg.id == abortId) {
            abortPending = false;
            continue;
        }
        const LinkError e = errorFromStatus(msg.status);
        // Only an answer to one of ours is progress; anything else may be a
        // peer that talks without ever answering.
        const auto answers = [&msg](const Outgoing &o) { return o.id == msg.id; };
        if ((current && msg.id == cur.id) || std::any_of(awaiting.begin(), awaiting.end(), answers) ||
            std::any_of(localAborts.begin(), localAborts.end(),
                        [&](const auto &a) { return a.first == msg.id; }))
            since = Clock::now();
        if (current && msg.id == cur.id) {
            // Refused at the open (name, exists): the rest of it is not wanted.
            m_channel->discardUnsent();
            cur.closeFile();
            current = false;
            finish(cur.index, e);
            continue;
        }
        auto it =
            std::find_if(awaiting.begin(), awaiting.end(), [&](const Outgoing &o) { return o.id == msg.id; });
        if (it != awaiting.end()) {
            finish(it->index, e);
            if (e == LinkError::Ok)
                setProgress(control, 1, 1, true);
            awaiting.erase(it);
            continue;
        }
        localAborts.erase(std::remove_if(localAborts.begin(), localAborts.end(),
                                         [&](const auto &a) { return a.first == msg.id; }),
                          localAborts.end());
    }
    cur.closeFile();
    return results;
}

void FileClient::finishIncoming(Incoming &in, LinkError &result)
{
    if (in.failure != LinkError::Ok) {
        in.discard();
        result = in.failure;
        return;
    }
    if (in.assembler.total() != in.size) {
        in.discard();
        result = LinkError::TransferFailed;
        return;
    }
    sys::setFileTime(in.file.fd(), in.mtimeMs);
    result = commitFile(in.file, in.overwrite);
}

std::vector<LinkError> FileClient::receive(const std::vector<TransferItem> &items,
                                           const TransferControl &control)
{
    std::vector<LinkError> results(items.size(), LinkError::Stopped);
    std::vector<bool> done(items.size(), false);
    auto finish = [&](size_t i, LinkError e) {
        results[i] = e;
        done[i] = true;
    };
    if (const auto e = ensureSession(); e != LinkError::Ok) {
        std::fill(results.begin(), results.end(), e);
        return results;
    }
    setProgress(control, 0, 1, false);
    size_t nextItem = 0;
    std::deque<Incoming> requested;
    bool stopping = false;
    bool abortPending = false;
    uint16_t abortId = 0;
    auto since = Clock::now();
    std::vector<uint8_t> block;

    auto cleanup = [&](LinkError e) {
        for (auto &in : requested) {
            in.discard();
            if (!done[in.index])
                finish(in.index, in.failure != LinkError::Ok ? in.failure : e);
        }
        requested.clear();
    };
    // No temporary file outlives the call, even one abandoned by an exception.
    struct Discarder {
        std::deque<Incoming> &files;
        ~Discarder()
        {
            for (auto &in : files)
                in.discard();
        }
    } discarder{requested};

    for (;;) {
        if (!stopping && stopRequested(control)) {
            stopping = true;
            Message abort;
            abort.type = MsgType::Abort;
            abort.id = abortId = nextId();
            abortPending = true;
            m_channel->send(encodeMessage(abort));
            since = Clock::now();
        }
        while (!stopping && requested.size() < kPipelinedGets && nextItem < items.size()) {
            const size_t index = nextItem++;
            const auto &item = items[index];
            struct stat st {
            };
            const std::string name = bareName(item.source);
            if (!isValidDeviceName(name)) {
                finish(index, LinkError::BadName);
                continue;
            }
            if (lstat(item.destination.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !item.overwrite)) {
                finish(index, S_ISDIR(st.st_mode) ? LinkError::LocalIo : LinkError::Exists);
                continue;
            }
            Incoming in;
            in.index = index;
            in.id = nextId();
            in.dest = item.destination;
            in.overwrite = item.overwrite;
            Message get;
            get.type = MsgType::Get;
            get.id = in.id;
            get.name = name;
            m_channel->send(encodeMessage(get));
            requested.push_back(std::move(in));
        }
        if (stopping ? !abortPending : (requested.empty() && nextItem == items.size()))
            break;

        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, since, 100); e != LinkError::Ok) {
            cleanup(stopping ? LinkError::Stopped : e == LinkError::Timeout ? e : LinkError::TransferFailed);
            for (size_t i = 0; i < items.size(); ++i)
                if (!done[i])
                    finish(i, stopping ? LinkError::Stopped : e);
            return results;
        }
        if (!got)
            continue;
        if (stopping && msg.type == MsgType::Result && msg.id == abortId) {
            abortPending = false;
            continue;
        }
        auto it = std::find_if(requested.begin(), requested.end(),
                               [&](const Incoming &in) { return in.id == msg.id; });
        if (it == requested.end())
            continue;
        Incoming &in = *it;
        // Data of a file that already failed holds the time-out off only as
        // long as the file's declared size (and one block) could still be coming.
        if (in.failure == LinkError::Ok)
            since = Clock::now();
        else if ((in.dropped += msg.part.data.size() + 1) <= in.size + kMaxBlockSize)
            since = Clock::now();
        if (msg.type == MsgType::Result) {
            in.discard();
            finish(in.index,
                   msg.status == WireStatus::Ok ? LinkError::Protocol : errorFromStatus(msg.status));
            requested.erase(it);
            continue;
        }
        if (msg.type == MsgType::GetOpen) {
            if (in.opened) {
                in.failure = LinkError::TransferFailed;
            } else {
                in.opened = true;
                in.size = msg.size;
                in.mtimeMs = msg.mtimeMs;
                if (in.file.open(in.dest) != 0)
                    in.failure = LinkError::LocalIo;
            }
            if (!msg.hasPart)
                continue;
        } else if (msg.type != MsgType::FileData || !in.opened) {
            continue;
        }
        bool blockDone = false;
        bool endOfStream = (msg.part.flags & kPartEndOfStream) != 0;
        if (in.failure == LinkError::Ok) {
            if (!in.assembler.add(msg.part, block, blockDone) || in.assembler.total() > in.size)
                in.failure = LinkError::TransferFailed;
            else if (blockDone && !sys::writeAll(in.file.fd(), block.data(), block.size()))
                in.failure = LinkError::LocalIo;
        }
        const uint64_t got64 = in.assembler.total();
        if (control.onProgress)
            control.onProgress(in.index, got64, in.size);
        if (items.size() == 1)
            setProgress(control, got64, in.size, false);
        if (!endOfStream)
            continue;
        LinkError result = LinkError::Ok;
        finishIncoming(in, result);
        finish(in.index, result);
        if (result == LinkError::Ok)
            setProgress(control, 1, 1, true);
        requested.erase(it);
    }
    cleanup(LinkError::Stopped);
    return results;
}

} // namespace vexo::link
