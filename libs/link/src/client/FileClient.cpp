#include "FileClient.h"

#include "BlockAssembler.h"
#include "Hello.h"
#include "IncomingFile.h"
#include "ListingCodec.h"
#include "ListingDelta.h"
#include "NameCodec.h"
#include "PartialFile.h"
#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <random>
#include <strings.h>
#include <sys/stat.h>
#include <tuple>
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

// What placing a finished file came to (an errno value); with overwrite 0 an
// existing destination wins, even one that appeared during the transfer.
LinkError placed(int error)
{
    return error == 0 ? LinkError::Ok : error == EEXIST ? LinkError::Exists : LinkError::LocalIo;
}

sys::Placement placement(bool overwrite)
{
    return overwrite ? sys::Placement::Replace : sys::Placement::NeverReplace;
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : slash == 0 ? std::string("/") : path.substr(0, slash);
}
} // namespace

// One result per item of a send or receive call, and the stop handshake both
// follow: an Abort, then its Result.
struct FileClient::Batch {
    explicit Batch(size_t items) : results(items, LinkError::Stopped), done(items, false) {}
    void finish(size_t i, LinkError e)
    {
        results[i] = e;
        done[i] = true;
    }
    void finishRest(LinkError e)
    {
        for (size_t i = 0; i < done.size(); ++i)
            if (!done[i])
                finish(i, e);
    }

    std::vector<LinkError> results;
    std::vector<bool> done;
    bool stopping = false;
    bool abortPending = false;
    uint16_t abortId = 0;
    Clock::time_point since = Clock::now(); // the last useful answer
};

// The files of a send call: the one being submitted, and those submitted
// or aborted whose Result is still to come (request id, item index).
struct FileClient::Sends {
    size_t nextItem = 0;
    std::unique_ptr<OutgoingFile> cur;
    size_t curIndex = 0;
    std::deque<std::pair<uint16_t, size_t>> awaiting;
    std::vector<std::pair<uint16_t, size_t>> localAborts;
    bool awaitingOffer = false; // cur asked to resume: no data before the device's offer
    uint64_t working = 0;       // bytes of its kept part the device said it read back so far
    OpenChain chain;            // the device's view of our opens, while nothing is discarded
    // Where each file stands once the channel has delivered up to `queued`.
    struct Mark {
        uint64_t queued;
        size_t index;
        uint64_t done;
        uint64_t size;
    };
    std::deque<Mark> marks;
    // A file given up: what it had queued never arrives.
    void dropMarks(size_t index)
    {
        marks.erase(
            std::remove_if(marks.begin(), marks.end(), [index](const Mark &m) { return m.index == index; }),
            marks.end());
    }
};

