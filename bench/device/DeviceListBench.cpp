// Listing N device files into the device pane, over the real link libraries
// and vexo-deviced on a pseudo-terminal with no line pacing.
//   vexo_device_list_bench [--entries N] [--runs R] [--server PATH]
// Each run measures, in the shown main window:
//   cold     - a connection attempt on its thread, with its first listing,
//              until every row is in the pane, into a fresh work folder (every
//              placeholder file is new);
//   first    - in that attempt, from its start to the first row in the pane;
//   warm     - the same again, the placeholders already there;
//   refresh  - a listing on the window thread while connected (F5).
// The device's files and the work folder live in a temporary folder.
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "ScriptedPrompter.h"
#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "platform/LibDeviceLink.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

struct Options {
    int entries = 10000;
    int runs = 5;
    QString server = QStringLiteral(VEXO_DEVICED);
};

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--entries" && hasValue)
            o.entries = std::max(1, atoi(argv[++i]));
        else if (arg == "--runs" && hasValue)
            o.runs = std::max(1, atoi(argv[++i]));
        else if (arg == "--server" && hasValue)
            o.server = QString::fromLocal8Bit(argv[++i]);
        else
            return false;
    }
    return true;
}

// Waits, running the event loop, until done() or the time limit; false on time-out.
template <typename Done> bool waitFor(Done done, int limitMs = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: vexo_device_list_bench [--entries N] [--runs R] [--server PATH]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString root = dir.filePath("device");
    const QString link = dir.filePath("pty");
    QDir().mkpath(root);
    QDir().mkpath(dir.filePath("tmp"));
    const char *types[] = {"txt", "bin", "jpg", "doc", "dat", "wav", "exe", "log"};
    for (int i = 0; i < options.entries; ++i) {
        QFile f(root +
                QStringLiteral("/f%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(types[i % 8])));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QByteArray(i % 100, 'x'));
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(options.server, {"--root", root, "--pty", link});
    if (!server.waitForStarted() || !waitFor([&] { return QFileInfo::exists(link); }, 10000)) {
        std::fprintf(stderr, "device list bench: %s did not start\n", qPrintable(options.server));
        return 1;
    }

    vexo::test::MemoryProfileFiles profiles;
    vexo::test::FakeSystemPaths paths(dir.path() + "/", dir.filePath("tmp") + "/");
    vexo::test::ScriptedPrompter prompter;
    vexo::test::FakeDesktopShell shell;
    vexo::LibDeviceLink deviceLink;
    profiles.setContent(dir.filePath("VexoFile.ini"),
                        "[Setting]\nAutoRpc=0\nAutoVDisk=0\nComport=1\nBaudrate=115200\n[Ports]\nCOM1=" +
                            link.toUtf8() + "\n");
    vexo::PlatformServices services{&profiles, &paths, &prompter, &shell, &deviceLink};

    int status = 0;
    {
        vexo::TFormMain window(services);
        window.resize(1000, 700);
        window.show();
        vexo::DevicePane *pane = window.devicePane;
        vexo::FileRowModel *rows = window.RpcRows;
        const int n = options.entries;
        auto allShown = [&] {
            return !pane->attemptRunning() && rows->rowCount() == n && rows->pendingCount() == 0;
        };

        // One attempt with its listing, until every row is shown and drawn.
        auto attempt = [&](qint64 *firstAt) -> double {
            pane->DisconnectRpc();
            QElapsedTimer clock;
            clock.start();
            QMetaObject::Connection seen = QObject::connect(rows, &QAbstractItemModel::rowsInserted, [&] {
                if (*firstAt < 0)
                    *firstAt = clock.elapsed();
            });
            pane->RefreshRpc();
            const bool shown = waitFor(allShown) && window.deviceSession().RpcConnected();
            QObject::disconnect(seen);
            if (!shown)
                return -1;
            window.RpcList->grab();
            return clock.nsecsElapsed() / 1e6;
        };

        std::vector<double> cold, first, warm, refresh;
        std::printf("%-6s %8s %9s %9s %9s %11s\n", "run", "entries", "cold ms", "first ms", "warm ms",
                    "refresh ms");
        for (int run = 1; run <= options.runs; ++run) {
            QDir(window.TempDir + "/Rpc").removeRecursively();
            qint64 firstAt = -1, unused = -1;
            const double coldMs = attempt(&firstAt);
            const double warmMs = coldMs < 0 ? -1 : attempt(&unused);
            QElapsedTimer clock;
            clock.start();
            pane->RefreshRpc();
            window.RpcList->grab();
            const double refreshMs = clock.nsecsElapsed() / 1e6;
            if (coldMs < 0 || warmMs < 0 || rows->rowCount() != n) {
                std::fprintf(stderr, "device list bench: run %d showed %d of %d rows\n", run,
                             rows->rowCount(), n);
                status = 1;
                break;
            }
            cold.push_back(coldMs);
            first.push_back(double(firstAt));
            warm.push_back(warmMs);
            refresh.push_back(refreshMs);
            std::printf("%-6d %8d %9.1f %9.1f %9.1f %11.1f\n", run, n, coldMs, double(firstAt), warmMs,
                        refreshMs);
        }
        if (!cold.empty())
            std::printf("%-6s %8d %9.1f %9.1f %9.1f %11.1f\n", "median", n, median(cold), median(first),
                        median(warm), median(refresh));
        window.close();
    }
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
    return status;
}
