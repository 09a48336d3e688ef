#include "platform/LinuxSystemPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#ifndef VEXO_INSTALL_DATADIR
#define VEXO_INSTALL_DATADIR "/usr/local/share/VexoFile"
#endif

namespace vexo
{

namespace
{

QString withSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && xdg.startsWith(u'/'))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

} // namespace

bool isPrivateFolder(const QString &path)
{
    struct stat st {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

LinuxSystemPaths::LinuxSystemPaths(QString executableFolder) : m_executableFolder(std::move(executableFolder))
{
    if (m_executableFolder.isEmpty())
        m_executableFolder = QCoreApplication::applicationDirPath();
    m_executableFolder = withSlash(m_executableFolder);
}

QString LinuxSystemPaths::programFolder()
{
    const QByteArray exe = QFile::encodeName(m_executableFolder);
    if (QFileInfo::exists(m_executableFolder + QStringLiteral("VexoFile.ini")) ||
        ::access(exe.constData(), W_OK) == 0)
        return m_executableFolder;
    const QString folder = configHome() + QStringLiteral("/VexoFile");
    QDir().mkpath(folder);
    return withSlash(folder);
}

QStringList LinuxSystemPaths::languageFolders()
{
    QStringList folders{programFolder()};
    if (!folders.contains(m_executableFolder))
        folders << m_executableFolder;
    // An install moved to another prefix (a package made from a build for
    // /usr/local installs into /usr) still finds the files it came with.
    const QString beside =
        withSlash(QDir::cleanPath(m_executableFolder + QStringLiteral("../share/VexoFile")));
    const QString installed = withSlash(QStringLiteral(VEXO_INSTALL_DATADIR));
    folders << beside;
    if (installed != beside)
        folders << installed;
    return folders;
}

QString LinuxSystemPaths::systemTempPath()
{
    if (!m_tempPath.isEmpty())
        return m_tempPath;
    QString base = qEnvironmentVariable("TMPDIR");
    if (base.isEmpty() || !base.startsWith(u'/') || !QFileInfo(base).isDir())
        base = QStringLiteral("/tmp");
    base = withSlash(base);

    const QString mine = base + QStringLiteral("vexo-%1").arg(::geteuid());
    const QByteArray mineBytes = QFile::encodeName(mine);
    if (::mkdir(mineBytes.constData(), 0700) == 0 || isPrivateFolder(mine)) {
        if (isPrivateFolder(mine)) {
            m_tempPath = withSlash(mine);
            return m_tempPath;
        }
    }
    // The usual name is taken by someone else, or is a link: never use it.
    QByteArray tmpl = QFile::encodeName(mine) + "-XXXXXX";
    if (::mkdtemp(tmpl.data()) != nullptr && isPrivateFolder(QFile::decodeName(tmpl)))
        m_tempPath = withSlash(QFile::decodeName(tmpl));
    return m_tempPath;
}

} // namespace vexo
