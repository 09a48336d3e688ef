#pragma once

#include <QString>
#include <QStringList>

namespace vexo
{

class LanguageTable;
class Prompter;
class SystemPaths;

// How a file reference names the pane it belongs to.
enum PathKind { pkOther = 0, pkLocal = 1, pkDevice = 2, pkVDisk = 3 };

// The prefix that marks a device file in clipboard lists.
inline const QString DevicePrefix = QStringLiteral("TVR:\\");

// Path rules in Windows notation, exactly as the program has always applied
// them to its byte strings: "X:\..." is local, "TVR:\..." is a device file,
// any other text with ":\" is something else, the rest are bare names.
namespace winpath
{
PathKind GetPathKind(const QString &text);
// After the last "\", else after the last ":", else the whole text.
QString PathFileName(const QString &path);
// Everything up to and including the last "\"; empty for a bare name.
QString PathFolderPart(const QString &path);
// folder + "\" + name, whatever the folder ends with.
QString JoinPath(const QString &folder, const QString &name);
} // namespace winpath

// The same rules in the program's native notation: a local path is absolute
// ("/..."), the separator is "/", and "TVR:\" still marks a device file.
// A relative path ("a/b") or a text with ":\" is pkOther; the rest are bare
// names (pkVDisk).
PathKind GetPathKind(const QString &text);
// After the device prefix, else after the last "/", else the whole text.
QString PathFileName(const QString &path);
// Everything up to and including the last "/" (or the device prefix);
// empty for a bare name.
QString PathFolderPart(const QString &path);
// folder + "/" + name, whatever the folder ends with ("/" + "/" + name at
// the root, which the file system accepts).
QString JoinPath(const QString &folder, const QString &name);

// A bare name from the device, the image, the clipboard or a drop may become
// a local file name only when it is not empty, not "." or "..", and holds no
// "/", "\" or NUL.
bool IsSafeBareName(const QString &name);

// The system's private temporary folder, ending in "/" (see SystemPaths).
QString GetSystemTempPath(SystemPaths &paths);

// Creates the work folder TempDir = temp folder + "VexoFile" and returns it.
// A "VexoFile" that is a symbolic link or belongs to someone else is never
// used: a fresh private folder takes its place. Empty when nothing could be
// made.
QString PrepareWorkFolder(const QString &systemTemp);

// Deletes a local folder with everything below it. Symbolic links are removed,
// never followed. Folders whose names begin with "." are left alone, and so
// are files the user may not write to (read-only); the walk stops at the
// first entry that cannot be removed. True when the folder itself is gone;
// false for a path that is not a folder (nothing is touched).
bool DeleteFolderTree(const QString &folder);

// Asks before files on the device or in the image are deleted, naming the
// one file or the count of them (the plain question when none is named);
// true for OK.
bool ConfirmFileDelete(Prompter &prompter, const LanguageTable &language, const QStringList &names);

} // namespace vexo
