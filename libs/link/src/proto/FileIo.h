#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::link
{

// Whole reads and writes on a blocking file descriptor (local files on both
// ends of a transfer), retried on EINTR. False on an error or a short file.
bool writeAll(int fd, const uint8_t *data, size_t size);
bool readAll(int fd, uint8_t *data, size_t size);

} // namespace vexo::link
