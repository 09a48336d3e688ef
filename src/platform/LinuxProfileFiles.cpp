#include "platform/LinuxProfileFiles.h"

#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"
#include "vexo/sys/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

// Read-only has the Windows meaning: a file or folder without any write
// permission bit is not written, not even by root, who the kernel would let
// through. Otherwise the kernel's answer for the effective user decides: the
// rename needs only the folder, but a file the user may not write must not be
// replaced behind its owner's back.
bool userMayWrite(const QByteArray &path, const struct stat &st)
{
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    return ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0;
}

} // namespace

bool LinuxProfileFiles::exists(const QString &file)
{
    return QFileInfo(file).isFile();
}

QStringList LinuxProfileFiles::filesIn(const QString &folder, const QString &suffix)
{
    QStringList names;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name)) {
        if (info.fileName().endsWith(suffix, Qt::CaseInsensitive))
            names << info.fileName();
    }
    return names;
}

std::optional<QByteArray> LinuxProfileFiles::load(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

bool LinuxProfileFiles::store(const QString &file, const QByteArray &content)
{
    const QByteArray target = QFile::encodeName(file);
    const QFileInfo info(file);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    struct stat folderStat {
    };
    if (::stat(folder.constData(), &folderStat) != 0 || !userMayWrite(folder, folderStat))
        return false;
    struct stat old {
    };
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (!replacing && errno != ENOENT)
        return false;
    if (replacing && (!S_ISREG(old.st_mode) || !userMayWrite(target, old)))
        return false;

    sys::AtomicFile written;
    if (written.open(target.toStdString()) != 0)
        return false;
    const int fd = written.fd();

    const mode_t mode = replacing ? (old.st_mode & 07777) : 0644;
    bool ok = sys::writeAll(fd, content.constData(), static_cast<size_t>(content.size())) &&
              ::fchmod(fd, mode) == 0;
    // The new file keeps the old one's owner and group; when they cannot be
    // kept the old file stays, rather than passing to another user.
    struct stat made {
    };
    if (ok && replacing && ::fstat(fd, &made) == 0 &&
        (made.st_uid != old.st_uid || made.st_gid != old.st_gid))
        ok = ::fchown(fd, old.st_uid, old.st_gid) == 0 && ::fchmod(fd, mode) == 0;
    if (!ok || ::fsync(fd) != 0 || written.commit(sys::Placement::Replace) != 0)
        return false;
    // Make the rename itself durable.
    const sys::UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
}

} // namespace vexo
