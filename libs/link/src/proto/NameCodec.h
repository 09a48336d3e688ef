// Device names: code page 936 bytes on the wire, UTF-8 on this PC.
#pragma once

#include <string>
#include <string_view>

namespace vexo::link
{

constexpr size_t kMaxDeviceName = 16;

// Converts between CP936 and UTF-8; false for bytes that are not
// valid in the source encoding or have no equivalent in the target.
bool cp936ToUtf8(std::string_view cp936, std::string &utf8);
bool utf8ToCp936(std::string_view utf8, std::string &cp936);

// A name the device may hold: 1 to 16 CP936 bytes that decode cleanly, with
// no '/', '\', NUL or control character, and not "." or "..".
bool isValidDeviceName(std::string_view cp936);

// A device name as it may safely reach a terminal or a log: in double quotes,
// decoded to UTF-8 where it decodes, with quotes, backslashes, control and
// bidirectional-format characters and undecodable bytes written as escapes
// (\", \\, \xNN, \u{NNNN}). Whatever the peer sent, one line, no terminal codes.
std::string quotedName(std::string_view cp936);

} // namespace vexo::link
