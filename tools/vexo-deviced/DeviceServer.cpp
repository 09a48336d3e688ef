#include "DeviceServer.h"

#include "BlockSplitter.h"
#include "Crc32.h"
#include "Hello.h"
#include "ListingCodec.h"
#include "ListingDelta.h"
#include "NameCodec.h"
#include "vexo/sys/CodeTable.h"
#include "vexo/sys/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::deviced
{

using namespace link;

namespace
{
// What one session may have waiting: requests held back while a file or
// earlier answers go out. A client of ours pipelines a handful; one that goes
// past this floods us and loses its session.
constexpr size_t kMaxQueued = 256;
constexpr size_t kMaxQueuedBytes = 1 << 20;
// Answers waiting for the window beyond this hold back further requests, so a
// client that asks faster than it takes answers fills the bounded queue above.
constexpr size_t kMaxBacklog = 64 * 1024;
constexpr int kResetGapMs = 250;

size_t footprint(const Message &m)
{
    size_t bytes = sizeof m + m.name.size() + m.name2.size() + m.part.data.size();
    for (const std::string &name : m.names)
        bytes += sizeof name + name.size();
    return bytes;
}

const char *const kStatusTexts[] = {
    "ok",           // Ok
    "not found",    // NotFound
    "bad name",     // BadName
    "exists",       // Exists
    "i/o error",    // IoError
    "stopped",      // Stopped
    "bad request",  // BadRequest
    "check failed", // CheckFailed
};

const char *statusText(WireStatus s)
{
    return sys::textOf<WireStatus::CheckFailed>(kStatusTexts, s, "?");
}
} // namespace

DeviceServer::DeviceServer(const DeviceFolder &folder, ByteStream &stream, ServerOptions options)
    : m_folder(folder), m_partials(folder.root()), m_options(options), m_channel(stream),
      m_space(folder.root(), options.capacity)
{
}

DeviceServer::~DeviceServer()
{
    abortIncoming();
    abortOutgoing();
}

void DeviceServer::log(const std::string &line) const
{
    if (m_options.verbose)
        std::fprintf(stderr, "vexo-deviced: %s\n", line.c_str());
}

bool DeviceServer::serve(const std::atomic<bool> &quit)
{
    while (!quit.load())
        if (!step(200))
            return false;
    // Let a last answer reach the client before the line goes away.
    m_channel.flush(Clock::now() + std::chrono::milliseconds(500));
    return true;
}

bool DeviceServer::step(int maxWaitMs)
{
    pumpGet();
    // A file being read for a request is read on between the rounds.
    if (m_digesting)
        maxWaitMs = 0;
    if (!m_channel.pump(Clock::now() + std::chrono::milliseconds(maxWaitMs))) {
        if (m_channel.streamBroken()) {
            dropSession("line closed");
            return false;
        }
        dropSession("client stopped answering");
    }
    Frame frame;
    while (m_channel.takeControl(frame))
        handleControl(frame);
    std::vector<uint8_t> raw;
    while (m_channel.takeMessage(raw)) {
        Message msg;
        // A PutNext refers to the open before it in arrival order, so it is
        // restored here, before anything is queued or dropped; a session
        // without the capability does not know the message at all.
        const bool unknown =
            !(m_caps & kCapLeanBatch) && !raw.empty() && raw[0] == static_cast<uint8_t>(MsgType::PutNext);
        if (unknown || !decodeMessage(raw, msg) || !m_opens.expand(msg) || !resumeAllowed(msg)) {
            log("malformed request ignored");
            continue;
        }
        dispatch(msg);
    }
    processQueue();
    digestSome();
    checkTimeouts();
    return true;
}

void DeviceServer::handleControl(const Frame &frame)
{
    switch (frame.type) {
    case FrameType::Hello:
        handleHello(frame);
        break;
    case FrameType::Close:
        if (m_channel.active() && frame.tag == m_channel.tag()) {
            abortIncoming();
            abortOutgoing();
            clearQueue();
            forgetListing();
            m_channel.stop();
            m_nonce = 0;
            log("session closed");
        }
        m_channel.sendControl(FrameType::CloseAck, frame.tag, 0, {});
        break;
    case FrameType::Data:
    case FrameType::Ack:
    case FrameType::Nak: {
        // A client that still talks in a session we no longer have must start over.
        const auto now = Clock::now();
        if (now - m_lastReset >= std::chrono::milliseconds(kResetGapMs)) {
            m_lastReset = now;
            m_channel.sendControl(FrameType::Reset, frame.tag, 0, {});
        }
        break;
    }
    default:
        break;
    }
}

void DeviceServer::handleHello(const Frame &frame)
{
    Hello theirs;
    if (!decodeHello(frame.payload, theirs))
        return;
    Hello mine;
    mine.nonce = theirs.nonce;
    mine.protocol = m_options.protocol;
    if (theirs.version != kFormatVersion) {
        // Size and window 0: no session was opened.
        log("hello of unknown version " + std::to_string(theirs.version));
        m_channel.sendControl(FrameType::HelloAck, tagForNonce(theirs.nonce), 0, encodeHello(mine));
        return;
    }
    const uint8_t offered =
        localCodecCaps() | (m_options.offerChecksum ? kCapSync : 0) |
        (m_options.offerCompactList ? kCapCompactList : 0) | (m_options.offerListDelta ? kCapListDelta : 0) |
        (m_options.offerFileContext ? kCapZstdContext : 0) | (m_options.offerLeanBatch ? kCapLeanBatch : 0) |
        (m_options.offerResume ? kCapResume : 0);
    mine.caps = static_cast<uint8_t>(offered & m_options.caps & theirs.caps);
    mine.moreCaps = static_cast<uint8_t>(
        ((m_options.offerSpace ? kMoreCapSpace : 0) | (m_options.offerHash ? kMoreCapHash : 0) |
         (m_options.identity ? kMoreCapIdentity : 0) | (m_options.offerDeleteMany ? kMoreCapDeleteMany : 0)) &
        (m_options.caps >> 8) & theirs.moreCaps);
    if (mine.moreCaps & kMoreCapIdentity)
        mine.identity = *m_options.identity;
    mine.maxPayload =
        std::min<uint16_t>(m_options.maxPayload, std::max<uint16_t>(theirs.maxPayload, kMinPayload));
    mine.window = std::min<uint8_t>(m_options.window, std::max<uint8_t>(theirs.window, 1));
    mine.protocol = std::max<uint8_t>(1, std::min(m_options.protocol, theirs.protocol));
    // Compact listings are closed and named by their Result, which version 1 lacks.
    if (mine.protocol < 2)
        mine.caps &= static_cast<uint8_t>(~kCapCompactList);
    // Changes are changes of a compact listing, named by its token.
    if (!(mine.caps & kCapCompactList))
        mine.caps &= static_cast<uint8_t>(~kCapListDelta);
    if (!(m_channel.active() && theirs.nonce == m_nonce)) {
        // A new client, or the old one starting over: whatever it left half done goes.
        abortIncoming();
        abortOutgoing();
        clearQueue();
        m_opens.reset();
        forgetListing();
        ChannelConfig config;
        config.maxPayload = mine.maxPayload;
        config.windowFrames = mine.window;
        config.shortAcks = (mine.caps & kCapLeanBatch) != 0;
        m_channel.start(tagForNonce(theirs.nonce), config);
        m_nonce = theirs.nonce;
        m_codec = chooseCodec(mine.caps, theirs.caps);
        m_protocol = mine.protocol;
        m_caps = mine.caps;
        m_moreCaps = mine.moreCaps;
        log("session opened");
    }
    m_channel.sendControl(FrameType::HelloAck, m_channel.tag(), 0, encodeHello(mine));
}

void DeviceServer::dispatch(const Message &msg)
{
    if (msg.type == MsgType::Abort) {
        // Parts of the incoming file that came before the Abort still count,
        // so a resumable file keeps every whole block that arrived.
        for (const auto &queued : m_queue)
            if (queued.type == MsgType::FileData && m_in && queued.id == m_in->id)
                process(queued);
        abortIncoming();
        abortOutgoing();
        clearQueue();
        // File data not yet numbered is not wanted any more; answers are.
        m_channel.discardUnsent([](const std::vector<uint8_t> &m) {
            return !m.empty() && (m[0] == static_cast<uint8_t>(MsgType::FileData) ||
                                  m[0] == static_cast<uint8_t>(MsgType::GetOpen));
        });
        log("abort");
        reply(msg.id, WireStatus::Stopped);
        return;
    }
    if (m_queue.size() >= kMaxQueued || m_queuedBytes + footprint(msg) > kMaxQueuedBytes) {
        dropSession("too many requests waiting");
        return;
    }
    m_queuedBytes += footprint(msg);
    m_queue.push_back(msg);
}

void DeviceServer::processQueue()
{
    while (!m_queue.empty() && !m_out && (!m_digesting || passesDigest(m_queue.front().type)) &&
           m_channel.active() && m_channel.unsentBytes() < kMaxBacklog) {
        const Message msg = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= footprint(msg);
        process(msg);
    }
}

void DeviceServer::clearQueue()
{
    m_queue.clear();
    m_queuedBytes = 0;
}

void DeviceServer::reply(uint16_t id, WireStatus status)
{
    Message r;
    r.type = MsgType::Result;
    r.id = id;
    r.status = status;
    m_channel.send(encodeMessage(r));
}

void DeviceServer::process(const Message &msg)
{
    if (msg.type == MsgType::Checksum && !m_options.offerChecksum)
        return; // an older server could not even decode it
    if (msg.type == MsgType::Space && !(m_moreCaps & kMoreCapSpace))
        return; // likewise
    if (msg.type == MsgType::Hash && !hashed())
        return;
    if (msg.type == MsgType::DeleteMany && !(m_moreCaps & kMoreCapDeleteMany))
        return;
    switch (msg.type) {
    case MsgType::Lookup: {
        WireEntry entry;
        Message r;
        r.type = MsgType::Result;
        r.id = msg.id;
        r.status = m_folder.lookup(msg.name, entry);
        r.hasInfo = r.status == WireStatus::Ok;
        r.size = entry.size;
        r.mtimeMs = entry.mtimeMs;
        log("lookup " + quotedName(msg.name) + ": " + statusText(r.status));
        m_channel.send(encodeMessage(r));
        break;
    }
    case MsgType::Checksum:
    case MsgType::Hash:
        startDigest(msg);
        break;
    case MsgType::Delete: {
        const auto status = m_folder.remove(msg.name);
        log("delete " + quotedName(msg.name) + ": " + statusText(status));
        reply(msg.id, status);
        break;
    }
    case MsgType::DeleteMany: {
        Message r;
        r.type = MsgType::Outcomes;
        r.id = msg.id;
        for (const std::string &name : msg.names) {
            r.statuses.push_back(m_folder.remove(name));
            log("delete " + quotedName(name) + ": " + statusText(r.statuses.back()));
        }
        m_channel.send(encodeMessage(r));
        break;
    }
    case MsgType::Rename: {
        const auto status = m_folder.rename(msg.name, msg.name2);
        log("rename " + quotedName(msg.name) + " to " + quotedName(msg.name2) + ": " + statusText(status));
        reply(msg.id, status);
        break;
    }
    case MsgType::List:
        handleList(msg);
        break;
    case MsgType::PutOpen:
        handlePutOpen(msg);
        break;
    case MsgType::FileData:
        // Parts of a file refused or aborted earlier are dropped here.
        if (m_in && msg.id == m_in->id) {
            m_in->lastData = Clock::now();
            if (m_in->awaitingFrom)
                finishIncoming(WireStatus::CheckFailed); // data before the client said where from
            else
                handlePart(msg.part);
        }
        break;
    case MsgType::PutFrom:
        handlePutFrom(msg);
        break;
    case MsgType::GetFrom:
    case MsgType::Get:
        handleGet(msg);
        break;
    case MsgType::Space:
        handleSpace(msg);
        break;
    default:
        reply(msg.id, WireStatus::BadRequest);
        break;
    }
}

void DeviceServer::handleList(const Message &msg)
{
    std::vector<WireEntry> entries;
    const auto status = m_folder.list(msg.name, entries);
    log("list " + quotedName(msg.name) + ": " + std::to_string(entries.size()) + " entries");
    if (status != WireStatus::Ok) {
        reply(msg.id, status);
        return;
    }
    const bool compact = (m_caps & kCapCompactList) != 0;
    const uint64_t token = compact ? listingToken(entries) : 0;
    if (!compact || msg.since != token) {
        if (compact) {
            auto blocks = encodeCompactListing(entries);
            if (!sendChanges(msg.id, msg.since, entries, blocks))
                sendListing(msg.id, MsgType::ListPart, blocks);
            keepListing(std::move(blocks), token, entries.size());
        } else {
            std::vector<std::vector<uint8_t>> blocks(1);
            for (const auto &entry : entries) {
                std::vector<uint8_t> one;
                appendEntry(one, entry);
                if (blocks.back().size() + one.size() > kMaxBlockSize)
                    blocks.emplace_back();
                blocks.back().insert(blocks.back().end(), one.begin(), one.end());
            }
            sendListing(msg.id, MsgType::ListPart, blocks);
        }
    } else {
        log("list " + quotedName(msg.name) + ": unchanged");
        if (m_keptToken != token)
            keepListing(encodeCompactListing(entries), token, entries.size());
    }
    // The count closes the listing, so a client never takes a cut-off one for
    // all of it; with compact listings the time field names its content, and
    // that Result alone answers a client that already holds it.
    if (m_protocol >= 2) {
        Message end;
        end.type = MsgType::Result;
        end.id = msg.id;
        end.status = WireStatus::Ok;
        end.hasInfo = true;
        end.size = entries.size();
        end.mtimeMs = static_cast<int64_t>(token);
        m_channel.send(encodeMessage(end));
    }
}

bool DeviceServer::sendChanges(uint16_t id, uint64_t since, const std::vector<WireEntry> &entries,
                               const std::vector<std::vector<uint8_t>> &whole)
{
    if (!(m_caps & kCapListDelta) || since == 0 || since != m_keptToken)
        return false;
    std::vector<WireEntry> before;
    for (const auto &block : m_keptBlocks)
        if (!decodeCompactBlock(block, before))
            return false;
    // Two local names may stand for one device name; such a listing goes whole.
    if (!ListingDelta::strictlySorted(before) || !ListingDelta::strictlySorted(entries))
        return false;
    const auto changes = ListingDelta::between(before, entries);
    const auto blocks = encodeChangeBlocks(changes);
    auto bytes = [](const std::vector<std::vector<uint8_t>> &b) {
        size_t n = 0;
        for (const auto &one : b)
            n += one.size();
        return n;
    };
    if (bytes(blocks) >= bytes(whole))
        return false;
    log("list: " + std::to_string(changes.size()) + " changes since the listing the client holds");
    sendListing(id, MsgType::ListChanges, blocks);
    return true;
}

void DeviceServer::keepListing(std::vector<std::vector<uint8_t>> blocks, uint64_t token, size_t count)
{
    size_t bytes = 0;
    for (const auto &block : blocks)
        bytes += block.size();
    // A listing the client cannot take whole is not worth keeping.
    if (!(m_caps & kCapListDelta) || count > kMaxListEntries || bytes > kMaxListBytes) {
        forgetListing();
        return;
    }
    m_keptBlocks = std::move(blocks);
    m_keptToken = token;
}

void DeviceServer::forgetListing()
{
    std::vector<std::vector<uint8_t>>().swap(m_keptBlocks);
    m_keptToken = 0;
}

void DeviceServer::sendListing(uint16_t id, MsgType type, const std::vector<std::vector<uint8_t>> &blocks)
{
    // Each block is compressed on its own.
    uint32_t crc = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        crc = crc32(blocks[i].data(), blocks[i].size(), crc);
        for (auto &part : splitBlock(m_codec, blocks[i].data(), blocks[i].size(), maxPartData(),
                                     i + 1 == blocks.size(), crc))
            m_channel.send(encodePartMessage(type, id, std::move(part)));
    }
}

