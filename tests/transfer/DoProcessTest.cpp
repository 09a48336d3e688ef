// The progress window and its worker inside the real main window, on the
// recording device link and a scripted prompter.
#include "TransferTestSupport.h"
#include "transfer/RunDeviceTransfer.h"
#include "widgets/AnimationStrip.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

namespace
{

const QString LongNameWarning = QStringLiteral("文件名长度不能大于16字节");

QString sendLine(const QString &local, const QString &name, int overwrite)
{
    return QStringLiteral("RequestSendFileEx(101,%1,%2,%3)").arg(local, name).arg(overwrite);
}

QString lookupLine(const QString &name)
{
    return QStringLiteral("RequestLookupFile(101,%1)").arg(name);
}

} // namespace

class DoProcessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TransferFixture> m_fx;
    std::unique_ptr<TFormMain> m_w;
    std::unique_ptr<ModalDriver> m_driver;

    // Local sources for bare device names, in order.
    QStringList pcFiles(const QStringList &names)
    {
        QStringList paths;
        for (const QString &n : names)
            paths << m_fx->pcFile(n);
        return paths;
    }
    void send(const QStringList &sources, const QStringList &names)
    {
        RunDeviceTransfer(*m_w, sources, names, tdSend);
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<test::TransferFixture>();
        m_w = m_fx->open();
        m_driver = std::make_unique<ModalDriver>();
    }
    void cleanup()
    {
        QCOMPARE(m_driver->unexpectedDialogs(), 0);
        m_driver.reset();
        m_w.reset();
        m_fx.reset();
    }

    void emptyListsFinishAndCloseAtTheFirstTick()
    {
        TFormDoProcess form(*m_w, m_w.get());
        QCOMPARE(WorkerState.load(), -1);
        QCOMPARE(form.windowTitle(), QStringLiteral("拷贝文件..."));
        QCOMPARE(form.size(), QSize(388, 125));
        QCOMPARE(form.Animate->size(), QSize(260, 40));
        QCOMPARE(form.butCancel->text(), QStringLiteral("取消(&C)"));
        form.SetLists({}, {});
        QElapsedTimer clock;
        clock.start();
        form.exec();
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(form.labFilename->text(), QStringLiteral("Finish..."));
        QCOMPARE(WorkerState.load(), 0);
        QVERIFY(m_fx->link.log().isEmpty());
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    void disconnectedStartsNothingAndWaitsToBeClosed()
    {
        m_w->RpcConnected = false;
        TFormDoProcess form(*m_w, m_w.get());
        form.SetLists({m_fx->pcFile("a.txt")}, {"a.txt"});
        bool openAfterTicks = false;
        QTimer::singleShot(TFormDoProcess::TickMs * 2 + 200, &form, [&] {
            openAfterTicks = form.isVisible();
            form.close();
        });
        form.exec();
        QVERIFY(openAfterTicks);
        QVERIFY(!form.workerStarted());
        QVERIFY(!form.Animate->isPlaying());
        QCOMPARE(form.labFilename->text(), QString());
        QCOMPARE(WorkerState.load(), -1);
        QVERIFY(m_fx->link.log().isEmpty());
    }

    // 16 CP936 bytes go, 17 do not; a Chinese character counts two bytes.
    void longDeviceNamesAreRefusedWithAWarning()
    {
        const QString ascii16 = QStringLiteral("sixteen-bytes.ab");
        const QString ascii17 = QStringLiteral("seventeen-bytes.a");
        const QString chinese16 = QStringLiteral("八个汉字的文件名");
        const QString chinese18 = QStringLiteral("九个汉字的文件名字");
        const QStringList names{ascii16, ascii17, chinese16, chinese18};
        const QStringList sources = pcFiles(names);
        send(sources, names);
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"),
                 (QStringList{sendLine(sources[0], ascii16, 1), sendLine(sources[2], chinese16, 1)}));
        QCOMPARE(m_fx->link.calls("RequestLookupFile"),
                 (QStringList{lookupLine(ascii16), lookupLine(chinese16)}));
        QCOMPARE(m_fx->prompter.texts(), (QStringList{LongNameWarning, LongNameWarning}));
        QCOMPARE(m_fx->prompter.questions().at(0).title, QStringLiteral("警告"));
        QCOMPARE(m_fx->prompter.questions().at(0).buttons, PromptButtons::Ok);
    }

    // No to all: that file and every later one go without overwrite, without
    // another question or existence test; long names are still refused.
    void noToAllKeepsExistingFilesAndAsksNoMore()
    {
        m_fx->deviceHas({"a.txt", "c.txt"});
        const QStringList names{"a.txt", "seventeen-bytes.a", "b.txt", "c.txt"};
        const QStringList sources = pcFiles(names);
        m_driver->onReplace(ModalDriver::answer("butAllNo"));
        send(sources, names);
        QCOMPARE(m_driver->replaceDialogs(), 1);
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), QStringList{lookupLine("a.txt")});
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"),
                 (QStringList{sendLine(sources[0], "a.txt", 0), sendLine(sources[2], "b.txt", 0),
                              sendLine(sources[3], "c.txt", 0)}));
        QCOMPARE(m_fx->prompter.texts(), QStringList{LongNameWarning});
    }

    void yesToAllOverwritesTheRestWithoutAsking()
    {
        m_fx->deviceHas({"a.txt", "b.txt", "c.txt"});
        const QStringList names{"a.txt", "b.txt", "c.txt", "d.txt"};
        const QStringList sources = pcFiles(names);
        m_driver->onReplace(ModalDriver::answer("butAllYes"));
        send(sources, names);
        QCOMPARE(m_driver->replaceDialogs(), 1);
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), QStringList{lookupLine("a.txt")});
        QStringList expected;
        for (int i = 0; i < names.size(); ++i)
            expected << sendLine(sources[i], names[i], 1);
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"), expected);
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    void closingTheReplaceDialogSkipsTheFileAndTheNextClashIsAskedAgain()
    {
        m_fx->deviceHas({"a.txt", "b.txt"});
        const QStringList names{"a.txt", "b.txt"};
        const QStringList sources = pcFiles(names);
        m_driver->onReplace([](TFormDialogReplace &d) { d.close(); });
        m_driver->onReplace(ModalDriver::answer("butYes"));
        send(sources, names);
        QCOMPARE(m_driver->replaceDialogs(), 2);
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"), QStringList{sendLine(sources[1], "b.txt", 1)});
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    void cancelInTheReplaceDialogEndsTheRun()
    {
        m_fx->deviceHas({"b.txt"});
        const QStringList names{"a.txt", "b.txt", "c.txt"};
        const QStringList sources = pcFiles(names);
        m_driver->onReplace(ModalDriver::answer("butCancel"));
        TFormDoProcess form(*m_w, m_w.get());
        form.SetLists(sources, names);
        form.exec();
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"), QStringList{sendLine(sources[0], "a.txt", 1)});
        QCOMPARE(m_fx->link.calls("RequestLookupFile"),
                 (QStringList{lookupLine("a.txt"), lookupLine("b.txt")}));
        QCOMPARE(form.labFilename->text(), QStringLiteral("Finish..."));
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    // Cancel abandons the file in flight, starts no other, names the
    // abandoned file once the worker has ended, and closes the window.
    void cancelDuringALongFile()
    {
        m_fx->link.makeSlow("big.bin");
        const QStringList names{"big.bin", "after.txt"};
        const QStringList sources = pcFiles(names);
        int gaugeSeen = 0;
        bool playing = false;
        m_driver->whileRunning([&](TFormDoProcess &form) {
            gaugeSeen = form.ProgressBar->value();
            if (gaugeSeen < 5)
                return false;
            playing = form.Animate->isPlaying();
            form.butCancel->click();
            return true;
        });
        QString labelAtSummary;
        m_fx->prompter.onAsk = [&](const QString &) {
            labelAtSummary =
                qobject_cast<TFormDoProcess *>(QApplication::activeModalWidget())->labFilename->text();
        };
        send(sources, names);
        QVERIFY(gaugeSeen >= 5 && gaugeSeen < 100);
        QVERIFY(playing);
        QVERIFY(m_fx->link.stopSeen());
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"), QStringList{sendLine(sources[0], "big.bin", 1)});
        QCOMPARE(WorkerState.load(), 0);
        // One summary naming the abandoned file; the label named it as well.
        const QString line = QStringLiteral("big.bin：") + TransferFailureReason(test::TransferLink::Stopped);
        QCOMPARE(m_fx->prompter.questions().size(), 1);
        QVERIFY(m_fx->prompter.texts().at(0).contains(line));
        QCOMPARE(m_fx->prompter.questions().at(0).title, QStringLiteral("错误"));
        QCOMPARE(labelAtSummary, line);
    }

    // A close request while a file runs: "Stop...", the worker is stopped,
    // and the window stays until it has ended and the pause is over.
    void closeRequestDuringALongFileStopsAndPauses()
    {
        m_fx->link.makeSlow("big.bin");
        const QStringList names{"big.bin", "after.txt"};
        const QStringList sources = pcFiles(names);
        QString labelAfterClose;
        bool openAfterClose = false;
        QElapsedTimer sinceClose;
        m_driver->whileRunning([&](TFormDoProcess &form) {
            if (!form.worker() || form.worker()->Progress.load() < 5)
                return false;
            sinceClose.start();
            form.close();
            labelAfterClose = form.labFilename->text();
            openAfterClose = form.isVisible();
            form.close(); // a second request changes nothing
            return true;
        });
        TFormDoProcess form(*m_w, m_w.get());
        form.SetLists(sources, names);
        form.exec();
        QCOMPARE(labelAfterClose, QStringLiteral("Stop..."));
        QVERIFY(openAfterClose);
        QVERIFY(sinceClose.elapsed() >= TFormDoProcess::ClosePauseMs);
        QVERIFY(m_fx->link.stopSeen());
        QCOMPARE(m_fx->link.calls("RequestSendFileEx").size(), 1);
        QCOMPARE(WorkerState.load(), 0);
        QCOMPARE(form.labFilename->text(), QStringLiteral("Finish..."));
    }

    // Closing the main window mid-run (logout, kill) is held back: the run
    // stops as on a close request, then the main window closes by itself.
    void closingTheMainWindowMidRunStopsTheRunFirst()
    {
        m_fx->link.makeSlow("big.bin");
        const QStringList names{"big.bin", "after.txt"};
        bool closedAtOnce = true;
        QString label;
        m_driver->whileRunning([&](TFormDoProcess &form) {
            if (!form.worker() || form.worker()->Progress.load() < 5)
                return false;
            closedAtOnce = m_w->close();
            label = form.labFilename->text();
            return true;
        });
        const QString workFolder = m_w->TempDir;
        QVERIFY(QFileInfo::exists(workFolder));
        send(pcFiles(names), names);
        QVERIFY(!closedAtOnce);
        QCOMPARE(label, QStringLiteral("Stop..."));
        QVERIFY(m_fx->link.stopSeen());
        QCOMPARE(m_fx->link.calls("RequestSendFileEx").size(), 1);
        // The main window's shut-down follows once the run is over.
        QVERIFY(QFileInfo::exists(workFolder));
        QTRY_VERIFY(!QFileInfo::exists(workFolder));
    }

    // Receiving onto a PC file: Rename is tested against the PC's files, in
    // the destination's folder, and a taken name keeps the dialog open.
    void receiveOntoAnExistingPcFileRenamesAmongThePcFiles()
    {
        m_fx->deviceHas({"r.txt"});
        const QString existing = m_fx->pcFile("r.txt", "mine");
        m_fx->pcFile("taken.txt", "also mine");
        m_fx->prompter.answerText("taken.txt");
        m_fx->prompter.answerText("free.txt");
        QString shownAfterFirstRename;
        bool openAfterFirstRename = false;
        m_driver->onReplace([&](TFormDialogReplace &d) {
            ModalDriver::click(d, "butRename");
            shownAfterFirstRename = d.LabDesc->text();
            openAfterFirstRename = d.isVisible();
            ModalDriver::click(d, "butRename");
        });
        RunDeviceTransfer(*m_w, {"r.txt"}, {existing}, tdReceive);
        QCOMPARE(shownAfterFirstRename, m_fx->pcPath("taken.txt"));
        QVERIFY(openAfterFirstRename);
        QCOMPARE(m_fx->link.logWithoutListing(),
                 QStringList{
                     QStringLiteral("RequestReceiveFileEx(101,r.txt,%1,1)").arg(m_fx->pcPath("free.txt"))});
        QCOMPARE(m_fx->read(existing), QByteArray("mine"));
        QCOMPARE(m_fx->read(m_fx->pcPath("taken.txt")), QByteArray("also mine"));
        QCOMPARE(m_fx->read(m_fx->pcPath("free.txt")), QByteArray("data of r.txt"));
    }

    // Failures are read: the run goes on, the label names the failed file
    // (its gauge is not shown full), and one summary lists every failure.
    void failedFilesAreNamedAndListedOnce()
    {
        const QStringList names{"a.txt", "b.txt", "c.txt", "d.txt"};
        const QStringList sources = pcFiles(names);
        m_fx->link.script("RequestSendFileEx", 1);
        m_fx->link.script("RequestSendFileEx", -7); // transfer failed
        m_fx->link.script("RequestSendFileEx", 1);
        m_fx->link.script("RequestSendFileEx", -4); // name refused
        QString labelAtSummary;
        int gaugeAtSummary = -1;
        m_fx->prompter.onAsk = [&](const QString &) {
            auto *form = qobject_cast<TFormDoProcess *>(QApplication::activeModalWidget());
            labelAtSummary = form->labFilename->text();
            gaugeAtSummary = form->ProgressBar->value();
        };
        send(sources, names);
        QCOMPARE(m_fx->link.calls("RequestSendFileEx").size(), 4);
        QCOMPARE(m_fx->prompter.questions().size(), 1);
        const QString summary = m_fx->prompter.texts().at(0);
        const QString failedB = QStringLiteral("b.txt：") + TransferFailureReason(-7);
        const QString failedD = QStringLiteral("d.txt：") + TransferFailureReason(-4);
        QVERIFY2(summary.contains(failedB) && summary.contains(failedD), qPrintable(summary));
        QVERIFY(!summary.contains("a.txt") && !summary.contains("c.txt"));
        QCOMPARE(labelAtSummary, failedD);
        QVERIFY(gaugeAtSummary < 100);
        QVERIFY(TransferFailureReason(-1) != TransferFailureReason(-7));
    }

    // Taken down from outside while a file runs, the window stops its worker
    // and waits for it instead of leaving it behind.
    void aWindowTakenDownMidFileStopsAndAwaitsItsWorker()
    {
        m_fx->link.makeSlow("big.bin");
        const QStringList names{"big.bin", "after.txt"};
        auto form = std::make_unique<TFormDoProcess>(*m_w, m_w.get());
        form->SetLists(pcFiles(names), names);
        form->show();
        QTRY_VERIFY(form->worker() && form->worker()->Progress.load() > 0);
        QPointer<TProcessThread> worker = form->worker();
        form.reset();
        QVERIFY(m_fx->link.stopSeen());
        QVERIFY(worker.isNull() || worker->isFinished());
        QCOMPARE(m_fx->link.calls("RequestSendFileEx").size(), 1);
        QTRY_VERIFY(worker.isNull()); // it frees itself
    }
};

QTEST_MAIN(DoProcessTest)
#include "DoProcessTest.moc"
