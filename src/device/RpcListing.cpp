#include "device/RpcListing.h"

#include "engine/DeviceAccess.h"
#include "engine/FileListRow.h"
#include "engine/PlaceholderFolder.h"
#include "engine/common.h"

namespace vexo
{

QString RpcPlaceholderFolder(const QString &tempDir)
{
    return tempDir.isEmpty() ? QString() : JoinPath(tempDir, QStringLiteral("Rpc"));
}

DeviceResult ListRpcFiles(const DeviceAccess &device, const QString &tempDir, RpcListingSink &sink)
{
    PlaceholderFolder placeholders(RpcPlaceholderFolder(tempDir));
    // One look-up of the locale per listing, not per row.
    const QString separator = LocaleDateSeparator();
    sink.listingStarted();
    const DeviceResult result = device.listFiles([&](const DeviceFile &file) {
        if (sink.stopRequested())
            return false;
        QString placeholder;
        // A name from the device never leaves the placeholder folder.
        if (placeholders.isOpen() && IsSafeBareName(file.name)) {
            placeholder = placeholders.pathOf(file.name);
            placeholders.make(file.name);
        }
        FileRow row;
        row.caption = file.name;
        row.sizeText = FileSizeText(file.size);
        row.size = qint64(file.size);
        row.dateText = FileDateText(DeviceFileDate(file.time), separator);
        sink.rowListed(row, placeholder);
        return true;
    });
    sink.listingEnded();
    return result;
}

} // namespace vexo
