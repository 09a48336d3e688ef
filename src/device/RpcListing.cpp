#include "device/RpcListing.h"

#include "engine/FileListRow.h"
#include "engine/PlaceholderFolder.h"
#include "engine/common.h"
#include "platform/DeviceLink.h"

namespace vexo
{

QString RpcPlaceholderFolder(const QString &tempDir)
{
    return tempDir.isEmpty() ? QString() : JoinPath(tempDir, QStringLiteral("Rpc"));
}

int ListRpcFiles(DeviceLink &link, int client, const QString &tempDir, RpcListingSink &sink, int *openResult)
{
    PlaceholderFolder placeholders(RpcPlaceholderFolder(tempDir));

    DeviceLink::FindRecord record;
    const int find = link.RequestFindFileOpen(client, QStringLiteral("*.*"), &record);
    if (openResult)
        *openResult = find;
    sink.listingStarted();
    int listed = 0;
    if (find > 0) {
        // One look-up of the locale per listing, not per row.
        const QString separator = LocaleDateSeparator();
        for (;;) {
            if (sink.stopRequested())
                break;
            QString placeholder;
            // A name from the device never leaves the placeholder folder.
            if (placeholders.isOpen() && IsSafeBareName(record.name)) {
                placeholder = placeholders.pathOf(record.name);
                placeholders.make(record.name);
            }
            FileRow row;
            row.caption = record.name;
            row.sizeText = FileSizeText(record.size);
            row.size = qint64(record.size);
            row.dateText = FileDateText(DeviceFileDate(record.time), separator);
            sink.rowListed(row, placeholder);
            ++listed;
            if (link.RequestFindFileNext(client, find, &record) != 0)
                break;
        }
    }
    link.RequestFindFileClose(client, find);
    sink.listingEnded();
    return listed;
}

} // namespace vexo
