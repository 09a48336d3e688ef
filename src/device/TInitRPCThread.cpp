#include "device/TInitRPCThread.h"

#include "device/RpcListing.h"
#include "engine/DeviceNodeProbe.h"
#include "engine/DeviceSession.h"

namespace vexo
{

// The connect thread's listing: each step is reported to the window thread.
class TInitRPCThread::HandOver : public RpcListingSink
{
public:
    explicit HandOver(TInitRPCThread &thread) : m_thread(thread) {}

    void listingStarted() override
    {
        if (!m_thread.m_detached)
            emit m_thread.listingStarted();
    }
    void rowListed(const FileRow &row, const QString &placeholder) override
    {
        if (!m_thread.m_detached)
            emit m_thread.rowListed(row, placeholder);
    }
    void listingEnded() override
    {
        if (!m_thread.m_detached)
            emit m_thread.listingEnded();
    }
    bool stopRequested() const override { return m_thread.m_detached || m_thread.m_stopListing; }

private:
    TInitRPCThread &m_thread;
};

TInitRPCThread::TInitRPCThread(std::shared_ptr<DeviceSession> session, Request request)
    : m_session(std::move(session)), m_request(std::move(request))
{
    // Rows cross to the window thread by value.
    qRegisterMetaType<vexo::FileRow>();
    qRegisterMetaType<vexo::DeviceResult>();
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

QString TInitRPCThread::failureText() const
{
    // Only a node the pipe could not open is looked at: a port that opened
    // is not opened a second time behind the pipe's back.
    const LanguageTable &language = m_request.language;
    const QString &node = m_request.devicePath;
    const QString problem = m_session->pipeOpenFailed() ? DeviceNodeProblem(language, node) : QString();
    return DeviceConnectFailedText(language, node, problem);
}

void TInitRPCThread::Execute()
{
    // Cut off at exit, the attempt reports nothing more.
    auto report = [this](auto signal, auto... args) {
        if (!m_detached)
            emit(this->*signal)(args...);
    };
    report(&TInitRPCThread::connecting);
    const bool linked = m_session->OpenRpcLink(m_request.port, m_request.baudRate, m_request.devicePath);
    if (linked) {
        report(&TInitRPCThread::connected);
        if (!m_detached && !m_stopListing) {
            HandOver sink(*this);
            const DeviceResult listed = ListRpcFiles(*m_session, m_request.tempDir, sink);
            if (listed.linkLost())
                report(&TInitRPCThread::linkLost, listed);
        }
    } else {
        report(&TInitRPCThread::failed, failureText());
    }
    report(&TInitRPCThread::ended, linked);
}

} // namespace vexo