// A file asked for with Get, from the request to the end of its stream.
struct FileClient::Incoming {
    size_t index = 0;
    uint16_t id = 0;
    std::string name; // on the device
    std::string dest;
    bool overwrite = true;
    bool opened = false;
    int64_t mtimeMs = 0;               // the device file's time, which the copy keeps
    uint64_t working = 0;              // bytes the device said it read before the open
    LinkError failure = LinkError::Ok; // once set, the rest of the stream is read and dropped
    uint64_t dropped = 0;              // bytes of the stream dropped after a failure
    IncomingFile stream{0, false};
    sys::AtomicFile file; // the copy, beside its destination until complete
    // A large file goes into a partial instead, kept if the transfer stops early.
    std::unique_ptr<PartialFile> partial;
    int fd() const { return partial ? partial->fd() : file.fd(); }
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

LinkError FileClient::hello(bool pinned)
{
    uint32_t nonce = randomNonce();
    while (tagForNonce(nonce) == m_lastTag)
        ++nonce;
    const uint8_t tag = tagForNonce(nonce);
    m_channel->stop();
    Hello mine;
    mine.caps = localCodecCaps() | kCapSync | kCapCompactList | kCapListDelta | kCapZstdContext |
                kCapLeanBatch | kCapResume;
    mine.moreCaps = kMoreCapSpace | kMoreCapHash | kMoreCapIdentity | kMoreCapDeleteMany;
    mine.caps &= static_cast<uint8_t>(~m_withheldCaps);
    mine.moreCaps &= static_cast<uint8_t>(~m_withheldMoreCaps);
    mine.protocol = m_offeredProtocol;
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
            // A message size below the smallest any peer accepts leaves no room for a part.
            if (theirs.version != kFormatVersion || theirs.protocol > mine.protocol ||
                theirs.maxPayload < kMinPayload)
                return LinkError::Protocol;
            const bool identified = (theirs.moreCaps & kMoreCapIdentity) != 0;
            // Another palmtop in the cradle on the same port: the run it
            // answers was meant for the first one, so nothing goes to it.
            if (pinned && m_pinned && (!identified || theirs.identity != *m_pinned))
                return LinkError::OtherDevice;
            if (!pinned)
                m_pinned = identified ? std::make_optional(theirs.identity) : std::nullopt;
            ChannelConfig config;
            config.maxPayload = std::min(mine.maxPayload, theirs.maxPayload);
            config.windowFrames = std::min<unsigned>(mine.window, std::max<unsigned>(theirs.window, 1));
            config.shortAcks = (theirs.caps & kCapLeanBatch) != 0;
            m_codec = chooseCodec(mine.caps, theirs.caps);
            m_peerCaps = theirs.caps;
            m_peerMoreCaps = theirs.moreCaps;
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
    return hello(true);
}

LinkError FileClient::reconnect()
{
    if (const auto e = attach(); e != LinkError::Ok)
        return e;
    m_state = State::Lost;
    return hello(true);
}

LinkError FileClient::connect()
{
    if (const auto e = attach(); e != LinkError::Ok) {
        m_state = State::Closed;
        return e;
    }
    const auto e = hello(false);
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
    // Its answer is not waited for: every request was answered already, and a
    // Close that is lost leaves the device a session with nothing pending,
    // which the next Hello replaces.
    m_channel->sendControl(FrameType::Close, tag, 0, {});
    m_channel->flush(deadline);
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
        auto since = Clock::now();
        uint64_t working = 0;
        m_resetSeen = false;
        LinkError e = LinkError::Ok;
        for (;;) {
            bool got = false;
            if (e = next(resp, got, since, 1000); e != LinkError::Ok)
                break;
            if (got && resp.type == MsgType::Result && resp.id == req.id)
                return errorFromStatus(resp.status);
            // A device still reading a large file for us: progress only while it reads on.
            if (got && resp.type == MsgType::Working && resp.id == req.id && resp.offset > working) {
                working = resp.offset;
                since = Clock::now();
            }
        }
        // The device lost our session (it restarted): a question that changes
        // nothing is simply asked again in a new one.
        if (!(e == LinkError::NotConnected && m_resetSeen && readOnly && attempt == 0))
            return e;
    }
}

LinkError FileClient::askAboutFile(MsgType type, const std::string &given, Message &resp, DeviceEntry *entry)
{
    const std::string name = bareName(given);
    if (!isValidDeviceName(name))
        return LinkError::BadName;
    if (type == MsgType::Checksum || type == MsgType::Hash) {
        if (const auto e = ensureSession(); e != LinkError::Ok)
            return e;
        if (type == MsgType::Checksum ? !(m_peerCaps & kCapSync) : !hashed())
            return LinkError::Unsupported;
    }
    Message req;
    req.type = type;
    req.name = name;
    const auto e = request(req, resp, true);
    // An Ok without size and time would read as an empty file of 1970.
    if (e == LinkError::Ok && !resp.hasInfo)
        return lose(LinkError::Protocol);
    if (e == LinkError::Ok && entry) {
        entry->name = name;
        entry->size = resp.size;
        entry->mtimeMs = resp.mtimeMs;
    }
    return e;
}

LinkError FileClient::lookup(const std::string &given, DeviceEntry *entry)
{
    Message resp;
    return askAboutFile(MsgType::Lookup, given, resp, entry);
}

LinkError FileClient::checksum(const std::string &given, uint32_t &crc, DeviceEntry *entry)
{
    Message resp;
    const auto e = askAboutFile(MsgType::Checksum, given, resp, entry);
    if (e != LinkError::Ok)
        return e;
    if (!resp.hasCrc)
        return lose(LinkError::Protocol);
    crc = resp.crc;
    return LinkError::Ok;
}

LinkError FileClient::fileHash(const std::string &given, Hash &hash, DeviceEntry *entry)
{
    Message resp;
    const auto e = askAboutFile(MsgType::Hash, given, resp, entry);
    if (e != LinkError::Ok)
        return e;
    if (!resp.hasHash)
        return lose(LinkError::Protocol);
    hash = resp.hash;
    return LinkError::Ok;
}

