// A file's first bytes read into a FileDigest a slice at a time, so that the
// server answers other requests between the slices instead of holding them
// (and the client's time-out) behind a large file.
#pragma once

#include "FileDigest.h"

#include <chrono>
#include <cstdint>

namespace vexo::deviced
{

class SlicedDigest
{
public:
    // fd: read from its first byte, without moving its position; it stays
    // the caller's and must outlive this.
    SlicedDigest(int fd, uint64_t total) : m_fd(fd), m_total(total) {}

    // Reads on for about `budget`; true once everything is read or a read failed.
    bool step(std::chrono::milliseconds budget);
    bool failed() const { return m_failed; }
    uint64_t done() const { return m_digest.length(); }
    const link::FileDigest &digest() const { return m_digest; }

private:
    int m_fd;
    uint64_t m_total;
    link::FileDigest m_digest;
    bool m_failed = false;
};

} // namespace vexo::deviced
