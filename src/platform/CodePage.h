#pragma once

#include <QByteArray>
#include <QString>

namespace vexo
{

// The palmtop and the disk image speak code page 936 (GBK): every name that
// crosses their C interfaces is converted here, and byte limits are counted
// on the CP936 bytes (a Chinese character is two bytes).
class CodePage
{
public:
    // Empty and *ok = false when a character has no CP936 form.
    static QByteArray toCp936(const QString &text, bool *ok = nullptr);
    // Invalid sequences become U+FFFD; never fails. *ok is false when there
    // was one, so the text is not exactly what the bytes meant.
    static QString fromCp936(const QByteArray &bytes, bool *ok = nullptr);
    // Length in CP936 bytes, or -1 when a character has no CP936 form.
    static int cp936Length(const QString &text);
    static bool isValidUtf8(const QByteArray &bytes);
    // Settings and language files: UTF-16 LE or BE after its BOM, UTF-8 when
    // valid (a BOM is dropped), otherwise CP936, as files made on a Chinese
    // Windows PC are.
    static QString decodeText(const QByteArray &bytes);
};

} // namespace vexo