LinkError FileClient::deviceIdentity(std::array<uint8_t, kIdentitySize> &identity)
{
    if (const auto e = ensureSession(); e != LinkError::Ok)
        return e;
    if (!m_pinned)
        return LinkError::Unsupported;
    identity = *m_pinned;
    return LinkError::Ok;
}

LinkError FileClient::freeSpace(uint64_t &freeBytes, uint64_t &totalBytes)
{
    if (const auto e = ensureSession(); e != LinkError::Ok)
        return e;
    // An older server would ignore the message as malformed and let the
    // call wait out the time-out.
    if (!(m_peerMoreCaps & kMoreCapSpace))
        return LinkError::Unsupported;
    Message req;
    req.type = MsgType::Space;
    Message resp;
    if (const auto e = request(req, resp, true); e != LinkError::Ok)
        return e;
    if (!resp.hasInfo || resp.mtimeMs < 0 || resp.size > static_cast<uint64_t>(resp.mtimeMs))
        return lose(LinkError::Protocol);
    freeBytes = resp.size;
    totalBytes = static_cast<uint64_t>(resp.mtimeMs);
    return LinkError::Ok;
}

bool FileClient::lacksSpaceFor(const std::string &localPath)
{
    struct stat st {
    };
    uint64_t freeBytes = 0, totalBytes = 0;
    return ::stat(localPath.c_str(), &st) == 0 && freeSpace(freeBytes, totalBytes) == LinkError::Ok &&
           static_cast<uint64_t>(st.st_size) > freeBytes;
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

LinkError FileClient::removeMany(const std::vector<std::string> &given, std::vector<LinkError> &results,
                                 const int *stop)
{
    results.assign(given.size(), LinkError::Stopped);
    const auto stopped = [stop] { return stop && __atomic_load_n(stop, __ATOMIC_RELAXED) != 0; };
    if (const auto e = ensureSession(); e != LinkError::Ok) {
        std::fill(results.begin(), results.end(), e);
        return e;
    }
    std::vector<std::string> names(given.size());
    for (size_t i = 0; i < given.size(); ++i) {
        names[i] = bareName(given[i]);
        if (!isValidDeviceName(names[i]))
            results[i] = LinkError::BadName;
    }
    if (!(m_peerMoreCaps & kMoreCapDeleteMany)) {
        removeOneByOne(names, results, stop);
        return LinkError::Ok;
    }
    // Requests in flight: id and the indexes of their names.
    std::deque<std::pair<uint16_t, std::vector<size_t>>> asked;
    const size_t room = m_channel->config().maxPayload;
    size_t nextName = 0;
    auto since = Clock::now();
    for (;;) {
        while (!stopped() && asked.size() < kWindowFrames && m_channel->hasRoom()) {
            Message req;
            req.type = MsgType::DeleteMany;
            req.id = nextId();
            std::vector<size_t> indexes;
            size_t bytes = 3;
            for (; nextName < names.size(); ++nextName) {
                if (results[nextName] == LinkError::BadName)
                    continue;
                const size_t cost = 1 + names[nextName].size();
                if (bytes + cost > room)
                    break;
                bytes += cost;
                req.names.push_back(names[nextName]);
                indexes.push_back(nextName);
            }
            if (indexes.empty())
                break;
            m_channel->send(encodeMessage(req));
            asked.emplace_back(req.id, std::move(indexes));
        }
        if (asked.empty())
            return LinkError::Ok; // what was never sent stays Stopped (or BadName)
        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, since, 100); e != LinkError::Ok) {
            // The device may or may not have carried out what it was asked.
            for (const auto &request : asked) {
                for (const size_t i : request.second)
                    results[i] = e;
            }
            for (size_t i = nextName; i < names.size(); ++i) {
                if (results[i] != LinkError::BadName)
                    results[i] = e;
            }
            return LinkError::Ok;
        }
        if (!got)
            continue;
        const auto it = std::find_if(asked.begin(), asked.end(),
                                     [&](const auto &request) { return request.first == msg.id; });
        if (it == asked.end())
            continue;
        if (msg.type != MsgType::Outcomes || msg.statuses.size() != it->second.size()) {
            const auto e = lose(LinkError::Protocol);
            for (auto &request : asked) {
                for (const size_t i : request.second)
                    results[i] = e;
            }
            return LinkError::Ok;
        }
        for (size_t k = 0; k < it->second.size(); ++k)
            results[it->second[k]] = errorFromStatus(msg.statuses[k]);
        asked.erase(it);
        since = Clock::now();
    }
}

