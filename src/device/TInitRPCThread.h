#pragma once

#include "engine/DeviceResult.h"
#include "engine/LanguageTable.h"

#include <QThread>

#include <atomic>
#include <memory>

namespace vexo
{

class DeviceSession;
struct FileRow;

// One connection attempt on the device session and, when it succeeds, the
// first listing. Deletes itself when finished. It never touches a widget:
// it reports each step by a signal, which the pane receives on the window
// thread in the order sent.
class TInitRPCThread : public QThread
{
    Q_OBJECT
public:
    // What the attempt uses, taken from the settings when it was asked for.
    struct Request {
        int port = 0;           // 0 = USB, n = COMn
        int baudRate = 115200;  // bit/s
        QString devicePath;     // node of the port
        QString tempDir;        // work folder (placeholders)
        LanguageTable language; // the texts at the time of asking; the window's may change meanwhile
    };

    // The session is shared: an attempt left running at exit keeps it.
    TInitRPCThread(std::shared_ptr<DeviceSession> session, Request request);

    // Cuts the attempt off from the window: no further step is reported and
    // its listing stops at the next entry. The attempt itself runs to its end.
    void detach();
    // Ends the first listing early; the outcome is still reported.
    void stopListing();

signals:
    void connecting();
    void connected();
    // Why the attempt failed, for the status line.
    void failed(const QString &why);
    void listingStarted();
    void rowListed(const vexo::FileRow &row, const QString &placeholder);
    void listingEnded();
    // The first listing found the link gone.
    void linkLost(const vexo::DeviceResult &result);
    // The last step: whether the attempt connected.
    void ended(bool connected);

protected:
    void run() override { Execute(); }

private:
    class HandOver;

    void Execute();
    // Why the attempt on the request's node failed: the node's open problem
    // when the pipe could not open it, else "no answer". The node is opened
    // here only when the pipe's own open failed.
    QString failureText() const;

    const std::shared_ptr<DeviceSession> m_session;
    const Request m_request;
    std::atomic<bool> m_detached{false};
    std::atomic<bool> m_stopListing{false};
};

} // namespace vexo
