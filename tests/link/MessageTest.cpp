#include "Message.h"
#include "BlockAssembler.h"
#include "BlockEncoder.h"
#include "BlockSplitter.h"
#include "Crc32.h"
#include "Hello.h"
#include "LinkTestSupport.h"
#include "ListingCodec.h"

#include <gtest/gtest.h>
#include <zstd.h>

using namespace vexo::link;

namespace
{

Message make(MsgType type, uint16_t id)
{
    Message m;
    m.type = type;
    m.id = id;
    return m;
}

TEST(MessageTest, EveryKindSurvivesTheRoundTrip)
{
    std::vector<Message> messages;
    auto lookup = make(MsgType::Lookup, 1);
    lookup.name = "a.txt";
    messages.push_back(lookup);
    auto rename = make(MsgType::Rename, 2);
    rename.name = "old";
    rename.name2 = "\xC4\xE3\xBA\xC3";
    messages.push_back(rename);
    auto put = make(MsgType::PutOpen, 3);
    put.name = "f";
    put.overwrite = true;
    put.hasTime = true;
    put.mtimeMs = -1234567;
    put.size = 1ull << 40;
    put.hasPart = true;
    put.part.flags = kPartEndOfBlock | kPartEndOfStream | kPartStreamCrc;
    put.part.streamCrc = 0xDEADBEEF;
    put.part.data = {1, 2, 3};
    messages.push_back(put);
    auto result = make(MsgType::Result, 0xFFFF);
    result.status = WireStatus::Exists;
    result.hasInfo = true;
    result.size = 5;
    result.mtimeMs = -1;
    messages.push_back(result);
    auto checksum = make(MsgType::Checksum, 6);
    checksum.name = "price.dat";
    messages.push_back(checksum);
    auto crcResult = make(MsgType::Result, 6);
    crcResult.hasInfo = crcResult.hasCrc = true;
    crcResult.size = 300;
    crcResult.mtimeMs = 1700000000000;
    crcResult.crc = 0x80000001;
    messages.push_back(crcResult);
    auto data = make(MsgType::FileData, 4);
    data.hasPart = true;
    data.part.flags = static_cast<uint8_t>(Codec::Zstd);
    data.part.data = std::vector<uint8_t>(100, 7);
    messages.push_back(data);
    messages.push_back(make(MsgType::Abort, 5));
    auto list = make(MsgType::List, 7);
    list.name = "*.TXT";
    messages.push_back(list);
    list.since = 0xF00000000000000Full;
    messages.push_back(list);
    auto deleteMany = make(MsgType::DeleteMany, 8);
    deleteMany.names = {"a.txt", "\xC4\xE3", "b"};
    messages.push_back(deleteMany);
    auto outcomes = make(MsgType::Outcomes, 8);
    outcomes.statuses = {WireStatus::Ok, WireStatus::NotFound, WireStatus::IoError};
    messages.push_back(outcomes);
    // The whole-file hash: BLAKE2b of 32 bytes as libb2 and others compute it.
    FileDigest abc;
    abc.add(reinterpret_cast<const uint8_t *>("abc"), 3);
    const Hash expected = {0xbd, 0xdd, 0x81, 0x3c, 0x63, 0x42, 0x39, 0x72, 0x31, 0x71, 0xef,
                           0x3f, 0xee, 0x98, 0x57, 0x9b, 0x94, 0x96, 0x4e, 0x3b, 0xb1, 0xcb,
                           0x3e, 0x42, 0x72, 0x62, 0xc8, 0xc0, 0x68, 0xd5, 0x23, 0x19};
    EXPECT_EQ(abc.hash(), expected);
    auto hashResult = crcResult;
    hashResult.hasCrc = false;
    hashResult.crc = 0;
    hashResult.hasHash = true;
    hashResult.hash = expected;
    messages.push_back(hashResult);
    auto offer = make(MsgType::ResumeOffer, 9);
    offer.offset = 65536;
    offer.crc = 0x12345678;
    messages.push_back(offer);
    offer.hasHash = true;
    offer.hash = expected;
    messages.push_back(offer);
    auto last = data;
    last.part.flags = kPartEndOfBlock | kPartEndOfStream | kPartStreamCrc | kPartStreamHash;
    last.part.streamHash = expected;
    messages.push_back(last);
    auto working = make(MsgType::Working, 6);
    working.offset = 3ull << 30;
    messages.push_back(working);

    for (const auto &m : messages) {
        Message back;
        ASSERT_TRUE(decodeMessage(encodeMessage(m), back)) << static_cast<int>(m.type);
        EXPECT_EQ(back.type, m.type);
        EXPECT_EQ(back.id, m.id);
        EXPECT_EQ(back.name, m.name);
        EXPECT_EQ(back.name2, m.name2);
        EXPECT_EQ(back.size, m.size);
        EXPECT_EQ(back.mtimeMs, m.mtimeMs);
        EXPECT_EQ(back.overwrite, m.overwrite);
        EXPECT_EQ(back.status, m.status);
        EXPECT_EQ(back.part.flags, m.part.flags);
        EXPECT_EQ(back.part.streamCrc, m.part.streamCrc);
        EXPECT_EQ(back.part.data, m.part.data);
        EXPECT_EQ(back.hasTime, m.hasTime);
        EXPECT_EQ(back.hasCrc, m.hasCrc);
        EXPECT_EQ(back.crc, m.crc);
        EXPECT_EQ(back.since, m.since);
        EXPECT_EQ(back.names, m.names);
        EXPECT_EQ(back.statuses, m.statuses);
        EXPECT_EQ(back.offset, m.offset);
        EXPECT_EQ(back.hasHash, m.hasHash);
        EXPECT_EQ(back.hash, m.hash);
        EXPECT_EQ(back.part.streamHash, m.part.streamHash);
    }
}

TEST(MessageTest, MalformedMessagesAreRefused)
{
    auto lookup = make(MsgType::Lookup, 1);
    lookup.name = "abc";
    const auto good = encodeMessage(lookup);
    const std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    auto trailing = good;
    trailing.push_back(0);
    const std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x10},
        {0x99, 0, 0},                                 // unknown type
        truncated,                                    // name shorter than its length
        trailing,                                     // bytes after the message
        {0x20, 1, 0, 42},                             // unknown status
        {0x30, 1, 0, 0x03},                           // codec 3 does not exist
        {0x30, 1, 0, 0x08, 0, 0, 0, 0},               // end of stream without end of block
        {0x30, 1, 0, 0x1C, 0, 0},                     // end of stream with a short CRC
        {0x30, 1, 0, 0x10, 0, 0, 0, 0},               // a stream CRC before the end of the stream
        {0x30, 1, 0, 0x4C, 0, 0, 0, 0},               // a stream hash without the stream CRC
        {0x23, 1, 0, 1, 0, 0, 0, 0, 1, 2, 3},         // an offer's hash cut short
        {0x14, 1, 0, 8, 0, 1, 'a'},                   // unknown open flag
        {0x14, 1, 0, 2, 0, 1, 'a'},                   // a time announced but missing
        {0x20, 1, 0, 0, 0x80, 0x80, 0x80},            // unterminated varint
        {0x20, 1, 0, 0, 5, 2, 1, 2, 3},               // a checksum cut short
        {0x20, 1, 0, 0, 5, 2, 1, 2, 3, 4, 5},         // bytes after the checksum
        {0x17, 1, 0},                                 // checksum without a name
        {0x13, 1, 0, 1, '*', 1, 2, 3, 4},             // a listing token cut short
        {0x13, 1, 0, 1, '*', 0, 0, 0, 0, 0, 0, 0, 0}, // token 0 is "none", never sent
        {0x1D, 1, 0},                                 // deletes of no name
        {0x1D, 1, 0, 1, 'a', 2, 'b'},                 // the last name cut short
        {0x27, 1, 0},                                 // outcomes of nothing
        {0x27, 1, 0, 0, 9},                           // an unknown status among them
    };
    for (const auto &bytes : bad) {
        Message m;
        EXPECT_FALSE(decodeMessage(bytes, m)) << ::testing::PrintToString(bytes);
    }
}

