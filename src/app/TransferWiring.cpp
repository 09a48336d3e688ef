#include "app/TransferWiring.h"

#include "app/PaneWindow.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/PaneContext.h"
#include "local/LocalPane.h"
#include "widgets/CaptionPanel.h"

#include <QGuiApplication>
#include <QLabel>

namespace vexo
{

namespace
{

// The window's own texts, settings and work folder, so later changes show.
TransferContext contextOf(TransferWindow &self, PaneWindow &window)
{
    const PaneContext &panes = window.paneContext();
    return {self,           window.deviceSession(), window.imageMount(), &panes.prompter,
            panes.language, panes.settings,         panes.workFolder};
}

} // namespace

TransferWiring::TransferWiring(PaneWindow &window)
    : m_window(window), m_context(contextOf(*this, window)), m_executor(m_context)
{
}

void TransferWiring::runDevice(const QStringList &sources, const QStringList &destinations,
                               TransferDirection direction)
{
    m_window.RunDeviceTransfer(sources, destinations, direction);
}

void TransferWiring::showStatus(const QString &text)
{
    m_window.setStatusText(text);
    m_window.StatusPanel[1]->repaint();
}

void TransferWiring::showReason(const QString &text, Pane pane)
{
    QWidget *caption = pane == Pane::Device  ? static_cast<QWidget *>(m_window.PRpcStatus)
                       : pane == Pane::VDisk ? static_cast<QWidget *>(m_window.PVDiskStatus)
                                             : nullptr;
    m_window.showReason(text, caption);
}

void TransferWiring::pushPointer(Pointer pointer)
{
    QGuiApplication::setOverrideCursor(pointer == Pointer::Busy ? Qt::WaitCursor : Qt::ArrowCursor);
}

void TransferWiring::popPointer()
{
    QGuiApplication::restoreOverrideCursor();
}

bool TransferWiring::idle() const
{
    return m_window.OpIdle;
}

void TransferWiring::setIdle(bool idle)
{
    m_window.OpIdle = idle;
}

QString TransferWiring::localFolder() const
{
    return m_window.PLeft->currentPathText();
}

QStringList TransferWiring::localSelection() const
{
    return m_window.PLeft->selectedPaths();
}

QList<qint64> TransferWiring::deviceSizes(const QStringList &names) const
{
    return m_window.devicePane->listedSizes(names);
}

void TransferWiring::relist(Pane pane)
{
    switch (pane) {
    case Pane::Local:
        m_window.PLeft->reread();
        break;
    case Pane::Device:
        m_window.RefreshRpc();
        break;
    case Pane::VDisk:
        m_window.RefreshVDisk();
        break;
    }
}

void TransferWiring::deviceLinkLost(const DeviceResult &result)
{
    m_window.devicePane->linkLost(result);
}

void TransferWiring::deviceReconnecting(bool on)
{
    m_window.devicePane->showReconnecting(on);
}
} // namespace vexo
