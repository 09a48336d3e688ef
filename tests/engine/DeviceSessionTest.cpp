// The link's state against the connect thread: requests made while an
// attempt runs, and readers racing a port change.
#include "engine/DeviceSession.h"
#include "RecordingDeviceLink.h"
#include "engine/StopThread.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vexo;
using FollowUp = DeviceSession::FollowUp;
using Admission = DeviceSession::Admission;

namespace
{

bool waitFor(const std::function<bool()> &done)
{
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

} // namespace

// Setup applied or a refresh asked for while an attempt runs never touches
// the handles the attempt owns, and is not lost: its end hands it back.
TEST(DeviceSession, requestsDuringAnAttemptAreHandedBackAtItsEnd)
{
    test::RecordingDeviceLink link;
    DeviceSession session(&link);
    link.holdConnect();
    ASSERT_TRUE(session.beginAttempt());
    EXPECT_FALSE(session.beginAttempt());
    std::thread attempt([&] { session.OpenRpcLink(1, 115200, QStringLiteral("/dev/ttyS0")); });
    ASSERT_TRUE(waitFor([&] { return link.connectWaiting(); }));

    // Still connecting: the attempt lists anyway, a refresh adds nothing.
    EXPECT_EQ(session.admit(FollowUp::Refresh), Admission::Ignored);
    EXPECT_EQ(session.admit(FollowUp::Reconnect), Admission::Deferred);
    link.releaseConnect();
    attempt.join();
    EXPECT_TRUE(session.RpcConnected());
    // Listing now: a refresh is kept, but does not weaken the reconnect.
    EXPECT_EQ(session.admit(FollowUp::Refresh), Admission::Deferred);
    EXPECT_TRUE(link.calls("CloseConnection").isEmpty());
    EXPECT_EQ(session.endAttempt(), FollowUp::Reconnect);
    EXPECT_EQ(session.admit(FollowUp::Disconnect), Admission::Now);

    // A refresh alone during the listing comes back as a refresh.
    ASSERT_TRUE(session.beginAttempt());
    EXPECT_TRUE(session.OpenRpcLink(1, 115200, QStringLiteral("/dev/ttyS0")));
    EXPECT_EQ(session.admit(FollowUp::Refresh), Admission::Deferred);
    EXPECT_EQ(session.endAttempt(), FollowUp::Refresh);
    EXPECT_EQ(session.endAttempt(), FollowUp::None);

    // At exit an attempt that still runs keeps its handles.
    ASSERT_TRUE(session.beginAttempt());
    link.clearLog();
    session.release();
    EXPECT_TRUE(link.log().isEmpty());
    EXPECT_FALSE(session.beginAttempt());
}

// A port change replaces pipe and client; a reader on another thread sees
// the old link or the new one, never a pipe with another pipe's port or client.
namespace
{

// The handles as one reader sees them together.
class HandleReader : public DeviceSession
{
public:
    using DeviceSession::DeviceSession;
    using DeviceSession::Handles;
    using DeviceSession::handles;
};

} // namespace

TEST(DeviceSession, readersNeverSeeHalfAReplacedLink)
{
    test::RecordingDeviceLink link;
    HandleReader session(&link);
    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    std::thread attempts([&] {
        // Until the reader has looked often enough while the handles change.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int i = 0; (i < 300 || seen < 300) && std::chrono::steady_clock::now() < until; ++i) {
            session.beginAttempt();
            session.OpenRpcLink(i % 2, 115200, QStringLiteral("/dev/null"));
            session.endAttempt();
            session.CloseRpcLink();
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        const HandleReader::Handles h = session.handles();
        // The recording link numbers pipes from 1 and each client after its
        // pipe; pipe n was made for port (n - 1) % 2.
        torn += (h.RpcClient != 0 && h.RpcClient != 100 + h.RpcPipe) ||
                (h.RpcPipe != 0 && h.RpcPipePort != (h.RpcPipe - 1) % 2) || (h.connected && h.RpcClient == 0);
        seen += h.RpcClient != 0;
    }
    attempts.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GE(seen, 300);
}

namespace
{

// A thread that waits for the window thread to answer, as the mount thread
// does for its message box.
class AskingThread : public QThread
{
    Q_OBJECT
public:
    std::atomic<bool> stopped{false};
signals:
    void ask();

protected:
    void run() override
    {
        emit ask();
        while (!stopped)
            msleep(5);
    }
};

} // namespace

// Shut-down while the thread waits for a blocking answer that the window
// thread will never give: the wait ends, and a thread that does not stop in
// time is left behind.
TEST(StopThread, dropsABlockingHandOverAndKeepsItsLimit)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QObject receiver;
    AskingThread thread;
    QObject::connect(
        &thread, &AskingThread::ask, &receiver, [] { FAIL() << "answered after the stop"; },
        Qt::BlockingQueuedConnection);
    thread.start();
    EXPECT_FALSE(StopThread(thread, &receiver, nullptr, QDeadlineTimer(100)));
    EXPECT_TRUE(StopThread(thread, &receiver, [&] { thread.stopped = true; }));
    EXPECT_TRUE(thread.isFinished());
}

#include "DeviceSessionTest.moc"

// A lost link: a silent device keeps pipe and client, and the short hello
// leaves later calls their full time-out; a pipe whose node is gone is made
// anew for the same port, speed and node.
TEST(DeviceSession, reconnectSaysHelloAgainAndRemakesAPipeWhoseNodeIsGone)
{
    test::RecordingDeviceLink link;
    DeviceSession session(&link);
    ASSERT_TRUE(session.beginAttempt());
    ASSERT_TRUE(session.OpenRpcLink(3, 57600, QStringLiteral("/dev/ttyUSB1")));
    session.endAttempt();
    link.clearLog();

    link.script(QStringLiteral("ConnectServer"), -2);
    EXPECT_FALSE(session.reconnect(400));
    EXPECT_FALSE(session.RpcConnected());
    EXPECT_EQ(link.log(), (QStringList{"SetRespondTimeout(101,400)", "ConnectServer(101)",
                                       "SetRespondTimeout(101,3000)"}));

    link.clearLog();
    link.script(QStringLiteral("ConnectServer"), -1);
    EXPECT_TRUE(session.reconnect(400));
    EXPECT_TRUE(session.RpcConnected());
    EXPECT_EQ(
        link.log(),
        (QStringList{"SetRespondTimeout(101,400)", "ConnectServer(101)", "SetRespondTimeout(101,3000)",
                     "CloseConnection(101)", "UnInitVexoFileClient(101)", "CloseUartPipe(1)",
                     "UnInitUartPipe(1)", "InitUartPipe()", "SetPipeDevicePath(2,/dev/ttyUSB1)",
                     "SetUartIntParam(2,3,57600,8,0,1)", "OpenUartPipe(2)", "InitVexoFileClient(2)",
                     "SetRespondTimeout(102,400)", "ConnectServer(102)", "SetRespondTimeout(102,3000)"}));
}
