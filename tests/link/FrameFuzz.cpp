// Fuzz target: arbitrary bytes through the frame decoder, and every frame
// payload through the message, hello, listing and block parsers.
#include "BlockAssembler.h"
#include "FrameDecoder.h"
#include "Hello.h"
#include "Message.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vexo::link;
    // The raw input is also tried as one message, so the parsers are reached
    // without a valid CRC.
    std::vector<uint8_t> raw(data, data + size);
    Message direct;
    decodeMessage(raw, direct);
    std::vector<WireEntry> entries;
    decodeEntries(raw, entries);

    FrameDecoder decoder;
    BlockAssembler assembler;
    std::vector<uint8_t> block;
    // Fed in two pieces, so a frame split across reads is exercised too.
    const size_t half = size / 2;
    for (int piece = 0; piece < 2; ++piece) {
        decoder.feed(data + (piece ? half : 0), piece ? size - half : half);
        Frame frame;
        for (auto r = decoder.next(frame); r != FrameDecoder::Result::None; r = decoder.next(frame)) {
            if (r != FrameDecoder::Result::Frame)
                continue;
            Hello hello;
            decodeHello(frame.payload, hello);
            Message msg;
            if (decodeMessage(frame.payload, msg) && msg.hasPart) {
                bool done = false;
                if (assembler.add(msg.part, block, done) && done)
                    decodeEntries(block, entries);
            }
        }
    }
    return 0;
}
