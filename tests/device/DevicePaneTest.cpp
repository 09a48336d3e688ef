// The device pane inside the real main window, on a recording device link.
#include "device/DevicePane.h"
#include "ModalWatchdog.h"
#include "OnModal.h"
#include "RecordingDeviceLink.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "engine/DeviceSession.h"
#include "engine/FileListRow.h"
#include "engine/TransferDirection.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <memory>
#include <thread>

using namespace vexo;
using Record = DeviceLink::FindRecord;

namespace
{

const QString Caption = QStringLiteral("PalmTop Filelist - ");

using test::captions;

} // namespace

class DevicePaneTest : public QObject, test::WindowFakes
{
    Q_OBJECT

    std::unique_ptr<test::RecordingDeviceLink> m_link;

    void setIni(const QByteArray &setting, const QByteArray &ports = QByteArray())
    {
        QByteArray content = "[Setting]\nAutoVDisk=0\n" + setting;
        if (!ports.isEmpty())
            content += "[Ports]\n" + ports;
        m_files->setContent(m_ini, content);
    }
    std::unique_ptr<TFormMain> open(bool withLink = true)
    {
        PlatformServices s = m_fake->services();
        if (withLink)
            s.link = m_link.get();
        auto w = std::make_unique<TFormMain>(s);
        test::showActive(*w);
        return w;
    }
    static bool waitIdle(TFormMain *w)
    {
        return QTest::qWaitFor([w] { return !w->devicePane->attemptRunning(); }, 5000);
    }
    // Connects and waits for the attempt and its listing to end.
    static bool connectNow(TFormMain *w)
    {
        w->devicePane->RefreshRpc();
        return waitIdle(w) && w->deviceSession().RpcConnected();
    }
    // The window connected to a device holding `names`, with the log cleared
    // so that a test sees only its own calls; null when it did not connect.
    std::unique_ptr<TFormMain> openConnected(const QStringList &names)
    {
        useFiles(names);
        auto w = open();
        if (!connectNow(w.get()))
            return nullptr;
        m_link->clearLog();
        return w;
    }
    static QAbstractItemView *view(TFormMain *w) { return w->RpcList->currentView(); }
    static void select(TFormMain *w, const QList<int> &rows) { test::selectRows(w->RpcList, rows); }
    void useFiles(const QStringList &names)
    {
        QVector<Record> files;
        for (const QString &n : names)
            files.append({n, 0, 10});
        m_link->setFiles(files);
    }

private slots:
    void init()
    {
        resetFakes();
        m_link = std::make_unique<test::RecordingDeviceLink>();
        setIni("AutoRpc=0\nComport=1\nBaudrate=115200\n");
    }

    // ---- connection ------------------------------------------------------

