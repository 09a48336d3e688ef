#include "vdisk/ImageProbe.h"

#include "device/SystemErrorText.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

unsigned le16(const unsigned char *p)
{
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

bool isPowerOfTwo(unsigned v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

// The few boot-sector fields every FAT volume has, enough to tell a FAT
// image from some other file; the library checks the rest.
bool looksLikeFatBootSector(const unsigned char *s)
{
    const unsigned bytesPerSector = le16(s + 11);
    const unsigned sectorsPerCluster = s[13];
    const unsigned reservedSectors = le16(s + 14);
    const unsigned fats = s[16];
    return s[510] == 0x55 && s[511] == 0xAA && isPowerOfTwo(bytesPerSector) && bytesPerSector >= 512 &&
           bytesPerSector <= 4096 && isPowerOfTwo(sectorsPerCluster) && reservedSectors >= 1 && fats >= 1;
}

} // namespace

QString ImageMountProblem(const QString &imagePath)
{
    if (imagePath.isEmpty())
        return SystemErrorText(ENOENT);
    const QByteArray path = QFile::encodeName(imagePath);
    struct stat st {
    };
    if (::stat(path.constData(), &st) != 0)
        return SystemErrorText(errno);
    if (S_ISDIR(st.st_mode))
        return SystemErrorText(EISDIR);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return SystemErrorText(errno);
    unsigned char sector[512] = {};
    ssize_t got = 0;
    while (got < static_cast<ssize_t>(sizeof sector)) {
        const ssize_t n = ::read(fd, sector + got, sizeof sector - static_cast<size_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got < static_cast<ssize_t>(sizeof sector) || !looksLikeFatBootSector(sector))
        return QStringLiteral("不是 FAT 磁盘映像");
    return QStringLiteral("FAT 磁盘映像已损坏或不是 FAT12/FAT16");
}

QString ImageMountFailedText(const QString &imagePath, const QString &problem)
{
    return QStringLiteral("无法装载 %1：%2").arg(imagePath, problem);
}

} // namespace vexo
