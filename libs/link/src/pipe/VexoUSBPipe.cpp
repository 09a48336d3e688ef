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
    return PipeRegistry::instance().openPipe(pipe);
}

int CloseUSBPipe(int pipe)
{
    return PipeRegistry::instance().closePipe(pipe);
}

int UnInitUSBPipe(int pipe)
{
    return PipeRegistry::instance().releasePipe(pipe);
}
}
