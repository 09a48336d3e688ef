#include "engine/ReplaceFacts.h"

#include "engine/LanguageTable.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace vexo
{

ReplaceFacts::ReplaceFacts(const FileFacts &existing, const FileFacts &incoming)
    : m_existing(existing), m_incoming(incoming)
{
}

bool ReplaceFacts::existingIsNewer() const
{
    return m_existing.known && m_incoming.known && m_existing.modifiedMs - m_incoming.modifiedMs > SameTimeMs;
}

bool ReplaceFacts::incomingIsNewer() const
{
    return m_existing.known && m_incoming.known && m_incoming.modifiedMs - m_existing.modifiedMs > SameTimeMs;
}

QString ReplaceFacts::existingLine(const LanguageTable &language) const
{
    return line(language, m_existing, existingIsNewer());
}

QString ReplaceFacts::incomingLine(const LanguageTable &language) const
{
    return line(language, m_incoming, incomingIsNewer());
}

QString ReplaceFacts::text(const LanguageTable &language) const
{
    QStringList lines;
    if (m_existing.known)
        lines << Filled(language.window(QStringLiteral("ExistingFile")), {existingLine(language)});
    if (m_incoming.known)
        lines << Filled(language.window(QStringLiteral("IncomingFile")), {incomingLine(language)});
    return lines.join(u'\n');
}

QString ReplaceFacts::line(const LanguageTable &language, const FileFacts &facts, bool newer) const
{
    if (!facts.known)
        return QString();
    // Digits grouped the same way in every language, so sizes line up.
    const QString size = QLocale(QLocale::English).toString(facts.size);
    const QString date =
        QDateTime::fromMSecsSinceEpoch(facts.modifiedMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString text = Filled(language.window(QStringLiteral("FileFacts")), {size, date});
    return newer ? Filled(language.window(QStringLiteral("Newer")), {text}) : text;
}

} // namespace vexo
