#include "LocaleCodec.h"

#include <cstdio>
#include <cstring>
#include <langinfo.h>

namespace vexo
{

namespace
{

std::string localCodeset()
{
    const char *set = nl_langinfo(CODESET);
    // The plain C locale says ASCII; names on a modern system are UTF-8.
    if (set == nullptr || *set == '\0' || std::strcmp(set, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(set, "ASCII") == 0)
        return "UTF-8";
    return set;
}

} // namespace

LocaleCodec::LocaleCodec() : m_codec(localCodeset())
{
}

bool LocaleCodec::toCp936(std::string_view local, std::string &out)
{
    return m_codec.encode(local, out);
}

bool LocaleCodec::toLocal(std::string_view cp936, std::string &out)
{
    return m_codec.decode(cp936, out);
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
