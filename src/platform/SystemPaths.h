#pragma once

#include <QString>
#include <QStringList>

namespace vexo
{

// Where the program keeps its files.
class SystemPaths
{
public:
    virtual ~SystemPaths() = default;

    // The folder of the settings file, ending in "/".
    virtual QString programFolder() = 0;
    // Folders searched for language files, in order; each ends in "/".
    virtual QStringList languageFolders() = 0;
    // A folder private to the user for temporary files, ending in "/";
    // empty when none could be made safely.
    virtual QString systemTempPath() = 0;
};

} // namespace vexo