TEST(ListingCodecTest, CompactBlocksRestoreEveryEntryAndRefuseDamage)
{
    std::vector<WireEntry> entries;
    // Shared prefixes of every length, extreme sizes, times before 1970 and
    // with milliseconds, and far more than one block holds.
    for (int i = 0; i < 20000; ++i) {
        std::string name = "n" + std::to_string(100000 + i * 7);
        if (i % 5 == 0)
            name += std::string(static_cast<size_t>(i % 200), 'x');
        const int64_t t = i % 3 == 0 ? -1 - i : 1700000000000 + int64_t{i} * 997;
        entries.push_back(WireEntry{name, i % 11 == 0 ? ~uint64_t{0} : uint64_t(i) * 4099, t});
    }
    entries.push_back(WireEntry{std::string(255, '~'), 0, INT64_MAX - 1});
    const auto blocks = encodeCompactListing(entries);
    ASSERT_GT(blocks.size(), 1u);
    std::vector<WireEntry> back;
    for (const auto &block : blocks) {
        EXPECT_LE(block.size(), kMaxBlockSize);
        ASSERT_TRUE(decodeCompactBlock(block, back));
    }
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(back[i].name, entries[i].name) << i;
        ASSERT_EQ(back[i].size, entries[i].size) << i;
        ASSERT_EQ(back[i].mtimeMs, entries[i].mtimeMs) << i;
    }
    EXPECT_EQ(encodeCompactListing({}), std::vector<std::vector<uint8_t>>(1));

    // Any entry that differs names another listing.
    const uint64_t token = listingToken(entries);
    EXPECT_NE(token, 0u);
    EXPECT_EQ(listingToken(back), token);
    for (auto change : {+[](WireEntry &e) { e.mtimeMs += 1; }, +[](WireEntry &e) { e.size ^= 1; },
                        +[](WireEntry &e) { e.name.back() ^= 1; }}) {
        auto changed = entries;
        change(changed[12345]);
        EXPECT_NE(listingToken(changed), token);
    }
    EXPECT_NE(listingToken({entries.begin(), entries.end() - 1}), token);

    const auto &block = blocks.front();
    const std::vector<uint8_t> truncated(block.begin(), block.end() - 1);
    auto trailing = block;
    trailing.push_back(0);
    const std::vector<std::vector<uint8_t>> bad = {
        truncated,
        trailing,
        {0},                                    // a count of none
        {2, 0, 0, 1, 1, 'a'},                   // two entries in the bytes of less
        {1, 0, 0, 0, 0, 0},                     // an empty name
        {2, 0, 3, 1, 0, 'a', 0, 0, 0, 0, 0, 0}, // more shared than the name before has
        {1, 0, 1, 'a', 0, 0, 0xE8, 0x07},       // 1000 milliseconds
        {1, 0, 1, 'a', 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01,
         0}, // seconds past int64 ms
    };
    for (const auto &bytes : bad) {
        std::vector<WireEntry> out;
        EXPECT_FALSE(decodeCompactBlock(bytes, out)) << ::testing::PrintToString(bytes);
        EXPECT_TRUE(out.empty());
    }
}

