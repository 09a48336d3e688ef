#include "platform/ProfileFiles.h"

#include "platform/CodePage.h"

#include <QStringEncoder>
#include <QVector>

#include <limits>

namespace vexo
{

namespace
{

enum class Encoding { Utf8, Cp936, Utf16Le, Utf16Be };

struct Line {
    QString body;
    QString ending; // "\r\n", "\n", "\r" or empty for a last line without one
    QByteArray raw; // the body's bytes as they are in the file
    bool edited = false;
    bool exact = true; // body decodes raw without a replacement character
};

struct Document {
    QVector<Line> lines;
    Encoding encoding = Encoding::Utf8;
    QByteArray bom;
    QByteArray tail; // an odd last byte of a UTF-16 file, kept after every line
};

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";
constexpr char Utf16LeBom[] = "\xFF\xFE";
constexpr char Utf16BeBom[] = "\xFE\xFF";

// Byte-wise encodings: '\r' and '\n' are never part of a CP936 or UTF-8
// multi-byte character, so lines are split on the bytes themselves.
void splitBytes(Document &doc, const QByteArray &bytes, qsizetype start)
{
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        Line line;
        line.raw = bytes.mid(start, end - start);
        if (doc.encoding == Encoding::Utf8) {
            line.body = QString::fromUtf8(line.raw);
        } else {
            bool exact = false;
            line.body = CodePage::fromCp936(line.raw, &exact);
            line.exact = exact;
        }
        if (end < bytes.size()) {
            const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
            line.ending = crlf ? QStringLiteral("\r\n") : QString(QChar::fromLatin1(bytes[end]));
        }
        start = end + line.ending.size();
        doc.lines.append(line);
    }
}

// UTF-16: lines are split on code units, each line keeping its own bytes.
void splitUtf16(Document &doc, const QByteArray &bytes)
{
    const bool le = doc.encoding == Encoding::Utf16Le;
    const qsizetype base = doc.bom.size();
    QString text;
    for (qsizetype at = base; at + 1 < bytes.size(); at += 2) {
        const auto lo = static_cast<unsigned char>(bytes[le ? at : at + 1]);
        const auto hi = static_cast<unsigned char>(bytes[le ? at + 1 : at]);
        text.append(QChar(static_cast<char16_t>(lo | hi << 8)));
    }
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        Line line{text.mid(start, end - start), QString(), bytes.mid(base + 2 * start, 2 * (end - start))};
        if (end < text.size()) {
            const bool crlf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
            line.ending = crlf ? QStringLiteral("\r\n") : QString(text[end]);
        }
        start = end + line.ending.size();
        doc.lines.append(line);
    }
    if ((bytes.size() - base) % 2 != 0)
        doc.tail = bytes.right(1);
}

Document parse(const QByteArray &bytes)
{
    Document doc;
    if (bytes.startsWith(Utf16LeBom) || bytes.startsWith(Utf16BeBom)) {
        doc.encoding = bytes.startsWith(Utf16LeBom) ? Encoding::Utf16Le : Encoding::Utf16Be;
        doc.bom = bytes.left(2);
        splitUtf16(doc, bytes);
        return doc;
    }
    if (bytes.startsWith(Utf8Bom))
        doc.bom = bytes.left(3);
    else if (!CodePage::isValidUtf8(bytes))
        doc.encoding = Encoding::Cp936;
    splitBytes(doc, bytes, doc.bom.size());
    return doc;
}

// Nothing when the text has a character the encoding cannot hold.
std::optional<QByteArray> encode(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8: {
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        QByteArray bytes = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
    case Encoding::Cp936: {
        bool ok = false;
        QByteArray bytes = CodePage::toCp936(text, &ok);
        if (!ok)
            return std::nullopt;
        return bytes;
    }
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        // Code unit by code unit, so even a lone surrogate is kept as it is.
        QByteArray bytes;
        bytes.reserve(text.size() * 2);
        for (const QChar c : text) {
            const char lo = static_cast<char>(c.unicode() & 0xFF);
            const char hi = static_cast<char>(c.unicode() >> 8);
            bytes.append(encoding == Encoding::Utf16Le ? lo : hi);
            bytes.append(encoding == Encoding::Utf16Le ? hi : lo);
        }
        return bytes;
    }
    }
    return std::nullopt;
}

