#include "platform/ProfileFiles.h"

#include "platform/CodePage.h"

#include <QVector>

#include <limits>

namespace vexo
{

namespace
{

struct Line {
    QString body;
    QString ending; // "\r\n", "\n", "\r" or empty for a last line without one
};

struct Document {
    QVector<Line> lines;
    bool utf8 = true;
    bool bom = false;
};

Document parse(const QByteArray &bytes)
{
    Document doc;
    doc.bom = bytes.startsWith("\xEF\xBB\xBF");
    doc.utf8 = doc.bom || CodePage::isValidUtf8(bytes);
    const QString text = CodePage::decodeText(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        Line line{text.mid(start, end - start), QString()};
        if (end < text.size()) {
            const bool crlf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
            line.ending = crlf ? QStringLiteral("\r\n") : QString(text[end]);
        }
        doc.lines.append(line);
        start = end + line.ending.size();
    }
    return doc;
}

QByteArray serialise(const Document &doc)
{
    QString text;
    for (const Line &line : doc.lines)
        text += line.body + line.ending;
    QByteArray bytes = text.toUtf8();
    if (doc.bom)
        bytes.prepend("\xEF\xBB\xBF");
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
            return cutToBuffer(unquote(v), doc.utf8);
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
    Document doc;
    if (const std::optional<QByteArray> bytes = load(file))
        doc = parse(*bytes);
    const QString ending = defaultEnding(doc);
    const QString entry = key.trimmed() + u'=' + encodeValue(value);

    qsizetype sectionAt = -1;
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const auto name = sectionName(doc.lines[i].body);
        if (name && sameName(*name, section.trimmed())) {
            sectionAt = i;
            break;
        }
    }

    auto insertLine = [&](qsizetype at) {
        if (at > 0 && doc.lines[at - 1].ending.isEmpty())
            doc.lines[at - 1].ending = ending;
        doc.lines.insert(at, Line{entry, ending});
    };

    if (sectionAt < 0) {
        if (!doc.lines.isEmpty() && doc.lines.back().ending.isEmpty())
            doc.lines.back().ending = ending;
        doc.lines.append(Line{u'[' + section.trimmed() + u']', ending});
        doc.lines.append(Line{entry, ending});
        return store(file, serialise(doc));
    }

    qsizetype lastEntry = sectionAt;
    for (qsizetype i = sectionAt + 1; i < doc.lines.size(); ++i) {
        if (sectionName(doc.lines[i].body))
            break;
        QString k, v;
        if (keyValue(doc.lines[i].body, &k, &v) && sameName(k, key.trimmed())) {
            doc.lines[i].body = entry;
            return store(file, serialise(doc));
        }
        if (!doc.lines[i].body.trimmed().isEmpty())
            lastEntry = i;
    }
    insertLine(lastEntry + 1);
    return store(file, serialise(doc));
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
