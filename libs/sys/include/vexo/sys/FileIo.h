#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::sys
{

// Whole reads and writes on a blocking descriptor, retried on EINTR and on
// partial transfers. False (errno set) on an error; a read also fails at an
// early end of file.
bool writeAll(int fd, const void *data, size_t size);
bool readAll(int fd, void *data, size_t size);
// The same at a file offset, leaving the file position alone.
bool writeAllAt(int fd, const void *data, size_t size, uint64_t offset);
bool readAllAt(int fd, void *data, size_t size, uint64_t offset);

// Makes reads and writes on the descriptor return at once instead of waiting.
bool setNonBlocking(int fd);

// Sets an open file's modification time (ms since 1970 UTC); a time the file
// system cannot hold leaves the time of writing.
void setFileTime(int fd, int64_t mtimeMs);

} // namespace vexo::sys
