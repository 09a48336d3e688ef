#include "device/TInitRPCThread.h"

#include "app/main.h"
#include "device/DevicePane.h"
#include "device/RpcListing.h"
#include "platform/DeviceLink.h"

namespace vexo
{

// The connect thread's listing: each step is handed to the window thread.
class TInitRPCThread::HandOver : public RpcListingSink
{
public:
    explicit HandOver(TInitRPCThread &thread) : m_thread(thread) {}

    void listingStarted() override
    {
        DevicePane *pane = &m_thread.m_pane;
        m_thread.post([pane] { pane->threadListingStarted(); });
    }
    void rowListed(const FileRow &row, const QString &placeholder) override
    {
        DevicePane *pane = &m_thread.m_pane;
        m_thread.post([pane, row, placeholder] { pane->threadRowListed(row, placeholder); });
    }
    void listingEnded() override
    {
        DevicePane *pane = &m_thread.m_pane;
        m_thread.post([pane] { pane->threadListingEnded(); });
    }
    bool stopRequested() const override { return m_thread.m_detached || m_thread.m_stopListing; }

private:
    TInitRPCThread &m_thread;
};

TInitRPCThread::TInitRPCThread(DevicePane &pane, Request request)
    : m_pane(pane), m_request(std::move(request))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TInitRPCThread::detach()
{
    m_detached = true;
}

void TInitRPCThread::stopListing()
{
    m_stopListing = true;
}

void TInitRPCThread::post(std::function<void()> step)
{
    if (m_detached)
        return;
    QMetaObject::invokeMethod(&m_pane, std::move(step), Qt::QueuedConnection);
}

void TInitRPCThread::Execute()
{
    DevicePane *pane = &m_pane;
    post([pane] { pane->showLinkState(DevicePane::LinkState::Connecting); });

    const bool connected = m_pane.OpenRpcLink(m_request.port, m_request.baudRate, m_request.devicePath);
    if (!m_detached)
        m_pane.m_window.RpcConnected = connected;

    if (connected) {
        post([pane] { pane->showLinkState(DevicePane::LinkState::Connected); });
        if (!m_detached && !m_stopListing) {
            HandOver sink(*this);
            int opened = 0;
            // Taken now: once cut off at exit, the pane may be gone when the
            // library returns.
            DeviceLink &link = *m_pane.m_link;
            ListRpcFiles(link, m_pane.m_window.RpcClient, m_request.tempDir, sink, &opened);
            if (DevicePane::IsLinkLost(opened))
                post([pane, opened] { pane->linkLost(opened); });
        }
    } else {
        post([pane] { pane->showLinkState(DevicePane::LinkState::Failed); });
        const QString why = m_pane.connectFailureText(m_request.language, m_request.devicePath);
        post([pane, why] { pane->showConnectFailure(why); });
    }
    post([pane, connected] { pane->attemptEnded(connected); });
}

} // namespace vexo
