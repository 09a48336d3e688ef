#pragma once

#include <string>

namespace vexo::link
{

// Opens a tty (serial port, CDC-ACM device or pseudo-terminal slave) for the
// link: raw, 8 data bits, no parity, 1 stop bit, no flow control, not the
// controlling terminal, non-blocking, stale input dropped. baud 0 keeps the
// device's speed (USB); other rates are mapped to the nearest standard one at
// or below. Returns the descriptor, or -1 with a readable reason in *error.
int openSerialDevice(const std::string &path, int baud, std::string *error);

// Applies the same raw line settings to an open tty descriptor.
bool makeRawTty(int fd, int baud);

} // namespace vexo::link
