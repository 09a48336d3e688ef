#pragma once

#include <QObject>

namespace vexo
{

class TFormMain;

// The image pane's commands and the simulator's disk image: mounting on a
// thread, listing, refresh, unmount, keys, open, delete, rename and format.
class VDiskPane : public QObject
{
    Q_OBJECT
public:
    explicit VDiskPane(TFormMain &window);
    ~VDiskPane() override;

    // Starts a mount attempt (AutoVDisk at start-up); false when the attempt
    // could not be started.
    bool startMount();
    void RefreshVDisk();
    void DisconnectVDisk();
    // The toolbar Delete while the image list has the focus.
    void DeleteVDiskFiles();
    void TB_FormatClick();
    // At exit: no running attempt touches the window any more, and the image
    // is released once it has ended.
    void shutdown();

private:
    TFormMain &m_window;
};

} // namespace vexo
