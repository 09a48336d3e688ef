// C API of the USB pipe.
#include "VexoUSBPipe.h"

#include "NoThrow.h"
#include "PipeRegistry.h"

using vexo::link::noThrow;
using vexo::link::Pipe;
using vexo::link::PipeRegistry;

extern "C" {

int InitUSBPipe(void)
{
    return noThrow(0, [] { return PipeRegistry::instance().add(std::make_shared<Pipe>(Pipe::Kind::Usb)); });
}

int OpenUSBPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().openPipe(pipe); });
}

int CloseUSBPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().closePipe(pipe); });
}

int UnInitUSBPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().releasePipe(pipe); });
}
}
