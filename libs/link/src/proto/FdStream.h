#pragma once

#include "ByteStream.h"

namespace vexo::link
{

// A ByteStream over file descriptors (tty, pty, socket, pipe); reads and writes
// may use different descriptors, as stdin and stdout do. Descriptors are set
// non-blocking; owned ones are closed with the stream.
class FdStream : public ByteStream
{
public:
    FdStream(int readFd, int writeFd, bool owns);
    ~FdStream() override;
    FdStream(const FdStream &) = delete;
    FdStream &operator=(const FdStream &) = delete;

    int wait(bool wantWrite, int timeoutMs) override;
    long readSome(uint8_t *buffer, size_t capacity) override;
    long writeSome(const uint8_t *data, size_t size) override;

    int readFd() const { return m_readFd; }
    int writeFd() const { return m_writeFd; }

private:
    int m_readFd;
    int m_writeFd;
    bool m_owns;
};

} // namespace vexo::link
