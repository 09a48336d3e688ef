// Device runs of the real main window against vexo-deviced on the simulated
// serial line: several files each way, Cancel in the middle of a large one.
#include "LinkSimulator.h"
#include "TransferTestSupport.h"
#include "device/DevicePane.h"
#include "platform/LibDeviceLink.h"
#include "transfer/RunDeviceTransfer.h"
#include "widgets/FileRowModel.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace vexo;
using test::ModalDriver;

namespace
{

// A fast line keeps the test short; the large file still takes seconds.
constexpr double LineBytesPerSecond = 100000;
constexpr int LargeFileBytes = 640 * 1024;
constexpr int CancelAtPercent = 40;

class DeviceFormMain : public TFormMain
{
public:
    using TFormMain::TFormMain;
    void RefreshRpc() override { devicePane->RefreshRpc(); }
};

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : data)
        c = char(generator.generate() & 0xff);
    return data;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every entry of a folder, hidden ones included.
QStringList entries(const QString &folder)
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// What one cancelled run saw from the window thread.
struct CancelledRun {
    qint64 closedAfterCancelMs = -1;
    int windowTicksDuringLargeFile = 0; // a main-window timer, while the large file crossed
    int statusPaintsDuringLargeFile = 0;
    QSet<int> gaugeValues;
    int replaceDialogs = 0;
    int unexpectedDialogs = 0;
};

