#include "engine/ImageStamp.h"

#include <QFile>

#include <sys/stat.h>

namespace vexo
{

static qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

ImageStamp ImageStamp::of(const QString &path)
{
    ImageStamp stamp;
    struct stat st {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modifiedNs = nanoseconds(st.st_mtim);
    stamp.changedNs = nanoseconds(st.st_ctim);
    return stamp;
}

bool ImageStamp::operator==(const ImageStamp &other) const
{
    if (!exists || !other.exists)
        return exists == other.exists;
    return sameFile(other) && size == other.size && modifiedNs == other.modifiedNs &&
           changedNs == other.changedNs;
}

} // namespace vexo
