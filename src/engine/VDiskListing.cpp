#include "engine/VDiskListing.h"

#include "engine/FileListRow.h"
#include "engine/common.h"
#include "platform/VDiskLibrary.h"

#include <QDir>

namespace vexo
{

QVector<VDiskEntry> ReadVDiskListing(VDiskLibrary &library, const QString &placeholderFolder)
{
    if (!placeholderFolder.isEmpty())
        QDir().mkdir(placeholderFolder);
    QVector<VDiskEntry> entries;
    const int search = library.OpenFindFile(QStringLiteral("/"));
    VDiskLibrary::FindRecord record;
    for (int found = library.FindFirst(&record, search); found != -1;
         found = library.FindNext(&record, search)) {
        VDiskEntry entry{record.name, record.size, record.time, QString()};
        if (!placeholderFolder.isEmpty() && IsSafeBareName(record.name)) {
            entry.placeholder = JoinPath(placeholderFolder, record.name);
            CreateEmptyFile(entry.placeholder);
        }
        entries.append(entry);
    }
    return entries;
}

} // namespace vexo
