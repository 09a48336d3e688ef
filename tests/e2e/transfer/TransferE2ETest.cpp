// Device runs of the real main window against vexo-deviced on the simulated
// serial line: several files each way, with the progress window's counts,
// Cancel in the middle of a large one, and a device that vanishes mid-run.
#include "../SimulatedDevice.h"
#include "TransferTestSupport.h"
#include "WindowTestSupport.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/LinkReconnector.h"
#include "engine/common.h"
#include "platform/LibDeviceLink.h"
#include "transfer/RunDeviceTransfer.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileRowModel.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

using namespace vexo;
using test::ModalDriver;

namespace
{

// A fast line keeps the test short; the large file still takes seconds.
constexpr double LineBytesPerSecond = 100000;
constexpr int LargeFileBytes = 640 * 1024;
constexpr int CancelAtPercent = 40;
// A file that takes about a second on the line, so it can be hit mid-way.
constexpr int SecondFileBytes = 96 * 1024;

using test::entries;
using test::randomBytes;

} // namespace

class TransferE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root, m_pc; // the device's and the PC's folders
    test::SimulatedDevice m_device;
    test::MemoryProfileFiles m_files;
    std::unique_ptr<test::FakeSystemPaths> m_paths;
    test::ObservingPrompter m_prompter;
    test::FakeDesktopShell m_shell;
    LibDeviceLink m_link;
    std::unique_ptr<TFormMain> m_w;

    QString dev(const QString &name) const { return m_root + "/" + name; }
    QString pc(const QString &name) const { return m_pc + "/" + name; }

    // Runs the lists, says Yes to the large file's clash, presses Cancel once
    // it is CancelAtPercent through, and checks what the window thread did
    // and what the progress window said about the large file meanwhile.
    void runAndCancel(const QStringList &sources, const QStringList &destinations,
                      TransferDirection direction, const QString &large, qint64 runBytes)
    {
        m_prompter = test::ObservingPrompter();
        ModalDriver driver;
        driver.onReplace(ModalDriver::answer("butYes"));
        QElapsedTimer sinceCancel;
        QSet<int> gauge;
        QString fileText, runText;
        auto largeInFlight = [&] {
            auto *form = qobject_cast<TFormDoProcess *>(QApplication::activeModalWidget());
            const int progress = form && form->worker() ? form->worker()->Progress.load() : 0;
            return form && form->labFilename->text() == large && progress > 0 && progress < 100;
        };
        driver.whileRunning([&](TFormDoProcess &form) {
            if (!largeInFlight())
                return false;
            gauge.insert(form.ProgressBar->value());
            if (form.worker()->Progress.load() < CancelAtPercent)
                return false;
            fileText = form.labFileCount->text();
            runText = form.labRun->text();
            sinceCancel.start();
            form.butCancel->click();
            return true;
        });
        // A timer of the main window, behind the modal progress window.
        int ticks = 0;
        QTimer mainTimer(m_w.get());
        connect(&mainTimer, &QTimer::timeout, m_w.get(), [&] {
            if (!sinceCancel.isValid() && largeInFlight())
                m_w->setStatusText(QString::number(++ticks));
        });
        mainTimer.start(50);

        RunDeviceTransfer(m_w->transferContext(), m_w.get(), sources, destinations, direction);
        qInfo("closed %lld ms after Cancel; %d main-window ticks and %d gauge values during the large file;"
              " \"%s\" \"%s\"",
              sinceCancel.isValid() ? sinceCancel.elapsed() : -1, ticks, int(gauge.size()),
              qPrintable(fileText), qPrintable(runText));
        QCOMPARE(driver.dialogs, 1);
        // A stop is no failure: no box.
        QVERIFY2(m_prompter.questions().isEmpty(), qPrintable(m_prompter.texts().join('|')));
        QVERIFY2(sinceCancel.isValid() && sinceCancel.elapsed() < 1000,
                 "the window closes within 1 s of Cancel");
        // The window thread kept serving its own timers while the file crossed.
        QVERIFY(ticks >= 10 && gauge.size() >= 2);

        // "File 3 of 3  ·  250 KB of 640 KB" from the library's own count.
        const QString sep = QString::fromUtf8("  ·  ");
        const QRegularExpression fileLine("^File 3 of 3" + sep + "(\\d+) KB of 640 KB$");
        const auto file = fileLine.match(fileText);
        QVERIFY2(file.hasMatch(), qPrintable(fileText));
        QVERIFY(file.captured(1).toInt() > 0 && file.captured(1).toInt() < 640);
        // "All: 270 KB of 662 KB  ·  95 KB/s  ·  4 s left": the run's total
        // known from the start, a speed near the line's and the time left at it.
        const QRegularExpression runLine("^All: (\\d+) KB of (\\d+) KB" + sep + "(\\d+) KB/s" + sep +
                                         "(\\d+) s left$");
        const auto run = runLine.match(runText);
        QVERIFY2(run.hasMatch(), qPrintable(runText));
        QCOMPARE(run.captured(2).toInt(), int(runBytes / 1024));
        const double speed = run.captured(3).toDouble() * 1024;
        QVERIFY2(speed > 0.4 * LineBytesPerSecond && speed < 1.5 * LineBytesPerSecond, qPrintable(runText));
        const double left = (run.captured(2).toDouble() - run.captured(1).toDouble()) * 1024 / speed;
        QVERIFY2(qAbs(run.captured(4).toInt() - left) <= 1.5, qPrintable(runText));
    }

    // Runs the lists while `watch` looks at the progress window every few ms;
    // returns the labels it showed, in order, each once.
    QStringList runWatching(const QStringList &sources, const QStringList &destinations,
                            TransferDirection direction, const std::function<void(TFormDoProcess &)> &watch)
    {
        m_prompter = test::ObservingPrompter();
        QStringList labels;
        ModalDriver driver;
        driver.whileRunning([&](TFormDoProcess &form) {
            if (labels.isEmpty() || labels.last() != form.labFilename->text())
                labels << form.labFilename->text();
            watch(form);
            return false;
        });
        RunDeviceTransfer(m_w->transferContext(), m_w.get(), sources, destinations, direction);
        return labels;
    }
    // Kills the server once `name` is a third through.
    std::function<bool(TFormDoProcess &)> killDuring(const QString &name)
    {
        return [this, name](TFormDoProcess &form) {
            if (form.labFilename->text() != name || !form.worker() || form.worker()->Progress.load() < 30)
                return false;
            m_device.killServer();
            return true;
        };
    }
    QString reconnectingText() const
    {
        return m_w->language.window(QStringLiteral("Reconnecting")).section(QStringLiteral("%1"), 0, 0);
    }
    QStringList deviceRows() const
    {
        QStringList listed;
        for (int i = 0; i < m_w->RpcRows->rowCount(); ++i)
            listed << m_w->RpcRows->caption(i);
        return listed;
    }

