#include "NameCodec.h"

#include "vexo/sys/Cp936Codec.h"

#include <cstdio>

namespace vexo::link
{

// One codec per thread: the client, the server and the tools convert from
// several threads, and a codec is not shared.
bool cp936ToUtf8(std::string_view cp936, std::string &utf8)
{
    thread_local sys::Cp936Codec codec;
    return codec.decode(cp936, utf8);
}

bool utf8ToCp936(std::string_view utf8, std::string &cp936)
{
    thread_local sys::Cp936Codec codec;
    return codec.encode(utf8, cp936);
}

bool isValidDeviceName(std::string_view cp936)
{
    if (cp936.empty() || cp936.size() > kMaxDeviceName || cp936 == "." || cp936 == "..")
        return false;
    std::string utf8;
    if (!cp936ToUtf8(cp936, utf8))
        return false;
    // Checked on the decoded text: a trail byte of a Chinese character may be 0x5C.
    for (unsigned char c : utf8)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\')
            return false;
    return true;
}

namespace
{
void appendEscaped(std::string &out, const char *format, unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, format, value);
    out += buf;
}

// The code point of the UTF-8 sequence at s (already validated by iconv).
unsigned codePoint(const std::string &s, size_t i, size_t &length)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]) & 0x3Fu; };
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if (lead < 0xE0) {
        length = 2;
        return (lead & 0x1Fu) << 6 | b(1);
    }
    if (lead < 0xF0) {
        length = 3;
        return (lead & 0x0Fu) << 12 | b(1) << 6 | b(2);
    }
    length = 4;
    return (lead & 0x07u) << 18 | b(1) << 12 | b(2) << 6 | b(3);
}

// Characters that move the cursor or reorder the text around them.
bool isControlOrFormat(unsigned cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x200B && cp <= 0x200F) ||
           (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF;
}
} // namespace

std::string quotedName(std::string_view cp936)
{
    std::string out = "\"";
    std::string utf8;
    if (!cp936ToUtf8(cp936, utf8)) {
        for (unsigned char c : cp936) {
            if (c == '"' || c == '\\')
                out += {'\\', static_cast<char>(c)};
            else if (c < 0x20 || c >= 0x7F)
                appendEscaped(out, "\\x%02X", c);
            else
                out += static_cast<char>(c);
        }
        return out + "\"";
    }
    for (size_t i = 0; i < utf8.size();) {
        size_t length = 1;
        const unsigned cp = codePoint(utf8, i, length);
        if (cp == '"' || cp == '\\')
            out += {'\\', static_cast<char>(cp)};
        else if (cp < 0x80 && isControlOrFormat(cp))
            appendEscaped(out, "\\x%02X", cp);
        else if (isControlOrFormat(cp))
            appendEscaped(out, "\\u{%04X}", cp);
        else
            out.append(utf8, i, length);
        i += length;
    }
    return out + "\"";
}

} // namespace vexo::link
