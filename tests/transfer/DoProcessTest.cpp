// The progress window and its worker inside the real main window, on the
// recording device link and a scripted prompter.
#include "TransferTestSupport.h"
#include "desktop/QtPrompter.h"
#include "device/DevicePane.h"
#include "engine/TransferExecutor.h"
#include "transfer/RunDeviceTransfer.h"
#include "widgets/AnimationStrip.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

namespace
{
QString shownTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss");
}
} // namespace

class DoProcessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TransferFixture> m_fx;
    std::unique_ptr<TFormMain> m_w;
    std::unique_ptr<ModalDriver> m_driver;

    // Sends PC files of these names to the device under the same names.
    void sendFiles(const QStringList &names)
    {
        QStringList sources;
        for (const QString &n : names)
            sources << m_fx->pcFile(n);
        RunDeviceTransfer(m_w->transferContext(), m_w.get(), sources, names, tdSend);
    }
    // The send calls made, as "name overwrite".
    QStringList sends() const
    {
        QStringList out;
        for (const QString &call : m_fx->link.calls("RequestSendFileEx")) {
            const QStringList args = call.chopped(1).split(',');
            out << args.at(2) + ' ' + args.at(3);
        }
        return out;
    }
    QStringList lookups(const QStringList &names) const
    {
        QStringList out;
        for (const QString &n : names)
            out << "RequestLookupFile(101," + n + ")";
        return out;
    }
    TFormDoProcess *progressWindow() const
    {
        return qobject_cast<TFormDoProcess *>(QApplication::activeModalWidget());
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
        QCOMPARE(m_driver->unexpected, 0);
        m_driver.reset();
        m_w.reset();
        m_fx.reset();
    }

    void emptyListsFinishAndCloseAtTheFirstTick()
    {
        TFormDoProcess form(m_w->transferContext(), m_w.get());
        QCOMPARE(WorkerState.load(), -1);
        QCOMPARE(form.size(), QSize(420, 178));
        QCOMPARE(form.Animate->size(), QSize(260, 40));
        // The sheet flies the way the files go; a run through the relay
        // folder shows the image at the far end.
        using Strip = AnimationStrip;
        QVERIFY((form.Animate->route() == Strip::Route{Strip::LeftEnd::Computer, Strip::Flight::ToPalmtop}));
        form.SetDirection(tdReceive);
        QVERIFY(
            (form.Animate->route() == Strip::Route{Strip::LeftEnd::Computer, Strip::Flight::FromPalmtop}));
        form.SetLists({"A.TXT"}, {m_w->transferExecutor().relayFolder() + "/A.TXT"});
        QVERIFY(
            (form.Animate->route() == Strip::Route{Strip::LeftEnd::DiskImage, Strip::Flight::FromPalmtop}));
        form.SetLists({}, {});
        QElapsedTimer clock;
        clock.start();
        form.exec();
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(form.labFilename->text(), QStringLiteral("Finish..."));
        QCOMPARE(WorkerState.load(), 0);
        QVERIFY(m_fx->link.log().isEmpty() && m_fx->prompter.questions().isEmpty());
    }

    void disconnectedStartsNothingAndWaitsToBeClosed()
    {
        m_w->deviceSession().markLost();
        TFormDoProcess form(m_w->transferContext(), m_w.get());
        form.SetLists({m_fx->pcFile("a.txt")}, {"a.txt"});
        bool openAfterTicks = false;
        QTimer::singleShot(2 * TFormDoProcess::TickMs + 200, &form, [&] {
            openAfterTicks = form.isVisible();
            form.close();
        });
        form.exec();
        QVERIFY(openAfterTicks && !form.workerStarted() && !form.Animate->isPlaying());
        QCOMPARE(WorkerState.load(), -1);
        QVERIFY(m_fx->link.log().isEmpty());
    }

    // No to all: that file and every later one go without overwrite, with no
    // more questions or existence tests. Names over 16 CP936 bytes are not
    // sent, nor counted in "File i of n" or the total; one summary at the end
    // lists them all (a Chinese character is 2 bytes).
    void noToAllAndTheDeviceNameLimit()
    {
        m_fx->deviceHas({"a.txt", "c.txt"});
        TransferCounts atQuestion;
        m_driver->onReplace([&](TFormDialogReplace &d) {
            atQuestion = m_w->findChild<TFormDoProcess *>()->worker()->counts();
            ModalDriver::click(d, "butAllNo");
        });
        sendFiles({"a.txt", "sixteen-bytes.ab", "seventeen-bytes.a", "八个汉字的文件名", "九个汉字的文件名字",
                   "b.txt", "c.txt"});
        QCOMPARE(m_driver->dialogs, 1);
        QCOMPARE(atQuestion.fileCount, 5);
        QCOMPARE(atQuestion.runTotal, 5 * 7);
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), lookups({"a.txt"}));
        QCOMPARE(sends(),
                 (QStringList{"a.txt 0", "sixteen-bytes.ab 0", "八个汉字的文件名 0", "b.txt 0", "c.txt 0"}));
        QCOMPARE(m_fx->prompter.questions().size(), 1);
        const QString summary = m_fx->prompter.texts().at(0);
        const QString tooLong = ": the name is longer than 16 bytes";
        QVERIFY2(summary.contains("seventeen-bytes.a" + tooLong) &&
                     summary.contains("九个汉字的文件名字" + tooLong),
                 qPrintable(summary));
        QVERIFY(!summary.contains("sixteen-bytes.ab"));
    }

    // The question shows each file's size and date under its path, the newer
    // one marked, whichever way the copy goes; the device tells its side
    // through one lookup.
    void replaceQuestionShowsBothFilesFacts_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<qint64>("deviceMs");
        QTest::addColumn<bool>("deviceNewer");
        const qint64 pcMs = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).toMSecsSinceEpoch();
        QTest::newRow("to the palmtop, its file newer") << int(tdSend) << pcMs + 3600000 << true;
        QTest::newRow("to the palmtop, the PC file newer") << int(tdSend) << pcMs - 86400000 << false;
        QTest::newRow("to the PC, the palmtop file newer") << int(tdReceive) << pcMs + 5000 << true;
        QTest::newRow("to the PC, the same time") << int(tdReceive) << pcMs + 1000 << false;
    }
    void replaceQuestionShowsBothFilesFacts()
    {
        QFETCH(int, direction);
        QFETCH(qint64, deviceMs);
        QFETCH(bool, deviceNewer);
        const qint64 pcMs = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).toMSecsSinceEpoch();
        const QString pcPath = m_fx->pcFile("a.txt", "1234567");
        QFile pcFile(pcPath);
        QVERIFY(pcFile.open(QIODevice::ReadWrite) &&
                pcFile.setFileTime(QDateTime::fromMSecsSinceEpoch(pcMs), QFileDevice::FileModificationTime));
        pcFile.close();
        m_fx->link.setFiles({{"a.txt", deviceMs, 12345}});
        QString source, destination;
        m_driver->onReplace([&](TFormDialogReplace &d) {
            source = d.LabSrcFacts->text();
            destination = d.LabDescFacts->text();
            ModalDriver::click(d, "butNo");
        });
        const bool sending = direction == tdSend;
        RunDeviceTransfer(m_w->transferContext(), m_w.get(), {sending ? pcPath : "a.txt"},
                          {sending ? "a.txt" : pcPath}, TransferDirection(direction));

        const QString pcSaid = "7 bytes, " + shownTime(pcMs);
        const QString deviceSaid = "12,345 bytes, " + shownTime(deviceMs);
        const bool same = qAbs(deviceMs - pcMs) <= 2000;
        const QString pcShown = deviceNewer || same ? pcSaid : pcSaid + " (newer)";
        const QString deviceShown = deviceNewer ? deviceSaid + " (newer)" : deviceSaid;
        QCOMPARE(source, sending ? pcShown : deviceShown);
        QCOMPARE(destination, sending ? deviceShown : pcShown);
        QCOMPARE(m_fx->link.calls("RequestFileInfo"), QStringList{"RequestFileInfo(101,a.txt)"});
        QVERIFY(m_fx->link.calls("Request" + QString(sending ? "Send" : "Receive")).isEmpty());
    }

    void yesToAllOverwritesTheRestWithoutAsking()
    {
        m_fx->deviceHas({"a.txt", "b.txt", "c.txt"});
        m_driver->onReplace(ModalDriver::answer("butAllYes"));
        sendFiles({"a.txt", "b.txt", "c.txt", "d.txt"});
        QCOMPARE(m_driver->dialogs, 1);
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), lookups({"a.txt"}));
        QCOMPARE(sends(), (QStringList{"a.txt 1", "b.txt 1", "c.txt 1", "d.txt 1"}));
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    void closingTheReplaceDialogSkipsTheFileAndAsksAgainLater()
    {
        m_fx->deviceHas({"a.txt", "b.txt"});
        m_driver->onReplace([](TFormDialogReplace &d) { d.close(); });
        m_driver->onReplace(ModalDriver::answer("butYes"));
        sendFiles({"a.txt", "b.txt"});
        QCOMPARE(m_driver->dialogs, 2);
        QCOMPARE(sends(), QStringList{"b.txt 1"});
    }

    void cancelInTheReplaceDialogEndsTheRun()
    {
        m_fx->deviceHas({"b.txt"});
        m_driver->onReplace(ModalDriver::answer("butCancel"));
        sendFiles({"a.txt", "b.txt", "c.txt"});
        QCOMPARE(sends(), QStringList{"a.txt 1"});
        QCOMPARE(m_fx->link.calls("RequestLookupFile"), lookups({"a.txt", "b.txt"}));
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    // Cancel, a close request and closing the main window all abandon the
    // file in flight and start no other. A stop is no failure: no box. A
    // close request shows "Stop..." long enough to be read; every way closes
    // the window within a second; the main window closes after the run.
    void stoppingDuringALongFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("main window closed") << "main";
    }
    void stoppingDuringALongFile()
    {
        QFETCH(QString, how);
        m_fx->link.makeSlow("big.bin");
        QString label;
        bool mainClosedAtOnce = false, playing = false;
        QElapsedTimer sinceStop;
        m_driver->whileRunning([&](TFormDoProcess &form) {
            if (form.ProgressBar->value() < 5)
                return false;
            playing = form.Animate->isPlaying();
            sinceStop.start();
            if (how == "cancel")
                form.butCancel->click();
            else if (how == "close")
                form.close();
            else
                mainClosedAtOnce = m_w->close();
            label = form.labFilename->text();
            form.close(); // a second request changes nothing
            return true;
        });
        const QString workFolder = m_w->TempDir;
        sendFiles({"big.bin", "after.txt"});
        const qint64 closedAfter = sinceStop.elapsed();

        QVERIFY(playing && m_fx->link.stopSeen());
        QCOMPARE(sends(), QStringList{"big.bin 1"});
        QCOMPARE(WorkerState.load(), 0);
        QVERIFY(m_fx->prompter.questions().isEmpty());
        QVERIFY2(closedAfter < 1000 + 300, qPrintable(QString::number(closedAfter)));
        if (how != "cancel") {
            QCOMPARE(label, QStringLiteral("Stop..."));
            QVERIFY(closedAfter >= TFormDoProcess::ClosePauseMs);
        }
        QVERIFY(!mainClosedAtOnce);
        if (how == "main")
            QTRY_VERIFY(!QFileInfo::exists(workFolder)); // the main window's shut-down ran
        else
            QVERIFY(QFileInfo::exists(workFolder));
    }

    // A shut-down (a kill, logging out) while the replace question is open
    // does not wait for an answer: the question goes, nothing more is sent,
    // and the main window's shut-down runs.
    void closingTheMainWindowTakesDownAnOpenReplaceQuestion()
    {
        m_fx->deviceHas({"a.txt"});
        const QString workFolder = m_w->TempDir;
        bool questionGone = false;
        m_driver->onReplace([&](TFormDialogReplace &d) {
            m_w->close();
            questionGone = !d.isVisible();
        });
        sendFiles({"a.txt", "b.txt"});
        QVERIFY(questionGone);
        QCOMPARE(sends(), QStringList{});
        QTRY_VERIFY(!QFileInfo::exists(workFolder));
    }

    // Receiving onto a PC file: Rename looks among the PC's files, in the
    // destination's folder, and a taken name keeps the dialog open. The run's
    // total comes from the device pane's listing before any file is in.
    void receiveOntoAnExistingPcFileRenamesAmongThePcFiles()
    {
        m_fx->deviceHas({"r.txt"});
        m_w->devicePane->RefreshRpc();
        const QString existing = m_fx->pcFile("r.txt", "mine");
        m_fx->pcFile("taken.txt", "also mine");
        m_fx->prompter.answerText("taken.txt");
        m_fx->prompter.answerText("free.txt");
        QString shownAfterTaken;
        qint64 totalAtQuestion = -2;
        m_driver->onReplace([&](TFormDialogReplace &d) {
            totalAtQuestion = m_w->findChild<TFormDoProcess *>()->worker()->counts().runTotal;
            ModalDriver::click(d, "butRename");
            shownAfterTaken = d.isVisible() ? d.LabDesc->text() : QString();
            ModalDriver::click(d, "butRename");
        });
        RunDeviceTransfer(m_w->transferContext(), m_w.get(), {"r.txt"}, {existing}, tdReceive);
        QCOMPARE(shownAfterTaken, m_fx->pcPath("taken.txt"));
        QCOMPARE(totalAtQuestion, qint64(10));
        QCOMPARE(m_fx->link.logWithoutListing(),
                 (QStringList{"RequestFileInfo(101,r.txt)",
                              "RequestReceiveFileEx(101,r.txt," + m_fx->pcPath("free.txt") + ",1)"}));
        QCOMPARE(m_fx->read(existing), QByteArray("mine"));
        QCOMPARE(m_fx->read(m_fx->pcPath("free.txt")), QByteArray("data of r.txt"));
    }

    // Results are read: the run goes on after a failure, and one box lists
    // the failed files once the progress window has closed.
    void failedFilesAreNamedAndListedOnce()
    {
        for (int result : {1, -9, 1, -4})
            m_fx->link.script("RequestSendFileEx", result);
        bool windowOpenAtSummary = true;
        m_fx->prompter.onAsk = [&] { windowOpenAtSummary = progressWindow() != nullptr; };
        sendFiles({"a.txt", "b.txt", "c.txt", "d.txt"});
        QCOMPARE(sends().size(), 4);
        QCOMPARE(m_fx->prompter.questions().size(), 1);
        QVERIFY(!windowOpenAtSummary);
        const QString summary = m_fx->prompter.texts().at(0);
        QCOMPARE(summary, "These files were not copied:\n\nb.txt: " +
                              DeviceResult::FromLibrary(-9).text(LanguageTable()) +
                              "\nd.txt: " + DeviceResult::FromLibrary(-4).text(LanguageTable()));
    }

    // Many failures: the first ten with their reasons and how many more. The
    // box waits for nobody: the run returns with it open, and closing the
    // main window (a logout, a kill) takes it along and shuts down.
    void manyFailuresInOneBoxThatNeverHoldsUpTheShutDown()
    {
        QStringList names;
        for (int i = 0; i < 25; ++i) {
            names << QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0'));
            m_fx->link.script("RequestSendFileEx", -9);
        }
        m_w->show();
        QtPrompter boxes(m_w.get());
        const TransferContext &c = m_w->transferContext();
        const TransferContext context{c.window,   c.device,   c.image,     &boxes,
                                      c.language, c.settings, c.workFolder};
        QStringList sources;
        for (const QString &n : names)
            sources << m_fx->pcFile(n);
        RunDeviceTransfer(context, m_w.get(), sources, names, tdSend);

        QMessageBox *box = m_w->findChild<QMessageBox *>();
        QVERIFY(box && box->isVisible() && !box->isModal());
        const QStringList lines = box->text().split('\n');
        QCOMPARE(lines.size(), 2 + 10 + 1);
        QCOMPARE(lines.at(2), "f00.txt: " + DeviceResult::FromLibrary(-9).text(LanguageTable()));
        QCOMPARE(lines.at(11), "f09.txt: " + DeviceResult::FromLibrary(-9).text(LanguageTable()));
        QCOMPARE(lines.at(12), QStringLiteral("... and 15 more"));
        // Exactly as many as are listed: each one, and no line of more.
        const QStringList all =
            TransferFailureSummary(LanguageTable(),
                                   QList<TransferFailure>(MaxListedFailures, {"f.txt", "why"}))
                .split('\n');
        QCOMPARE(all.size(), 2 + MaxListedFailures);
        QCOMPARE(all.last(), QStringLiteral("f.txt: why"));

        const QString workFolder = m_w->TempDir;
        QPointer<QMessageBox> open = box;
        QVERIFY(m_w->close());
        QTRY_VERIFY(open.isNull());
        QVERIFY(!QFileInfo::exists(workFolder));
    }

    // Taken down from outside mid-file, the window stops and awaits its worker.
    void aWindowTakenDownMidFileStopsItsWorker()
    {
        m_fx->link.makeSlow("big.bin");
        auto form = std::make_unique<TFormDoProcess>(m_w->transferContext(), m_w.get());
        form->SetLists({m_fx->pcFile("big.bin"), m_fx->pcFile("after.txt")}, {"big.bin", "after.txt"});
        form->show();
        QTRY_VERIFY(form->worker() && form->worker()->Progress.load() > 0);
        QPointer<TProcessThread> worker = form->worker();
        form.reset();
        QVERIFY(m_fx->link.stopSeen() && (worker.isNull() || worker->isFinished()));
        QCOMPARE(sends(), QStringList{"big.bin 1"});
        QTRY_VERIFY(worker.isNull()); // it frees itself
    }
};

QTEST_MAIN(DoProcessTest)
#include "DoProcessTest.moc"
