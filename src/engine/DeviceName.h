#pragma once

#include "engine/common.h"

#include <QString>

namespace vexo
{

// A device name as the file-client library addresses it: names from a
// clipboard list may carry the device prefix, which is dropped here; bare
// names are returned unchanged.
inline QString BareDeviceName(const QString &name)
{
    return name.startsWith(DevicePrefix) ? name.mid(DevicePrefix.size()) : name;
}

} // namespace vexo