void FileClient::removeOneByOne(const std::vector<std::string> &names, std::vector<LinkError> &results,
                                const int *stop)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (stop && __atomic_load_n(stop, __ATOMIC_RELAXED) != 0)
            return;
        if (results[i] == LinkError::BadName)
            continue;
        results[i] = remove(names[i]);
        if (sessionLost()) {
            for (size_t k = i + 1; k < names.size(); ++k) {
                if (results[k] != LinkError::BadName)
                    results[k] = results[i];
            }
            return;
        }
    }
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
            // Nor is the listing we hold asked against again: changes that
            // did not fit it would only fail once more.
            if (e == LinkError::Protocol)
                m_held = HeldListing{};
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
    const bool deltas = compact && (m_peerCaps & kCapListDelta);
    Message req;
    req.type = MsgType::List;
    req.id = nextId();
    req.name = pattern;
    if (compact && m_held.token != 0 && m_held.pattern == pattern)
        req.since = m_held.token;
    m_channel->send(encodeMessage(req));
    auto since = Clock::now();
    BlockAssembler assembler;
    MsgType form = MsgType::Result; // the type of the first part, Result before any
    std::vector<uint8_t> block;
    size_t budget = kMaxListBytes;
    auto charge = [&budget](size_t bytes) {
        if (bytes > budget)
            return false;
        budget -= bytes;
        return true;
    };
    // Everything the device listed, names it may not use included: the
    // count and the token cover them, and changes apply to them.
    std::vector<WireEntry> listed;
    std::optional<ListingDelta> delta;
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
            if (form == MsgType::Result && req.since != 0) {
                if (!msg.hasInfo || token != req.since || msg.size != m_held.entries.size())
                    return lose(LinkError::Protocol);
                handOn(m_held.entries, entries, refused);
                return LinkError::Ok;
            }
            // Only a count matching everything that arrived ends a listing;
            // a listing that may later be brought up to date must also be the
            // one its token names, so that a wrong change never goes unseen.
            if (m_protocol < 2 || !assembler.finished() || !msg.hasInfo ||
                (delta && !delta->finish(listed)) || msg.size != listed.size() || (compact && token == 0) ||
                (deltas && listingToken(listed) != token))
                return lose(LinkError::Protocol);
            handOn(listed, entries, refused);
            if (compact)
                m_held = HeldListing{pattern, token, std::move(listed)};
            return LinkError::Ok;
        }
        if (msg.type != MsgType::ListPart && msg.type != MsgType::ListChanges)
            continue;
        // Changes come only to a session that shares them, against the
        // listing we named, and a listing never mixes the two forms.
        if ((form != MsgType::Result && msg.type != form) ||
            (msg.type == MsgType::ListChanges && (!deltas || req.since == 0)))
            return lose(LinkError::Protocol);
        if (form == MsgType::Result && msg.type == MsgType::ListChanges)
            delta.emplace(m_held.entries, budget);
        form = msg.type;
        // The rest of an over-long listing is still on its way: the session
        // cannot carry on after it.
        if (!charge(msg.part.data.size() + 64))
            return lose(LinkError::TooLarge);
        // A part without a byte carries nothing of the listing: were it
        // progress, empty parts could hold the call until the budget ran out.
        if (!msg.part.data.empty())
            since = Clock::now();
        bool blockDone = false;
        if (!assembler.add(msg.part, block, blockDone))
            return lose(LinkError::Protocol);
        if (blockDone && delta) {
            if (!delta->apply(block))
                return lose(LinkError::Protocol);
        } else if (blockDone) {
            std::vector<WireEntry> wire;
            if (!(compact ? decodeCompactBlock(block, wire) : decodeEntries(block, wire)))
                return lose(LinkError::Protocol);
            for (auto &w : wire) {
                if (listed.size() == kMaxListEntries || !charge(sizeof(WireEntry) + w.name.size()))
                    return lose(LinkError::TooLarge);
                listed.push_back(std::move(w));
            }
        }
        // A version-1 server ends a listing with its stream; a later one with a count.
        if (assembler.finished() && m_protocol < 2) {
            handOn(listed, entries, refused);
            return LinkError::Ok;
        }
    }
}

