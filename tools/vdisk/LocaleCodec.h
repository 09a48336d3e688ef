#pragma once

#include "vexo/sys/Cp936Codec.h"

#include <string>
#include <string_view>

namespace vexo
{

// Converts between the user's locale encoding (UTF-8 under the C locale)
// and CP936, the encoding of names in the image.
class LocaleCodec
{
public:
    LocaleCodec();

    // False when the text has no CP936 form.
    bool toCp936(std::string_view local, std::string &out);
    // False when the bytes cannot be shown in the locale's encoding.
    bool toLocal(std::string_view cp936, std::string &out);
    // For messages: the local form, or the bytes with every non-ASCII one
    // written as \xHH.
    std::string display(std::string_view cp936);

private:
    sys::Cp936Codec m_codec;
};

} // namespace vexo
