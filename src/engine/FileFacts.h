#pragma once

#include <QString>

namespace vexo
{

class VDiskLibrary;

// What a person needs to choose between two files of one name: how big each
// is and when it last changed. Gathered where the file lives; a side that
// cannot tell stays unknown and is then not shown.
struct FileFacts {
    bool known = false;
    qint64 size = 0;
    qint64 modifiedMs = 0; // ms since 1970-01-01 UTC, as the device and the PC keep it
};

// A regular file of the PC (symbolic links followed); unknown otherwise.
FileFacts LocalFileFacts(const QString &path);

// A file in the mounted image's root. The library tells sizes and times only
// in its listing, so the root is read until the name turns up; the image
// keeps the wall-clock time, taken here in the PC's time zone.
FileFacts ImageFileFacts(VDiskLibrary &library, const QString &name);

// The facts of a file on either side of an image copy: an absolute path is a
// PC file, anything else an image name (as CopyVDiskFile tells them apart).
FileFacts ImageCopyFacts(VDiskLibrary &library, const QString &path);

} // namespace vexo