void DeviceServer::handlePutOpen(const Message &msg)
{
    abortIncoming();
    std::string path;
    if (!m_folder.localPath(msg.name, path)) {
        log("receive " + quotedName(msg.name) + ": bad name");
        reply(msg.id, WireStatus::BadName);
        return;
    }
    struct stat st {
    };
    if (!msg.overwrite && lstat(path.c_str(), &st) == 0) {
        log("receive " + quotedName(msg.name) + ": exists, kept");
        reply(msg.id, WireStatus::Exists);
        return;
    }
    // Kept partials of other files go first when the space is short, but
    // only for a file that dropping them all would make room for.
    if (msg.resumable) {
        const std::string own = m_partials.pathFor(msg.name);
        if (m_space.fits(msg.size - std::min(msg.size, m_partials.keptBytes(own))))
            m_partials.makeRoom(msg.size, own);
    }
    // A file that cannot fit fails now, as the disk would fail it midway.
    if (!m_space.fits(msg.size)) {
        log("receive " + quotedName(msg.name) + ": no space");
        reply(msg.id, WireStatus::IoError);
        return;
    }
    if (msg.resumable) {
        openResumable(msg);
        return;
    }
    std::string temporary;
    sys::UniqueFd fd = m_folder.createTemporary(temporary);
    if (!fd) {
        log("receive " + quotedName(msg.name) + ": cannot create a file");
        reply(msg.id, WireStatus::IoError);
        return;
    }
    m_in.emplace(Incoming{msg.id, msg.name, msg.overwrite, msg.hasTime, msg.mtimeMs, Clock::now(),
                          IncomingFile(msg.size, fileContext(), hashed()), std::move(fd),
                          std::move(temporary), nullptr, false, 0});
    if (msg.hasPart)
        handlePart(msg.part);
}

