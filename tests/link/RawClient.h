#pragma once

#include "FdStream.h"
#include "Frame.h"
#include "FrameDecoder.h"
#include "Hello.h"
#include "Message.h"

#include <memory>
#include <string>
#include <vector>

namespace vexo::link::test
{

// A client built frame by frame, so that it can skip what our client never
// skips: acknowledging, reading.
class RawClient
{
public:
    explicit RawClient(std::shared_ptr<FdStream> stream) : m_stream(std::move(stream)) {}

    void hello(uint32_t nonce, uint8_t moreCaps = 0)
    {
        Hello h;
        h.caps = localCodecCaps();
        h.moreCaps = moreCaps;
        h.nonce = nonce;
        h.maxPayload = 2048;
        h.window = 4;
        m_tag = tagForNonce(nonce);
        m_seq = 0;
        send(FrameType::Hello, 0, encodeHello(h));
    }
    // False when the line took nothing (the peer does not read either).
    bool request(MsgType type, const std::string &name)
    {
        Message m;
        m.type = type;
        m.id = m_seq;
        m.name = name;
        if (!send(FrameType::Data, m_seq, encodeMessage(m)))
            return false;
        ++m_seq;
        return true;
    }
    // `tag` < 0: this session's tag.
    bool send(FrameType type, uint16_t seq, const std::vector<uint8_t> &payload, int tag = -1)
    {
        const auto bytes =
            encodeFrame(Frame{type, static_cast<uint8_t>(tag < 0 ? m_tag : tag), seq, payload});
        size_t done = 0;
        for (int tries = 0; done < bytes.size() && tries < 100; ++tries) {
            const long n = m_stream->writeSome(bytes.data() + done, bytes.size() - done);
            if (n < 0 || (n == 0 && done == 0))
                return false;
            if (n == 0)
                m_stream->wait(true, 10);
            done += static_cast<size_t>(n > 0 ? n : 0);
        }
        return done == bytes.size();
    }
    // Reads what arrived, after waiting up to `waitMs` for something, without
    // acknowledging any of it; returns its whole frames.
    std::vector<Frame> read(int waitMs = 0)
    {
        if (waitMs > 0)
            m_stream->wait(false, waitMs);
        std::vector<Frame> frames;
        uint8_t buf[16384];
        long n;
        while ((n = m_stream->readSome(buf, sizeof buf)) > 0) {
            m_decoder.feed(buf, static_cast<size_t>(n));
            Frame f;
            while (m_decoder.next(f) == FrameDecoder::Result::Frame)
                frames.push_back(f);
        }
        return frames;
    }
    uint8_t tag() const { return m_tag; }

private:
    std::shared_ptr<FdStream> m_stream;
    FrameDecoder m_decoder;
    uint8_t m_tag = 0;
    uint16_t m_seq = 0;
};

} // namespace vexo::link::test
