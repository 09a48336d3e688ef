#include "engine/DeviceNodeProbe.h"

#include "engine/LanguageTable.h"
#include "engine/SystemErrorText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vexo
{

namespace
{

bool userHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    }
    return false;
}

// Serial nodes are usually open to one group (dialout on Debian): naming it
// tells the user what to do. A group the user already has, or an unnamed
// one, says nothing more.
QString groupHint(const LanguageTable &language, const QByteArray &node)
{
    struct stat st {
    };
    if (::stat(node.constData(), &st) != 0 || userHasGroup(st.st_gid) || (st.st_mode & S_IRWXG) == 0)
        return QString();
    const group *g = ::getgrgid(st.st_gid);
    if (!g || !g->gr_name)
        return QString();
    return Filled(language.status(QStringLiteral("JoinGroup")), {QString::fromLocal8Bit(g->gr_name)});
}

} // namespace

QString DeviceNodeProblem(const LanguageTable &language, const QString &node)
{
    if (node.isEmpty())
        return SystemErrorText(language, ENOENT);
    const QByteArray path = QFile::encodeName(node);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        QString text = SystemErrorText(language, error);
        if (error == EACCES)
            text += groupHint(language, path);
        return text;
    }
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? QString() : language.status(QStringLiteral("NotSerial"));
}

QString DeviceConnectFailedText(const LanguageTable &language, const QString &node, const QString &problem)
{
    if (problem.isEmpty())
        return Filled(language.status(QStringLiteral("NoAnswer")), {node});
    return Filled(language.status(QStringLiteral("CannotOpen")), {node, problem});
}

} // namespace vexo
