// Renders the main window off screen into a PNG, for people to look at:
//   vexo_screenshot OUT.png [WIDTH HEIGHT [FOLDER [SETUP.png]]]
//   vexo_screenshot --panes OUTDIR
// The second form draws, on a simulator image held in memory and a folder
// of long names, the local pane's context menu (context-menu.png), the
// focused image pane (focused-pane.png) and the large icons (icon-view.png).
// Settings and work files go to a temporary folder, so nothing of the user's
// is touched.
#include "FakeDesktopShell.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "ScriptedPrompter.h"
#include "app/LocalPane.h"
#include "app/main.h"
#include "dialogs/setup.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "vdisk/VDiskPane.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/FileListView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace
{

class ScreenshotPaths : public vexo::LinuxSystemPaths
{
public:
    explicit ScreenshotPaths(const QString &folder) : m_folder(folder + "/") {}
    QString programFolder() override { return m_folder; }
    QStringList languageFolders() override { return {QCoreApplication::applicationDirPath() + "/"}; }
    QString systemTempPath() override { return m_folder; }

private:
    QString m_folder;
};

// The three pictures of --panes into `out`; false when one was not written.
bool panePictures(const QString &out)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("pc");
    const QString pc = dir.path() + "/pc";
    for (const char *name : {"Quarterly sales report, northern region 2026.xlsx", "notes.txt",
                             "scanned_delivery_receipt_0042_signed.pdf", "价格表 2026 年第四季度 最终版.csv",
                             "photo.png", "readme.md"}) {
        QFile f(pc + "/" + QString::fromUtf8(name));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("sample\n");
    }
    vexo::LinuxProfileFiles profiles;
    ScreenshotPaths paths(dir.path());
    vexo::test::ScriptedPrompter prompter;
    vexo::test::FakeDesktopShell shell;
    vexo::test::MemoryVDiskLibrary image;
    for (const char *name : {"INVENTORY2026.CSV", "WELCOME.TXT", "价格表说明.TXT", "ROUTE-NORTH-7.DAT"})
        image.addFile(QString::fromUtf8(name), "sample\n", 0x5b870000);
    vexo::test::MemoryRegistry registry;
    registry.setValue(vexo::VDiskPane::InstallKey, "InstallPath", dir.path());
    vexo::PlatformServices services{&profiles, &paths, &prompter, &shell};
    services.vdisk = &image;
    services.registry = &registry;
    vexo::TFormMain window(services);
    window.resize(1000, 620);
    window.show();
    window.PLeft->showFolder(pc);
    window.RefreshVDisk();
    QTest::qWait(600);
    bool ok = true;

    // The image pane has the focus.
    window.VDiskList->setFocus();
    window.VDiskList->setCurrentRow(1);
    QTest::qWait(100);
    ok = window.grab().save(out + "/focused-pane.png") && ok;

    // A right click on a selected file of the local pane.
    window.ShellList->setFocus();
    window.ShellList->setCurrentRow(2);
    QAbstractItemView *view = window.ShellList->currentView();
    const QPoint at = view->visualRect(window.ShellList->currentIndex()).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &click);
    QTest::qWait(200);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    QImage picture = window.grab().toImage();
    {
        QPainter painter(&picture);
        painter.drawPixmap(window.mapFromGlobal(menu->pos()), menu->grab());
    }
    menu->close();
    ok = picture.save(out + "/context-menu.png") && ok;

    // Large icons: long names take two lines.
    window.TB_ViewIconClick();
    window.ShellList->clearSelection();
    QTest::qWait(300);
    ok = window.grab().save(out + "/icon-view.png") && ok;
    window.close();
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && QString(argv[1]) == "--panes") {
        vexo::DeepBlueStyle::apply(app);
        return panePictures(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [WIDTH HEIGHT [FOLDER [SETUP.png]]]\n", argv[0]);
        return 2;
    }
    vexo::DeepBlueStyle::apply(app);
    QTemporaryDir dir;
    vexo::LinuxProfileFiles profiles;
    ScreenshotPaths paths(dir.path());
    vexo::test::ScriptedPrompter prompter;
    vexo::test::FakeDesktopShell shell;
    vexo::PlatformServices services{&profiles, &paths, &prompter, &shell};
    vexo::TFormMain window(services);
    const int width = argc > 3 ? QString(argv[2]).toInt() : 1280;
    const int height = argc > 3 ? QString(argv[3]).toInt() : 800;
    window.resize(width, height);
    window.show();
    window.PLeft->showFolder(argc > 4 ? QString::fromLocal8Bit(argv[4]) : QDir::homePath());
    QTimer::singleShot(800, &window, [&] {
        bool ok = window.grab().save(QString::fromLocal8Bit(argv[1]));
        if (argc > 5) {
            vexo::TFormSetup setup(window.settings, window.language, window.settingsFile(), profiles,
                                   prompter, &window);
            setup.show();
            QCoreApplication::processEvents();
            ok = setup.grab().save(QString::fromLocal8Bit(argv[5])) && ok;
        }
        window.close();
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