void DeviceServer::handlePart(const DataPart &part)
{
    switch (m_in->stream.add(part, incomingFd())) {
    case IncomingFile::Fault::Check:
        finishIncoming(WireStatus::CheckFailed);
        break;
    case IncomingFile::Fault::Io:
        finishIncoming(WireStatus::IoError);
        break;
    case IncomingFile::Fault::None:
        if (m_in->partial)
            m_in->partial->note(m_in->stream.received(), m_in->stream.crc());
        if (m_in->stream.finished())
            finishIncoming(WireStatus::Ok);
        break;
    }
}

void DeviceServer::finishIncoming(WireStatus status)
{
    Incoming &in = *m_in;
    if (status == WireStatus::Ok) {
        if (in.hasTime)
            sys::setFileTime(incomingFd(), in.mtimeMs);
        if (in.partial)
            in.temporary = in.partial->release();
        if (in.partial ? !in.temporary.empty() : in.fd.close()) {
            status = m_folder.commit(in.temporary, in.name, in.overwrite);
            in.temporary.clear(); // placed, or removed by the commit
        } else {
            status = WireStatus::IoError;
        }
    } else if (in.partial) {
        in.partial->discard(); // a failed check: nothing of it is worth continuing
    }
    const uint16_t id = in.id;
    const std::string name = in.name;
    abortIncoming();
    log("receive " + quotedName(name) + ": " + statusText(status));
    reply(id, status);
}

