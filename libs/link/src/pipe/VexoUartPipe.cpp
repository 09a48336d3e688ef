// C API of the serial pipe.
#include "VexoUartPipe.h"

#include "PipeRegistry.h"

using vexo::link::Pipe;
using vexo::link::PipeRegistry;

extern "C" {

int InitUartPipe(void)
{
    return PipeRegistry::instance().add(std::make_shared<Pipe>(Pipe::Kind::Uart));
}

int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits)
{
    const auto p = PipeRegistry::instance().find(pipe);
    if (!p || baud <= 0 || dataBits != 8 || parity != 0 || stopBits != 1)
        return -1;
    p->setLine(port, baud);
    return 0;
}

int OpenUartPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    return p && p->open() ? 0 : -1;
}

int CloseUartPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    if (!p)
        return -1;
    p->close();
    return 0;
}

int UnInitUartPipe(int pipe)
{
    const auto p = PipeRegistry::instance().find(pipe);
    if (!p)
        return -1;
    p->close();
    PipeRegistry::instance().remove(pipe);
    return 0;
}
}
