#pragma once

#include <string>
#include <string_view>

namespace vexo::sys
{

// True when every byte is 7-bit ASCII, which CP936 and UTF-8 spell alike.
bool isAscii(std::string_view bytes);

// Converts between code page 936 (GBK), the encoding of every name on the
// palmtop and in its disk images, and one other encoding (UTF-8 unless told
// otherwise), with iconv. The converters open on the first text that needs
// them: loading the code page module costs more than a listing of plain
// ASCII names. Not thread-safe; one per thread or per owner.
class Cp936Codec
{
public:
    // `other`: an iconv encoding name, e.g. "UTF-8", "UTF-16LE" or the
    // locale's code set.
    explicit Cp936Codec(std::string other = "UTF-8");
    ~Cp936Codec();
    Cp936Codec(const Cp936Codec &) = delete;
    Cp936Codec &operator=(const Cp936Codec &) = delete;

    // False when the bytes are not valid CP936 or have no form in the other
    // encoding.
    bool decode(std::string_view cp936, std::string &out);
    // False when a character has no CP936 form or the input is invalid.
    bool encode(std::string_view text, std::string &out);
    // Decodes whatever it can: each byte that starts no valid sequence
    // becomes `replacement`. False when there was such a byte.
    bool decodeLossy(std::string_view cp936, std::string &out, std::string_view replacement);

private:
    bool convert(bool toCp936, std::string_view in, std::string &out, std::string_view *replacement);
    void open();

    std::string m_other;
    bool m_asciiCompatible = false;
    bool m_opened = false;
    void *m_decoder = nullptr;
    void *m_encoder = nullptr;
};

} // namespace vexo::sys
