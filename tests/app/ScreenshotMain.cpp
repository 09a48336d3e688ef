// Renders the program's windows off screen into PNGs, for people to look at:
//   vexo_screenshot DIR SUFFIX LANGUAGE [WIDTH HEIGHT [FOLDER]]
// writes DIR/main-window-SUFFIX.png, setup-dialog-, replace-dialog-,
// progress-window- and delete-question-SUFFIX.png with the language file
// LANGUAGE (e.g. eng.lng) from beside the program; the local pane shows
// FOLDER. Settings and work files go to a temporary folder, so nothing of the
// user's is touched.
#include "FakeDesktopShell.h"
#include "app/LocalPane.h"
#include "app/main.h"
#include "dialogs/setup.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "platform/QtPrompter.h"
#include "transfer/DoProcess.h"
#include "transfer/uDialog.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/FileListView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
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

        // A name that the PC and the palmtop both have.
        const QString name = QStringLiteral("README.md");
        vexo::TFormDialogReplace replace(window, &window);
        ok = grabModal(out.arg(QStringLiteral("replace-dialog")),
                       [&] { replace.AskReplace(QDir(folder).filePath(name), name); }) &&
             ok;

        vexo::TFormDoProcess progress(window, &window);
        progress.show();
        progress.labFilename->setText(name);
        progress.ProgressBar->setValue(40);
        QCoreApplication::processEvents();
        ok = progress.grab().save(out.arg(QStringLiteral("progress-window"))) && ok;
        progress.close();

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
