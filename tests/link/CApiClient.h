// The window's road to a device: a USB pipe on a device node and a file
// client on it, through the C API, both let go at the end of the scope.
#pragma once

#include "VexoFileClient.h"
#include "VexoUSBPipe.h"

#include <string>

namespace vexo::link::test
{

struct CApiClient {
    explicit CApiClient(const std::string &devicePath) : pipe(InitUSBPipe())
    {
        SetPipeDevicePath(pipe, devicePath.c_str());
        OpenUSBPipe(pipe);
        client = InitVexoFileClient(pipe);
    }
    ~CApiClient()
    {
        UnInitVexoFileClient(client);
        CloseUSBPipe(pipe);
        UnInitUSBPipe(pipe);
    }
    CApiClient(const CApiClient &) = delete;
    CApiClient &operator=(const CApiClient &) = delete;

    int pipe;
    int client = 0;
};

} // namespace vexo::link::test
