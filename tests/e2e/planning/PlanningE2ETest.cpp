// A set of files goes from the PC to the palmtop, from the palmtop to the
// image through the relay folder, and from the image back to the PC, by
// Copy, Paste and a drag in the real main window, on the real link and image
// libraries.
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "MemoryRegistry.h"
#include "ModalWatchdog.h"
#include "ScriptedPrompter.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "desktop/QtClipboard.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/TransferExecutor.h"
#include "local/LocalPane.h"
#include "platform/LibDeviceLink.h"
#include "platform/LibVDiskLibrary.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace vexo;

namespace
{

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Keyboard focus into a list, also when a modal window has just closed.
void focus(QWidget *window, FileListView *list)
{
    QApplication::setActiveWindow(window);
    list->setFocus();
    QTRY_VERIFY(list->hasFocusInside());
}

// Every row of `from` copied by the toolbar's Copy and pasted into `to` by its Paste.
void copyAllInto(TFormMain &w, FileListView *from, FileListView *to)
{
    from->selectAll();
    focus(&w, from);
    QTest::mouseClick(w.TB_Copy, Qt::LeftButton);
    focus(&w, to);
    QTest::mouseClick(w.TB_Paste, Qt::LeftButton);
}

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

} // namespace

class PlanningE2ETest : public QObject
{
    Q_OBJECT

private slots:
    void pcToDeviceToImageAndBack()
    {
        const QString fsck = test::tool("fsck.fat");
        if (fsck.isEmpty())
            QSKIP("dosfstools is needed");
        test::ModalWatchdog modals(45000); // a progress window may stay up a while under load

        QTemporaryDir dir;
        const QString device = dir.filePath("device"), pc = dir.filePath("pc"), back = dir.filePath("back"),
                      install = dir.filePath("install"), pty = dir.filePath("pty");
        const QString image = install + "/target/public/lib/vdisk.dat";
        for (const QString &folder : {device, pc, back, dir.filePath("tmp"), install + "/target/public/lib"})
            QVERIFY(QDir().mkpath(folder));

        // A fresh image: the library makes one of 16 MiB.
        LibVDiskLibrary vdisk;
        vdisk.SetVdiskFile(image);
        QCOMPARE(vdisk.FormatFileSystem(), 0);

        QByteArray big(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(9);
        for (char &c : big)
            c = char(random.generate());
        const QList<std::pair<QString, QByteArray>> files{{"big.bin", big},
                                                          {"small.txt", "small\r\n"},
                                                          {QStringLiteral("文件.txt"), "\xce\xc4"},
                                                          {"empty.dat", ""}};
        QStringList names;
        for (const auto &[name, data] : files) {
            QFile f(pc + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data);
            names << name;
        }
        names.sort();

        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral(VEXO_DEVICED), {"--root", device, "--pty", pty});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(pty), 10000);

        test::MemoryProfileFiles profiles;
        profiles.setContent(dir.filePath("VexoFile.ini"),
                            "[Setting]\nAutoRpc=1\nAutoVDisk=1\nComport=1\nBaudrate=115200\n[Ports]\nCOM1=" +
                                pty.toUtf8() + "\n");
        test::FakeSystemPaths paths(dir.path() + "/", dir.filePath("tmp") + "/");
        test::MemoryRegistry registry;
        registry.setValue(ImageMount::InstallKey, "InstallPath", install);
        test::ScriptedPrompter prompter;
        test::FakeDesktopShell shell;
        LibDeviceLink link;
        QtClipboard clipboard;
        PlatformServices services{&profiles, &paths, &prompter, &shell, &link};
        services.vdisk = &vdisk;
        services.registry = &registry;
        services.clipboard = &clipboard;

        auto w = std::make_unique<TFormMain>(services);
        w->resize(1000, 700);
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTRY_VERIFY_WITH_TIMEOUT(w->deviceSession().RpcConnected() && !w->devicePane->attemptRunning(),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(w->imageMount().VDiskState() == 1 && !w->vdiskPane->mountRunning(), 10000);

        // PC to device: Copy in the local pane, Paste in the device pane.
        w->PLeft->showFolder(pc);
        QTRY_COMPARE(w->ShellList->rowCount(), 4);
        copyAllInto(*w, w->ShellList, w->RpcList);
        QCOMPARE(entries(device), names);
        for (const auto &[name, data] : files)
            QCOMPARE(readFile(device + "/" + name), data);

        // Device to image through the relay: Copy and Paste again.
        QTRY_COMPARE(w->RpcRows->rowCount(), 4);
        copyAllInto(*w, w->RpcList, w->VDiskList);
        QVERIFY(!QFileInfo::exists(w->transferExecutor().relayFolder()));
        QTRY_COMPARE(w->VDiskRows->rowCount(), 4);

        // Image to PC: the rows dragged onto the local pane showing another folder.
        w->PLeft->showFolder(back);
        w->VDiskList->selectAll();
        QVERIFY(w->transfers->ShellListDragOver(w->ShellList, w->VDiskList->currentView()));
        w->transfers->ShellListEndDrag(w->VDiskList, w->ShellList);
        QCOMPARE(entries(back), names);
        for (const auto &[name, data] : files)
            QCOMPARE(readFile(back + "/" + name), data);
        QVERIFY2(prompter.questions().isEmpty(), qPrintable(prompter.texts().join('|')));
        QCOMPARE(w->statusText(), QStringLiteral("Copy complete"));

        // The window's exit unmounts the image; the checker finds it clean.
        w->close();
        w.reset();
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(fsck, {"-n", image});
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());

        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
    }
};

QTEST_MAIN(PlanningE2ETest)
#include "PlanningE2ETest.moc"
