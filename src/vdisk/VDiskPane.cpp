#include "vdisk/VDiskPane.h"

#include "app/main.h"

namespace vexo
{

VDiskPane::VDiskPane(TFormMain &window) : QObject(&window), m_window(window)
{
}

VDiskPane::~VDiskPane() = default;

bool VDiskPane::startMount()
{
    return true;
}

void VDiskPane::RefreshVDisk()
{
}

void VDiskPane::DisconnectVDisk()
{
}

void VDiskPane::DeleteVDiskFiles()
{
}

void VDiskPane::TB_FormatClick()
{
}

void VDiskPane::shutdown()
{
}

} // namespace vexo
