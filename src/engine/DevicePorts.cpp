#include "engine/DevicePorts.h"

#include "platform/ProfileFiles.h"

namespace vexo
{

QString DevicePortName(int port)
{
    if (port < 0)
        return QString();
    return port == 0 ? QStringLiteral("USB") : QStringLiteral("COM%1").arg(port);
}

QString DefaultDevicePath(int port)
{
    if (port < 0)
        return QString();
    return port == 0 ? QStringLiteral("/dev/ttyACM0") : QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString ResolveDevicePath(ProfileFiles &profiles, const QString &settingsFile, int port)
{
    const QString name = DevicePortName(port);
    if (name.isEmpty())
        return QString();
    const QString mapped =
        profiles.readString(settingsFile, QStringLiteral("Ports"), name, QString()).trimmed();
    return mapped.isEmpty() ? DefaultDevicePath(port) : mapped;
}

} // namespace vexo