void FileClient::handOn(const std::vector<WireEntry> &listed, std::vector<DeviceEntry> &entries,
                        size_t &refused)
{
    entries.clear();
    entries.reserve(listed.size());
    refused = 0;
    for (const auto &w : listed) {
        // Names the window or a terminal could be tricked by never leave the library.
        if (isValidDeviceName(w.name))
            entries.push_back(DeviceEntry{w.name, w.size, w.mtimeMs});
        else
            ++refused;
    }
}

std::vector<LinkError> FileClient::send(const std::vector<TransferItem> &items,
                                        const TransferControl &control)
{
    return runBatch(items, control, &FileClient::sendAll);
}

std::vector<LinkError> FileClient::receive(const std::vector<TransferItem> &items,
                                           const TransferControl &control)
{
    return runBatch(items, control, &FileClient::receiveAll);
}

std::vector<LinkError> FileClient::runBatch(const std::vector<TransferItem> &items,
                                            const TransferControl &control, BatchRun run)
{
    Batch batch(items.size());
    if (const auto e = ensureSession(); e != LinkError::Ok) {
        std::fill(batch.results.begin(), batch.results.end(), e);
        return batch.results;
    }
    setProgress(control, 0, 1, false);
    (this->*run)(items, control, batch);
    return batch.results;
}

uint16_t FileClient::sendAbort()
{
    Message abort;
    abort.type = MsgType::Abort;
    abort.id = nextId();
    m_channel->send(encodeMessage(abort));
    return abort.id;
}

bool FileClient::stopIfAsked(Batch &batch, const TransferControl &control, bool dropUnsent)
{
    if (batch.stopping || !stopRequested(control))
        return false;
    batch.stopping = true;
    // Data not yet numbered is not wanted any more; the Abort goes after it is gone.
    if (dropUnsent)
        m_channel->discardUnsent();
    batch.abortId = sendAbort();
    batch.abortPending = true;
    batch.since = Clock::now();
    return true;
}

std::unique_ptr<OutgoingFile> FileClient::openNextSend(const TransferItem &item, OpenChain &chain,
                                                       LinkError &error)
{
    const std::string name = bareName(item.destination);
    if (!isValidDeviceName(name)) {
        error = LinkError::BadName;
        return nullptr;
    }
    auto file = std::make_unique<OutgoingFile>(nextId(), m_codec, fileContext(), hashed());
    if (!file->open(item.source, true)) {
        error = LinkError::LocalIo;
        return nullptr;
    }
    Message open;
    open.type = MsgType::PutOpen;
    open.id = file->id();
    open.name = name;
    open.overwrite = item.overwrite;
    // The copy keeps the source's time, so that a later comparison by size and
    // time finds the two equal without a checksum.
    if (m_peerCaps & kCapSync) {
        open.hasTime = true;
        open.mtimeMs = file->mtimeMs();
    }
    // The device may hold the first part of it from an earlier attempt:
    // ask before sending any data.
    open.resumable = resumable(file->size());
    if (!file->fillOpen(open, m_channel->config().maxPayload)) {
        error = LinkError::LocalIo;
        return nullptr;
    }
    if (m_peerCaps & kCapLeanBatch)
        chain.shorten(open);
    m_channel->send(encodeMessage(open));
    return file;
}

void FileClient::sendAll(const std::vector<TransferItem> &items, const TransferControl &control, Batch &batch)
{
    Sends sends;
    for (;;) {
        if (stopIfAsked(batch, control, true)) {
            sends.cur.reset();
            sends.chain.reset();
        }
        if (!batch.stopping)
            fillSendWindow(items, control, batch, sends);
        if (batch.stopping ? !batch.abortPending
                           : (!sends.cur && sends.nextItem == items.size() && sends.awaiting.empty() &&
                              sends.localAborts.empty()))
            return;
        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, batch.since, 100); e != LinkError::Ok) {
            batch.finishRest(batch.stopping            ? LinkError::Stopped
                             : e == LinkError::Timeout ? e
                                                       : LinkError::TransferFailed);
            return;
        }
        reportDelivered(control, sends, items.size() == 1);
        if (got && msg.type == MsgType::ResumeOffer && !batch.stopping)
            takeResumeOffer(msg, batch, sends);
        // The device still reads back the part it kept: progress only while it reads on.
        if (got && msg.type == MsgType::Working && sends.cur && msg.id == sends.cur->id() &&
            sends.awaitingOffer && msg.offset > sends.working) {
            sends.working = msg.offset;
            batch.since = Clock::now();
        }
        if (!got || msg.type != MsgType::Result)
            continue;
        if (batch.stopping && msg.id == batch.abortId)
            batch.abortPending = false;
        else
            takeSendResult(msg, control, batch, sends);
    }
}

