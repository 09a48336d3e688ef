#include "app/TransferWiring.h"

#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "local/LocalPane.h"
#include "platform/DeviceLink.h"
#include "widgets/CaptionPanel.h"

#include <QGuiApplication>
#include <QLabel>

namespace vexo
{

TransferWiring::TransferWiring(TFormMain &window)
    : m_window(window), m_context{*this,           *this,           *this,         window.services().prompter,
                                  window.language, window.settings, window.TempDir},
      m_executor(m_context)
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

void TransferWiring::deviceLinkLost(int result)
{
    m_window.devicePane->linkLost(result);
}

void TransferWiring::deviceReconnecting(bool on)
{
    m_window.devicePane->showReconnecting(on);
}

bool TransferWiring::isConnected() const
{
    return m_window.deviceSession().isConnected();
}

DeviceLink *TransferWiring::link() const
{
    return m_window.deviceSession().link();
}

int TransferWiring::client() const
{
    return m_window.deviceSession().handles().client;
}

bool TransferWiring::fileExists(const QString &name) const
{
    return m_window.devicePane->RpcFileExists(name, false);
}

QList<qint64> TransferWiring::deviceSizes(const QStringList &names) const
{
    return m_window.devicePane->listedSizes(names);
}

FileFacts TransferWiring::fileFacts(const QString &name) const
{
    return m_window.deviceSession().fileFacts(name);
}

int TransferWiring::send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
                         int overwrite)
{
    return m_window.deviceSession().send(localPath, deviceName, progress, stop, overwrite);
}

int TransferWiring::receive(const QString &deviceName, const QString &localPath, int *progress, int *stop,
                            int overwrite)
{
    return m_window.deviceSession().receive(deviceName, localPath, progress, stop, overwrite);
}

int TransferWiring::freeSpace(qint64 *freeBytes, qint64 *totalBytes) const
{
    return m_window.deviceSession().freeSpace(freeBytes, totalBytes);
}

bool TransferWiring::isLinkLost(int result) const
{
    return DeviceSession::IsLinkLost(result);
}

bool TransferWiring::reconnect(int timeoutMs)
{
    // As an attempt of the session, so nothing else is run on the link
    // meanwhile; what was asked for during it goes to the pane afterwards.
    DeviceSession &session = m_window.deviceSession();
    if (!session.beginAttempt())
        return false;
    const bool connected = session.reconnect(timeoutMs);
    const DeviceSession::FollowUp followUp = session.endAttempt();
    if (followUp != DeviceSession::FollowUp::None) {
        DevicePane *pane = m_window.devicePane;
        QMetaObject::invokeMethod(
            pane, [pane, followUp] { pane->carryOut(followUp); }, Qt::QueuedConnection);
    }
    return connected;
}

bool TransferWiring::isMounted() const
{
    return m_window.imageMount().isMounted();
}

VDiskLibrary *TransferWiring::library() const
{
    return m_window.services().vdisk;
}

} // namespace vexo
