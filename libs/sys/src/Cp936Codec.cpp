#include "vexo/sys/Cp936Codec.h"

#include <cerrno>
#include <iconv.h>

namespace vexo::sys
{

namespace
{

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

// Some C libraries know the code page only by its other name.
void *openConverter(const std::string &to, const std::string &from)
{
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == kInvalid && from == "CP936")
        cd = iconv_open(to.c_str(), "GBK");
    if (cd == kInvalid && to == "CP936")
        cd = iconv_open("GBK", from.c_str());
    return cd == kInvalid ? nullptr : cd;
}

} // namespace

bool isAscii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

Cp936Codec::Cp936Codec(std::string other) : m_other(std::move(other))
{
    // Wide encodings spell ASCII differently, so only byte encodings that
    // extend ASCII may pass plain text through unconverted.
    m_asciiCompatible =
        m_other.rfind("UTF-16", 0) != 0 && m_other.rfind("UTF-32", 0) != 0 && m_other.rfind("UCS", 0) != 0;
}

Cp936Codec::~Cp936Codec()
{
    if (m_decoder != nullptr)
        iconv_close(static_cast<iconv_t>(m_decoder));
    if (m_encoder != nullptr)
        iconv_close(static_cast<iconv_t>(m_encoder));
}

void Cp936Codec::open()
{
    m_opened = true;
    m_decoder = openConverter(m_other, "CP936");
    m_encoder = openConverter("CP936", m_other);
}

bool Cp936Codec::decode(std::string_view cp936, std::string &out)
{
    return convert(false, cp936, out, nullptr);
}

bool Cp936Codec::encode(std::string_view text, std::string &out)
{
    return convert(true, text, out, nullptr);
}

bool Cp936Codec::decodeLossy(std::string_view cp936, std::string &out, std::string_view replacement)
{
    return convert(false, cp936, out, &replacement);
}

bool Cp936Codec::convert(bool toCp936, std::string_view in, std::string &out, std::string_view *replacement)
{
    out.clear();
    if (m_asciiCompatible && isAscii(in)) {
        out.assign(in);
        return true;
    }
    if (!m_opened)
        open();
    void *cd = toCp936 ? m_encoder : m_decoder;
    if (cd == nullptr)
        return false;
    auto converter = static_cast<iconv_t>(cd);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string buffer(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    bool clean = true;
    while (srcLeft > 0) {
        char *dst = buffer.data();
        size_t dstLeft = buffer.size();
        const size_t rc = iconv(converter, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        if (replacement == nullptr)
            return false;
        // EILSEQ or EINVAL: mark one byte and go on after it.
        clean = false;
        out.append(*replacement);
        ++src;
        --srcLeft;
    }
    // Flushes any shift state; neither side has one, but be exact.
    char *dst = buffer.data();
    size_t dstLeft = buffer.size();
    if (iconv(converter, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
        return false;
    out.append(buffer.data(), buffer.size() - dstLeft);
    return clean;
}

} // namespace vexo::sys
