#include "HostileDevice.h"

#include "BlockSplitter.h"
#include "Channel.h"
#include "Crc32.h"
#include "Hello.h"
#include "ListingCodec.h"

#include <algorithm>
#include <cstdio>

namespace vexo::test
{

using namespace link;

HostileDevice::HostileDevice(std::shared_ptr<ByteStream> stream, Behaviour behaviour,
                             std::vector<WireEntry> entries, std::chrono::milliseconds chatterEvery,
                             std::chrono::milliseconds lifetime)
    : m_stream(std::move(stream)), m_behaviour(behaviour), m_entries(std::move(entries)),
      m_chatterEvery(chatterEvery), m_lifetime(lifetime)
{
    m_thread = std::thread([this] { run(); });
}

HostileDevice::~HostileDevice()
{
    m_quit.store(true);
    m_thread.join();
}

void HostileDevice::forgeChanges(std::vector<std::vector<uint8_t>> blocks, uint64_t count, uint64_t token)
{
    const std::lock_guard<std::mutex> lock(m_forgedMutex);
    m_forgedBlocks = std::move(blocks);
    m_forgedCount = count;
    m_forgedToken = token;
}

void HostileDevice::run()
{
    Channel channel(*m_stream);
    Codec codec = Codec::None;
    const auto end = Clock::now() + m_lifetime;
    auto nextChatter = Clock::now();
    bool listing = false; // an endless listing is under way
    bool fileData = false;
    uint16_t streamId = 0;
    uint8_t protocol = 1;
    uint64_t counter = 0;
    const auto sendPart = [&](MsgType type, DataPart part) {
        Message m;
        m.type = type;
        m.id = streamId;
        m.hasPart = true;
        m.part = std::move(part);
        channel.send(encodeMessage(m));
    };
    const auto sendBlocks = [&](MsgType type, const std::vector<std::vector<uint8_t>> &blocks) {
        uint32_t crc = 0;
        for (size_t i = 0; i < blocks.size(); ++i) {
            crc = crc32(blocks[i].data(), blocks[i].size(), crc);
            for (auto &part :
                 splitBlock(codec, blocks[i].data(), blocks[i].size(), 2000, i + 1 == blocks.size(), crc))
                sendPart(type, std::move(part));
        }
    };

    while (!m_quit.load() && Clock::now() < end) {
        channel.pump(Clock::now() + std::chrono::milliseconds(10));
        Frame frame;
        while (channel.takeControl(frame)) {
            if (frame.type == FrameType::Close)
                channel.sendControl(FrameType::CloseAck, frame.tag, 0, {});
            Hello theirs;
            if (frame.type != FrameType::Hello || !decodeHello(frame.payload, theirs))
                continue;
            Hello mine = theirs;
            const uint8_t offered =
                localCodecCaps() | (m_behaviour == Behaviour::FalseUnchanged ? kCapCompactList : 0) |
                (m_behaviour == Behaviour::ForgedChanges ? kCapCompactList | kCapListDelta : 0);
            mine.caps = static_cast<uint8_t>(offered & theirs.caps);
            mine.maxPayload = std::min<uint16_t>(theirs.maxPayload, 2048);
            mine.window = std::max<uint8_t>(1, std::min<uint8_t>(theirs.window, 4));
            mine.protocol = protocol = std::min(kProtocolVersion, theirs.protocol);
            if (m_behaviour == Behaviour::HigherVersion)
                mine.protocol = static_cast<uint8_t>(theirs.protocol + 1);
            if (m_behaviour == Behaviour::TinyMessages)
                mine.maxPayload = 10;
            ChannelConfig config;
            config.maxPayload = mine.maxPayload;
            config.windowFrames = mine.window;
            channel.start(tagForNonce(theirs.nonce), config);
            codec = chooseCodec(localCodecCaps(), theirs.caps);
            listing = fileData = false;
            channel.sendControl(FrameType::HelloAck, channel.tag(), 0, encodeHello(mine));
        }
        std::vector<uint8_t> raw;
        while (channel.takeMessage(raw)) {
            Message msg;
            if (!decodeMessage(raw, msg))
                continue;
            streamId = msg.id;
            if (msg.type == MsgType::List && m_behaviour == Behaviour::EndlessListing) {
                listing = true;
            } else if (msg.type == MsgType::List &&
                       (m_behaviour == Behaviour::Listing || m_behaviour == Behaviour::ListingNoEnd)) {
                std::vector<uint8_t> block;
                for (const auto &e : m_entries)
                    appendEntry(block, e);
                const uint32_t crc = crc32(block.data(), block.size());
                for (auto &part : splitBlock(codec, block.data(), block.size(), 2000, true, crc))
                    sendPart(MsgType::ListPart, std::move(part));
                if (protocol >= 2 && m_behaviour == Behaviour::Listing) {
                    Message end;
                    end.type = MsgType::Result;
                    end.id = msg.id;
                    end.hasInfo = true;
                    end.size = m_entries.size();
                    channel.send(encodeMessage(end));
                }
            } else if (msg.type == MsgType::List && (m_behaviour == Behaviour::FalseUnchanged ||
                                                     m_behaviour == Behaviour::ForgedChanges)) {
                Message end;
                end.type = MsgType::Result;
                end.id = msg.id;
                end.hasInfo = true;
                end.size = m_entries.size();
                end.mtimeMs = static_cast<int64_t>(listingToken(m_entries));
                if (msg.since == 0) {
                    sendBlocks(MsgType::ListPart, encodeCompactListing(m_entries));
                } else if (m_behaviour == Behaviour::ForgedChanges) {
                    const std::lock_guard<std::mutex> lock(m_forgedMutex);
                    sendBlocks(MsgType::ListChanges, m_forgedBlocks);
                    end.size = m_forgedCount;
                    end.mtimeMs = static_cast<int64_t>(m_forgedToken);
                } else {
                    end.mtimeMs ^= 1; // the count of the listing held, but not its name
                }
                channel.send(encodeMessage(end));
            } else if (msg.type == MsgType::Get && m_behaviour == Behaviour::DataAfterFailure) {
                Message open;
                open.type = MsgType::GetOpen;
                open.id = msg.id;
                open.size = 10;
                channel.send(encodeMessage(open));
                fileData = true;
            } else if (m_behaviour == Behaviour::StallingGet && msg.type == MsgType::Get) {
                Message open;
                open.type = MsgType::GetOpen;
                open.id = msg.id;
                open.size = 100;
                channel.send(encodeMessage(open));
            } else if (m_behaviour == Behaviour::StallingGet && msg.type != MsgType::FileData) {
                Message ok;
                ok.type = MsgType::Result;
                ok.id = msg.id;
                channel.send(encodeMessage(ok));
            }
        }
        while (channel.active() && channel.hasRoom() && (listing || fileData)) {
            if (listing) {
                // Sequential names compress to almost nothing: little on the
                // line, much in the client's memory.
                std::vector<uint8_t> block;
                char name[17];
                while (block.size() + 40 < kMaxBlockSize) {
                    std::snprintf(name, sizeof name, "f%015llu", static_cast<unsigned long long>(counter++));
                    appendEntry(block, WireEntry{name, counter, 0});
                    m_entriesSent.fetch_add(1);
                }
                for (auto &part : splitBlock(codec, block.data(), block.size(), 2000, false, 0))
                    sendPart(MsgType::ListPart, std::move(part));
            } else {
                // Never the end of a block: the client's check fails at once, and more keeps coming.
                DataPart part;
                part.data.assign(1500, static_cast<uint8_t>(counter++));
                sendPart(MsgType::FileData, std::move(part));
            }
        }
        if (!channel.active() || Clock::now() < nextChatter)
            continue;
        nextChatter = Clock::now() + m_chatterEvery;
        const uint8_t foreign = static_cast<uint8_t>(channel.tag() ^ 0x5A);
        switch (m_behaviour) {
        case Behaviour::AckChatter:
            channel.sendControl(FrameType::Ack, channel.tag(), 0, {0, 0, 0, 0});
            break;
        case Behaviour::CloseAckChatter:
            channel.sendControl(FrameType::CloseAck, channel.tag(), 0, {});
            break;
        case Behaviour::ForeignHelloAck: {
            Hello other;
            other.nonce = 0x01020304;
            other.maxPayload = 2048;
            other.window = 4;
            channel.sendControl(FrameType::HelloAck, foreign, 0, encodeHello(other));
            break;
        }
        case Behaviour::ForeignReset:
            channel.sendControl(FrameType::Reset, foreign, 0, {});
            break;
        case Behaviour::EmptyListParts:
            if (streamId != 0)
                sendPart(MsgType::ListPart, DataPart{});
            break;
        default:
            break;
        }
    }
}

} // namespace vexo::test
