#pragma once

#include "engine/LanguageTable.h"

#include <QString>
#include <QThread>

namespace vexo
{

class VDiskPane;

// One mount attempt of the simulator's disk image and, when it succeeds, the
// first listing. Runs on its own thread and deletes itself when finished.
// It reads the install folder from the registry and mounts through the image
// library; every change to the window goes to the pane on the window thread,
// queued in the order made, and the message about a missing install folder is
// asked there and waited for.
class TInitVDiskThread : public QThread
{
    Q_OBJECT
public:
    // `pane` must outlive the thread (VDiskPane::shutdown waits for it).
    explicit TInitVDiskThread(VDiskPane &pane);

protected:
    void run() override { Execute(); }

private:
    void Execute();
    // Runs `change` on the window thread later, unless the pane has been cut
    // off from the window by then.
    template <typename Change> void post(Change change);

    VDiskPane &m_pane;
    const QString m_placeholderFolder;
    // The texts at the start; the window's may change while the attempt runs.
    const LanguageTable m_language;
};

} // namespace vexo
