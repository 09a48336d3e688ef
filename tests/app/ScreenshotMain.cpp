// Renders the main window off screen into a PNG, for people to look at:
//   vexo_screenshot OUT.png [WIDTH HEIGHT [FOLDER [SETUP.png]]]
// Settings and work files go to a temporary folder, so nothing of the user's
// is touched.
#include "FakeDesktopShell.h"
#include "ScriptedPrompter.h"
#include "app/LocalPane.h"
#include "app/main.h"
#include "dialogs/setup.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "widgets/DeepBlueStyle.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
                                   prompter, paths.languageFolders(), &window);
            setup.show();
            QCoreApplication::processEvents();
            ok = setup.grab().save(QString::fromLocal8Bit(argv[5])) && ok;
        }
        window.close();
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
