#include "engine/common.h"

#include "engine/LanguageTable.h"
#include "platform/Prompter.h"
#include "platform/SystemPaths.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace winpath
{

PathKind GetPathKind(const QString &text)
{
    if (text.size() >= 3 && text.mid(1, 2) == QLatin1String(":\\"))
        return pkLocal;
    if (text.startsWith(DevicePrefix))
        return pkDevice;
    if (text.contains(QLatin1String(":\\")))
        return pkOther;
    return pkVDisk;
}

QString PathFileName(const QString &path)
{
    qsizetype at = path.lastIndexOf(u'\\');
    if (at < 0)
        at = path.lastIndexOf(u':');
    return at < 0 ? path : path.mid(at + 1);
}

QString PathFolderPart(const QString &path)
{
    const qsizetype at = path.lastIndexOf(u'\\');
    return at < 0 ? QString() : path.left(at + 1);
}

QString JoinPath(const QString &folder, const QString &name)
{
    return folder + u'\\' + name;
}

} // namespace winpath

PathKind GetPathKind(const QString &text)
{
    if (text.startsWith(u'/'))
        return pkLocal;
    if (text.startsWith(DevicePrefix))
        return pkDevice;
    if (text.contains(QLatin1String(":\\")) || text.contains(u'/'))
        return pkOther;
    return pkVDisk;
}

QString PathFileName(const QString &path)
{
    if (path.startsWith(DevicePrefix))
        return path.mid(DevicePrefix.size());
    const qsizetype at = path.lastIndexOf(u'/');
    return at < 0 ? path : path.mid(at + 1);
}

QString PathFolderPart(const QString &path)
{
    if (path.startsWith(DevicePrefix))
        return DevicePrefix;
    const qsizetype at = path.lastIndexOf(u'/');
    return at < 0 ? QString() : path.left(at + 1);
}

QString JoinPath(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

bool IsSafeBareName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

QString GetSystemTempPath(SystemPaths &paths)
{
    return paths.systemTempPath();
}

QString PrepareWorkFolder(const QString &systemTemp)
{
    if (systemTemp.isEmpty())
        return QString();
    const QString dir = systemTemp + QStringLiteral("VexoFile");
    const QByteArray bytes = QFile::encodeName(dir);
    ::mkdir(bytes.constData(), 0700); // an existing folder is fine
    struct stat st {
    };
    if (::lstat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
        return dir;
    // Someone else's folder or a link in its place: leave it alone.
    QByteArray tmpl = bytes + "-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr)
        return QString();
    return QFile::decodeName(tmpl);
}

namespace
{

// Removes the tree below an open directory descriptor, never leaving it, so
// neither the process's current directory nor links are involved.
bool deleteTreeAt(int parentFd, const char *name)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (ok) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        struct stat st {
        };
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            break;
        }
        if (S_ISDIR(st.st_mode)) {
            if (entry->d_name[0] == '.')
                continue; // ".", ".." and hidden folders stay
            ok = deleteTreeAt(fd, entry->d_name);
        } else if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
            ok = false; // read-only files are not deleted
        } else {
            ok = ::unlinkat(fd, entry->d_name, 0) == 0;
        }
    }
    ::closedir(dir);
    return ok && ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

} // namespace

bool DeleteFolderTree(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {
    };
    if (folder.isEmpty() || ::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return deleteTreeAt(AT_FDCWD, path.constData());
}

bool ConfirmFileDelete(Prompter &prompter, const LanguageTable &language, const QStringList &names)
{
    QString question = language.message(QStringLiteral("DeleteFiles"));
    if (names.size() == 1)
        question = language.message(QStringLiteral("DeleteOne")).arg(names.first());
    else if (names.size() > 1)
        question = language.message(QStringLiteral("DeleteCount")).arg(names.size());
    return prompter.ask(question, language.message(QStringLiteral("PromptTitle")), PromptButtons::OkCancel,
                        PromptIcon::Question) == PromptAnswer::Ok;
}

} // namespace vexo
