#include "engine/ImageProbe.h"

#include "engine/LanguageTable.h"
#include "engine/SystemErrorText.h"

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

QString ImageMountProblem(const LanguageTable &language, const QString &imagePath)
{
    if (imagePath.isEmpty())
        return SystemErrorText(language, ENOENT);
    const QByteArray path = QFile::encodeName(imagePath);
    struct stat st {
    };
    if (::stat(path.constData(), &st) != 0)
        return SystemErrorText(language, errno);
    if (S_ISDIR(st.st_mode))
        return SystemErrorText(language, EISDIR);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return SystemErrorText(language, errno);
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
        return language.status(QStringLiteral("NotFat"));
    return language.status(QStringLiteral("BadFat"));
}

QString ImageMountFailedText(const LanguageTable &language, const QString &imagePath, const QString &problem)
{
    return Filled(language.status(QStringLiteral("CannotMount")), {imagePath, problem});
}

} // namespace vexo
