#pragma once

#include <string>

namespace vexo::sys
{

// Raw line settings for the link: 8 data bits, no parity, 1 stop bit, no
// flow control, reads return at once. baud 0 keeps the device's speed (USB,
// pseudo-terminals); other rates map to the nearest standard one at or below.
bool makeRawTty(int fd, int baud);

// Opens a tty (serial port, CDC-ACM device or pseudo-terminal slave) in raw
// mode, non-blocking, not as the controlling terminal, with stale input
// dropped. Returns the descriptor, or -1 with a readable reason in *error.
int openSerialDevice(const std::string &path, int baud, std::string *error);

} // namespace vexo::sys
