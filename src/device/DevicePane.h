#pragma once

#include <QObject>

namespace vexo
{

class TFormMain;

// The device pane's commands and its link to the palmtop: connecting on a
// thread, listing, refresh, disconnect, keys, open, delete and rename.
class DevicePane : public QObject
{
    Q_OBJECT
public:
    explicit DevicePane(TFormMain &window);
    ~DevicePane() override;

    // Starts a connection attempt (AutoRpc at start-up); false when the
    // attempt could not be started.
    bool startConnect();
    void RefreshRpc();
    void DisconnectRpc();
    // The toolbar Delete while the device list has the focus.
    void DeleteRpcFiles();
    // Whether the destination exists: a local path when local is true, else
    // a device name.
    bool RpcFileExists(const QString &name, bool local);
    // At exit: no running attempt touches the window any more, and the
    // link is released once it has ended.
    void shutdown();

private:
    TFormMain &m_window;
};

} // namespace vexo
