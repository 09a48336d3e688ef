#include "NameCodec.h"

namespace vexo
{

bool NameCodec::toUtf16(std::string_view cp936, std::u16string &out)
{
    out.clear();
    if (sys::isAscii(cp936)) {
        out.reserve(cp936.size());
        for (char c : cp936)
            out.push_back(static_cast<char16_t>(c));
        return true;
    }
    std::string bytes;
    if (!m_codec.decode(cp936, bytes) || bytes.size() % 2 != 0)
        return false;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return true;
}

bool NameCodec::toCp936(std::u16string_view text, std::string &out)
{
    out.clear();
    bool ascii = true;
    for (char16_t c : text)
        ascii = ascii && c < 0x80;
    if (ascii) {
        out.reserve(text.size());
        for (char16_t c : text)
            out.push_back(static_cast<char>(c));
        return true;
    }
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return m_codec.encode(bytes, out);
}

std::u16string NameCodec::foldCase(std::u16string_view text)
{
    std::u16string key(text);
    for (char16_t &c : key) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
            (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
            (c >= 0xFF41 && c <= 0xFF5A))
            c = static_cast<char16_t>(c - 0x20);
        else if (c == 0x3C2)
            c = 0x3A3;
        else if (c >= 0x450 && c <= 0x45F)
            c = static_cast<char16_t>(c - 0x50);
        else if (c == 0xFF)
            c = 0x178;
    }
    return key;
}

} // namespace vexo