void DeviceServer::handleSpace(const Message &msg)
{
    Message r;
    r.type = MsgType::Result;
    r.id = msg.id;
    uint64_t freeBytes = 0, totalBytes = 0;
    r.status = m_space.measure(freeBytes, totalBytes) ? WireStatus::Ok : WireStatus::IoError;
    r.hasInfo = r.status == WireStatus::Ok;
    // The total travels in the time field, a signed 64-bit value.
    r.mtimeMs = static_cast<int64_t>(std::min<uint64_t>(totalBytes, INT64_MAX));
    r.size = std::min<uint64_t>(freeBytes, static_cast<uint64_t>(r.mtimeMs));
    log("space: " + std::to_string(r.size) + " of " + std::to_string(r.mtimeMs) + " bytes free");
    m_channel.send(encodeMessage(r));
}

void DeviceServer::handleGet(const Message &msg)
{
    std::string path;
    if (!m_folder.localPath(msg.name, path)) {
        log("send " + quotedName(msg.name) + ": bad name");
        reply(msg.id, WireStatus::BadName);
        return;
    }
    // A symbolic link must not lead out of the folder.
    auto file = std::make_unique<OutgoingFile>(msg.id, m_codec, fileContext(), hashed());
    if (!file->open(path, false)) {
        log("send " + quotedName(msg.name) + ": not found");
        reply(msg.id, WireStatus::NotFound);
        return;
    }
    log("send " + quotedName(msg.name) + ": " + std::to_string(file->size()) + " bytes");

    Message open;
    open.type = MsgType::GetOpen;
    open.id = msg.id;
    open.mtimeMs = file->mtimeMs();
    open.size = file->size();
    // Continued only when the client's part is of this very file: the same
    // size and time, and (read in slices) the same first bytes.
    if (msg.type == MsgType::GetFrom) {
        open.type = MsgType::GetOpenFrom;
        if (msg.size == file->size() && msg.mtimeMs == file->mtimeMs() && msg.offset > 0 &&
            msg.offset < file->size()) {
            const int fd = file->fd();
            m_digesting.emplace(Digesting{msg, sys::UniqueFd(), WireEntry{}, std::move(file), open, nullptr,
                                          std::make_unique<SlicedDigest>(fd, msg.offset), Clock::now()});
            return;
        }
        log("send " + quotedName(msg.name) + ": from 0");
    }
    sendOpen(msg.id, std::move(file), open);
}

