// Shared by the transfer tests: a device link with slow files, a driver for
// the modal windows of a run, and the main window on fakes.
#pragma once

#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "MemoryRegistry.h"
#include "ModalWatchdog.h"
#include "RecordingDeviceLink.h"
#include "ScriptedPrompter.h"
#include "app/main.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "transfer/DoProcess.h"
#include "transfer/uDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <thread>

namespace vexo::test
{

// A transfer of a slow name creeps 1 % per 30 ms and gives up once stopped.
class TransferLink : public RecordingDeviceLink
{
public:
    static constexpr int Stopped = -6;
    void makeSlow(const QString &name) { m_slow = name; }
    bool stopSeen() const { return m_stopSeen; }

    int RequestSendFileEx(int client, const QString &local, const QString &name, int *progress, int *extra,
                          int *stop, int overwrite) override
    {
        creep(name, progress, stop, "RequestSendFileEx");
        return RecordingDeviceLink::RequestSendFileEx(client, local, name, progress, extra, stop, overwrite);
    }
    int RequestReceiveFileEx(int client, const QString &name, const QString &local, int *progress, int *extra,
                             int *stop, int overwrite) override
    {
        creep(name, progress, stop, "RequestReceiveFileEx");
        return RecordingDeviceLink::RequestReceiveFileEx(client, name, local, progress, extra, stop,
                                                         overwrite);
    }

private:
    void creep(const QString &name, int *progress, int *stop, const char *call)
    {
        for (int p = 0; name == m_slow && p < 100; ++p) {
            if (__atomic_load_n(stop, __ATOMIC_RELAXED) != 0) {
                m_stopSeen = true;
                script(QLatin1String(call), Stopped);
                return;
            }
            __atomic_store_n(progress, p, __ATOMIC_RELAXED);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }
    QString m_slow; // set before a run starts
    std::atomic<bool> m_stopSeen{false};
};

// The scripted prompter, calling onAsk before it answers a message box.
class ObservingPrompter : public ScriptedPrompter
{
public:
    std::function<void()> onAsk;
    PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        if (onAsk)
            onAsk();
        return ScriptedPrompter::ask(text, title, buttons, icon);
    }
};

// Each replace dialog takes the next action once it is up and takes input
// (none left: Cancel, counted as unexpected); while the progress window is on
// top the watch runs until it returns true. A dialog left open ends the test
// through the watchdog; a run's progress window may stay up a while under load.
class ModalDriver : public QObject
{
public:
    using Action = std::function<void(TFormDialogReplace &)>;
    ModalDriver()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::tick);
        m_timer.start(5);
    }
    void onReplace(Action action) { m_actions.append(std::move(action)); }
    void whileRunning(std::function<bool(TFormDoProcess &)> watch) { m_watch = std::move(watch); }
    int dialogs = 0;
    int unexpected = 0;

    static void click(TFormDialogReplace &d, const char *button)
    {
        d.findChild<QAbstractButton *>(QLatin1String(button))->click();
    }
    static Action answer(const char *button)
    {
        return [button](TFormDialogReplace &d) { click(d, button); };
    }

private:
    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *replace = qobject_cast<TFormDialogReplace *>(modal)) {
            if (!replace->isVisible() || replace->property("driven").toBool() ||
                QApplication::activeWindow() != replace)
                return;
            replace->setProperty("driven", true);
            ++dialogs;
            if (m_actions.isEmpty())
                ++unexpected;
            m_actions.isEmpty() ? click(*replace, "butCancel") : m_actions.takeFirst()(*replace);
        } else if (auto *form = qobject_cast<TFormDoProcess *>(modal)) {
            if (m_watch && m_watch(*form))
                m_watch = nullptr;
        }
    }
    ModalWatchdog m_watchdog{45000};
    QTimer m_timer;
    QList<Action> m_actions;
    std::function<bool(TFormDoProcess &)> m_watch;
};

// The main window on fakes, "connected" to the recording device as client 101.
class TransferFixture
{
    QTemporaryDir m_dir; // first: the fakes below live in it

public:
    TransferFixture()
    {
        QDir().mkpath(m_dir.path() + "/tmp");
        QDir().mkpath(m_dir.path() + "/pc");
        files.setContent(m_dir.path() + "/VexoFile.ini", "[Setting]\nAutoRpc=0\nAutoVDisk=0\n");
        registry.setValue(ImageMount::InstallKey, "InstallPath", "/opt/sim");
    }
    std::unique_ptr<TFormMain> open()
    {
        auto w = std::make_unique<TFormMain>(PlatformServices{&files, &paths, &prompter, &shell, &link});
        connectDevice(*w);
        link.clearLog();
        return w;
    }
    // The window's session connects (its first client is 101) without a
    // connect thread.
    static void connectDevice(TFormMain &w)
    {
        DeviceSession &session = w.deviceSession();
        session.beginAttempt();
        session.OpenRpcLink(0, 0, QString());
        session.endAttempt();
    }
    // The window's image mounts (the window needs the registry below)
    // without a mount thread.
    static void mountImage(TFormMain &w)
    {
        ImageMount &mount = w.imageMount();
        mount.beginMount();
        QString image;
        mount.mount(&image);
        mount.endMount();
    }
    QString pcPath(const QString &name) const { return m_dir.path() + "/pc/" + name; }
    QString pcFile(const QString &name, const QByteArray &content = "pc data")
    {
        QFile f(pcPath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return pcPath(name);
    }
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
    MemoryRegistry registry;
};

} // namespace vexo::test