TEST(MessageTest, HelloCarriesVersionCapabilitiesAndNonce)
{
    Hello h;
    h.caps = kCapZstd;
    h.nonce = 0x01020304;
    h.maxPayload = 1024;
    h.window = 4;
    Hello back;
    ASSERT_TRUE(decodeHello(encodeHello(h), back));
    EXPECT_EQ(back.version, kFormatVersion);
    EXPECT_EQ(back.caps, kCapZstd);
    EXPECT_EQ(back.nonce, 0x01020304u);
    EXPECT_EQ(back.maxPayload, 1024);
    // Byte 10 only with a bit in it, as an older peer sends none; read back
    // as 0 when absent.
    EXPECT_EQ(encodeHello(h).size(), 10u);
    EXPECT_EQ(back.moreCaps, 0);
    h.moreCaps = kMoreCapSpace;
    ASSERT_TRUE(decodeHello(encodeHello(h), back));
    EXPECT_EQ(back.moreCaps, kMoreCapSpace);
    // The palmtop's identity follows byte 10; cut short, it is none.
    h.moreCaps = kMoreCapSpace | kMoreCapIdentity;
    h.identity = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto withIdentity = encodeHello(h);
    ASSERT_TRUE(decodeHello(withIdentity, back));
    EXPECT_EQ(back.identity, h.identity);
    withIdentity.pop_back();
    ASSERT_TRUE(decodeHello(withIdentity, back));
    EXPECT_EQ(back.moreCaps, kMoreCapSpace);
    EXPECT_NE(tagForNonce(0x01010101), 0); // folds to zero, must not be
    h.nonce = 0;
    EXPECT_FALSE(decodeHello(encodeHello(h), back));
}