void FileClient::fillSendWindow(const std::vector<TransferItem> &items, const TransferControl &control,
                                Batch &batch, Sends &sends)
{
    while (m_channel->hasRoom() && !(sends.cur && sends.awaitingOffer)) {
        if (!sends.cur) {
            if (sends.nextItem == items.size())
                return;
            const size_t index = sends.nextItem++;
            LinkError error = LinkError::Ok;
            auto file = openNextSend(items[index], sends.chain, error);
            if (!file) {
                batch.finish(index, error);
                continue;
            }
            if (control.onProgress)
                control.onProgress(index, 0, file->size());
            sends.awaitingOffer = resumable(file->size());
            sends.working = 0;
            if (file->complete()) {
                sends.marks.push_back({m_channel->queuedTotal(), index, file->size(), file->size()});
                sends.awaiting.emplace_back(file->id(), index);
            } else
                std::tie(sends.cur, sends.curIndex) = std::make_pair(std::move(file), index);
            continue;
        }
        const auto noteQueued = [&](uint64_t done) {
            sends.marks.push_back({m_channel->queuedTotal(), sends.curIndex, done, sends.cur->size()});
        };
        if (!sends.cur->sendBlock(*m_channel, noteQueued)) {
            // The device holds a partial file for this id: make it drop it.
            m_channel->discardUnsent();
            sends.dropMarks(sends.curIndex);
            sends.cur.reset();
            sends.chain.reset();
            sends.localAborts.emplace_back(sendAbort(), sends.curIndex);
            batch.finish(sends.curIndex, LinkError::LocalIo);
            continue;
        }
        if (sends.cur->complete()) {
            sends.awaiting.emplace_back(sends.cur->id(), sends.curIndex);
            sends.cur.reset();
        }
    }
}

void FileClient::reportDelivered(const TransferControl &control, Sends &sends, bool single)
{
    const uint64_t delivered = m_channel->deliveredTotal();
    std::optional<Sends::Mark> last;
    while (!sends.marks.empty() && sends.marks.front().queued <= delivered) {
        last = sends.marks.front();
        sends.marks.pop_front();
    }
    if (!last)
        return;
    if (control.onProgress)
        control.onProgress(last->index, last->done, last->size);
    if (single)
        setProgress(control, last->done, last->size, false);
}

void FileClient::takeSendResult(const Message &msg, const TransferControl &control, Batch &batch,
                                Sends &sends)
{
    const LinkError e = errorFromStatus(msg.status);
    const auto answers = [&msg](const std::pair<uint16_t, size_t> &a) { return a.first == msg.id; };
    auto &awaiting = sends.awaiting;
    auto &localAborts = sends.localAborts;
    // Only an answer to one of ours is progress; anything else may be a
    // peer that talks without ever answering.
    const bool current = sends.cur && msg.id == sends.cur->id();
    if (current || std::any_of(awaiting.begin(), awaiting.end(), answers) ||
        std::any_of(localAborts.begin(), localAborts.end(), answers))
        batch.since = Clock::now();
    if (current) {
        // Refused at the open (name, exists): the rest of it is not wanted.
        m_channel->discardUnsent();
        sends.dropMarks(sends.curIndex);
        sends.cur.reset();
        sends.chain.reset();
        batch.finish(sends.curIndex, e);
        return;
    }
    if (auto it = std::find_if(awaiting.begin(), awaiting.end(), answers); it != awaiting.end()) {
        batch.finish(it->second, e);
        if (e == LinkError::Ok)
            setProgress(control, 1, 1, true);
        awaiting.erase(it);
        return;
    }
    localAborts.erase(std::remove_if(localAborts.begin(), localAborts.end(), answers), localAborts.end());
}

