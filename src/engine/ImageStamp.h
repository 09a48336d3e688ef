#pragma once

#include <QString>

namespace vexo
{

// What tells one state of a file from another without reading it: which
// file it is (a file put in its place is another one), its size and the
// times of its last change, to the nanosecond.
struct ImageStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // The file at `path` now; exists false when it cannot be seen.
    static ImageStamp of(const QString &path);
    // The same file, whatever its contents.
    bool sameFile(const ImageStamp &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    bool operator==(const ImageStamp &other) const;
    bool operator!=(const ImageStamp &other) const { return !(*this == other); }
};

} // namespace vexo
