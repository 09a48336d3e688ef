// The C call that both pipe kinds share.
#include "VexoPipe.h"

#include "NoThrow.h"
#include "PipeRegistry.h"

extern "C" int SetPipeDevicePath(int pipe, const char *path)
{
    return vexo::link::noThrow(-1, [&] {
        const auto p = vexo::link::PipeRegistry::instance().find(pipe);
        if (!p)
            return -1;
        p->setDevicePath(path ? path : "");
        return 0;
    });
}
