#include "engine/PlaceholderFolder.h"

#include "engine/common.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

PlaceholderFolder::PlaceholderFolder(const QString &folder) : m_folder(folder)
{
    if (folder.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700); // an existing folder is fine
    m_dirFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#ifdef O_TMPFILE
    if (m_dirFd >= 0)
        m_emptyFd = ::openat(m_dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
#endif
}

PlaceholderFolder::~PlaceholderFolder()
{
    if (m_emptyFd >= 0)
        ::close(m_emptyFd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

QString PlaceholderFolder::pathOf(const QString &name) const
{
    return JoinPath(m_folder, name);
}

bool PlaceholderFolder::make(const QString &name)
{
    if (m_dirFd < 0)
        return false;
    const QByteArray bytes = QFile::encodeName(name);
    if (m_emptyFd >= 0) {
        // Linking an open anonymous file by name needs no privilege through /proc.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_emptyFd);
        if (::linkat(AT_FDCWD, self.constData(), m_dirFd, bytes.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) {
            ::close(m_emptyFd);
            m_emptyFd = -1;
        }
    }
    const int fd =
        ::openat(m_dirFd, bytes.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

} // namespace vexo
