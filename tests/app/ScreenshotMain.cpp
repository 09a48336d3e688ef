// Renders the program's windows off screen into PNGs, for people to look at:
//   vexo_screenshot DIR SUFFIX LANGUAGE [WIDTH HEIGHT [FOLDER]]
// writes DIR/main-window-SUFFIX.png, setup-dialog-, replace-dialog-,
// progress-window-, progress-receive-, end-of-copy- and
// delete-question-SUFFIX.png with the language file
// LANGUAGE (e.g. eng.lng) from beside the program; the local pane shows
// FOLDER.
//   vexo_screenshot --panes OUTDIR
// draws, on a simulator image held in memory and a folder of long names, the
// local pane's context menu (context-menu.png), the focused image pane
// (focused-pane.png) and the large icons (icon-view.png).
// Settings and work files go to a temporary folder, so nothing of the user's
// is touched.
#include "FakeDesktopShell.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "ScriptedPrompter.h"
#include "app/main.h"
#include "desktop/QtPrompter.h"
#include "dialogs/setup.h"
#include "engine/ImageMount.h"
#include "local/LocalPane.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "transfer/DoProcess.h"
#include "transfer/TProcessThread.h"
#include "transfer/uDialog.h"
#include "vdisk/VDiskPane.h"
#include "widgets/AnimationStrip.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/FileListView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

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
    registry.setValue(vexo::ImageMount::InstallKey, "InstallPath", dir.path());
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

// Grabs the modal window that `open` shows, then closes it.
bool grabModal(const QString &file, const std::function<void()> &open)
{
    bool saved = false;
    QTimer::singleShot(300, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            saved = dialog->grab().save(file);
            dialog->close();
        }
    });
    open();
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && QString(argv[1]) == "--panes") {
        vexo::DeepBlueStyle::apply(app);
        return panePictures(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DIR SUFFIX LANGUAGE [WIDTH HEIGHT [FOLDER]]\n", argv[0]);
        return 2;
    }
    vexo::DeepBlueStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1-") +
                        QString::fromLocal8Bit(argv[2]) + QStringLiteral(".png");
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("VexoFile.ini")));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[Setting]\nAutoRpc=0\nAutoVDisk=0\nLanguage=" + QByteArray(argv[3]) + "\n") < 0)
        return 1;
    ini.close();
    vexo::LinuxProfileFiles profiles;
    ScreenshotPaths paths(dir.path());
    vexo::QtPrompter prompter;
    vexo::test::FakeDesktopShell shell;
    vexo::PlatformServices services{&profiles, &paths, &prompter, &shell};
    vexo::TFormMain window(services);
    prompter.setParent(&window);
    const int width = argc > 5 ? QString(argv[4]).toInt() : 1280;
    const int height = argc > 5 ? QString(argv[5]).toInt() : 800;
    const QString folder = argc > 6 ? QString::fromLocal8Bit(argv[6]) : QDir::homePath();
    window.resize(width, height);
    window.show();
    window.PLeft->showFolder(folder);
    QTimer::singleShot(800, &window, [&] {
        const vexo::LanguageTable &t = window.language;
        bool ok = window.grab().save(out.arg(QStringLiteral("main-window")));

        vexo::TFormSetup setup(window.settings, t, window.settingsFile(), profiles, prompter,
                               paths.languageFolders(), &window);
        setup.show();
        QCoreApplication::processEvents();
        ok = setup.grab().save(out.arg(QStringLiteral("setup-dialog"))) && ok;
        setup.close();

        // A name that the PC and the palmtop both have; the palmtop's copy is
        // older and smaller.
        const QString name = QStringLiteral("README.md");
        const QString path = QDir(folder).filePath(name);
        const vexo::FileFacts local = vexo::LocalFileFacts(path);
        const vexo::ReplaceFacts facts({true, local.size / 2, local.modifiedMs - 3 * 86400000LL}, local);
        vexo::TFormDialogReplace replace(window.transferContext(), &window);
        ok = grabModal(out.arg(QStringLiteral("replace-dialog")),
                       [&] { replace.AskReplace(path, name, facts); }) &&
             ok;

        // Mid-copy: the second of five files on a serial line, five seconds
        // of it behind for the speed.
        vexo::TFormDoProcess progress(window.transferContext(), &window);
        progress.show();
        progress.labFilename->setText(name);
        vexo::TransferCounts counts;
        counts.fileNumber = 2;
        counts.fileCount = 5;
        counts.fileTotal = 640 * 1024;
        counts.runTotal = 1200000;
        counts.moved = counts.runDone = 284000;
        counts.fileDone = counts.runDone - 30000;
        progress.showCounts(0, counts);
        counts.moved = counts.runDone = 284000 + 5 * 11520;
        counts.fileDone = counts.runDone - 30000;
        progress.showCounts(5000, counts);
        progress.ProgressBar->setValue(int(counts.fileDone * 100 / counts.fileTotal));
        progress.Animate->setCurrentFrame(8);
        QCoreApplication::processEvents();
        ok = progress.grab().save(out.arg(QStringLiteral("progress-window"))) && ok;
        progress.close();

        // Receiving: the third of four palmtop files, the run's total known
        // from the listing the pane holds.
        vexo::TFormDoProcess receive(window.transferContext(), &window);
        receive.SetDirection(vexo::tdReceive);
        receive.show();
        receive.labFilename->setText(QStringLiteral("orders.dat"));
        counts = {};
        counts.fileNumber = 3;
        counts.fileCount = 4;
        counts.fileTotal = 96 * 1024;
        counts.runTotal = 420000;
        counts.moved = counts.runDone = 250000;
        counts.fileDone = 40000;
        receive.showCounts(0, counts);
        counts.moved = counts.runDone = 250000 + 5 * 11000;
        counts.fileDone = 40000 + 5 * 11000;
        receive.showCounts(5000, counts);
        receive.ProgressBar->setValue(int(counts.fileDone * 100 / counts.fileTotal));
        receive.Animate->setCurrentFrame(8);
        QCoreApplication::processEvents();
        ok = receive.grab().save(out.arg(QStringLiteral("progress-receive"))) && ok;
        receive.close();

        // The one box at the end of a copy: what failed, with its reason.
        const QList<vexo::TransferFailure> failures = {
            {QStringLiteral("firmware.bin"), t.error(QStringLiteral("NoSpace"))},
            {QStringLiteral("quarterly-report.txt"), t.error(QStringLiteral("NameTooLong")).arg(16)}};
        prompter.tell(vexo::TransferFailureSummary(t, failures), t.message(QStringLiteral("ErrorTitle")),
                      vexo::PromptIcon::Error);
        QCoreApplication::processEvents();
        bool boxSaved = false;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible()) {
                boxSaved = box->grab().save(out.arg(QStringLiteral("end-of-copy")));
                box->close();
            }
        ok = boxSaved && ok;

        ok = grabModal(out.arg(QStringLiteral("delete-question")),
                       [&] {
                           prompter.ask(t.message(QStringLiteral("DeleteLocal")),
                                        t.message(QStringLiteral("PromptTitle")),
                                        vexo::PromptButtons::OkCancel, vexo::PromptIcon::Question);
                       }) &&
             ok;
        window.close();
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