std::vector<uint8_t> roundTripBlocks(Codec codec, const std::vector<uint8_t> &raw, size_t partSize,
                                     size_t *partCount)
{
    std::vector<DataPart> parts;
    uint32_t crc = 0;
    for (size_t off = 0; off < raw.size() || off == 0; off += kMaxBlockSize) {
        const size_t n = std::min(kMaxBlockSize, raw.size() - off);
        crc = crc32(raw.data() + off, n, crc);
        auto block = splitBlock(codec, raw.data() + off, n, partSize, off + n == raw.size(), crc);
        parts.insert(parts.end(), block.begin(), block.end());
        if (raw.empty())
            break;
    }
    *partCount = parts.size();
    BlockAssembler assembler;
    std::vector<uint8_t> out, block;
    for (const auto &p : parts) {
        bool done = false;
        EXPECT_TRUE(assembler.add(p, block, done));
        if (done)
            out.insert(out.end(), block.begin(), block.end());
    }
    EXPECT_TRUE(assembler.finished());
    return out;
}

TEST(BlockTest, TextShrinksRandomStaysRawBothRestoreExactly)
{
    using vexo::link::test::randomBytes;
    using vexo::link::test::textBytes;
    for (Codec codec : {Codec::Zstd, Codec::Zlib, Codec::None}) {
        size_t textParts = 0, randomParts = 0, emptyParts = 0;
        const auto text = textBytes(100000);
        const auto random = randomBytes(100000, 3);
        EXPECT_EQ(roundTripBlocks(codec, text, 2000, &textParts), text);
        EXPECT_EQ(roundTripBlocks(codec, random, 2000, &randomParts), random);
        EXPECT_TRUE(roundTripBlocks(codec, {}, 2000, &emptyParts).empty());
        EXPECT_EQ(randomParts, 52u); // raw: three full blocks of 17 parts and a 1,696-byte one
        if (codec != Codec::None) {
            EXPECT_LT(textParts * 3, randomParts);
        }
    }
}

TEST(BlockTest, DamagedStreamsAreRefused)
{
    const auto text = vexo::link::test::textBytes(5000);
    auto parts =
        splitBlock(Codec::Zstd, text.data(), text.size(), 100000, true, crc32(text.data(), text.size()));
    ASSERT_EQ(parts.size(), 1u);
    std::vector<uint8_t> block;
    bool done;

    auto wrongCrc = parts[0];
    wrongCrc.streamCrc ^= 1;
    EXPECT_FALSE(BlockAssembler().add(wrongCrc, block, done));

    auto garbage = parts[0];
    garbage.data[garbage.data.size() / 2] ^= 0xFF;
    EXPECT_FALSE(BlockAssembler().add(garbage, block, done));

    DataPart raw;
    raw.data.assign(kMaxBlockSize + 1, 0);
    raw.flags = kPartEndOfBlock;
    EXPECT_FALSE(BlockAssembler().add(raw, block, done)); // larger than any block

    BlockAssembler mixed;
    DataPart first;
    first.flags = static_cast<uint8_t>(Codec::Zstd);
    first.data = {1};
    DataPart second;
    second.flags = static_cast<uint8_t>(Codec::None) | kPartEndOfBlock;
    EXPECT_TRUE(mixed.add(first, block, done));
    EXPECT_FALSE(mixed.add(second, block, done));

    // A stream of one part needs no CRC of its own; a longer one does.
    const auto single = splitBlock(Codec::None, text.data(), 100, 1000, true, 0, true);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_FALSE(single[0].flags & kPartStreamCrc);
    EXPECT_TRUE(BlockAssembler().add(single[0], block, done));
    auto two = splitBlock(Codec::None, text.data(), 100, 60, true, crc32(text.data(), 100), true);
    ASSERT_EQ(two.size(), 2u);
    two[1].flags &= static_cast<uint8_t>(~kPartStreamCrc);
    BlockAssembler unchecked;
    EXPECT_TRUE(unchecked.add(two[0], block, done));
    EXPECT_FALSE(unchecked.add(two[1], block, done));

    BlockAssembler finished;
    EXPECT_TRUE(finished.add(parts[0], block, done));
    EXPECT_FALSE(finished.add(parts[0], block, done)); // nothing may follow the end
}

