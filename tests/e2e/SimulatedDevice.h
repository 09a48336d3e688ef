// The palmtop behind a simulated serial line, as the end-to-end tests of the
// main window meet it: the device server serves a folder on one end of the
// line, and the window's port setting names the other.
#pragma once

#include "LinkSimulator.h"
#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"

#include <QProcess>
#include <QTest>

#include <memory>
#include <string>

namespace vexo::test
{

class SimulatedDevice
{
public:
    ~SimulatedDevice() { stop(); }

    // Starts the line at `bytesPerSecond` and the server `deviced` serving
    // `root` on its far end; false with *error when either did not start.
    bool start(const QString &deviced, const QString &root, double bytesPerSecond, std::string *error)
    {
        LinkSimOptions options;
        options.bytesPerSecond = bytesPerSecond;
        options.latencyMs = 1;
        m_line = std::make_unique<LinkSimulator>(options);
        if (!m_line->start(error))
            return false;
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.setProgram(deviced);
        m_root = root;
        m_server.setArguments({"--root", root, "--device", QString::fromStdString(m_line->endB())});
        if (startServer())
            return true;
        *error = "the device server did not start";
        return false;
    }

    // The server vanishes without a word (SIGKILL); the line stays.
    void killServer()
    {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
    bool serverRunning() const { return m_server.state() == QProcess::Running; }
    // The server again on the same line and folder, as a restarted palmtop.
    bool startServer() { return startServerOn(m_root); }
    // A server of another folder, with that folder's own identity: another
    // palmtop in the cradle on the same line.
    bool startServerOn(const QString &root)
    {
        QStringList arguments = m_server.arguments();
        arguments[1] = root;
        m_server.setArguments(arguments);
        m_server.start();
        return m_server.waitForStarted();
    }

    void stop()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        if (m_line)
            m_line->stop();
    }

    // The line's end for the window's [Ports] setting.
    QByteArray port() const { return QByteArray::fromStdString(m_line->endA()); }
    LinkSimulator &line() { return *m_line; }

    // The server may open its end after the window's start-up attempt: try
    // again, as a user presses F3, until connected.
    static bool connect(TFormMain &w)
    {
        return QTest::qWaitFor(
            [&w] {
                if (!w.deviceSession().RpcConnected() && !w.devicePane->attemptRunning())
                    w.RefreshRpc();
                return w.deviceSession().RpcConnected() && !w.devicePane->attemptRunning();
            },
            20000);
    }

private:
    std::unique_ptr<LinkSimulator> m_line;
    QProcess m_server;
    QString m_root;
};

} // namespace vexo::test
