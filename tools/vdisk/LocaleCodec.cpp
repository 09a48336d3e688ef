#include "LocaleCodec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace vexo
{

namespace
{

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

std::string localCodeset()
{
    const char *set = nl_langinfo(CODESET);
    // The plain C locale says ASCII; names on a modern system are UTF-8.
    if (set == nullptr || *set == '\0' || std::strcmp(set, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(set, "ASCII") == 0)
        return "UTF-8";
    return set;
}

void *openConverter(const std::string &to, const std::string &from)
{
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    return cd == kInvalid ? nullptr : cd;
}

bool isAscii(std::string_view in)
{
    for (char c : in)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool convert(void *cd, std::string_view in, std::string &out)
{
    out.clear();
    if (cd == nullptr)
        return false;
    auto converter = static_cast<iconv_t>(cd);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    out.assign(in.size() * 4 + 8, '\0');
    char *inPtr = const_cast<char *>(in.data());
    size_t inLeft = in.size();
    char *outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        iconv(converter, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - outLeft);
    return true;
}

} // namespace

LocaleCodec::LocaleCodec() = default;

// The converters are opened on the first name that needs them: loading the
// code page modules costs more than a whole listing of ASCII names.
void LocaleCodec::open()
{
    m_opened = true;
    std::string local = localCodeset();
    m_toCp936 = openConverter("CP936", local);
    if (m_toCp936 == nullptr)
        m_toCp936 = openConverter("GBK", local);
    m_toLocal = openConverter(local, "CP936");
    if (m_toLocal == nullptr)
        m_toLocal = openConverter(local, "GBK");
}

LocaleCodec::~LocaleCodec()
{
    if (m_toCp936 != nullptr)
        iconv_close(static_cast<iconv_t>(m_toCp936));
    if (m_toLocal != nullptr)
        iconv_close(static_cast<iconv_t>(m_toLocal));
}

bool LocaleCodec::toCp936(std::string_view local, std::string &out)
{
    if (isAscii(local)) {
        out.assign(local);
        return true;
    }
    if (!m_opened)
        open();
    return convert(m_toCp936, local, out);
}

bool LocaleCodec::toLocal(std::string_view cp936, std::string &out)
{
    if (isAscii(cp936)) {
        out.assign(cp936);
        return true;
    }
    if (!m_opened)
        open();
    return convert(m_toLocal, cp936, out);
}

std::string LocaleCodec::display(std::string_view cp936)
{
    std::string out;
    if (toLocal(cp936, out))
        return out;
    out.clear();
    for (char c : cp936) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

} // namespace vexo
