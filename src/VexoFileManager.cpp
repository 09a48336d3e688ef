// Program entry: application title, main window, message loop.
#include "app/main.h"
#include "platform/LinuxPlatform.h"
#include "platform/UnixSignalWatcher.h"
#include "widgets/DeepBlueStyle.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VexoFileManager"));
    // Lets docks and task bars match the window to the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("vexofilemanager"));
    vexo::DeepBlueStyle::apply(app);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vexofilemanager")));
    // Logging out or a kill closes the window the normal way, so the
    // settings are written back and the work folder is removed. Watched from
    // before the window exists: a signal during start-up waits for the loop.
    vexo::UnixSignalWatcher signals_;
    vexo::LinuxPlatform platform;
    vexo::TFormMain window(platform.services());
    platform.prompter().setParent(&window);
    QObject::connect(&signals_, &vexo::UnixSignalWatcher::terminationRequested, &window, &QWidget::close);
    window.showMaximized();
    return QApplication::exec();
}
