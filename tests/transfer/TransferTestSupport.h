// Shared pieces of the transfer widget tests: a device link whose chosen
// files take long enough to be cancelled, a driver that answers the modal
// windows of a run, and the main window on fakes.
#pragma once

#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "RecordingDeviceLink.h"
#include "ScriptedPrompter.h"
#include "app/main.h"
#include "transfer/DoProcess.h"
#include "transfer/uDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QQueue>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace vexo::test
{

// The recording device with slow files: a transfer of a slow name creeps 1 %
// per step and gives the file up (stopped) as soon as the stop flag is set.
class TransferLink : public RecordingDeviceLink
{
public:
    static constexpr int Stopped = -6;

    void makeSlow(const QString &deviceName, int stepMs = 30)
    {
        QMutexLocker lock(&m_slowMutex);
        m_slow.insert(deviceName, stepMs);
    }
    bool stopSeen() const { return m_stopSeen.load(); }

    int RequestSendFileEx(int client, const QString &localPath, const QString &deviceName, int *progress,
                          int *extra, int *stop, int overwrite) override
    {
        creep(deviceName, progress, stop, "RequestSendFileEx");
        return RecordingDeviceLink::RequestSendFileEx(client, localPath, deviceName, progress, extra, stop,
                                                      overwrite);
    }
    int RequestReceiveFileEx(int client, const QString &deviceName, const QString &localPath, int *progress,
                             int *extra, int *stop, int overwrite) override
    {
        creep(deviceName, progress, stop, "RequestReceiveFileEx");
        return RecordingDeviceLink::RequestReceiveFileEx(client, deviceName, localPath, progress, extra, stop,
                                                         overwrite);
    }

private:
    void creep(const QString &name, int *progress, int *stop, const char *call)
    {
        int stepMs = 0;
        {
            QMutexLocker lock(&m_slowMutex);
            stepMs = m_slow.value(name, 0);
        }
        if (stepMs == 0)
            return;
        for (int p = 0; p < 100; ++p) {
            if (stop && __atomic_load_n(stop, __ATOMIC_RELAXED) != 0) {
                m_stopSeen = true;
                script(QLatin1String(call), Stopped);
                return;
            }
            if (progress)
                __atomic_store_n(progress, p, __ATOMIC_RELAXED);
            std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
        }
    }

    QMutex m_slowMutex;
    QHash<QString, int> m_slow;
    std::atomic<bool> m_stopSeen{false};
};

// The scripted prompter, with a look at the window when a message box comes.
class ObservingPrompter : public ScriptedPrompter
{
public:
    std::function<void(const QString &text)> onAsk;

    PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        if (onAsk)
            onAsk(text);
        return ScriptedPrompter::ask(text, title, buttons, icon);
    }
};

// Answers the modal windows of a run from the window thread: each replace
// dialog takes the next action; while the progress window is on top, the
// watch is called until it returns true.
class ModalDriver : public QObject
{
public:
    using ReplaceAction = std::function<void(TFormDialogReplace &)>;
    using Watch = std::function<bool(TFormDoProcess &)>;

    ModalDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::tick);
        m_timer.start(5);
    }
    void onReplace(ReplaceAction action) { m_actions.enqueue(std::move(action)); }
    void whileRunning(Watch watch) { m_watch = std::move(watch); }
    int replaceDialogs() const { return m_dialogs; }
    int unexpectedDialogs() const { return m_unexpected; }

    static void click(TFormDialogReplace &d, const char *button)
    {
        d.findChild<QAbstractButton *>(QLatin1String(button))->click();
    }
    static ReplaceAction answer(const char *button)
    {
        return [button](TFormDialogReplace &d) { click(d, button); };
    }

private:
    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *replace = qobject_cast<TFormDialogReplace *>(modal)) {
            if (!replace->isVisible() || replace->property("driven").toBool())
                return;
            replace->setProperty("driven", true);
            ++m_dialogs;
            if (m_actions.isEmpty()) {
                ++m_unexpected;
                click(*replace, "butCancel");
                return;
            }
            m_actions.dequeue()(*replace);
            return;
        }
        if (auto *form = qobject_cast<TFormDoProcess *>(modal)) {
            if (m_watch && m_watch(*form))
                m_watch = nullptr;
        }
    }

    QTimer m_timer;
    QQueue<ReplaceAction> m_actions;
    Watch m_watch;
    int m_dialogs = 0;
    int m_unexpected = 0;
};

// The main window on fakes, connected to the recording device (client 101)
// without a connection attempt.
class TransferFixture
{
    QTemporaryDir m_dir; // first: the fakes below live in it

public:
    TransferFixture()
    {
        QDir().mkpath(m_dir.path() + "/tmp");
        QDir().mkpath(m_dir.path() + "/pc");
        files.setContent(m_dir.path() + "/VexoFile.ini", "[Setting]\nAutoRpc=0\nAutoVDisk=0\n");
    }
    std::unique_ptr<TFormMain> open(bool connected = true)
    {
        PlatformServices s{&files, &paths, &prompter, &shell};
        s.link = &link;
        auto w = std::make_unique<TFormMain>(s);
        w->RpcConnected = connected;
        w->RpcClient = connected ? 101 : 0;
        return w;
    }
    // A PC file in the test's folder; returns its path.
    QString pcFile(const QString &name, const QByteArray &content = "pc data")
    {
        const QString path = pcPath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }
    QString pcPath(const QString &name) const { return m_dir.path() + "/pc/" + name; }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void deviceHas(const QStringList &names)
    {
        QVector<DeviceLink::FindRecord> records;
        for (const QString &n : names)
            records.append({n, 0, 10});
        link.setFiles(records);
    }

    MemoryProfileFiles files;
    FakeSystemPaths paths{m_dir.path() + "/", m_dir.path() + "/tmp/"};
    ObservingPrompter prompter;
    FakeDesktopShell shell;
    TransferLink link;
};

} // namespace vexo::test
