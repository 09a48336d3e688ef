#include "engine/SystemErrorText.h"

#include "engine/LanguageTable.h"

#include <cerrno>

namespace vexo
{

namespace
{

const char *errorKey(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return "NotFound";
    case EACCES:
    case EPERM:
        return "NoPermission";
    case EBUSY:
        return "Busy";
    case ENXIO:
    case ENODEV:
        return "NoDevice";
    case EISDIR:
        return "IsFolder";
    case ENOTDIR:
        return "NotFolder";
    case ELOOP:
        return "LinkLoop";
    case EIO:
        return "IoError";
    case EROFS:
        return "ReadOnly";
    case ENAMETOOLONG:
        return "PathTooLong";
    case EMFILE:
    case ENFILE:
        return "TooManyFiles";
    default:
        return nullptr;
    }
}

} // namespace

QString SystemErrorText(const LanguageTable &language, int errorNumber)
{
    if (const char *key = errorKey(errorNumber))
        return language.error(QLatin1String(key));
    return Filled(language.error(QStringLiteral("SystemError")), {QString::number(errorNumber)});
}

} // namespace vexo
