// C API of the USB pipe.
#include "VexoUSBPipe.h"

#include "PipeRegistry.h"

using vexo::link::Pipe;
using vexo::link::PipeRegistry;

extern "C" {

int InitUSBPipe(void)
{
    return PipeRegistry::instance().add(std::make_shared<Pipe>(Pipe::Kind::Usb));
}

int OpenUSBPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    return p && p->open() ? 0 : -1;
}

int CloseUSBPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    if (!p)
        return -1;
    p->close();
    return 0;
}

int UnInitUSBPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    if (!p)
        return -1;
    p->close();
    PipeRegistry::instance().remove(pipe);
    return 0;
}
}
