// Device runs of the real main window against vexo-deviced on the simulated
// serial line: several files each way, with the progress window's counts,
// and Cancel in the middle of a large one.
#include "../SimulatedDevice.h"
#include "TransferTestSupport.h"
#include "WindowTestSupport.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/common.h"
#include "platform/LibDeviceLink.h"
#include "transfer/RunDeviceTransfer.h"
#include "widgets/FileRowModel.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

namespace
{

// A fast line keeps the test short; the large file still takes seconds.
constexpr double LineBytesPerSecond = 100000;
constexpr int LargeFileBytes = 640 * 1024;
constexpr int CancelAtPercent = 40;

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

private slots:
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
};

QTEST_MAIN(TransferE2ETest)
#include "TransferE2ETest.moc"
