// The device pane of the real main window against vexo-deviced on a
// pseudo-terminal, through the real link libraries.
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "ScriptedPrompter.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/FileListRow.h"
#include "engine/LanguageTable.h"
#include "engine/SpaceCheck.h"
#include "platform/LibDeviceLink.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace vexo;

namespace
{

const QString Caption = QStringLiteral("PalmTop Filelist - ");
// The server pretends a small palmtop, so that its free space is known here.
constexpr qint64 Capacity = 100000;
QString connectedWith(qint64 usedBytes)
{
    return "PalmTop Filelist " + FreeSpaceText(LanguageTable(), Capacity - usedBytes, Capacity) +
           " - Connected";
}
const QString Chinese = QStringLiteral("文件.txt");

using test::readFile;
using test::rowOf;

QStringList sortedCaptions(const FileRowModel *rows)
{
    return test::captions(rows, true);
}

} // namespace

class DeviceE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_root;
    QString m_link;

    // One window's fakes over the test folder, with its settings, on the
    // real link library.
    struct Services {
        Services(const QTemporaryDir &dir, const QByteArray &settings)
            : paths(dir.path() + "/", dir.filePath("tmp") + "/")
        {
            files.setContent(dir.filePath("VexoFile.ini"), settings);
        }
        PlatformServices platform() { return PlatformServices{&files, &paths, &prompter, &shell, &link}; }

        test::MemoryProfileFiles files;
        test::FakeSystemPaths paths;
        test::ScriptedPrompter prompter;
        test::FakeDesktopShell shell;
        LibDeviceLink link;
    };

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.filePath("device");
        m_link = m_dir.filePath("pty");
        QVERIFY(QDir().mkpath(m_root));
        QVERIFY(QDir().mkpath(m_dir.filePath("tmp")));
        test::putFile(m_root + "/a.txt", "hello");
        test::putFile(m_root + "/b.bin", QByteArray(3000, '\x5a'));
        test::putFile(m_root + "/c.txt", "see");
        test::putFile(m_root + "/" + Chinese, "\xe4\xb8\xad");
        QFile a(m_root + "/a.txt");
        QVERIFY(a.open(QIODevice::ReadWrite));
        QVERIFY(a.setFileTime(QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC),
                              QFileDevice::FileModificationTime));

        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(QStringLiteral(VEXO_DEVICED),
                       {"--root", m_root, "--pty", m_link, "--capacity", QString::number(Capacity)});
        QVERIFY(m_server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_link), 10000);
    }

    void cleanupTestCase()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }

    void connectListRenameDeleteOpenDisconnect()
    {
        Services s(m_dir, "[Setting]\nAutoRpc=1\nAutoVDisk=0\nComport=1\nBaudrate=115200\n[Ports]\nCOM1=" +
                              m_link.toUtf8() + "\n");
        auto w = std::make_unique<TFormMain>(s.platform());
        w->resize(1000, 700);
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));

        // Connected at start-up, with the device's files listed.
        QTRY_VERIFY_WITH_TIMEOUT(!w->devicePane->attemptRunning(), 15000);
        QCOMPARE(w->PRpcStatus->text(), connectedWith(5 + 3000 + 3 + 3));
        QVERIFY(w->TB_RpcConnect->isChecked());
        FileRowModel *rows = w->RpcRows;
        QCOMPARE(sortedCaptions(rows), (QStringList{"a.txt", "b.bin", "c.txt", Chinese}));
        const int a = rowOf(rows, "a.txt");
        QCOMPARE(rows->row(a).sizeText, QStringLiteral("         5 B"));
        const QString sep = LocaleDateSeparator();
        QCOMPARE(rows->row(a).dateText, "2024" + sep + "02" + sep + "29");
        QCOMPARE(rows->row(rowOf(rows, "b.bin")).sizeText, QStringLiteral("      3000 B"));
        QVERIFY(QFileInfo(w->TempDir + "/Rpc/" + Chinese).isFile());

        QAbstractItemView *view = w->RpcList->currentView();
        view->setFocus();

        // Rename in place: done on the device; a taken name goes back.
        auto rename = [&](const QString &from, const QString &to) {
            test::renameInPlace(w->RpcList, rowOf(rows, from), to);
        };
        rename("c.txt", "d.txt");
        QVERIFY(QFileInfo(m_root + "/d.txt").isFile());
        QVERIFY(!QFileInfo::exists(m_root + "/c.txt"));
        QVERIFY(rowOf(rows, "d.txt") >= 0);
        rename("d.txt", "a.txt");
        QVERIFY(rowOf(rows, "d.txt") >= 0);
        QCOMPARE(readFile(m_root + "/a.txt"), QByteArray("hello"));

        // Delete with the key and the question answered OK.
        w->RpcList->setCurrentRow(rowOf(rows, "b.bin"));
        s.prompter.answer(PromptAnswer::Ok);
        QTest::keyClick(view, Qt::Key_Delete);
        QVERIFY(!QFileInfo::exists(m_root + "/b.bin"));
        QCOMPARE(rowOf(rows, "b.bin"), -1);
        QCOMPARE(w->PRpcStatus->text(), connectedWith(5 + 3 + 3));

        // Double-click: received into the work folder and opened.
        for (const QString &name : {QStringLiteral("a.txt"), Chinese}) {
            w->RpcList->clearSelection();
            const QRect cell = view->visualRect(w->RpcList->indexOfRow(rowOf(rows, name)));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QVERIFY2(!s.shell.opened().isEmpty(), qPrintable(name));
            QCOMPARE(s.shell.opened().last(), w->TempDir + "/" + name);
            QCOMPARE(readFile(w->TempDir + "/" + name), readFile(m_root + "/" + name));
        }

        // F5 while connected lists again from the device.
        test::putFile(m_root + "/e.txt", "new");
        QTest::keyClick(view, Qt::Key_F5);
        QCOMPARE(sortedCaptions(rows), (QStringList{"a.txt", "d.txt", "e.txt", Chinese}));
        QVERIFY(w->devicePane->RpcFileExists("e.txt", false));
        QVERIFY(!w->devicePane->RpcFileExists("b.bin", false));

        // F4 disconnects; the toggle connects again on the same pipe.
        QTest::keyClick(view, Qt::Key_F4);
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QCOMPARE(rows->rowCount(), 0);
        QVERIFY(!w->deviceSession().RpcConnected());
        QTest::mouseClick(w->TB_RpcConnect, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w->devicePane->attemptRunning(), 15000);
        QCOMPARE(w->PRpcStatus->text(), connectedWith(5 + 3 + 3 + 3));
        QCOMPARE(rows->rowCount(), 4);

        const QString temp = w->TempDir;
        w->close();
        QVERIFY(!QFileInfo::exists(temp));
        QCOMPARE(m_server.state(), QProcess::Running);
    }

    void aMissingDeviceNodeFailsTheAttempt()
    {
        Services s(m_dir, "[Setting]\nAutoRpc=0\nAutoVDisk=0\nComport=0\n[Ports]\nUSB=" +
                              m_dir.filePath("nothing-here").toUtf8() + "\n");
        TFormMain w(s.platform());
        QSignalSpy ended(w.devicePane, &DevicePane::attemptFinished);
        w.devicePane->RefreshRpc();
        QVERIFY(ended.wait(15000));
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(w.PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w.TB_RpcConnect->isChecked());
        QVERIFY(w.deviceSession().pipeOpenFailed()); // the pipe is kept for the next attempt
    }
};

QTEST_MAIN(DeviceE2ETest)
#include "DeviceE2ETest.moc"
