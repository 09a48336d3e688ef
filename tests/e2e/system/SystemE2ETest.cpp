// The whole program at work, as a user with a palmtop and the simulator
// would use it: the real main window on the real settings file, registry
// file, system paths, link and image libraries and clipboard; the palmtop is
// vexo-deviced behind the simulated serial line, the simulator's disk a real
// FAT image. Four everyday requests run one after the other; at the end every
// side holds exactly the bytes it should and the image passes fsck.fat.
#include "../SimulatedDevice.h"
#include "FakeDesktopShell.h"
#include "LinkSimulator.h"
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
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "platform/ProfileRegistry.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace vexo;

namespace
{

// Ten times the 115,200-baud line, so the test stays short.
constexpr double LineBytesPerSecond = 115200;

using test::entries;
using test::randomBytes;
using test::readFile;
using test::runTool;
using test::writeFile;

// The captions sorted: the panes list in the order of their side.
QStringList captions(const FileRowModel *rows)
{
    return test::captions(rows, true);
}

// Keyboard focus into a list, also when a modal window has just closed.
void focus(QWidget *window, FileListView *list)
{
    QApplication::setActiveWindow(window);
    list->setFocus();
    QTRY_VERIFY(list->hasFocusInside());
}

// Selects the one row whose caption is `name`.
bool selectRow(FileListView *list, const FileRowModel *rows, const QString &name)
{
    const int row = test::rowOf(rows, name);
    test::selectRows(list, row >= 0 ? QList<int>{row} : QList<int>{});
    return row >= 0;
}

} // namespace

