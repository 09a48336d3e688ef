#pragma once

#include <QString>
#include <QVector>

namespace vexo
{

class VDiskLibrary;

// One file of the image's root, as listed.
struct VDiskEntry {
    QString name;        // up to 17 CP936 bytes, exactly as the image gives it
    qint32 size = 0;     // bytes
    qint32 time = 0;     // seconds since 1970-01-01 00:00, no time zone
    QString placeholder; // the empty local file of the same name; empty when none was made
};

// Reads the image's root in the library's order: OpenFindFile("/"),
// FindFirst, then FindNext until -1 (the search is left open, as the library
// expects). For each entry an empty placeholder file of the same name is
// created (or emptied) in `placeholderFolder`, which is made when missing
// (one level); names that are not safe bare names (IsSafeBareName) get no
// placeholder, and an empty folder means no placeholders at all. Any thread.
QVector<VDiskEntry> ReadVDiskListing(VDiskLibrary &library, const QString &placeholderFolder);

} // namespace vexo
