#include "platform/CodePage.h"

#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>

namespace vexo
{

namespace
{

// One conversion with glibc iconv; false when the input has a character the
// target cannot hold or an invalid sequence.
bool convert(const char *to, const char *from, const QByteArray &in, QByteArray *out, bool lossy)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out->clear();
    QByteArray buffer(qMax<qsizetype>(64, in.size() * 4), '\0');
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    bool clean = true;
    while (srcLeft > 0) {
        char *dst = buffer.data();
        size_t dstLeft = static_cast<size_t>(buffer.size());
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out->append(buffer.constData(), buffer.size() - static_cast<qsizetype>(dstLeft));
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        clean = false;
        if (!lossy)
            break;
        // EILSEQ or EINVAL: skip one byte and mark it.
        out->append("\xEF\xBF\xBD");
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    return clean;
}

} // namespace

QByteArray CodePage::toCp936(const QString &text, bool *ok)
{
    QByteArray out;
    const bool good = convert("CP936", "UTF-8", text.toUtf8(), &out, false);
    if (ok)
        *ok = good;
    return good ? out : QByteArray();
}

QString CodePage::fromCp936(const QByteArray &bytes, bool *ok)
{
    QByteArray utf8;
    const bool clean = convert("UTF-8", "CP936", bytes, &utf8, true);
    if (ok)
        *ok = clean;
    return QString::fromUtf8(utf8);
}

int CodePage::cp936Length(const QString &text)
{
    bool ok = false;
    const QByteArray bytes = toCp936(text, &ok);
    return ok ? static_cast<int>(bytes.size()) : -1;
}

bool CodePage::isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

QString CodePage::decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromCp936(bytes);
}

} // namespace vexo
