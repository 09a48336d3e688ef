#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::link
{

// Whole reads and writes on a blocking file descriptor (local files on both
// ends of a transfer), retried on EINTR. False on an error or a short file.
bool writeAll(int fd, const uint8_t *data, size_t size);
bool readAll(int fd, uint8_t *data, size_t size);
// Sets a written file's modification time (ms since 1970 UTC); a time the
// file system cannot hold leaves the time of writing.
void keepFileTime(int fd, int64_t mtimeMs);

} // namespace vexo::link
