#pragma once

#include "vexo/sys/Cp936Codec.h"

#include <string>
#include <string_view>

namespace vexo
{

// Converts names between CP936 (GBK) bytes, as the C API speaks them, and
// the UTF-16 of long-name entries. Not thread-safe: one per volume, used
// under the library's lock.
class NameCodec
{
public:
    // False when the bytes are not valid CP936.
    bool toUtf16(std::string_view cp936, std::u16string &out);
    // False when a character has no CP936 form.
    bool toCp936(std::u16string_view text, std::string &out);

    // The key names are compared by: upper case as Windows folds long names
    // (ASCII, Latin-1, Greek, Cyrillic, full-width Latin).
    static std::u16string foldCase(std::u16string_view text);

private:
    sys::Cp936Codec m_codec{"UTF-16LE"};
};

} // namespace vexo
