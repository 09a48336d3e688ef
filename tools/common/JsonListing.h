#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexo::cli
{

// A folder listing for scripts (the tools' "ls --json"): a JSON array with
// one object per line, {"name": ..., "size": ..., "time": ...}.
//
// JSON text is UTF-8, so names are decoded from CP936, the encoding of names
// on the palmtop and in the image, whatever the user's locale. A name that
// is not valid CP936 still gets a "name": each byte that cannot be decoded
// becomes U+FFFD, and a "name_bytes" member then holds the stored bytes in
// lower-case hex, so that nothing is lost. Control characters are written as
// \uXXXX escapes (or \n, \t ...), never raw.
class JsonListing
{
public:
    // name: the stored bytes (CP936); utcSeconds: seconds since 1970-01-01 UTC.
    void add(std::string_view name, uint64_t size, int64_t utcSeconds);
    // The whole array, ending in a newline; "[]" for no entries.
    const std::string &finish();

    // The name as UTF-8; false when some byte had to become U+FFFD.
    static bool decodeName(std::string_view cp936, std::string &utf8);
    // A JSON string literal, quotes included, for UTF-8 text.
    static std::string quote(std::string_view utf8);
    // "2024-05-01T13:45:06Z".
    static std::string isoUtc(int64_t utcSeconds);

private:
    std::string m_text;
};

} // namespace vexo::cli