// Lines not written keep their bytes. Nothing when the file cannot be written
// without losing a character.
std::optional<QByteArray> serialise(const Document &doc)
{
    QByteArray bytes = doc.bom;
    bool fits = true;
    for (const Line &line : doc.lines) {
        const std::optional<QByteArray> body = line.edited ? encode(line.body, doc.encoding) : line.raw;
        const std::optional<QByteArray> ending = encode(line.ending, doc.encoding);
        if (!body || !ending) {
            fits = false;
            break;
        }
        bytes += *body + *ending;
    }
    if (fits)
        return bytes + doc.tail;
    if (doc.encoding != Encoding::Cp936)
        return std::nullopt;
    // A new value that CP936 cannot hold: the whole file becomes UTF-8, which
    // holds every character, but only when every old line decodes exactly -
    // bytes that mean nothing in CP936 could not be carried over.
    bytes.clear();
    for (const Line &line : doc.lines) {
        const std::optional<QByteArray> text = encode(line.body + line.ending, Encoding::Utf8);
        if (!line.exact || !text)
            return std::nullopt;
        bytes += *text;
    }
    return bytes;
}

bool isComment(const QString &trimmed)
{
    return trimmed.startsWith(u';') || trimmed.startsWith(u'#');
}

std::optional<QString> sectionName(const QString &body)
{
    const QString trimmed = body.trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        close = trimmed.size();
    return trimmed.mid(1, close - 1).trimmed();
}

bool keyValue(const QString &body, QString *key, QString *value)
{
    const QString trimmed = body.trimmed();
    if (trimmed.isEmpty() || isComment(trimmed) || trimmed.startsWith(u'['))
        return false;
    const qsizetype eq = trimmed.indexOf(u'=');
    if (eq <= 0)
        return false;
    *key = trimmed.left(eq).trimmed();
    *value = trimmed.mid(eq + 1).trimmed();
    return !key->isEmpty();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString unquote(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

// The value buffer holds ValueBufferSize - 1 bytes in the file's encoding;
// a character that does not fit whole is dropped.
QString cutToBuffer(const QString &value, bool utf8)
{
    const qsizetype limit = ProfileFiles::ValueBufferSize - 1;
    if (utf8) {
        const QByteArray bytes = value.toUtf8();
        if (bytes.size() <= limit)
            return value;
        qsizetype cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        return QString::fromUtf8(bytes.left(cut));
    }
    const QByteArray bytes = CodePage::toCp936(value);
    if (bytes.size() <= limit)
        return value;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype width = static_cast<unsigned char>(bytes[at]) >= 0x81 ? 2 : 1;
        if (at + width > limit)
            break;
        at += width;
    }
    return CodePage::fromCp936(bytes.left(at));
}

// Values that would lose characters to trimming or unquoting on the way back
// are written in quotes; line breaks cannot live in a one-line value.
QString encodeValue(QString value)
{
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    const bool padded = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    if (padded || unquote(value) != value)
        return u'"' + value + u'"';
    return value;
}

// Names that would read back as something else, or split the line, are not
// written at all.
bool storableNames(const QString &section, const QString &key)
{
    const auto breaksLine = [](const QString &text) { return text.contains(u'\r') || text.contains(u'\n'); };
    if (breaksLine(section) || section.contains(u']') || breaksLine(key) || key.isEmpty())
        return false;
    return !key.contains(u'=') && !key.startsWith(u'[') && !isComment(key);
}

QString defaultEnding(const Document &doc)
{
    for (const Line &line : doc.lines) {
        if (!line.ending.isEmpty())
            return line.ending;
    }
    return QStringLiteral("\n");
}

} // namespace