void DeviceServer::sendOpen(uint16_t id, std::unique_ptr<OutgoingFile> file, Message &open)
{
    if (open.offset == 0 && !file->fillOpen(open, m_channel.config().maxPayload)) {
        reply(id, WireStatus::IoError);
        return;
    }
    m_channel.send(encodeMessage(open));
    if (!file->complete())
        m_out = std::move(file);
}

bool DeviceServer::passesDigest(MsgType type)
{
    return type == MsgType::Lookup || type == MsgType::Space || type == MsgType::List;
}

void DeviceServer::startDigest(const Message &msg)
{
    sys::UniqueFd fd;
    WireEntry entry;
    const WireStatus status = m_folder.openFile(msg.name, fd, entry);
    const char *what = msg.type == MsgType::Hash ? "hash " : "checksum ";
    if (status != WireStatus::Ok) {
        log(what + quotedName(msg.name) + ": " + statusText(status));
        reply(msg.id, status);
        return;
    }
    const int raw = fd.get();
    m_digesting.emplace(Digesting{msg, std::move(fd), entry, nullptr, Message{}, nullptr,
                                  std::make_unique<SlicedDigest>(raw, entry.size), Clock::now()});
}

void DeviceServer::digestSome()
{
    if (!m_digesting || !m_channel.active())
        return;
    // Short slices: a round of the line comes between them.
    if (m_digesting->digest->step(std::chrono::milliseconds(20))) {
        finishDigest();
        return;
    }
    // A client of the hash counts this as progress, however long the file.
    const auto now = Clock::now();
    if (hashed() && now - m_digesting->lastNote >= std::chrono::milliseconds(m_options.timeoutMs / 3)) {
        m_digesting->lastNote = now;
        Message note;
        note.type = MsgType::Working;
        note.id = m_digesting->request.id;
        note.offset = m_digesting->digest->done();
        m_channel.send(encodeMessage(note));
    }
}

