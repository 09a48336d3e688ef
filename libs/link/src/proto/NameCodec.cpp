#include "NameCodec.h"

#include <cerrno>
#include <iconv.h>

namespace vexo::link
{

namespace
{
bool convert(const char *to, const char *from, std::string_view in, std::string &out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    char *dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || srcLeft != 0)
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}
} // namespace

bool cp936ToUtf8(std::string_view cp936, std::string &utf8)
{
    return convert("UTF-8", "CP936", cp936, utf8);
}

bool utf8ToCp936(std::string_view utf8, std::string &cp936)
{
    return convert("CP936", "UTF-8", utf8, cp936);
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

} // namespace vexo::link
