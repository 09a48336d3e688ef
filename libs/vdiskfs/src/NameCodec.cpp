#include "NameCodec.h"

#include <cerrno>
#include <iconv.h>

namespace vexo
{

namespace
{

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

void *openConverter(const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == kInvalid && std::string_view(from) == "CP936")
        cd = iconv_open(to, "GBK");
    if (cd == kInvalid && std::string_view(to) == "CP936")
        cd = iconv_open("GBK", from);
    return cd == kInvalid ? nullptr : cd;
}

bool isAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

NameCodec::NameCodec() = default;

// Opened on the first non-ASCII name only: loading the code page module
// would otherwise dominate mounting an image of plain names.
void NameCodec::open()
{
    m_opened = true;
    m_toUtf16 = openConverter("UTF-16LE", "CP936");
    m_toCp936 = openConverter("CP936", "UTF-16LE");
}

NameCodec::~NameCodec()
{
    if (m_toUtf16 != nullptr)
        iconv_close(static_cast<iconv_t>(m_toUtf16));
    if (m_toCp936 != nullptr)
        iconv_close(static_cast<iconv_t>(m_toCp936));
}

bool NameCodec::convert(void *cd, const char *in, size_t inLength, std::string &out)
{
    if (cd == nullptr)
        return false;
    auto converter = static_cast<iconv_t>(cd);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    out.assign(inLength * 2 + 8, '\0');
    char *inPtr = const_cast<char *>(in);
    size_t inLeft = inLength;
    char *outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            if (errno != E2BIG)
                return false;
            size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
        }
    }
    // Flush any pending shift state; neither encoding has one, but be exact.
    if (iconv(converter, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - outLeft);
    return true;
}

bool NameCodec::toUtf16(std::string_view cp936, std::u16string &out)
{
    out.clear();
    if (isAscii(cp936)) {
        out.reserve(cp936.size());
        for (char c : cp936)
            out.push_back(static_cast<char16_t>(c));
        return true;
    }
    if (!m_opened)
        open();
    std::string bytes;
    if (!convert(m_toUtf16, cp936.data(), cp936.size(), bytes) || bytes.size() % 2 != 0)
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
    if (!m_opened)
        open();
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return convert(m_toCp936, bytes.data(), bytes.size(), out);
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