TEST(BlockTest, AFileContextSpansBlocksStartsOverAfterARawOneAndIsBounded)
{
    using vexo::link::test::randomBytes;
    using vexo::link::test::textBytes;
    // Text, a block that stays raw, then text again: the receiver must start
    // its context over exactly where the sender did.
    std::vector<uint8_t> raw = textBytes(2 * kMaxBlockSize);
    const auto noise = randomBytes(kMaxBlockSize, 9);
    raw.insert(raw.end(), noise.begin(), noise.end());
    const auto more = textBytes(kMaxBlockSize + 100);
    raw.insert(raw.end(), more.begin(), more.end());

    BlockEncoder encoder(Codec::Zstd, true);
    std::vector<std::vector<DataPart>> blocks;
    size_t contextBytes = 0, singleBytes = 0;
    uint32_t crc = 0;
    for (size_t off = 0; off < raw.size(); off += kMaxBlockSize) {
        const size_t n = std::min(kMaxBlockSize, raw.size() - off);
        crc = crc32(raw.data() + off, n, crc);
        const bool last = off + n == raw.size();
        blocks.push_back(encoder.encode(raw.data() + off, n, 2000, last, crc));
        for (const auto &p : blocks.back())
            contextBytes += p.data.size();
        for (const auto &p : splitBlock(Codec::Zstd, raw.data() + off, n, 2000, last, crc))
            singleBytes += p.data.size();
    }
    ASSERT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks[1].front().flags & (kPartCodecMask | kPartContext), kPartContext | 1);
    EXPECT_EQ(blocks[2].front().flags & (kPartCodecMask | kPartContext), 0); // random: raw
    EXPECT_EQ(blocks[3].front().flags & (kPartCodecMask | kPartContext), kPartContext | 1);
    EXPECT_LT(contextBytes, singleBytes);

    auto restore = [&](BlockAssembler &assembler) {
        std::vector<uint8_t> out, block;
        for (const auto &parts : blocks)
            for (const auto &p : parts) {
                bool done = false;
                if (!assembler.add(p, block, done))
                    return std::vector<uint8_t>();
                if (done)
                    out.insert(out.end(), block.begin(), block.end());
            }
        return out;
    };
    BlockAssembler agreed(true);
    EXPECT_EQ(restore(agreed), raw);
    // A session that did not agree to the context refuses it.
    BlockAssembler perBlock;
    EXPECT_TRUE(restore(perBlock).empty());

    // A frame that asks for a larger window than the protocol's is refused
    // before the receiver allocates it.
    ZSTD_CCtx *wide = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(wide, ZSTD_c_windowLog, kContextWindowLog + 4);
    std::vector<uint8_t> packed(ZSTD_compressBound(kMaxBlockSize));
    ZSTD_inBuffer in{raw.data(), kMaxBlockSize, 0};
    ZSTD_outBuffer out{packed.data(), packed.size(), 0};
    ASSERT_EQ(ZSTD_compressStream2(wide, &out, &in, ZSTD_e_flush), 0u);
    ZSTD_freeCCtx(wide);
    packed.resize(out.pos);
    std::vector<uint8_t> block;
    bool done = false;
    EXPECT_FALSE(
        BlockAssembler(true).add(splitPacked(kPartContext | 1, packed, 100000, false, 0)[0], block, done));
}

} // namespace
