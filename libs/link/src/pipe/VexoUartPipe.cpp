// C API of the serial pipe.
#include "VexoUartPipe.h"

#include "NoThrow.h"
#include "PipeRegistry.h"

using vexo::link::noThrow;
using vexo::link::Pipe;
using vexo::link::PipeRegistry;

extern "C" {

int InitUartPipe(void)
{
    return noThrow(0, [] { return PipeRegistry::instance().add(std::make_shared<Pipe>(Pipe::Kind::Uart)); });
}

int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits)
{
    return noThrow(-1, [&] {
        const auto p = PipeRegistry::instance().find(pipe);
        if (!p || baud <= 0 || dataBits != 8 || parity != 0 || stopBits != 1)
            return -1;
        p->setLine(port, baud);
        return 0;
    });
}

int OpenUartPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().openPipe(pipe); });
}

int CloseUartPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().closePipe(pipe); });
}

int UnInitUartPipe(int pipe)
{
    return noThrow(-1, [pipe] { return PipeRegistry::instance().releasePipe(pipe); });
}
}
