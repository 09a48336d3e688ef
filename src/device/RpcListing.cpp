#include "device/RpcListing.h"

#include "app/common.h"
#include "device/FileListRow.h"
#include "platform/DeviceLink.h"

#include <QDir>

namespace vexo
{

QString RpcPlaceholderFolder(const QString &tempDir)
{
    return tempDir.isEmpty() ? QString() : JoinPath(tempDir, QStringLiteral("Rpc"));
}

int ListRpcFiles(DeviceLink &link, int client, const QString &tempDir, RpcListingSink &sink)
{
    const QString folder = RpcPlaceholderFolder(tempDir);
    if (!folder.isEmpty())
        QDir().mkdir(folder);

    DeviceLink::FindRecord record;
    const int find = link.RequestFindFileOpen(client, QStringLiteral("*.*"), &record);
    sink.listingStarted();
    int listed = 0;
    if (find > 0) {
        // One look-up of the locale per listing, not per row.
        const QString separator = LocaleDateSeparator();
        for (;;) {
            QString placeholder;
            // A name from the device never leaves the placeholder folder.
            if (!folder.isEmpty() && IsSafeBareName(record.name)) {
                placeholder = JoinPath(folder, record.name);
                CreateEmptyFile(placeholder);
            }
            FileRow row;
            row.caption = record.name;
            row.sizeText = FileSizeText(record.size);
            row.dateText = FileDateText(DeviceFileDate(record.time), separator);
            sink.rowListed(row, placeholder);
            ++listed;
            if (sink.stopRequested() || link.RequestFindFileNext(client, find, &record) != 0)
                break;
        }
    }
    link.RequestFindFileClose(client, find);
    sink.listingEnded();
    return listed;
}

} // namespace vexo
