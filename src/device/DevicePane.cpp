#include "device/DevicePane.h"

#include "app/main.h"

#include <QFileInfo>

namespace vexo
{

DevicePane::DevicePane(TFormMain &window) : QObject(&window), m_window(window)
{
}

DevicePane::~DevicePane() = default;

bool DevicePane::startConnect()
{
    return true;
}

void DevicePane::RefreshRpc()
{
}

void DevicePane::DisconnectRpc()
{
}

void DevicePane::DeleteRpcFiles()
{
}

bool DevicePane::RpcFileExists(const QString &name, bool local)
{
    return local && QFileInfo::exists(name);
}

void DevicePane::shutdown()
{
}

} // namespace vexo
