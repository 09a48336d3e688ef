#pragma once

#include "sync/SyncPlanner.h"

#include <QString>

#include <vector>

namespace vexo
{

class DeviceAccess;
class VDiskLibrary;

// The two sides a synchronisation compares, read for the planner. Names are
// UTF-8; times ms since 1970 UTC.

// Regular files of a local folder: no folders, no symbolic links, none of the
// link library's temporary files (".NAME.vexo-XXXXXX"). False when the folder
// cannot be read.
bool ListLocalSyncFiles(const QString &folder, std::vector<SyncFile> &files);

// The device's files; false when the listing failed.
// Names that could not become a local file name (IsSafeBareName) are left out.
bool ListDeviceSyncFiles(const DeviceAccess &device, std::vector<SyncFile> &files);

// The mounted image's files (their times are whole seconds).
bool ListVDiskSyncFiles(VDiskLibrary &library, std::vector<SyncFile> &files);

// CP936 bytes of a name for the palmtop or the image, or -1 when it has no
// CP936 form or holds '\', a control character, or is "." or "..".
int Cp936NameBytes(const std::string &utf8);

// CRC-32 of a local file's content; false when it cannot be read.
bool LocalFileCrc(const QString &path, quint32 &crc);
// CRC-32 of an image file's content; false when it cannot be read.
bool VDiskFileCrc(VDiskLibrary &library, const QString &name, quint32 &crc);

// Same-size pairs compared by content: local files against the device's own
// checksum (Unknown when the device cannot compute one), or against the image
// read here.
ContentProbe DeviceContentProbe(const DeviceAccess &device, const QString &folder);
ContentProbe VDiskContentProbe(VDiskLibrary &library, const QString &folder);

// The content hash the record of the last synchronisation keeps, of a file
// on either side (the PC's in `folder`), in one form for all sides so that
// they compare; empty when it cannot be had.
std::string LocalSyncHash(const QString &path);
SideHash DeviceSideHash(const DeviceAccess &device, const QString &folder);
SideHash VDiskSideHash(VDiskLibrary &library, const QString &folder);

} // namespace vexo
