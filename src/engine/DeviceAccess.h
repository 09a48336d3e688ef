#pragma once

#include "engine/FileFacts.h"

#include <QString>

namespace vexo
{

class DeviceLink;

// What transfers need of the device link: whether it is connected, the open
// client, and the requests a run makes. The window provides it; the transfer
// code never sees the device pane.
//
// Any thread may call.
class DeviceAccess
{
public:
    virtual ~DeviceAccess() = default;

    virtual bool isConnected() const = 0;
    // Null without a link library.
    virtual DeviceLink *link() const = 0;
    virtual int client() const = 0;
    // A file (not a folder) of that bare name on the device.
    virtual bool fileExists(const QString &name) const = 0;
    // Size and time of a device file (one lookup); unknown when the file is
    // missing or the device does not tell.
    virtual FileFacts fileFacts(const QString &name) const
    {
        Q_UNUSED(name);
        return {};
    }
    // The library's transfers on the open client; progress and stop are
    // shared with the library (see DeviceLink).
    virtual int send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
                     int overwrite) = 0;
    virtual int receive(const QString &deviceName, const QString &localPath, int *progress, int *stop,
                        int overwrite) = 0;
    // Free and total bytes of the device: 0 when known, else the library's
    // result (-14 from a device that predates the question).
    virtual int freeSpace(qint64 *freeBytes, qint64 *totalBytes) const
    {
        Q_UNUSED(freeBytes);
        Q_UNUSED(totalBytes);
        return -14;
    }
    // For a library result: the link is gone, so every further call would
    // only wait out the time-out again.
    virtual bool isLinkLost(int result) const = 0;
};

} // namespace vexo