std::optional<int> parseProfileInt(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    qlonglong v = 0;
    if (t.size() > 2 && (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))) {
        const QString digits = t.mid(2);
        if (digits.startsWith(u'+') || digits.startsWith(u'-'))
            return std::nullopt;
        const qulonglong u = digits.toULongLong(&ok, 16);
        if (!ok || u > std::numeric_limits<quint32>::max())
            return std::nullopt;
        return static_cast<int>(static_cast<quint32>(u));
    }
    v = t.toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(v);
}

std::optional<QString> ProfileFiles::lookup(const QString &file, const QString &section, const QString &key)
{
    const std::optional<QByteArray> bytes = load(file);
    if (!bytes)
        return std::nullopt;
    const Document doc = parse(*bytes);
    bool inSection = false;
    bool seenSection = false;
    for (const Line &line : doc.lines) {
        if (const auto name = sectionName(line.body)) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = !seenSection && sameName(*name, section.trimmed());
            seenSection = seenSection || inSection;
            continue;
        }
        QString k, v;
        if (inSection && keyValue(line.body, &k, &v) && sameName(k, key.trimmed()))
            return cutToBuffer(unquote(v), doc.encoding != Encoding::Cp936);
    }
    return std::nullopt;
}

QString ProfileFiles::readString(const QString &file, const QString &section, const QString &key,
                                 const QString &def)
{
    return lookup(file, section, key).value_or(def);
}

int ProfileFiles::readInt(const QString &file, const QString &section, const QString &key, int def)
{
    const std::optional<QString> text = lookup(file, section, key);
    if (!text)
        return def;
    return parseProfileInt(*text).value_or(def);
}

bool ProfileFiles::readBool(const QString &file, const QString &section, const QString &key, bool def)
{
    return readInt(file, section, key, def ? 1 : 0) != 0;
}

bool ProfileFiles::writeString(const QString &file, const QString &section, const QString &key,
                               const QString &value)
{
    const QString sectionText = section.trimmed();
    const QString keyText = key.trimmed();
    if (!storableNames(sectionText, keyText))
        return false;
    Document doc;
    if (const std::optional<QByteArray> bytes = load(file))
        doc = parse(*bytes);
    const QString ending = defaultEnding(doc);
    const QString assigned = u'=' + encodeValue(value);

    auto insertLine = [&](qsizetype at, const QString &body) {
        if (at > 0 && doc.lines[at - 1].ending.isEmpty())
            doc.lines[at - 1].ending = ending;
        Line line;
        line.body = body;
        line.ending = ending;
        line.edited = true;
        doc.lines.insert(at, line);
    };
    auto save = [&] {
        const std::optional<QByteArray> bytes = serialise(doc);
        return bytes && store(file, *bytes);
    };

    qsizetype sectionAt = -1;
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const auto name = sectionName(doc.lines[i].body);
        if (name && sameName(*name, sectionText)) {
            sectionAt = i;
            break;
        }
    }
    if (sectionAt < 0) {
        insertLine(doc.lines.size(), u'[' + sectionText + u']');
        insertLine(doc.lines.size(), keyText + assigned);
        return save();
    }

    qsizetype lastEntry = sectionAt;
    for (qsizetype i = sectionAt + 1; i < doc.lines.size(); ++i) {
        if (sectionName(doc.lines[i].body))
            break;
        QString k, v;
        if (keyValue(doc.lines[i].body, &k, &v) && sameName(k, keyText)) {
            // The key keeps the spelling it has in the file.
            doc.lines[i].body = k + assigned;
            doc.lines[i].edited = true;
            return save();
        }
        if (!doc.lines[i].body.trimmed().isEmpty())
            lastEntry = i;
    }
    insertLine(lastEntry + 1, keyText + assigned);
    return save();
}

bool ProfileFiles::writeInt(const QString &file, const QString &section, const QString &key, int value)
{
    return writeString(file, section, key, QString::number(value));
}

bool ProfileFiles::writeBool(const QString &file, const QString &section, const QString &key, bool value)
{
    return writeString(file, section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace vexo
