// Program entry: application title, main window, message loop.
#include "app/main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VexoFileManager"));
    vexo::TFormMain window;
    window.showMaximized();
    return QApplication::exec();
}