class SystemE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_device, m_image; // the palmtop's folder, the simulator's disk
    test::SimulatedDevice m_palmtop;
    LinuxProfileFiles m_profiles;
    std::unique_ptr<LinuxSystemPaths> m_paths;
    std::unique_ptr<ProfileRegistry> m_registry;
    test::ScriptedPrompter m_prompter;
    test::FakeDesktopShell m_shell;
    LibDeviceLink m_link;
    LibVDiskLibrary m_vdisk;
    QtClipboard m_clipboard;
    std::unique_ptr<TFormMain> m_w;
    std::unique_ptr<test::ModalWatchdog> m_modals; // a progress window may stay up a while under load

    // What each side must hold at the end, name -> bytes.
    QMap<QString, QByteArray> m_onDevice, m_inImage, m_receivedOnPc;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void init() { m_modals = std::make_unique<test::ModalWatchdog>(45000); }
    void cleanup() { m_modals.reset(); }
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_device = path("device");
        const QString install = path("VexoTools");
        m_image = install + "/target/public/lib/vdisk.dat";
        for (const QString &folder :
             {m_device, path("program"), path("tmp"), path("config/VexoTools"), path("pc/out"), path("pc/in"),
              path("desktop"), install + "/target/public/lib"})
            QVERIFY(QDir().mkpath(folder));

        // The simulator's disk with two files of its own.
        m_inImage = {{"SIM.TXT", "simulator settings\r\n"},
                     {QStringLiteral("配置.ini"), randomBytes(5000, 1)}};
        m_vdisk.SetVdiskFile(m_image);
        QCOMPARE(m_vdisk.FormatFileSystem(), 0);
        QCOMPARE(m_vdisk.InitFileSystem(), 0);
        for (auto it = m_inImage.cbegin(); it != m_inImage.cend(); ++it) {
            const int file = m_vdisk.zfopen(it.key(), "w+");
            QVERIFY(file > 0);
            QCOMPARE(m_vdisk.zfwrite(it.value().constData(), 1, int(it.value().size()), file),
                     int(it.value().size()));
            QCOMPARE(m_vdisk.zfclose(file), 0);
        }
        m_vdisk.DestoryFileSystem();

        // The palmtop with one file of its own, behind the simulated line.
        m_onDevice = {{QStringLiteral("日志.bin"), randomBytes(30000, 2)}};
        QVERIFY(writeFile(m_device + QStringLiteral("/日志.bin"), m_onDevice.first()));
        std::string error;
        QVERIFY2(m_palmtop.start(QStringLiteral(VEXO_DEVICED), m_device, LineBytesPerSecond, &error),
                 error.c_str());

        // The settings file beside the program, the registry file in the
        // config folder, the work folder under TMPDIR: as on a desktop.
        QVERIFY(writeFile(path("program/VexoFile.ini"),
                          "[Setting]\nAutoRpc=1\nAutoVDisk=1\nComport=1\nBaudrate=115200\n[Ports]\nCOM1=" +
                              m_palmtop.port() + "\n"));
        QVERIFY(writeFile(path("config/VexoTools/registry.ini"),
                          "[HKEY_LOCAL_MACHINE\\Software\\Tavrin\\VexoTools\\2]\nInstallPath=" +
                              QFile::encodeName(install) + "\n"));
        qputenv("TMPDIR", QFile::encodeName(path("tmp")));
        m_paths = std::make_unique<LinuxSystemPaths>(path("program"));
        m_registry = std::make_unique<ProfileRegistry>(m_profiles, path("config/VexoTools"));

        PlatformServices services{&m_profiles, m_paths.get(), &m_prompter, &m_shell, &m_link};
        services.vdisk = &m_vdisk;
        services.registry = m_registry.get();
        services.clipboard = &m_clipboard;
        m_w = std::make_unique<TFormMain>(services);
        m_w->resize(1100, 700);
        m_w->show();
        QApplication::setActiveWindow(m_w.get());
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        QVERIFY(test::SimulatedDevice::connect(*m_w));
        QTRY_VERIFY_WITH_TIMEOUT(m_w->imageMount().VDiskState() == 1 && !m_w->vdiskPane->mountRunning(),
                                 10000);
        QTRY_COMPARE(captions(m_w->RpcRows), QStringList{QStringLiteral("日志.bin")});
        QTRY_COMPARE(captions(m_w->VDiskRows), QStringList(m_inImage.keys()));
    }

    // Two files from the PC to the palmtop with Copy and Paste.
    void copyAndPasteTwoFilesOntoThePalmtop()
    {
        const QMap<QString, QByteArray> sent{{QStringLiteral("报告.txt"), "月度报告\r\n"},
                                             {"photo.png", randomBytes(60000, 3)}};
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            QVERIFY(writeFile(path("pc/out/") + it.key(), it.value()));
        m_w->PLeft->showFolder(path("pc/out"));
        QTRY_COMPARE(m_w->ShellList->rowCount(), 2);
        m_w->ShellList->selectAll();
        focus(m_w.get(), m_w->ShellList);
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        focus(m_w.get(), m_w->RpcList);
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton); // returns when the progress window has closed

        m_onDevice.insert(sent);
        QCOMPARE(entries(m_device), QStringList(m_onDevice.keys()));
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            QCOMPARE(readFile(m_device + "/" + it.key()), it.value());
        QTRY_COMPARE(captions(m_w->RpcRows), QStringList(m_onDevice.keys()));
    }

    // An image file dragged onto the local pane.
    void dragAnImageFileOntoTheLocalPane()
    {
        const QString name = QStringLiteral("配置.ini");
        m_w->PLeft->showFolder(path("pc/in"));
        QVERIFY(selectRow(m_w->VDiskList, m_w->VDiskRows, name));
        QVERIFY(m_w->transfers->ShellListDragOver(m_w->ShellList, m_w->VDiskList->currentView()));
        m_w->transfers->ShellListEndDrag(m_w->VDiskList, m_w->ShellList);

        m_receivedOnPc.insert(name, m_inImage.value(name));
        QCOMPARE(entries(path("pc/in")), QStringList{name});
        QCOMPARE(readFile(path("pc/in/") + name), m_inImage.value(name));
        QTRY_COMPARE(m_w->ShellList->rowCount(), 1);
    }

    // A palmtop file dragged onto the image pane: through the relay folder.
    void dragAPalmtopFileOntoTheImagePane()
    {
        const QString name = QStringLiteral("日志.bin");
        QVERIFY(selectRow(m_w->RpcList, m_w->RpcRows, name));
        QVERIFY(m_w->transfers->ShellListDragOver(m_w->VDiskList, m_w->RpcList->currentView()));
        m_w->transfers->ShellListEndDrag(m_w->RpcList, m_w->VDiskList);

        m_inImage.insert(name, m_onDevice.value(name));
        QTRY_COMPARE(captions(m_w->VDiskRows), QStringList(m_inImage.keys()));
        QVERIFY(!QFileInfo::exists(m_w->transferExecutor().relayFolder()));
        QCOMPARE(readFile(m_device + "/" + name), m_onDevice.value(name)); // the source is untouched
    }

    // A file dropped from the desktop onto the palmtop pane, as a desktop
    // file manager delivers it: drag enter, then drop, on the list itself.
    void dropADesktopFileOntoThePalmtopPane()
    {
        const QString name = QStringLiteral("桌面.txt");
        const QByteArray data = randomBytes(20000, 4);
        QVERIFY(writeFile(path("desktop/") + name, data));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path("desktop/") + name)});
        QWidget *target = m_w->RpcList->currentView()->viewport();
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY(drop.isAccepted());

        // The copy runs once the drop has been taken.
        m_onDevice.insert(name, data);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(m_device + "/" + name) == data, 30000);
        QTRY_COMPARE(captions(m_w->RpcRows), QStringList(m_onDevice.keys()));
        QCOMPARE(readFile(path("desktop/") + name), data);
    }

    // Closing the window unmounts the image and releases the link; then the
    // three sides are read back with other programs.
    void everySideHoldsExactlyItsFilesAndTheImageIsClean()
    {
        QVERIFY2(m_prompter.questions().isEmpty(), qPrintable(m_prompter.texts().join('|')));
        const QString workFolder = m_w->TempDir;
        m_w->close();
        m_w.reset();
        QVERIFY(!QFileInfo::exists(workFolder));
        // The palmtop's files crossed the simulated line, not some shortcut.
        const auto toDevice = m_palmtop.line().counters(test::LinkSimulator::Direction::AToB).delivered;
        const auto fromDevice = m_palmtop.line().counters(test::LinkSimulator::Direction::BToA).delivered;
        QVERIFY2(toDevice > 80000 && fromDevice > 30000,
                 qPrintable(QStringLiteral("%1 bytes out, %2 back").arg(toDevice).arg(fromDevice)));

        QCOMPARE(entries(m_device), QStringList(m_onDevice.keys()));
        for (auto it = m_onDevice.cbegin(); it != m_onDevice.cend(); ++it)
            QCOMPARE(readFile(m_device + "/" + it.key()), it.value());
        QCOMPARE(entries(path("pc/in")), QStringList(m_receivedOnPc.keys()));

        // The image through the vdisk tool: its listing and every file.
        QByteArray listing;
        QCOMPARE(runTool(QStringLiteral(VEXO_VDISK_TOOL), {m_image, "ls"}, &listing), 0);
        QCOMPARE(QString::fromUtf8(listing).count(u'\n'), m_inImage.size());
        QVERIFY(QDir().mkpath(path("check")));
        for (auto it = m_inImage.cbegin(); it != m_inImage.cend(); ++it) {
            QByteArray out;
            QCOMPARE(
                runTool(QStringLiteral(VEXO_VDISK_TOOL), {m_image, "get", it.key(), path("check")}, &out), 0);
            QCOMPARE(readFile(path("check/") + it.key()), it.value());
        }

        const QString fsck = test::tool("fsck.fat");
        if (fsck.isEmpty())
            QSKIP("dosfstools is needed for the last check");
        QByteArray report;
        QVERIFY2(runTool(fsck, {"-n", m_image}, &report) == 0, report.constData());
    }

    void cleanupTestCase()
    {
        m_w.reset();
        m_palmtop.stop();
    }
};

QTEST_MAIN(SystemE2ETest)
#include "SystemE2ETest.moc"
