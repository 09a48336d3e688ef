#pragma once

#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/TransferContext.h"
#include "engine/TransferExecutor.h"
#include "engine/TransferWindow.h"

namespace vexo
{

class TFormMain;

// The transfer code's view of the main window: its device link and image,
// its status line, pointer, idle flag and panes, and the executor that runs
// plans with them. The window owns one; everything here reads the window's
// state when asked, never a copy of it.
class TransferWiring final : public TransferWindow, public DeviceAccess, public ImageAccess
{
public:
    explicit TransferWiring(TFormMain &window);

    const TransferContext &context() const { return m_context; }
    TransferExecutor &executor() { return m_executor; }

    // TransferWindow
    void runDevice(const QStringList &sources, const QStringList &destinations,
                   TransferDirection direction) override;
    void showStatus(const QString &text) override;
    void showReason(const QString &text, Pane pane) override;
    void pushPointer(Pointer pointer) override;
    void popPointer() override;
    bool idle() const override;
    void setIdle(bool idle) override;
    QString localFolder() const override;
    QStringList localSelection() const override;
    QList<qint64> deviceSizes(const QStringList &names) const override;
    void relist(Pane pane) override;
    void deviceLinkLost(int result) override;
    void deviceReconnecting(bool on) override;

    // DeviceAccess
    bool isConnected() const override;
    DeviceLink *link() const override;
    int client() const override;
    bool fileExists(const QString &name) const override;
    FileFacts fileFacts(const QString &name) const override;
    int send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
             int overwrite) override;
    int receive(const QString &deviceName, const QString &localPath, int *progress, int *stop,
                int overwrite) override;
    int freeSpace(qint64 *freeBytes, qint64 *totalBytes) const override;
    bool isLinkLost(int result) const override;
    bool reconnect(int timeoutMs) override;

    // ImageAccess
    bool isMounted() const override;
    VDiskLibrary *library() const override;

private:
    TFormMain &m_window;
    TransferContext m_context;
    TransferExecutor m_executor;
};

} // namespace vexo