void DeviceServer::finishDigest()
{
    Digesting job = std::move(*m_digesting);
    m_digesting.reset();
    const Message &msg = job.request;
    const FileDigest &digest = job.digest->digest();
    if (msg.type == MsgType::PutOpen) {
        if (job.digest->failed())
            job.partial->discard();
        else
            job.partial->takeUp(digest);
        offerPartial(msg, std::move(job.partial));
        return;
    }
    if (msg.type == MsgType::GetFrom) {
        const bool same = !job.digest->failed() && digest.crc() == msg.crc &&
                          (!hashed() || (msg.hasHash && msg.hash == digest.hash()));
        job.open.offset = same && job.file->startAt(digest) ? msg.offset : 0;
        log("send " + quotedName(msg.name) + ": from " + std::to_string(job.open.offset));
        sendOpen(msg.id, std::move(job.file), job.open);
        return;
    }
    Message r;
    r.type = MsgType::Result;
    r.id = msg.id;
    r.status = job.digest->failed() ? WireStatus::IoError : WireStatus::Ok;
    r.hasInfo = r.status == WireStatus::Ok;
    r.hasHash = r.hasInfo && msg.type == MsgType::Hash;
    r.hasCrc = r.hasInfo && msg.type == MsgType::Checksum;
    r.crc = digest.crc();
    r.hash = digest.hash();
    r.size = job.entry.size;
    r.mtimeMs = job.entry.mtimeMs;
    log((msg.type == MsgType::Hash ? "hash " : "checksum ") + quotedName(msg.name) + ": " +
        statusText(r.status));
    m_channel.send(encodeMessage(r));
}

