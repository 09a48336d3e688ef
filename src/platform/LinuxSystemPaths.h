#pragma once

#include "platform/SystemPaths.h"

namespace vexo
{

// Linux rules:
//  - program folder: the executable's folder when it is writable or already
//    holds VexoFile.ini (portable use), else $XDG_CONFIG_HOME/VexoFile/
//    (default ~/.config/VexoFile/), created on demand;
//  - language files: the program folder, then the executable's folder, then
//    the installed share folder;
//  - temporary folder: $TMPDIR (or /tmp) + "vexo-<uid>/", mode 0700, owned by
//    the user and not a symbolic link; when that name is taken by anything
//    else, a fresh private folder is made with mkdtemp instead.
class LinuxSystemPaths : public SystemPaths
{
public:
    // executableFolder empty = the running program's folder.
    explicit LinuxSystemPaths(QString executableFolder = QString());

    QString programFolder() override;
    QStringList languageFolders() override;
    QString systemTempPath() override;

private:
    QString m_executableFolder;
    QString m_tempPath;
};

// True when path is a real directory (not a link) owned by the current user
// that nobody else may write to or read.
bool isPrivateFolder(const QString &path);

} // namespace vexo