private slots:
    // A test that left the device dead brings it back for the next.
    void init()
    {
        m_w->settings.ReconnectSeconds = Settings().ReconnectSeconds;
        if (!m_device.serverRunning()) {
            QVERIFY(m_device.startServer());
            QVERIFY(test::SimulatedDevice::connect(*m_w));
        }
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.filePath("device");
        m_pc = m_dir.filePath("pc");
        for (const QString &folder : {m_root, m_pc, m_dir.filePath("tmp")})
            QVERIFY(QDir().mkpath(folder));
        std::string error;
        QVERIFY2(m_device.start(VEXO_DEVICED, m_root, LineBytesPerSecond, &error), error.c_str());

        m_paths = std::make_unique<test::FakeSystemPaths>(m_dir.path() + "/", m_dir.filePath("tmp") + "/");
        m_files.setContent(m_dir.filePath("VexoFile.ini"),
                           "[Setting]\nAutoRpc=0\nAutoVDisk=0\nComport=1\n[Ports]\nCOM1=" + m_device.port() +
                               "\n");
        m_w = std::make_unique<TFormMain>(
            PlatformServices{&m_files, m_paths.get(), &m_prompter, &m_shell, &m_link});
        m_w->show();
        QVERIFY(test::SimulatedDevice::connect(*m_w));
    }

    void cleanupTestCase()
    {
        m_w.reset();
        m_device.stop();
    }

    // The small files arrive; the device keeps its earlier big.bin, and no
    // partial file is left. The run ends with a fresh listing.
    void sendSeveralFilesAndCancelTheLargeOne()
    {
        test::putFile(dev("big.bin"), "the device's own big.bin");
        test::putFile(dev("keep.txt"), "kept");
        const QByteArray one = randomBytes(3000, 1), two = randomBytes(20000, 2);
        test::putFile(pc("one.txt"), one);
        test::putFile(pc("two.txt"), two);
        test::putFile(pc("big.bin"), randomBytes(LargeFileBytes, 3));

        runAndCancel({pc("one.txt"), pc("two.txt"), pc("big.bin")}, {"one.txt", "two.txt", "big.bin"}, tdSend,
                     "big.bin", 3000 + 20000 + LargeFileBytes);
        const QStringList expected{"big.bin", "keep.txt", "one.txt", "two.txt"};
        QTRY_COMPARE(entries(m_root), expected);
        QCOMPARE(test::TransferFixture::read(dev("one.txt")), one);
        QCOMPARE(test::TransferFixture::read(dev("two.txt")), two);
        QCOMPARE(test::TransferFixture::read(dev("big.bin")), QByteArray("the device's own big.bin"));
        QStringList listed;
        for (int i = 0; i < m_w->RpcRows->rowCount(); ++i)
            listed << m_w->RpcRows->caption(i);
        listed.sort();
        QCOMPARE(listed, expected);
    }

    // The other way: the PC keeps its earlier rbig.bin and gets no partial file.
    void receiveSeveralFilesAndCancelTheLargeOne()
    {
        const QByteArray r1 = randomBytes(5000, 4), r2 = randomBytes(30000, 5);
        test::putFile(dev("r1.txt"), r1);
        test::putFile(dev("r2.txt"), r2);
        test::putFile(dev("rbig.bin"), randomBytes(LargeFileBytes, 6));
        test::putFile(pc("rbig.bin"), "the PC's own rbig.bin");
        const QStringList deviceBefore = entries(m_root);
        QStringList pcAfter = entries(m_pc) + QStringList{"r1.txt", "r2.txt"};
        pcAfter.sort();

        runAndCancel({"r1.txt", "r2.txt", "rbig.bin"}, {pc("r1.txt"), pc("r2.txt"), pc("rbig.bin")},
                     tdReceive, "rbig.bin", 5000 + 30000 + LargeFileBytes);
        QTRY_COMPARE(entries(m_pc), pcAfter);
        QCOMPARE(test::TransferFixture::read(pc("r1.txt")), r1);
        QCOMPARE(test::TransferFixture::read(pc("r2.txt")), r2);
        QCOMPARE(test::TransferFixture::read(pc("rbig.bin")), QByteArray("the PC's own rbig.bin"));
        QCOMPARE(entries(m_root), deviceBefore);
    }

    // The device dies during the second file and is back 2 s later: the run
    // waits, carries on with that file and the rest, and ends with every
    // file complete, no failure box and the pane connected and listed.
    void aDeviceThatComesBackGetsEveryFile_data()
    {
        QTest::addColumn<bool>("send");
        QTest::newRow("send") << true;
        QTest::newRow("receive") << false;
    }
    void aDeviceThatComesBackGetsEveryFile()
    {
        QFETCH(bool, send);
        const QString from = send ? m_pc : m_root, to = send ? m_root : m_pc;
        const QStringList names{QString("back1-%1.bin").arg(int(send)),
                                QString("back2-%1.bin").arg(int(send)),
                                QString("back3-%1.bin").arg(int(send))};
        QStringList sources, destinations;
        QList<QByteArray> contents;
        for (int i = 0; i < names.size(); ++i) {
            contents << randomBytes(SecondFileBytes, 10 + i + 3 * send);
            test::putFile(from + "/" + names[i], contents.last());
            sources << (send ? from + "/" + names[i] : names[i]);
            destinations << (send ? names[i] : to + "/" + names[i]);
        }
        QTimer restart;
        restart.setSingleShot(true);
        connect(&restart, &QTimer::timeout, this, [this] { m_device.startServer(); });
        auto kill = killDuring(names[1]);
        bool restored = false;
        const QStringList labels =
            runWatching(sources, destinations, send ? tdSend : tdReceive, [&](TFormDoProcess &form) {
                if (kill && kill(form)) {
                    kill = nullptr;
                    restart.start(2000);
                }
                restored = restored || form.linkRestored();
            });
        QVERIFY2(!kill, "the device was killed mid-file");
        QVERIFY2(m_prompter.questions().isEmpty(), qPrintable(m_prompter.texts().join('\n')));
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(test::TransferFixture::read(to + "/" + names[i]), contents[i]);
        QVERIFY2(restored, qPrintable(labels.join(" | ")));
        QVERIFY(m_w->deviceSession().RpcConnected());
        QTRY_VERIFY(deviceRows().contains(names[2]) || !send);
        QVERIFY(deviceRows().contains(names[0]));
    }

    // Another terminal takes the first one's place while the link is away:
    // nothing of the run goes to it, and the failure list says why.
    void anotherPalmtopAfterTheReconnectEndsTheRun()
    {
        const QString other = m_dir.filePath("other");
        QVERIFY(QDir().mkpath(other));
        for (const char *name : {"s1.bin", "s2.bin", "s3.bin"})
            test::putFile(pc(name), randomBytes(SecondFileBytes, 40));
        QTimer swap;
        swap.setSingleShot(true);
        connect(&swap, &QTimer::timeout, this, [&] { m_device.startServerOn(other); });
        auto kill = killDuring("s2.bin");
        runWatching({pc("s1.bin"), pc("s2.bin"), pc("s3.bin")}, {"s1.bin", "s2.bin", "s3.bin"}, tdSend,
                    [&](TFormDoProcess &form) {
                        if (kill && kill(form)) {
                            kill = nullptr;
                            swap.start(1000);
                        }
                    });
        QVERIFY2(!kill, "the device was killed mid-file");
        QCOMPARE(m_prompter.questions().size(), 1);
        const QString text = m_prompter.texts().at(0);
        QVERIFY2(
            text.contains("another palmtop answered on COM1; 1 files were copied to the first one, 2 were "
                          "not copied"),
            qPrintable(text));
        QCOMPARE(entries(other), QStringList());
        QVERIFY(!m_w->deviceSession().RpcConnected());
        // The next test meets the first palmtop again.
        m_device.killServer();
    }

    // Cancel while the run waits for the device ends it within a second,
    // also in the middle of a try; the pane shows the link lost.
    void cancelWhileReconnectingEndsAtOnce()
    {
        test::putFile(pc("c1.bin"), randomBytes(SecondFileBytes, 20));
        test::putFile(pc("c2.bin"), randomBytes(3000, 21));
        QElapsedTimer sinceCancel, waiting;
        QString captionWhileWaiting;
        auto kill = killDuring("c1.bin");
        runWatching({pc("c1.bin"), pc("c2.bin")}, {"c1.bin", "c2.bin"}, tdSend, [&](TFormDoProcess &form) {
            if (kill && kill(form))
                kill = nullptr;
            if (!kill && !waiting.isValid() && form.labFilename->text().startsWith(reconnectingText())) {
                waiting.start();
                captionWhileWaiting = m_w->PRpcStatus->text();
            }
            // Just after the second try has begun, so the click lands in it.
            constexpr int secondTry = LinkReconnector::TryTimeoutMs + LinkReconnector::PauseMs + 100;
            if (waiting.isValid() && waiting.elapsed() > secondTry && !sinceCancel.isValid()) {
                sinceCancel.start();
                form.butCancel->click();
            }
        });
        QVERIFY(sinceCancel.isValid());
        // The pane's caption says what the progress window says.
        QVERIFY2(captionWhileWaiting.endsWith(m_w->language.other(QStringLiteral("LinkReconnecting"))),
                 qPrintable(captionWhileWaiting));
        qInfo("closed %lld ms after Cancel", sinceCancel.elapsed());
        QVERIFY2(sinceCancel.elapsed() < 1000, "the run ends within 1 s of Cancel");
        QVERIFY(!m_w->deviceSession().RpcConnected());
        QVERIFY(!m_w->TB_RpcConnect->isChecked());
        QVERIFY(!QFileInfo::exists(dev("c2.bin")));
    }

    // A device that never comes back: the run waits the set seconds,
    // counting down, then lists every file not copied as failed.
    void aDeviceThatStaysAwayFailsTheRestAfterTheSetTime()
    {
        m_w->settings.ReconnectSeconds = 2;
        for (const char *name : {"g1.bin", "g2.bin", "g3.bin"})
            test::putFile(pc(name), randomBytes(SecondFileBytes, 30));
        QElapsedTimer waiting;
        qint64 gaveUpAfter = -1;
        auto kill = killDuring("g1.bin");
        const QStringList labels = runWatching(
            {pc("g1.bin"), pc("g2.bin"), pc("g3.bin")}, {"g1.bin", "g2.bin", "g3.bin"}, tdSend,
            [&](TFormDoProcess &form) {
                if (kill && kill(form))
                    kill = nullptr;
                if (!kill && !waiting.isValid() && form.labFilename->text().startsWith(reconnectingText()))
                    waiting.start();
                if (waiting.isValid() && gaveUpAfter < 0 &&
                    !form.labFilename->text().startsWith(reconnectingText()))
                    gaveUpAfter = waiting.elapsed();
            });
        qInfo("gave up %lld ms after the link was found lost", gaveUpAfter);
        QVERIFY(gaveUpAfter >= 1900 && gaveUpAfter < 2600);
        const QString text = m_w->language.window(QStringLiteral("Reconnecting"));
        QVERIFY2(labels.contains(Filled(text, {"2"})) && labels.contains(Filled(text, {"1"})),
                 qPrintable(labels.join(" | ")));
        QCOMPARE(m_prompter.questions().size(), 1);
        for (const char *name : {"g1.bin", "g2.bin", "g3.bin"})
            QVERIFY2(m_prompter.texts().at(0).contains(name), qPrintable(m_prompter.texts().at(0)));
        QVERIFY(!m_w->deviceSession().RpcConnected());
    }
};

QTEST_MAIN(TransferE2ETest)
#include "TransferE2ETest.moc"