// Repaints counted on one widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TransferE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_root; // the device's folder
    QString m_pc;   // the PC's folder
    std::unique_ptr<test::LinkSimulator> m_line;
    QProcess m_server;
    test::MemoryProfileFiles m_files;
    std::unique_ptr<test::FakeSystemPaths> m_paths;
    test::ObservingPrompter m_prompter;
    test::FakeDesktopShell m_shell;
    LibDeviceLink m_link;
    std::unique_ptr<DeviceFormMain> m_w;

    QString dev(const QString &name) const { return m_root + "/" + name; }
    QString pc(const QString &name) const { return m_pc + "/" + name; }

    // Runs the lists, says Yes to the one replace question, and presses
    // Cancel once the large file is CancelAtPercent through.
    CancelledRun runAndCancel(const QStringList &sources, const QStringList &destinations,
                              TransferDirection direction, const QString &large)
    {
        CancelledRun run;
        ModalDriver driver;
        driver.onReplace(ModalDriver::answer("butYes"));
        QElapsedTimer sinceCancel;
        TFormDoProcess *window = nullptr;
        auto largeInFlight = [&] {
            window = qobject_cast<TFormDoProcess *>(QApplication::activeModalWidget());
            if (!window || !window->worker() || window->labFilename->text() != large)
                return false;
            const int progress = window->worker()->Progress.load();
            return progress > 0 && progress < 100;
        };
        driver.whileRunning([&](TFormDoProcess &form) {
            if (!largeInFlight())
                return false;
            run.gaugeValues.insert(form.ProgressBar->value());
            if (form.worker()->Progress.load() < CancelAtPercent)
                return false;
            sinceCancel.start();
            form.butCancel->click();
            return true;
        });

        // The main window behind the modal progress window keeps working.
        PaintCounter paints;
        QLabel *status = m_w->StatusPanel[1];
        status->installEventFilter(&paints);
        QTimer windowTimer(m_w.get());
        connect(&windowTimer, &QTimer::timeout, m_w.get(), [&] {
            if (sinceCancel.isValid() || !largeInFlight())
                return;
            ++run.windowTicksDuringLargeFile;
            run.statusPaintsDuringLargeFile = paints.paints;
            m_w->setStatusText(QString::number(run.windowTicksDuringLargeFile));
        });
        windowTimer.start(50);
        const int paintsBefore = paints.paints;

        RunDeviceTransfer(*m_w, sources, destinations, direction);
        if (sinceCancel.isValid())
            run.closedAfterCancelMs = sinceCancel.elapsed();
        run.statusPaintsDuringLargeFile -= paintsBefore;
        qInfo("closed %lld ms after Cancel; %d window ticks, %d repaints, %d gauge values during the large "
              "file",
              run.closedAfterCancelMs, run.windowTicksDuringLargeFile, run.statusPaintsDuringLargeFile,
              int(run.gaugeValues.size()));
        status->removeEventFilter(&paints);
        m_w->setStatusText(QString());
        run.replaceDialogs = driver.replaceDialogs();
        run.unexpectedDialogs = driver.unexpectedDialogs();
        return run;
    }

    static void verifyCancelledInTime(const CancelledRun &run)
    {
        // The large file's earlier copy was the one clash, answered Yes.
        QCOMPARE(run.replaceDialogs, 1);
        QCOMPARE(run.unexpectedDialogs, 0);
        QVERIFY2(run.closedAfterCancelMs >= 0, "Cancel was never pressed");
        QVERIFY2(run.closedAfterCancelMs < 2000, qPrintable(QString::number(run.closedAfterCancelMs)));
        // The window thread served a timer and repaints all along the file
        // and the gauge followed it.
        QVERIFY2(run.windowTicksDuringLargeFile >= 10,
                 qPrintable(QString::number(run.windowTicksDuringLargeFile)));
        QVERIFY2(run.statusPaintsDuringLargeFile >= 5,
                 qPrintable(QString::number(run.statusPaintsDuringLargeFile)));
        QVERIFY2(run.gaugeValues.size() >= 2, qPrintable(QString::number(run.gaugeValues.size())));
    }

    void verifySummaryNamesOnly(const QString &file, const QStringList &arrived)
    {
        QCOMPARE(m_prompter.questions().size(), 1);
        const QString text = m_prompter.texts().at(0);
        QVERIFY2(text.contains(file + QStringLiteral("：") + TransferFailureReason(-6)), qPrintable(text));
        for (const QString &name : arrived)
            QVERIFY2(!text.contains(name), qPrintable(text));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.filePath("device");
        m_pc = m_dir.filePath("pc");
        for (const QString &folder : {m_root, m_pc, m_dir.filePath("tmp")})
            QVERIFY(QDir().mkpath(folder));

        test::LinkSimOptions options;
        options.bytesPerSecond = LineBytesPerSecond;
        options.latencyMs = 1;
        m_line = std::make_unique<test::LinkSimulator>(options);
        std::string error;
        QVERIFY2(m_line->start(&error), error.c_str());
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(QStringLiteral(VEXO_DEVICED),
                       {"--root", m_root, "--device", QString::fromStdString(m_line->endB())});
        QVERIFY(m_server.waitForStarted());

        m_paths = std::make_unique<test::FakeSystemPaths>(m_dir.path() + "/", m_dir.filePath("tmp") + "/");
        m_files.setContent(m_dir.filePath("VexoFile.ini"),
                           "[Setting]\nAutoRpc=0\nAutoVDisk=0\nComport=1\nBaudrate=115200\n[Ports]\nCOM1=" +
                               QByteArray::fromStdString(m_line->endA()) + "\n");
        m_w = std::make_unique<DeviceFormMain>(
            PlatformServices{&m_files, m_paths.get(), &m_prompter, &m_shell, &m_link});
        m_w->resize(900, 600);
        m_w->show();
        // The device may take a moment to open its end: try until connected.
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                if (!m_w->RpcConnected && !m_w->devicePane->attemptRunning())
                    m_w->devicePane->RefreshRpc();
                return m_w->RpcConnected && !m_w->devicePane->attemptRunning();
            }(),
            20000);
    }

    void cleanupTestCase()
    {
        m_w.reset();
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_line.reset();
    }

    void init() { m_prompter = test::ObservingPrompter(); }

    // Two small files arrive; the large one, cancelled halfway, leaves the
    // device's earlier file of that name as it was, and no partial file.
    void sendSeveralFilesAndCancelTheLargeOne()
    {
        writeFile(dev("big.bin"), "the device's own big.bin");
        writeFile(dev("keep.txt"), "kept");
        const QByteArray one = randomBytes(3000, 1);
        const QByteArray two = randomBytes(20000, 2);
        writeFile(pc("one.txt"), one);
        writeFile(pc("two.txt"), two);
        writeFile(pc("big.bin"), randomBytes(LargeFileBytes, 3));

        const CancelledRun run = runAndCancel({pc("one.txt"), pc("two.txt"), pc("big.bin")},
                                              {"one.txt", "two.txt", "big.bin"}, tdSend, "big.bin");
        verifyCancelledInTime(run);
        verifySummaryNamesOnly("big.bin", {"one.txt", "two.txt"});

        QTRY_COMPARE(entries(m_root), (QStringList{"big.bin", "keep.txt", "one.txt", "two.txt"}));
        QCOMPARE(readFile(dev("one.txt")), one);
        QCOMPARE(readFile(dev("two.txt")), two);
        QCOMPARE(readFile(dev("big.bin")), QByteArray("the device's own big.bin"));
        QCOMPARE(readFile(dev("keep.txt")), QByteArray("kept"));
        // The run ends with a fresh listing of the device.
        QStringList listed;
        for (int i = 0; i < m_w->RpcRows->rowCount(); ++i)
            listed << m_w->RpcRows->caption(i);
        listed.sort();
        QCOMPARE(listed, (QStringList{"big.bin", "keep.txt", "one.txt", "two.txt"}));
    }

    // The same the other way: the PC keeps its earlier file of the large
    // file's name and gets no partial file.
    void receiveSeveralFilesAndCancelTheLargeOne()
    {
        const QByteArray r1 = randomBytes(5000, 4);
        const QByteArray r2 = randomBytes(30000, 5);
        const QByteArray large = randomBytes(LargeFileBytes, 6);
        writeFile(dev("r1.txt"), r1);
        writeFile(dev("r2.txt"), r2);
        writeFile(dev("rbig.bin"), large);
        writeFile(pc("rbig.bin"), "the PC's own rbig.bin");
        const QStringList deviceBefore = entries(m_root);
        const QStringList pcBefore = entries(m_pc);

        const CancelledRun run =
            runAndCancel({"r1.txt", "r2.txt", "rbig.bin"}, {pc("r1.txt"), pc("r2.txt"), pc("rbig.bin")},
                         tdReceive, "rbig.bin");
        verifyCancelledInTime(run);
        verifySummaryNamesOnly("rbig.bin", {"r1.txt", "r2.txt"});

        QStringList pcAfter = pcBefore + QStringList{"r1.txt", "r2.txt"};
        pcAfter.sort();
        QTRY_COMPARE(entries(m_pc), pcAfter);
        QCOMPARE(readFile(pc("r1.txt")), r1);
        QCOMPARE(readFile(pc("r2.txt")), r2);
        QCOMPARE(readFile(pc("rbig.bin")), QByteArray("the PC's own rbig.bin"));
        QCOMPARE(entries(m_root), deviceBefore);
        QCOMPARE(readFile(dev("rbig.bin")), large);
    }
};

QTEST_MAIN(TransferE2ETest)
#include "TransferE2ETest.moc"