bool FileClient::requestNextGet(const TransferItem &item, size_t index, Batch &batch,
                                std::deque<Incoming> &requested)
{
    const std::string name = bareName(item.source);
    if (!isValidDeviceName(name)) {
        batch.finish(index, LinkError::BadName);
        return false;
    }
    struct stat st {
    };
    if (lstat(item.destination.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !item.overwrite)) {
        batch.finish(index, S_ISDIR(st.st_mode) ? LinkError::LocalIo : LinkError::Exists);
        return false;
    }
    Incoming in;
    in.index = index;
    in.id = nextId();
    in.name = name;
    in.dest = item.destination;
    in.overwrite = item.overwrite;
    Message get;
    get.type = MsgType::Get;
    get.id = in.id;
    get.name = name;
    askToContinue(name, in, get);
    m_channel->send(encodeMessage(get));
    requested.push_back(std::move(in));
    return true;
}

void FileClient::openIncoming(Incoming &in, const Message &open)
{
    if (in.opened) {
        in.failure = LinkError::TransferFailed;
        return;
    }
    in.opened = true;
    in.mtimeMs = open.mtimeMs;
    in.stream = IncomingFile(open.size, fileContext(), hashed());
    if (continueIncoming(in, open))
        return;
    in.partial.reset();
    if (in.file.open(in.dest) != 0)
        in.failure = LinkError::LocalIo;
}

LinkError FileClient::finishIncoming(Incoming &in)
{
    if (in.failure != LinkError::Ok) {
        in.file.discard();
        if (in.partial)
            in.partial->discard();
        return in.failure;
    }
    sys::setFileTime(in.fd(), in.mtimeMs);
    return placed(in.partial ? in.partial->commit(in.dest, placement(in.overwrite))
                             : in.file.commit(placement(in.overwrite)));
}

void FileClient::receiveAll(const std::vector<TransferItem> &items, const TransferControl &control,
                            Batch &batch)
{
    size_t nextItem = 0;
    // No temporary file outlives the call: each Incoming removes its own.
    std::deque<Incoming> requested;
    auto failRequested = [&](LinkError e) {
        for (auto &in : requested) {
            // Stopped early, not failed a check: what arrived stays for the next attempt.
            if (in.partial && in.failure == LinkError::Ok)
                in.partial->keep();
            if (!batch.done[in.index])
                batch.finish(in.index, in.failure != LinkError::Ok ? in.failure : e);
        }
        requested.clear();
    };

    for (;;) {
        stopIfAsked(batch, control, false);
        while (!batch.stopping && requested.size() < kPipelinedGets && nextItem < items.size()) {
            const size_t index = nextItem++;
            requestNextGet(items[index], index, batch, requested);
        }
        if (batch.stopping ? !batch.abortPending : (requested.empty() && nextItem == items.size()))
            break;

        Message msg;
        bool got = false;
        if (const auto e = next(msg, got, batch.since, 100); e != LinkError::Ok) {
            failRequested(batch.stopping            ? LinkError::Stopped
                          : e == LinkError::Timeout ? e
                                                    : LinkError::TransferFailed);
            batch.finishRest(batch.stopping ? LinkError::Stopped : e);
            return;
        }
        if (!got)
            continue;
        if (batch.stopping && msg.type == MsgType::Result && msg.id == batch.abortId) {
            batch.abortPending = false;
            continue;
        }
        auto it = std::find_if(requested.begin(), requested.end(),
                               [&](const Incoming &in) { return in.id == msg.id; });
        if (it != requested.end() && takeIncoming(*it, msg, batch, control, items.size() == 1))
            requested.erase(it);
    }
    failRequested(LinkError::Stopped);
}

