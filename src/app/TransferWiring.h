#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferExecutor.h"
#include "engine/TransferWindow.h"

namespace vexo
{

class PaneWindow;

// The transfer code's view of the main window: its status line, pointer,
// idle flag and panes, and the executor that runs plans with them and with
// the window's device session and image mount (the transfers reach those
// directly). The window owns one; everything here reads the window's state
// when asked, never a copy of it.
class TransferWiring final : public TransferWindow
{
public:
    explicit TransferWiring(PaneWindow &window);

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
    void deviceLinkLost(const DeviceResult &result) override;
    void deviceReconnecting(bool on) override;

private:
    PaneWindow &m_window;
    TransferContext m_context;
    TransferExecutor m_executor;
};

} // namespace vexo
