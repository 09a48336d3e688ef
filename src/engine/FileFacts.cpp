#include "engine/FileFacts.h"

#include "engine/ImageTime.h"
#include "platform/VDiskLibrary.h"

#include <QDateTime>
#include <QFileInfo>

namespace vexo
{

FileFacts LocalFileFacts(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

FileFacts ImageFileFacts(VDiskLibrary &library, const QString &name)
{
    const int search = library.OpenFindFile(QStringLiteral("/"));
    VDiskLibrary::FindRecord record;
    for (int found = library.FindFirst(&record, search); found != -1;
         found = library.FindNext(&record, search)) {
        // FAT names match in any letter case.
        if (record.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        return {record.size >= 0, record.size, UtcMsFromImageTime(record.time)};
    }
    return {};
}

FileFacts ImageCopyFacts(VDiskLibrary &library, const QString &path)
{
    return path.startsWith(u'/') ? LocalFileFacts(path) : ImageFileFacts(library, path);
}

} // namespace vexo