bool FileClient::takeIncoming(Incoming &in, const Message &msg, Batch &batch, const TransferControl &control,
                              bool single)
{
    // The device still checks the part we kept: progress only while it reads on.
    if (msg.type == MsgType::Working) {
        if (!in.opened && msg.offset > in.working) {
            in.working = msg.offset;
            batch.since = Clock::now();
        }
        return false;
    }
    // Data of a file that already failed holds the time-out off only as
    // long as the file's declared size (and one block) could still be coming.
    if (in.failure == LinkError::Ok)
        batch.since = Clock::now();
    else if ((in.dropped += msg.part.data.size() + 1) <= in.stream.size() + kMaxBlockSize)
        batch.since = Clock::now();
    if (msg.type == MsgType::Result) {
        batch.finish(in.index,
                     msg.status == WireStatus::Ok ? LinkError::Protocol : errorFromStatus(msg.status));
        return true;
    }
    if (msg.type == MsgType::GetOpen || msg.type == MsgType::GetOpenFrom) {
        openIncoming(in, msg);
        if (!msg.hasPart)
            return false;
    } else if (msg.type != MsgType::FileData || !in.opened) {
        return false;
    }
    if (in.failure == LinkError::Ok) {
        const auto fault = in.stream.add(msg.part, in.fd());
        if (fault != IncomingFile::Fault::None)
            in.failure = fault == IncomingFile::Fault::Io ? LinkError::LocalIo : LinkError::TransferFailed;
        else if (in.partial)
            in.partial->note(in.stream.received(), in.stream.crc());
    }
    if (control.onProgress)
        control.onProgress(in.index, in.stream.received(), in.stream.size());
    if (single)
        setProgress(control, in.stream.received(), in.stream.size(), false);
    if (!(msg.part.flags & kPartEndOfStream))
        return false;
    const LinkError result = finishIncoming(in);
    batch.finish(in.index, result);
    if (result == LinkError::Ok)
        setProgress(control, 1, 1, true);
    return true;
}

bool FileClient::resumable(uint64_t size) const
{
    return m_resume && (m_peerCaps & kCapResume) && (m_peerCaps & kCapSync) && size > kResumeMinSize;
}

void FileClient::takeResumeOffer(const Message &msg, Batch &batch, Sends &sends)
{
    if (!sends.cur || msg.id != sends.cur->id() || !sends.awaitingOffer)
        return;
    batch.since = Clock::now();
    sends.awaitingOffer = false;
    OutgoingFile &file = *sends.cur;
    // The device's part is continued only if it holds exactly our first bytes;
    // otherwise (another file, changed since) it starts over.
    FileDigest prefix;
    const bool same = msg.offset > 0 && msg.offset < file.size() && file.prefix(msg.offset, prefix) &&
                      prefix.crc() == msg.crc && (!hashed() || (msg.hasHash && msg.hash == prefix.hash())) &&
                      file.startAt(prefix);
    Message from;
    from.type = MsgType::PutFrom;
    from.id = file.id();
    from.offset = same ? msg.offset : 0;
    m_channel->send(encodeMessage(from));
    // The device holds the part it kept once it has our answer.
    if (same)
        sends.marks.push_back({m_channel->queuedTotal(), sends.curIndex, msg.offset, file.size()});
}

void FileClient::askToContinue(const std::string &name, Incoming &in, Message &get)
{
    if (!m_resume || !(m_peerCaps & kCapResume))
        return;
    auto partial = std::make_unique<PartialFile>();
    if (!partial->reopen(PartialFile::pathBeside(in.dest)))
        return;
    // Kept for another device file: of no use to this one.
    if (partial->source().name != name) {
        partial->discard();
        return;
    }
    get.type = MsgType::GetFrom;
    get.size = partial->source().size;
    get.mtimeMs = partial->source().mtimeMs;
    get.offset = partial->kept();
    get.crc = partial->crc();
    get.hasHash = hashed();
    get.hash = partial->keptDigest().hash();
    in.partial = std::move(partial);
}

bool FileClient::continueIncoming(Incoming &in, const Message &open)
{
    const uint64_t offset = open.type == MsgType::GetOpenFrom ? open.offset : 0;
    if (offset != 0) {
        // The device may continue only the part we offered.
        if (!in.partial || offset != in.partial->kept() || open.size != in.partial->source().size)
            in.failure = LinkError::Protocol;
        else
            in.stream.startAt(in.partial->keptDigest());
        return true;
    }
    if (!resumable(open.size))
        return false;
    const PartialSource source{in.name, open.size, open.mtimeMs};
    // Stale partials of this folder go, and others while the space is short.
    const std::string folder = folderOf(in.dest);
    PartialFile::removeOlder(folder, PartialFile::isBesideName, kPartialMaxAgeSeconds);
    PartialFile::makeRoom(folder, PartialFile::isBesideName, open.size, SIZE_MAX,
                          PartialFile::pathBeside(in.dest));
    if (!in.partial)
        in.partial = std::make_unique<PartialFile>();
    if (!in.partial->create(PartialFile::pathBeside(in.dest), source))
        in.failure = LinkError::LocalIo;
    return true;
}

} // namespace vexo::link
