#include "JsonListing.h"

#include <cstdio>
#include <ctime>
#include <iconv.h>

namespace vexo::cli
{

namespace
{

class Cp936Decoder
{
public:
    Cp936Decoder() : m_cd(iconv_open("UTF-8", "CP936")) {}
    ~Cp936Decoder()
    {
        if (m_cd != kInvalid)
            iconv_close(m_cd);
    }
    Cp936Decoder(const Cp936Decoder &) = delete;
    Cp936Decoder &operator=(const Cp936Decoder &) = delete;

    // Appends the UTF-8 form of all of `in`; false (nothing appended) when
    // any of it does not decode.
    bool append(std::string_view in, std::string &out)
    {
        if (m_cd == kInvalid)
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string buffer(in.size() * 4 + 8, '\0');
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char *dst = buffer.data();
        size_t dstLeft = buffer.size();
        if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
            return false;
        out.append(buffer.data(), buffer.size() - dstLeft);
        return true;
    }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd;
};

} // namespace

bool JsonListing::decodeName(std::string_view cp936, std::string &utf8)
{
    utf8.clear();
    Cp936Decoder decoder;
    if (decoder.append(cp936, utf8))
        return true;
    // Character by character, so that one bad byte costs only itself: a
    // two-byte character first, as its second byte may look like ASCII.
    bool whole = true;
    for (size_t i = 0; i < cp936.size();) {
        const auto b = static_cast<unsigned char>(cp936[i]);
        if (b < 0x80) {
            utf8.push_back(static_cast<char>(b));
            ++i;
        } else if (i + 1 < cp936.size() && decoder.append(cp936.substr(i, 2), utf8)) {
            i += 2;
        } else if (decoder.append(cp936.substr(i, 1), utf8)) {
            ++i;
        } else {
            utf8 += "\xEF\xBF\xBD";
            whole = false;
            ++i;
        }
    }
    return whole;
}

std::string JsonListing::quote(std::string_view utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (b < 0x20 || b == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
                out += escaped;
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
    return out;
}

std::string JsonListing::isoUtc(int64_t utcSeconds)
{
    const auto t = static_cast<std::time_t>(utcSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

void JsonListing::add(std::string_view name, uint64_t size, int64_t utcSeconds)
{
    std::string utf8;
    const bool whole = decodeName(name, utf8);
    m_text += m_text.empty() ? "[\n" : ",\n";
    m_text += "  {\"name\": " + quote(utf8);
    if (!whole) {
        m_text += ", \"name_bytes\": \"";
        for (char c : name) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
            m_text += hex;
        }
        m_text += '"';
    }
    m_text += ", \"size\": " + std::to_string(size) + ", \"time\": \"" + isoUtc(utcSeconds) + "\"}";
}

const std::string &JsonListing::finish()
{
    m_text += m_text.empty() ? "[]\n" : "\n]\n";
    return m_text;
}

} // namespace vexo::cli