void DeviceServer::pumpGet()
{
    while (m_out && m_channel.active() && m_channel.hasRoom()) {
        if (!m_out->sendBlock(m_channel)) {
            const uint16_t id = m_out->id();
            abortOutgoing();
            log("send: read error");
            reply(id, WireStatus::IoError);
            return;
        }
        if (m_out->complete())
            abortOutgoing();
    }
}

void DeviceServer::abortIncoming()
{
    // Stopped early: a resumable file keeps what arrived, for the next attempt.
    if (m_in && m_in->partial)
        m_in->partial->keep();
    if (m_in && !m_in->temporary.empty())
        unlink(m_in->temporary.c_str());
    m_in.reset();
}

void DeviceServer::abortOutgoing()
{
    m_out.reset();
    // A kept part still being checked stays as it was, for the next attempt.
    if (m_digesting && m_digesting->partial)
        m_digesting->partial->release();
    m_digesting.reset();
}

void DeviceServer::dropSession(const char *why)
{
    if (m_channel.active() || m_in || m_out)
        log(std::string("session dropped: ") + why);
    abortIncoming();
    abortOutgoing();
    clearQueue();
    forgetListing();
    // Announced rather than left to the client's next frame: one that has
    // sent all it had waits quietly for answers that will never come.
    if (m_channel.active())
        m_lastReset = Clock::now();
    m_channel.drop();
    m_nonce = 0;
}