    void openSequenceFollowsThePort_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QByteArray>("ports");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("port");
        QTest::newRow("COM3 default node")
            << QByteArray("Comport=3\nBaudrate=57600\n") << QByteArray()
            << QStringList{"InitUartPipe()", "SetPipeDevicePath(1,/dev/ttyS2)",
                           "SetUartIntParam(1,3,57600,8,0,1)", "OpenUartPipe(1)"}
            << 3;
        QTest::newRow("COM10 mapped")
            << QByteArray("Comport=10\nBaudrate=9600\n") << QByteArray("com10 = /dev/ttyUSB0\n")
            << QStringList{"InitUartPipe()", "SetPipeDevicePath(1,/dev/ttyUSB0)",
                           "SetUartIntParam(1,10,9600,8,0,1)", "OpenUartPipe(1)"}
            << 10;
        QTest::newRow("USB mapped") << QByteArray("Comport=0\n") << QByteArray("USB=/dev/ttyACM1\n")
                                    << QStringList{"InitUSBPipe()", "SetPipeDevicePath(1,/dev/ttyACM1)",
                                                   "OpenUSBPipe(1)"}
                                    << 0;
    }
    void openSequenceFollowsThePort()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QByteArray, ports);
        QFETCH(QStringList, expected);
        QFETCH(int, port);
        setIni("AutoRpc=0\n" + setting, ports);
        auto w = open();
        QVERIFY(connectNow(w.get()));
        expected << "InitVexoFileClient(1)"
                 << "SetRespondTimeout(101,3000)"
                 << "ConnectServer(101)"
                 << "RequestFindFileOpen(101,*.*)"
                 << "RequestFindFileClose(101,0)";
        QCOMPARE(m_link->log(), expected);
        QCOMPARE(w->PRpcStatus->text(), Caption + "Connected");
        QVERIFY(w->TB_RpcConnect->isChecked());
        QCOMPARE(w->deviceSession().RpcPipePort(), port);
    }

    void autoRpcConnectsAtStartUpAndTheCaptionFollowsTheAttempt()
    {
        setIni("AutoRpc=1\nComport=2\n");
        useFiles({"a.txt"});
        m_link->holdConnect();
        auto w = open();
        QTRY_VERIFY(m_link->connectWaiting());
        QTRY_COMPARE(w->PRpcStatus->text(), Caption + "Connecting...");
        QVERIFY(!w->TB_RpcConnect->isChecked());
        QVERIFY(w->devicePane->attemptRunning());
        m_link->releaseConnect();
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(w->PRpcStatus->text(), Caption + "Connected");
        QVERIFY(w->TB_RpcConnect->isChecked());
        QCOMPARE(captions(w->RpcRows), QStringList{"a.txt"});
    }

    void disconnectKeepsHandlesAndTheNextAttemptOnlyReconnects()
    {
        useFiles({"a.txt", "b.txt"});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        QCOMPARE(w->RpcRows->rowCount(), 2);
        m_link->clearLog();

        view(w.get())->setFocus();
        QTest::keyClick(view(w.get()), Qt::Key_F4);
        QCOMPARE(m_link->log(), QStringList{"CloseConnection(101)"});
        QCOMPARE(w->RpcRows->rowCount(), 0);
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->TB_RpcConnect->isChecked());
        QVERIFY(!w->deviceSession().RpcConnected());

        m_link->clearLog();
        w->settings.Baudrate = 9600; // takes effect only with a new pipe
        QTest::mouseClick(w->TB_RpcConnect, Qt::LeftButton);
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(m_link->logWithoutListing(),
                 (QStringList{"SetRespondTimeout(101,3000)", "ConnectServer(101)"}));
        QCOMPARE(w->RpcRows->rowCount(), 2);
        QVERIFY(w->TB_RpcConnect->isChecked());
    }

    void portChangeReplacesClientAndPipe()
    {
        setIni("AutoRpc=0\nComport=1\n");
        auto w = open();
        QVERIFY(connectNow(w.get()));
        // As after the setup dialog: close, then a fresh attempt on the new port.
        QCOMPARE(w->deviceSession().CloseRpcLink().ok(), true);
        w->settings.Comport = 0;
        m_link->clearLog();
        QVERIFY(connectNow(w.get()));
        QCOMPARE(m_link->logWithoutListing(),
                 (QStringList{"CloseConnection(101)", "UnInitVexoFileClient(101)", "CloseUartPipe(1)",
                              "UnInitUartPipe(1)", "InitUSBPipe()", "SetPipeDevicePath(2,/dev/ttyACM0)",
                              "OpenUSBPipe(2)", "InitVexoFileClient(2)", "SetRespondTimeout(102,3000)",
                              "ConnectServer(102)"}));
        QCOMPARE(w->deviceSession().RpcPipePort(), 0);
    }

    void failedAttemptKeepsRowsAndHandles()
    {
        useFiles({"a.txt"});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        QCOMPARE(w->deviceSession().CloseRpcLink().ok(), true);
        m_link->clearLog();
        m_link->script("ConnectServer", -2);
        QSignalSpy ended(w->devicePane, &DevicePane::attemptFinished);
        w->devicePane->RefreshRpc();
        QVERIFY(ended.wait());
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(m_link->log(), (QStringList{"SetRespondTimeout(101,3000)", "ConnectServer(101)"}));
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->TB_RpcConnect->isChecked());
        QVERIFY(!w->deviceSession().RpcConnected());
        QCOMPARE(captions(w->RpcRows), QStringList{"a.txt"});

        m_link->clearLog();
        QVERIFY(connectNow(w.get()));
        QCOMPARE(m_link->logWithoutListing(),
                 (QStringList{"SetRespondTimeout(101,3000)", "ConnectServer(101)"}));
    }

    void aFailedAttemptSaysWhichNodeAndWhyInTheStatusLine()
    {
        // The pipe could not open the mapped node: the node is looked at.
        const QString node = m_fake->folder() + "/ttyUSB7";
        setIni("AutoRpc=0\nComport=1\n", "COM1=" + node.toUtf8() + "\n");
        m_link->script("OpenUartPipe", -1);
        m_link->script("ConnectServer", -2);
        auto w = open();
        QSignalSpy ended(w->devicePane, &DevicePane::attemptFinished);
        w->devicePane->RefreshRpc();
        QVERIFY(ended.wait());
        const QString why = QStringLiteral("Cannot open ") + node + QStringLiteral(": does not exist");
        QCOMPARE(w->statusText(), why);
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QCOMPARE(w->PRpcStatus->toolTip(), why);

        // The node is there now and the pipe is kept; the device stays silent.
        QFile made(node);
        QVERIFY(made.open(QIODevice::WriteOnly));
        made.close();
        m_link->script("ConnectServer", -2);
        w->devicePane->RefreshRpc();
        QVERIFY(ended.wait());
        QCOMPARE(w->statusText(),
                 QStringLiteral("Cannot open ") + node + QStringLiteral(": not a serial device"));

        // A pipe that opened is not looked behind: the device did not answer.
        w->settings.Comport = 2; // a new pipe, on the default node of COM2
        m_link->script("ConnectServer", -2);
        w->devicePane->RefreshRpc();
        QVERIFY(ended.wait());
        QCOMPARE(w->statusText(), QStringLiteral("The device on /dev/ttyS1 does not answer"));

        QVERIFY(connectNow(w.get()));
        QCOMPARE(w->PRpcStatus->toolTip(), QString());
    }

    void requestsDuringAnAttemptAreIgnoredAndDisconnectWaitsForItsEnd()
    {
        useFiles({"a.txt"});
        m_link->holdConnect();
        auto w = open();
        view(w.get())->setFocus();
        // F5 in the list asks twice (key hook on the way down, the list on the
        // way up), F3 twice more: one attempt.
        QTest::keyClick(view(w.get()), Qt::Key_F5);
        QTest::keyClick(view(w.get()), Qt::Key_F3);
        QTest::keyClick(view(w.get()), Qt::Key_F3);
        QTRY_VERIFY(m_link->connectWaiting());
        QTest::keyClick(view(w.get()), Qt::Key_F4);
        QVERIFY(w->devicePane->attemptRunning());
        QSignalSpy ended(w->devicePane, &DevicePane::attemptFinished);
        m_link->releaseConnect();
        QVERIFY(ended.wait());
        QCOMPARE(m_link->calls("InitUartPipe").size(), 1);
        QCOMPARE(m_link->calls("ConnectServer").size(), 1);
        // The disconnect asked for during the attempt has happened.
        QVERIFY(!w->deviceSession().RpcConnected());
        QCOMPARE(w->RpcRows->rowCount(), 0);
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->TB_RpcConnect->isChecked());
        QCOMPARE(m_link->log().last(), QStringLiteral("CloseConnection(101)"));
    }

    void aConnectThreadThatCannotStartLeavesThePaneUsable()
    {
        useFiles({"a.txt"});
        auto w = open();
        w->devicePane->setAttemptStackSize(1); // refused by the system
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("QThread::start"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("QThread::start"));
        w->devicePane->RefreshRpc();
        QVERIFY(!w->devicePane->attemptRunning());
        QCOMPARE(w->statusText(), QStringLiteral("Starting failed"));
        w->devicePane->RefreshRpc(); // not locked: it is tried again
        w->devicePane->setAttemptStackSize(0);
        QVERIFY(connectNow(w.get()));
        QCOMPARE(captions(w->RpcRows), QStringList{"a.txt"});
    }

    // Asked for while an attempt runs: new link settings take over when it
    // ends; a refresh during its first listing lists again after it.
    void requestsDuringAnAttemptAreCarriedOutAfterIt_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addRow("setup applied while connecting") << "setup";
        QTest::addRow("refresh while listing") << "refresh";
    }
    void requestsDuringAnAttemptAreCarriedOutAfterIt()
    {
        QFETCH(QString, request);
        useFiles({"a.txt"});
        m_link->holdCall(request == "setup" ? "ConnectServer" : "RequestFindFileOpen");
        auto w = open();
        w->devicePane->RefreshRpc();
        QTRY_VERIFY(m_link->connectWaiting());
        if (request == "setup") {
            w->settings.Comport = 0; // USB
            w->devicePane->applyLinkSettings();
        } else {
            m_link->setFiles({{"a.txt", 0, 1}, {"copied.txt", 0, 2}});
            w->devicePane->RefreshRpc();
        }
        QSignalSpy ended(w->devicePane, &DevicePane::attemptFinished);
        m_link->releaseConnect();
        QVERIFY(ended.wait());
        QVERIFY(waitIdle(w.get()));
        QVERIFY(w->deviceSession().RpcConnected());
        if (request == "setup") {
            QCOMPARE(m_link->calls("InitUSBPipe").size(), 1);
            QCOMPARE(w->deviceSession().RpcPipePort(), 0);
        } else {
            QCOMPARE(m_link->calls("RequestFindFileOpen").size(), 2);
            QCOMPARE(captions(w->RpcRows), (QStringList{"a.txt", "copied.txt"}));
        }
    }

    void exitDuringALongFirstListingEndsWithinTheTimeOut()
    {
        useFiles({"a.txt"});
        m_link->holdCall("RequestFindFileOpen");
        auto w = open();
        w->devicePane->RefreshRpc();
        QTRY_VERIFY(m_link->connectWaiting());
        const QString temp = w->TempDir;
        QElapsedTimer clock;
        clock.start();
        w->close();
        QVERIFY2(clock.elapsed() < 3000 + 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(w->linkWorkAbandoned());
        QVERIFY(!QFileInfo::exists(temp));
        w.reset();
        // The listing ends later on its own and leaves nothing behind.
        m_link->releaseConnect();
        QTest::qWait(200);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(m_link->calls("CloseConnection").isEmpty());
    }

    void exitDuringAnAttemptWaitsForItAndReleasesTheLink()
    {
        useFiles({"a.txt"});
        m_link->holdConnect();
        auto w = open();
        w->devicePane->RefreshRpc();
        QTRY_VERIFY(m_link->connectWaiting());
        const QString temp = w->TempDir;
        std::thread releaser([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            m_link->releaseConnect();
        });
        w->close();
        releaser.join();
        const QStringList log = m_link->log();
        const int connect = log.indexOf("ConnectServer(101)");
        QVERIFY(connect >= 0);
        // Cut off from the window: no listing, and the link released after the attempt.
        QCOMPARE(log.mid(connect + 1), (QStringList{"CloseConnection(101)", "UnInitVexoFileClient(101)",
                                                    "CloseUartPipe(1)", "UnInitUartPipe(1)"}));
        QVERIFY(!QFileInfo::exists(temp));
        w.reset();
    }

    void exitWhenConnectedReleasesClientThenPipe()
    {
        setIni("AutoRpc=0\nComport=0\n");
        auto w = open();
        QVERIFY(connectNow(w.get()));
        m_link->clearLog();
        w->close();
        QCOMPARE(m_link->log(), (QStringList{"CloseConnection(101)", "UnInitVexoFileClient(101)",
                                             "CloseUSBPipe(1)", "UnInitUSBPipe(1)"}));
    }

    void withoutALinkServiceNothingIsAttempted()
    {
        setIni("AutoRpc=1\n");
        auto w = open(false);
        QTest::keyClick(view(w.get()), Qt::Key_F3);
        QVERIFY(!w->devicePane->attemptRunning());
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->devicePane->RpcFileExists("a.txt", false));
    }

    // A call that finds the link gone leaves the pane disconnected with the
    // reason; the next F3 or F5 connects again.
    void aLostLinkIsShownAndTheNextRefreshReconnects_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("reason");
        QTest::addRow("refresh, server gone") << "refresh" << -1 << "the connection was closed";
        QTest::addRow("refresh, silent") << "refresh" << -2 << "the device does not answer";
        QTest::addRow("first listing") << "attempt" << -2 << "the device does not answer";
        QTest::addRow("delete") << "delete" << -1 << "the connection was closed";
        QTest::addRow("open") << "open" << -2 << "the device does not answer";
        QTest::addRow("send") << "send" << -1 << "the connection was closed";
        QTest::addRow("receive") << "receive" << -2 << "the device does not answer";
    }
    void aLostLinkIsShownAndTheNextRefreshReconnects()
    {
        QFETCH(QString, call);
        QFETCH(int, result);
        QFETCH(QString, reason);
        useFiles({"a", "b"});
        m_prompter->answer(PromptAnswer::Ok);
        auto w = open();
        if (call == "attempt")
            m_link->script("RequestFindFileOpen", result);
        QVERIFY(waitIdle(w.get()));
        w->devicePane->RefreshRpc();
        QVERIFY(waitIdle(w.get()));
        if (call == "refresh") {
            m_link->script("RequestFindFileOpen", result);
            QTest::keyClick(view(w.get()), Qt::Key_F5);
        } else if (call == "delete") {
            select(w.get(), {0, 1});
            m_link->script("RequestDeleteFile", result);
            w->devicePane->DeleteSelectedRpcFiles();
            QCOMPARE(m_link->calls("RequestDeleteFile").size(), 1); // no second wait
        } else if (call == "open") {
            select(w.get(), {0});
            m_link->script("RequestReceiveFileEx", result);
            w->devicePane->RpcListDblClick(w->RpcList->indexOfRow(0));
            QVERIFY(m_shell->opened().isEmpty());
        } else if (call == "send" || call == "receive") {
            const QString local = m_fake->folder() + "/x.txt";
            QFile(local).open(QIODevice::WriteOnly);
            m_link->script(call == "send" ? "RequestSendFileEx" : "RequestReceiveFileEx", result);
            m_link->clearLog();
            // Not waiting for the link: this device would be back at once.
            w->settings.ReconnectSeconds = 0;
            if (call == "send")
                w->RunDeviceTransfer({local, local}, {"x.txt", "y.txt"}, tdSend);
            else
                w->RunDeviceTransfer({"a", "b"}, {m_fake->folder() + "/a", m_fake->folder() + "/b"},
                                     tdReceive);
            // The rest of the run and a listing of a dead device are skipped.
            QCOMPARE(m_link->calls(call == "send" ? "RequestSendFileEx" : "RequestReceiveFileEx").size(), 1);
            QVERIFY(m_link->calls("RequestFindFileOpen").isEmpty());
        }
        QCOMPARE(w->PRpcStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->deviceSession().RpcConnected());
        QVERIFY(!w->TB_RpcConnect->isChecked());
        QCOMPARE(w->RpcRows->rowCount(), 0);
        QVERIFY2(w->statusText().contains(reason), qPrintable(w->statusText()));
        QCOMPARE(w->PRpcStatus->toolTip(), w->statusText());

        m_link->clearLog();
        QTest::keyClick(view(w.get()), Qt::Key_F3);
        QVERIFY(waitIdle(w.get()));
        QCOMPARE(m_link->calls("ConnectServer").size(), 1);
        QVERIFY(w->deviceSession().RpcConnected());
        QCOMPARE(w->PRpcStatus->text(), Caption + "Connected");
        QCOMPARE(captions(w->RpcRows), (QStringList{"a", "b"}));
    }

    // A refused rename keeps the old name and says why; names the device
    // cannot take are not sent.
    void aRefusedRenameSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("reason"); // empty: renamed
        QTest::addRow("free") << "z.txt" << true << "";
        QTest::addRow("16 bytes") << "abcdefghijkl.txt" << true << "";
        QTest::addRow("taken") << "b.txt" << true << "Cannot rename to b.txt: a file of that name exists";
        QTest::addRow("17 bytes") << "abcdefghijklm.txt" << false
                                  << "Cannot rename to abcdefghijklm.txt: the name is longer than 16 bytes";
        QTest::addRow("9 Chinese characters")
            << "一二三四五六七八九" << false
            << "Cannot rename to 一二三四五六七八九: the name is longer than 16 bytes";
        QTest::addRow("slash") << "a/b" << false
                               << "Cannot rename to a/b: the name holds characters that are not allowed";
        QTest::addRow("dot dot") << ".." << false
                                 << "Cannot rename to ..: the name holds characters that are not allowed";
        QTest::addRow("no CP936 form")
            << "a\u0e01" << false
            << "Cannot rename to a\u0e01: the name holds characters that are not allowed";
    }
    void aRefusedRenameSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(bool, sent);
        QFETCH(QString, reason);
        auto w = openConnected({"a.txt", "b.txt"});
        QVERIFY(w);
        bool accept = true;
        w->devicePane->RpcListEdited(0, "a.txt", name, &accept);
        QCOMPARE(accept, reason.isEmpty());
        QCOMPARE(m_link->calls("RequestRenameFile").size(), sent ? 1 : 0);
        if (!reason.isEmpty()) {
            QCOMPARE(w->statusText(), reason);
            QCOMPARE(w->PRpcStatus->toolTip(), reason);
        }
    }

    // ---- listing ---------------------------------------------------------

    void listingShowsTextsInServiceOrderWithPlaceholders()
    {
        const QString longName(1024, QLatin1Char('n'));
        m_link->setFiles({{"zeta.txt", 0, 0},
                          {"alpha.doc", 86399999, 1234},
                          {"mid.bin", 86400000, 9999999999},
                          {"neg.dat", -1, 12345678901},
                          {longName, 0, 1}});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        FileRowModel *rows = w->RpcRows;
        QCOMPARE(captions(rows), (QStringList{"zeta.txt", "alpha.doc", "mid.bin", "neg.dat", longName}));
        const QStringList sizes{"         0 B", "      1234 B", "9999999999 B", "12345678901 B",
                                "         1 B"};
        for (int i = 0; i < sizes.size(); ++i)
            QCOMPARE(rows->row(i).sizeText, sizes.at(i));
        const QString sep = LocaleDateSeparator();
        const QString jan1 = "1970" + sep + "01" + sep + "01";
        QCOMPARE(rows->row(0).dateText, jan1);
        QCOMPARE(rows->row(1).dateText, jan1);
        QCOMPARE(rows->row(2).dateText, "1970" + sep + "01" + sep + "02");
        QCOMPARE(rows->row(3).dateText, jan1);
        QCOMPARE(m_link->calls("RequestFindFileNext").size(), 5);
        QVERIFY(w->devicePane->RpcFileExists("mid.bin", false));
        QVERIFY(!w->devicePane->RpcFileExists(w->TempDir + "/Rpc/mid.bin", false));
        QVERIFY(w->devicePane->RpcFileExists(w->TempDir + "/Rpc/mid.bin", true));
        // A local folder is no file: a receive into it is not a replace.
        QVERIFY(!w->devicePane->RpcFileExists(w->TempDir + "/Rpc", true));
        QVERIFY(!w->devicePane->RpcFileExists(w->TempDir + "/Rpc/gone.bin", true));
        QCOMPARE(m_link->calls("RequestFindFileClose"), QStringList{"RequestFindFileClose(101,7)"});

        const QString rpc = w->TempDir + "/Rpc/";
        for (const char *name : {"zeta.txt", "alpha.doc", "mid.bin", "neg.dat"}) {
            QVERIFY2(QFileInfo(rpc + name).isFile(), name);
            QCOMPARE(QFileInfo(rpc + name).size(), 0);
        }
        for (int i = 0; i < rows->rowCount(); ++i)
            QVERIFY(!rows->icon(rows->row(i).iconIndex).isNull());

        // Sorted by the user, then listed again: the service's order and one
        // placeholder per name; a file gone from the device keeps its own.
        rows->clickColumn(FileRowModel::SizeColumn);
        QCOMPARE(rows->caption(0), QStringLiteral("zeta.txt"));
        m_link->setFiles({{"neg.dat", 0, 1}, {"alpha.doc", 0, 2}});
        w->devicePane->RefreshRpc();
        QCOMPARE(captions(rows), (QStringList{"neg.dat", "alpha.doc"}));
        QVERIFY(!rows->isSorted());
        QCOMPARE(QDir(rpc).entryList(QDir::Files).size(), 4);
        QVERIFY(QFileInfo(rpc + "zeta.txt").isFile());
    }

    void unsafeDeviceNamesNeverBecomeLocalFiles()
    {
        m_link->setFiles({{"../escape.txt", 0, 1},
                          {"..", 0, 1},
                          {".", 0, 1},
                          {"a\\b.txt", 0, 1},
                          {QStringLiteral("nul") + QChar(0) + "x", 0, 1},
                          {"ok.txt", 0, 1}});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        QCOMPARE(w->RpcRows->rowCount(), 6);
        QVERIFY(!QFileInfo::exists(w->TempDir + "/escape.txt"));
        QCOMPARE(QDir(w->TempDir + "/Rpc").entryList(QDir::Files | QDir::Hidden), QStringList{"ok.txt"});
        QVERIFY(!w->RpcRows->icon(w->RpcRows->row(0).iconIndex).isNull());

        // Nor by a double-click.
        for (int row : {0, 1, 3}) {
            select(w.get(), {row});
            w->devicePane->RpcListDblClick(w->RpcList->indexOfRow(row));
        }
        QVERIFY(m_link->calls("RequestReceiveFileEx").isEmpty());
        QVERIFY(m_shell->opened().isEmpty());
    }

    void failedOpenEmptiesTheListAndStillCloses()
    {
        auto w = openConnected({"a.txt", "b.txt"});
        QVERIFY(w);
        // A refusal that keeps the link (a lost link: above).
        m_link->script("RequestFindFileOpen", -9);
        QTest::keyClick(view(w.get()), Qt::Key_F3); // connected: lists at once
        QCOMPARE(w->RpcRows->rowCount(), 0);
        QCOMPARE(m_link->log(),
                 (QStringList{"RequestFindFileOpen(101,*.*)", "RequestFindFileClose(101,-9)"}));
        QCOMPARE(w->PRpcStatus->text(), Caption + "Connected");
        QVERIFY(!w->devicePane->attemptRunning());
    }

    // ---- commands --------------------------------------------------------

    void deleteTriesEachSelectedRowOnceAndKeepsFailures()
    {
        useFiles({"a", "b", "c", "d"});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        select(w.get(), {0, 1, 2});
        m_link->clearLog();
        m_link->script("RequestDeleteFile", 0);
        m_link->script("RequestDeleteFile", -9);
        m_link->script("RequestDeleteFile", 0);
        m_prompter->answer(PromptAnswer::Ok);
        view(w.get())->setFocus();
        QTest::keyClick(view(w.get()), Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 1);
        QCOMPARE(m_link->log(), (QStringList{"RequestDeleteFile(101,a)", "RequestDeleteFile(101,b)",
                                             "RequestDeleteFile(101,c)"}));
        QCOMPARE(captions(w->RpcRows), (QStringList{"b", "d"}));
    }

    void aLongDeleteShowsProgressAndCancelKeepsTheFilesNotYetAsked()
    {
        useFiles({"a", "b", "c"});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        select(w.get(), {0, 1, 2});
        m_link->clearLog();
        m_link->holdCall("RequestDeleteFile");
        // The window stays live while the first delete hangs: the progress
        // window comes up and its Cancel is taken.
        test::ModalWatchdog watchdog;
        test::OnModal<QProgressDialog> driver([&](QProgressDialog &progress) {
            QTest::mouseClick(progress.findChild<QPushButton *>(), Qt::LeftButton);
            m_link->releaseConnect();
        });
        QVERIFY(w->devicePane->DeleteSelectedRpcFiles().kind() == DeviceResult::Kind::Stopped);
        QVERIFY2(driver.shown() == 1 && !watchdog.fired(), watchdog.report());
        QCOMPARE(m_link->calls("RequestDeleteFile"), QStringList{"RequestDeleteFile(101,a)"});
        QCOMPARE(captions(w->RpcRows), (QStringList{"b", "c"}));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void deleteQuestionAndItsAnswers()
    {
        auto w = openConnected({"a", "b"});
        QVERIFY(w);
        view(w.get())->setFocus();
        w->RpcList->clearSelection();

        // The key asks even with nothing selected; OK then deletes nothing.
        m_prompter->answer(PromptAnswer::Ok);
        QTest::keyClick(view(w.get()), Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 1);
        // The toolbar asks only with a selection.
        QTest::mouseClick(w->TB_Delete, Qt::LeftButton);
        QCOMPARE(m_prompter->questions().size(), 1);
        // Cancel keeps the selected file; the question named it.
        select(w.get(), {1});
        QTest::mouseClick(w->TB_Delete, Qt::LeftButton);
        QCOMPARE(m_prompter->questions().size(), 2);
        QCOMPARE(m_prompter->questions().last().text, QString("Delete b?"));
        QVERIFY(m_link->log().isEmpty());
        QCOMPARE(w->RpcRows->rowCount(), 2);

        // An empty list: asked, nothing sent.
        w->devicePane->DisconnectRpc();
        m_link->clearLog();
        m_prompter->answer(PromptAnswer::Ok);
        QTest::keyClick(view(w.get()), Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 3);
        QVERIFY(m_link->log().isEmpty());
    }

    void doubleClickReceivesIntoTheWorkFolderAndOpens()
    {
        auto w = openConnected({"a.txt", "b.txt"});
        QVERIFY(w);
        QAbstractItemView *v = view(w.get());
        const QRect cell = v->visualRect(w->RpcList->indexOfRow(1));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, cell.center());
        const QString local = w->TempDir + "/b.txt";
        QCOMPARE(m_link->log(), QStringList{"RequestReceiveFileEx(101,b.txt," + local + ",1)"});
        QCOMPARE(m_shell->opened(), QStringList{local});
        QCOMPARE(test::readFile(local), QByteArray("data of b.txt"));

        expectNoProgramFor(w.get(), "b.txt",
                           [&] { w->devicePane->RpcListDblClick(w->RpcList->indexOfRow(1)); });

        // Refused by the device: nothing opens.
        m_link->script("RequestReceiveFileEx", -9);
        w->devicePane->RpcListDblClick(w->RpcList->indexOfRow(1));
        QCOMPARE(m_shell->opened().size(), 2);

        // Two rows selected: nothing is asked of the device.
        m_link->clearLog();
        select(w.get(), {0, 1});
        w->devicePane->RpcListDblClick(w->RpcList->indexOfRow(0));
        QVERIFY(m_link->log().isEmpty());
    }

    void renameKeepsTheNewNameOnlyWhenTheDeviceTookIt()
    {
        auto w = openConnected({"a.txt", "b.txt"});
        QVERIFY(w);
        test::renameInPlace(w->RpcList, 0, "z.txt");
        QCOMPARE(m_link->log(), QStringList{"RequestRenameFile(101,a.txt,z.txt)"});
        QCOMPARE(w->RpcRows->caption(0), QStringLiteral("z.txt"));

        // The name is taken: the row goes back.
        test::renameInPlace(w->RpcList, 1, "z.txt");
        QCOMPARE(w->RpcRows->caption(1), QStringLiteral("b.txt"));

        // A refresh shows what the device holds.
        w->devicePane->RefreshRpc();
        QCOMPARE(captions(w->RpcRows), (QStringList{"z.txt", "b.txt"}));
        QCOMPARE(m_link->fileNames(), (QStringList{"z.txt", "b.txt"}));
    }

    void listKeysAndTheCaptionEditor()
    {
        useFiles({"a", "b", "c"});
        auto w = open();
        QVERIFY(connectNow(w.get()));
        QSignalSpy copies(w->devicePane, &DevicePane::copyRequested);
        QSignalSpy pastes(w->devicePane, &DevicePane::pasteRequested);
        QAbstractItemView *v = view(w.get());
        v->setFocus();
        w->RpcList->setCurrentRow(0);

        // Ctrl+C ends with the release of Ctrl: that copies.
        QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(copies.size(), 1);
        QTest::keyClick(v, Qt::Key_V);
        QCOMPARE(pastes.size(), 1);
        QTest::keyClick(v, Qt::Key_A);
        QCOMPARE(w->RpcList->selectedRows().size(), 3);

        // Inside the caption editor V, A and Delete are text keys only.
        w->RpcList->setCurrentRow(1);
        w->RpcList->editCurrent();
        QWidget *editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit *>(editor));
        m_link->clearLog();
        QTest::keyClick(editor, Qt::Key_V);
        QTest::keyClick(editor, Qt::Key_A);
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyRelease(editor, Qt::Key_F5);
        QTest::keyRelease(editor, Qt::Key_Control);
        w->devicePane->RpcListKeyUp(Qt::Key_Delete, Qt::NoModifier);
        QCOMPARE(pastes.size(), 1);
        QCOMPARE(copies.size(), 1);
        QVERIFY(m_prompter->questions().isEmpty());
        QCOMPARE(w->RpcList->selectedRows().size(), 1);
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(m_link->calls("RequestDelete").isEmpty());
        QVERIFY(m_link->calls("RequestRename").isEmpty());
    }
};

QTEST_MAIN(DevicePaneTest)
#include "DevicePaneTest.moc"
