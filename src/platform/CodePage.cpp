#include "platform/CodePage.h"

#include "vexo/sys/Cp936Codec.h"

#include <QStringDecoder>

namespace vexo
{

namespace
{
// One codec per thread: names are converted on the window's thread and on
// the workers at once.
sys::Cp936Codec &codec()
{
    thread_local sys::Cp936Codec perThread;
    return perThread;
}
} // namespace

QByteArray CodePage::toCp936(const QString &text, bool *ok)
{
    std::string out;
    const QByteArray utf8 = text.toUtf8();
    const bool good =
        codec().encode(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), out);
    if (ok)
        *ok = good;
    return good ? QByteArray(out.data(), static_cast<qsizetype>(out.size())) : QByteArray();
}

QString CodePage::fromCp936(const QByteArray &bytes, bool *ok)
{
    std::string utf8;
    const bool clean = codec().decodeLossy(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), utf8, "\xEF\xBF\xBD");
    if (ok)
        *ok = clean;
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
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
