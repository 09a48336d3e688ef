#pragma once

#include "engine/DeviceResult.h"
#include "engine/FileFacts.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace vexo
{

// One file of a device listing.
struct DeviceFile {
    QString name;
    qint64 time = 0; // ms since 1970-01-01 00:00
    qint64 size = 0;
};

// What the rest of the program may ask of the palmtop. The device session
// is the one implementation; tests play it. Results are DeviceResult: the
// link library's numbers never come up here.
//
// Any thread may call.
class DeviceAccess
{
public:
    virtual ~DeviceAccess() = default;

    virtual bool RpcConnected() const = 0;
    // A file (not a folder) of that bare name on the device; false when it
    // cannot be reached.
    virtual bool fileExists(const QString &name) const = 0;
    // Size and time of a device file (one lookup); unknown when the file is
    // missing or the device does not tell.
    virtual FileFacts fileFacts(const QString &name) const
    {
        Q_UNUSED(name);
        return {};
    }
    // Lists the device's files ("*.*"): `entry` gets each in the order the
    // device reports them; returning false ends the listing early. The
    // search is closed in every case. Not ok when it could not be opened (an
    // empty device is ok).
    virtual DeviceResult listFiles(const std::function<bool(const DeviceFile &file)> &entry) const
    {
        Q_UNUSED(entry);
        return DeviceResult(DeviceResult::Kind::NotConnected);
    }
    // The palmtop's identity (32 lowercase hex digits); empty from one that
    // has none (an older palmtop) or when it cannot be asked.
    virtual QString identity() const { return {}; }
    // CRC-32 of a device file computed on the device; Unsupported from a
    // device that predates the question.
    virtual DeviceResult checksum(const QString &name, quint32 *crc) const
    {
        Q_UNUSED(name);
        Q_UNUSED(crc);
        return DeviceResult(DeviceResult::Kind::Unsupported);
    }
    // Free and total bytes of the device; Unsupported from a device that
    // predates the question.
    virtual DeviceResult freeSpace(qint64 *freeBytes, qint64 *totalBytes) const
    {
        Q_UNUSED(freeBytes);
        Q_UNUSED(totalBytes);
        return DeviceResult(DeviceResult::Kind::Unsupported);
    }
    virtual DeviceResult deleteFile(const QString &name)
    {
        Q_UNUSED(name);
        return DeviceResult(DeviceResult::Kind::NotConnected);
    }
    // Byte counters of the transfers that follow, shared with the library
    // (written by it, read by any thread); null ends the counting. False
    // when they cannot be counted.
    virtual bool countBytes(std::int64_t *bytesDone, std::int64_t *bytesTotal)
    {
        Q_UNUSED(bytesDone);
        Q_UNUSED(bytesTotal);
        return false;
    }
    // One file each way; progress (0..100) and stop (non-zero abandons the
    // file) are shared with the library, either may be null. Without
    // `overwrite` an existing destination is kept (Exists).
    virtual DeviceResult send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
                              bool overwrite) = 0;
    virtual DeviceResult receive(const QString &deviceName, const QString &localPath, int *progress,
                                 int *stop, bool overwrite) = 0;
    // After a lost link: one try to connect again, waiting at most
    // `timeoutMs` for the device's answer. True when connected. Without a
    // way to reconnect a lost link stays lost.
    virtual bool reconnect(int timeoutMs)
    {
        Q_UNUSED(timeoutMs);
        return false;
    }
};

} // namespace vexo
