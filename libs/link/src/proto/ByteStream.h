// The seam between the protocol and whatever carries its bytes: a serial
// device, a pseudo-terminal, a socket pair in tests, or a fault injector.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::link
{

class ByteStream
{
public:
    enum Ready { kReadable = 1, kWritable = 2, kFailed = 4 };

    virtual ~ByteStream() = default;
    // Waits at most timeoutMs (0 = just look) until input is there or, with
    // wantWrite, until output can be taken. Returns a mask of Ready bits; 0 on time-out.
    virtual int wait(bool wantWrite, int timeoutMs) = 0;
    // Never blocks. Returns the bytes read (0 = nothing there now), -1 once the stream is closed or broken.
    virtual long readSome(uint8_t *buffer, size_t capacity) = 0;
    // Never blocks. Returns the bytes taken (0 = output full now), -1 once the stream is broken.
    virtual long writeSome(const uint8_t *data, size_t size) = 0;
};

} // namespace vexo::link
