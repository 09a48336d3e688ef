#include "engine/StatusTexts.h"

#include "engine/LanguageTable.h"

namespace vexo::StatusTexts
{

QString NoSuchFolder(const LanguageTable &language, const QString &path)
{
    return Filled(language.status(QStringLiteral("NoSuchFolder")), {path});
}

QString LinkLost(const LanguageTable &language, const QString &why)
{
    return Filled(language.status(QStringLiteral("LinkLost")), {why});
}

QString LinkTimedOut(const LanguageTable &language)
{
    return language.status(QStringLiteral("LinkTimedOut"));
}

QString LinkClosed(const LanguageTable &language)
{
    return language.status(QStringLiteral("LinkClosed"));
}

QString DeviceNotConnected(const LanguageTable &language)
{
    return language.status(QStringLiteral("PasteNoDevice"));
}

QString ImageNotMounted(const LanguageTable &language)
{
    return language.status(QStringLiteral("PasteNoImage"));
}

QString ClipboardEmpty(const LanguageTable &language)
{
    return language.status(QStringLiteral("PasteNothing"));
}

QString RenameTooLong(const LanguageTable &language, const QString &name, int maxBytes)
{
    return Filled(language.status(QStringLiteral("RenameTooLong")), {name, QString::number(maxBytes)});
}

QString RenameNameTaken(const LanguageTable &language, const QString &name)
{
    return Filled(language.status(QStringLiteral("RenameTaken")), {name});
}

QString RenameBadCharacters(const LanguageTable &language, const QString &name)
{
    return Filled(language.status(QStringLiteral("RenameBadName")), {name});
}

QString RenameRefused(const LanguageTable &language, const QString &name)
{
    return Filled(language.status(QStringLiteral("RenameRefused")), {name});
}

QString CannotOpen(const LanguageTable &language, const QString &path)
{
    return Filled(language.status(QStringLiteral("NoProgram")), {path});
}

QString FormatFailed(const LanguageTable &language)
{
    return language.status(QStringLiteral("FormatFailed"));
}

} // namespace vexo::StatusTexts