void DeviceServer::checkTimeouts()
{
    if (!m_channel.active())
        return;
    // Progress, not frames heard: a client that keeps talking but takes none
    // of our frames, or never sends the rest of its file, is as good as gone.
    const auto now = Clock::now();
    const auto timeout = std::chrono::milliseconds(m_options.timeoutMs);
    if (m_channel.unackedFrames() > 0 && now - m_channel.lastProgress() > timeout)
        dropSession("client takes no answers");
    else if (m_in && now - m_in->lastData > 2 * timeout) {
        log("receive " + quotedName(m_in->name) + ": client sends no more data, dropped");
        abortIncoming();
    }
}

bool DeviceServer::resumeAllowed(const Message &msg) const
{
    // Without the capability these are unknown to us, as to a server before them.
    const bool asks = msg.type == MsgType::GetFrom || msg.type == MsgType::PutFrom ||
                      (msg.type == MsgType::PutOpen && msg.resumable);
    if (!asks)
        return true;
    return (m_caps & kCapResume) && (msg.type != MsgType::PutOpen || (msg.hasTime && !msg.hasPart));
}

void DeviceServer::openResumable(const Message &msg)
{
    const PartialSource source{msg.name, msg.size, msg.mtimeMs};
    const std::string path = m_partials.pathFor(msg.name);
    auto partial = std::make_unique<PartialFile>();
    // The kept bytes are read back in slices (a part of gigabytes would hold
    // the server), then checked against the record and offered.
    if (partial->open(path) && partial->source() == source) {
        const int fd = partial->fd();
        const uint64_t kept = partial->kept();
        m_digesting.emplace(Digesting{msg, sys::UniqueFd(), WireEntry{}, nullptr, Message{},
                                      std::move(partial), std::make_unique<SlicedDigest>(fd, kept),
                                      Clock::now()});
        return;
    }
    partial->discard();
    offerPartial(msg, std::move(partial));
}

void DeviceServer::offerPartial(const Message &msg, std::unique_ptr<PartialFile> partial)
{
    const PartialSource source{msg.name, msg.size, msg.mtimeMs};
    const std::string path = m_partials.pathFor(msg.name);
    // A partial of another file (other size or time), or one that fails its
    // checks, is not continued: the file starts over.
    if (!partial->isOpen()) {
        if (!partial->create(path, source)) {
            log("receive " + quotedName(msg.name) + ": cannot create a file");
            reply(msg.id, WireStatus::IoError);
            return;
        }
    }
    const uint64_t kept = partial->kept();
    Message offer;
    offer.type = MsgType::ResumeOffer;
    offer.id = msg.id;
    offer.offset = kept;
    offer.crc = partial->crc();
    // The hash of the bytes on the disk: a part forged to keep the CRC-32 is not the client's.
    offer.hasHash = hashed();
    offer.hash = partial->keptDigest().hash();
    m_in.emplace(Incoming{msg.id, msg.name, msg.overwrite, msg.hasTime, msg.mtimeMs, Clock::now(),
                          IncomingFile(msg.size, fileContext(), hashed()), sys::UniqueFd(), std::string(),
                          std::move(partial), true, kept});
    log("receive " + quotedName(msg.name) + ": " + std::to_string(kept) + " bytes kept");
    m_channel.send(encodeMessage(offer));
}

void DeviceServer::handlePutFrom(const Message &msg)
{
    if (!m_in || msg.id != m_in->id || !m_in->awaitingFrom)
        return; // of a file refused or aborted earlier
    Incoming &in = *m_in;
    in.awaitingFrom = false;
    in.lastData = Clock::now();
    if (msg.offset != 0 && msg.offset == in.offered) {
        in.stream.startAt(in.partial->keptDigest());
        log("receive " + quotedName(in.name) + ": continued at " + std::to_string(in.offered));
    } else if (msg.offset != 0) {
        finishIncoming(WireStatus::CheckFailed);
    } else if (in.offered != 0 && !in.partial->restart()) {
        finishIncoming(WireStatus::IoError);
    }
}

} // namespace vexo::deviced
