#include "FdStream.h"

#include "vexo/sys/FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vexo::link
{

FdStream::FdStream(int readFd, int writeFd, bool owns) : m_readFd(readFd), m_writeFd(writeFd), m_owns(owns)
{
    sys::setNonBlocking(m_readFd);
    if (m_writeFd != m_readFd)
        sys::setNonBlocking(m_writeFd);
}

FdStream::~FdStream()
{
    if (m_owns) {
        close(m_readFd);
        if (m_writeFd != m_readFd)
            close(m_writeFd);
    }
}

int FdStream::wait(bool wantWrite, int timeoutMs)
{
    pollfd fds[2] = {};
    int n = 0;
    fds[n++] = {m_readFd, POLLIN, 0};
    if (wantWrite) {
        if (m_writeFd == m_readFd)
            fds[0].events |= POLLOUT;
        else
            fds[n++] = {m_writeFd, POLLOUT, 0};
    }
    int rc;
    do {
        rc = poll(fds, static_cast<nfds_t>(n), timeoutMs < 0 ? 0 : timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return kFailed;
    int ready = 0;
    for (int i = 0; i < n; ++i) {
        if (fds[i].revents & POLLIN)
            ready |= kReadable;
        if (fds[i].revents & POLLOUT)
            ready |= kWritable;
        // A hang-up with data still queued shows POLLIN as well; read that first.
        if ((fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[i].revents & POLLIN))
            ready |= kFailed;
    }
    return ready;
}

long FdStream::readSome(uint8_t *buffer, size_t capacity)
{
    for (;;) {
        const ssize_t n = read(m_readFd, buffer, capacity);
        if (n > 0)
            return static_cast<long>(n);
        if (n == 0)
            return -1;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

long FdStream::writeSome(const uint8_t *data, size_t size)
{
    for (;;) {
        const ssize_t n = write(m_writeFd, data, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

} // namespace vexo::link
