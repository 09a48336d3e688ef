#include "engine/FileListRow.h"

#include <QFile>
#include <QLocale>

#include <fcntl.h>
#include <unistd.h>

namespace vexo
{

QString FileSizeText(qint64 size)
{
    return QStringLiteral("%1 B").arg(size, 10);
}

QString LocaleDateSeparator()
{
    const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    for (const QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != u'\'')
            return QString(c);
    }
    return QStringLiteral("/");
}

QString FileDateText(const QDate &date)
{
    return FileDateText(date, LocaleDateSeparator());
}

QString FileDateText(const QDate &date, const QString &sep)
{
    return QStringLiteral("%1%2%3%4%5")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(sep)
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(sep)
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QDate DeviceFileDate(qint64 milliseconds)
{
    return QDate(1970, 1, 1).addDays(milliseconds / 86400000);
}

QDate VDiskFileDate(qint32 seconds)
{
    return QDate(1970, 1, 1).addDays(seconds / 86400);
}

bool CreateEmptyFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

} // namespace vexo
