#include "FrameDecoder.h"
#include "ByteIO.h"
#include "Frame.h"

#include <gtest/gtest.h>

using namespace vexo::link;

namespace
{

std::vector<uint8_t> frameBytes(FrameType type, uint16_t seq, std::vector<uint8_t> payload, uint8_t tag = 9)
{
    return encodeFrame(Frame{type, tag, seq, std::move(payload)});
}

struct Decoded {
    FrameDecoder::Result result;
    uint16_t seq;
    size_t payloadSize;
};

std::vector<Decoded> decodeAll(const std::vector<uint8_t> &bytes)
{
    FrameDecoder decoder;
    decoder.feed(bytes.data(), bytes.size());
    std::vector<Decoded> out;
    Frame f;
    for (auto r = decoder.next(f); r != FrameDecoder::Result::None; r = decoder.next(f))
        out.push_back({r, f.seq, f.payload.size()});
    return out;
}

TEST(FrameDecoderTest, LayoutIsLittleEndianWithHeaderCheckAndTrailingCrc)
{
    const auto bytes = frameBytes(FrameType::Data, 0x1234, {0xAA, 0xBB, 0xCC});
    ASSERT_EQ(bytes.size(), kFrameOverhead + 3);
    EXPECT_EQ(bytes[0], kFrameMagic);
    EXPECT_EQ(bytes[1], static_cast<uint8_t>(FrameType::Data));
    EXPECT_EQ(bytes[2], 9);
    EXPECT_EQ(getLe16(&bytes[3]), 0x1234);
    EXPECT_EQ(getLe16(&bytes[5]), 3);
    EXPECT_EQ(bytes[9], 0xAA);
}

TEST(FrameDecoderTest, CutsFramesOutOfNoisyDamagedAndSplitInput)
{
    const auto a = frameBytes(FrameType::Data, 1, std::vector<uint8_t>(300, 0x55));
    const auto b = frameBytes(FrameType::Ack, 2, {1, 2, 3, 4});
    const auto c = frameBytes(FrameType::Data, 3, std::vector<uint8_t>(40, kFrameMagic));

    struct Case {
        const char *what;
        std::vector<uint8_t> input;
        std::vector<std::pair<FrameDecoder::Result, uint16_t>> expected;
    };
    auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> v;
        for (const auto &p : parts)
            v.insert(v.end(), p.begin(), p.end());
        return v;
    };
    auto flipped = [](std::vector<uint8_t> v, size_t at) {
        v[at] ^= 0x10;
        return v;
    };
    auto dropped = [](std::vector<uint8_t> v, size_t at) {
        v.erase(v.begin() + static_cast<long>(at));
        return v;
    };
    using R = FrameDecoder::Result;
    const std::vector<Case> cases = {
        {"three clean frames", join({a, b, c}), {{R::Frame, 1}, {R::Frame, 2}, {R::Frame, 3}}},
        {"noise between frames",
         join({{0x00, kFrameMagic, 0x13}, a, {kFrameMagic}, b}),
         {{R::Frame, 1}, {R::Frame, 2}}},
        {"payload bit flip is reported with its seq",
         join({flipped(a, 100), b}),
         {{R::Damaged, 1}, {R::Frame, 2}}},
        {"trailer bit flip", join({flipped(b, b.size() - 1), c}), {{R::Damaged, 2}, {R::Frame, 3}}},
        {"header bit flip hides the frame", join({flipped(a, 4), b}), {{R::Frame, 2}}},
        {"length bit flip does not swallow the next frame",
         join({flipped(a, 6), b, c}),
         {{R::Frame, 2}, {R::Frame, 3}}},
        {"lost byte inside a frame",
         join({dropped(a, 50), b, c}),
         {{R::Damaged, 1}, {R::Frame, 2}, {R::Frame, 3}}},
        {"lost magic byte", join({dropped(a, 0), b}), {{R::Frame, 2}}},
        {"truncated frame waits", std::vector<uint8_t>(a.begin(), a.end() - 1), {}},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        const auto got = decodeAll(tc.input);
        ASSERT_EQ(got.size(), tc.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].result, tc.expected[i].first);
            EXPECT_EQ(got[i].seq, tc.expected[i].second);
        }
    }
}

TEST(FrameDecoderTest, ByteByByteFeedingGivesTheSameFrames)
{
    auto bytes = frameBytes(FrameType::Hello, 0, {1, 2, 3});
    const auto more = frameBytes(FrameType::Data, 77, std::vector<uint8_t>(kMaxFramePayload, 0x42));
    bytes.insert(bytes.end(), more.begin(), more.end());
    FrameDecoder decoder;
    std::vector<Frame> frames;
    for (uint8_t byte : bytes) {
        decoder.feed(&byte, 1);
        Frame f;
        while (decoder.next(f) == FrameDecoder::Result::Frame)
            frames.push_back(f);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].type, FrameType::Hello);
    EXPECT_EQ(frames[1].seq, 77);
    EXPECT_EQ(frames[1].payload.size(), kMaxFramePayload);
}

TEST(FrameDecoderTest, ForgedHeadersBackToBackCostLittleMoreThanNoise)
{
    // Valid headers every 9 bytes, each announcing a full payload that never
    // checks out: without a bound each one costs a CRC over 8 KiB.
    const auto header = frameBytes(FrameType::Data, 7, std::vector<uint8_t>(kMaxFramePayload, 0));
    std::vector<uint8_t> forged;
    while (forged.size() < (1u << 20))
        forged.insert(forged.end(), header.begin(), header.begin() + kFrameHeaderSize);
    // A real frame behind them, and enough noise for every forged frame to be complete.
    const auto good = frameBytes(FrameType::Data, 4242, {1, 2, 3});
    forged.insert(forged.end(), good.begin(), good.end());
    forged.resize(forged.size() + kMaxFramePayload + kFrameOverhead, 0);
    FrameDecoder decoder;
    std::vector<uint16_t> frames;
    for (size_t at = 0; at < forged.size(); at += 4096) {
        decoder.feed(forged.data() + at, std::min<size_t>(4096, forged.size() - at));
        Frame f;
        for (auto r = decoder.next(f); r != FrameDecoder::Result::None; r = decoder.next(f))
            if (r == FrameDecoder::Result::Frame)
                frames.push_back(f.seq);
    }
    EXPECT_LE(decoder.checkedBytes(), 4 * forged.size());
    // The real frame behind them is still found.
    EXPECT_EQ(frames, std::vector<uint16_t>{4242});
}

} // namespace
