#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// A whole small file (a settings or registry file, a /proc entry), up to
// `limit` bytes; false when it cannot be opened or read. Spares the tools
// the start-up cost of the stream library.
bool readSmallFile(const std::string &path, std::string &out, size_t limit = 64 << 20);
// The next line of `text` from `at` (without its "\n" or "\r\n"); false at
// the end.
bool nextLine(const std::string &text, size_t &at, std::string &line);

// Makes reads and writes on the descriptor return at once instead of waiting.
bool setNonBlocking(int fd);

// Sets an open file's modification time (ms since 1970 UTC); a time the file
// system cannot hold leaves the time of writing.
void setFileTime(int fd, int64_t mtimeMs);

} // namespace vexo::sys
