#pragma once

#include "engine/LanguageTable.h"

#include <QThread>

#include <atomic>
#include <functional>

namespace vexo
{

class DevicePane;

// One connection attempt and, when it succeeds, the first listing. Created
// by DevicePane, deletes itself when finished. It never touches a widget:
// every change to the window is handed to the window thread in order
// (queued), and the pane carries it out.
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

    TInitRPCThread(DevicePane &pane, Request request);

    // Cuts the attempt off from the window: nothing more is handed over and
    // its listing stops at the next entry. The attempt itself runs to its end.
    void detach();
    // Ends the first listing early; the outcome is still handed over.
    void stopListing();

protected:
    void run() override { Execute(); }

private:
    class HandOver;

    void Execute();
    void post(std::function<void()> step);

    DevicePane &m_pane;
    const Request m_request;
    std::atomic<bool> m_detached{false};
    std::atomic<bool> m_stopListing{false};
};

} // namespace vexo
