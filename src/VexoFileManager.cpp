// Program entry: application title, main window, message loop.
#include "app/main.h"
#include "desktop/LinuxPlatform.h"
#include "platform/UnixSignalWatcher.h"
#include "widgets/DeepBlueStyle.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VexoFileManager"));
    // Lets docks and task bars match the window to the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("vexofilemanager"));
    vexo::DeepBlueStyle::apply(app);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vexofilemanager")));
    // Watch from the start: a logout or kill while the window is still being
    // built waits in the event loop and then closes the window the normal way,
    // so the settings are written back and the work folder is removed.
    vexo::UnixSignalWatcher signals_;
    vexo::LinuxPlatform platform;
    vexo::TFormMain window(platform.services());
    platform.prompter().setParent(&window);
    QObject::connect(&signals_, &vexo::UnixSignalWatcher::terminationRequested, &window, &QWidget::close);
    window.showMaximized();
    const int result = QApplication::exec();
    // The window has shut down (settings written, work folder gone). A
    // device listing still inside the link library is not waited for: the
    // process ends without the library's clean-up running under it.
    if (window.linkWorkAbandoned()) {
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
