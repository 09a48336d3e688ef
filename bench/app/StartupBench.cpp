// Start-up time of the main window: from program start to the first paint,
// and to the local pane showing a folder of N entries (default 1,000).
//   vexo_startup_bench [--entries N] [--runs R]
// Each run is a fresh process (the program re-executes itself), so Qt's own
// start-up is counted as a user would see it. Settings, work folder and the
// listed folder live in a temporary folder.
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "ScriptedPrompter.h"
#include "app/main.h"
#include "platform/LinuxProfileFiles.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/FileListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

QElapsedTimer g_clock;

class FirstPaint : public QObject
{
public:
    qint64 at = -1;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (at < 0 && event->type() == QEvent::Paint)
            at = g_clock.elapsed();
        return false;
    }
};

int runOnce(int argc, char **argv, const QString &folder, int entries)
{
    QApplication app(argc, argv);
    vexo::DeepBlueStyle::apply(app);
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/tmp");
    QFile ini(dir.path() + "/VexoFile.ini");
    if (!ini.open(QIODevice::WriteOnly))
        return 2;
    ini.write("[Setting]\nAutoRpc=0\nAutoVDisk=0\nPathed=1\nPath=" + folder.toUtf8() + "\n");
    ini.close();
    vexo::LinuxProfileFiles profiles;
    vexo::test::FakeSystemPaths paths(dir.path() + "/", dir.path() + "/tmp/");
    vexo::test::ScriptedPrompter prompter;
    vexo::test::FakeDesktopShell shell;
    vexo::PlatformServices services{&profiles, &paths, &prompter, &shell};

    FirstPaint paint;
    app.installEventFilter(&paint);
    vexo::TFormMain window(services);
    window.showMaximized();
    qint64 filled = -1;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (paint.at >= 0 && window.ShellList->rowCount() >= entries) {
            window.ShellList->grab(); // the rows drawn once
            filled = g_clock.elapsed();
            QCoreApplication::quit();
        } else if (g_clock.elapsed() > 20000) {
            QCoreApplication::exit(1);
        }
    });
    poll.start();
    const int rc = QApplication::exec();
    std::printf("%lld %lld\n", static_cast<long long>(paint.at), static_cast<long long>(filled));
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    g_clock.start();
    int entries = 1000;
    int runs = 5;
    QString child;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--entries" && i + 1 < argc)
            entries = QString(argv[++i]).toInt();
        else if (arg == "--runs" && i + 1 < argc)
            runs = QString(argv[++i]).toInt();
        else if (arg == "--child" && i + 1 < argc)
            child = QString::fromLocal8Bit(argv[++i]);
    }
    if (!child.isEmpty())
        return runOnce(argc, argv, child, entries);

    QTemporaryDir home;
    for (int i = 0; i < entries; ++i) {
        QFile f(home.filePath(
            QStringLiteral("file%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(i % 3 ? "txt" : "dat")));
        if (!f.open(QIODevice::WriteOnly))
            return 2;
    }
    std::vector<qint64> paints, fills;
    for (int r = 0; r < runs; ++r) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QString::fromLocal8Bit(argv[0]),
                {"--child", home.path(), "--entries", QString::number(entries)});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", r);
            return 1;
        }
        const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
        paints.push_back(parts.value(0).toLongLong());
        fills.push_back(parts.value(1).toLongLong());
    }
    std::sort(paints.begin(), paints.end());
    std::sort(fills.begin(), fills.end());
    std::printf("start-up, %d entries, %d runs (median / worst):\n", entries, runs);
    std::printf("  first paint          %5lld ms / %5lld ms\n",
                static_cast<long long>(paints[paints.size() / 2]), static_cast<long long>(paints.back()));
    std::printf("  local list shown     %5lld ms / %5lld ms   (target: under 1000 ms)\n",
                static_cast<long long>(fills[fills.size() / 2]), static_cast<long long>(fills.back()));
    return 0;
}
