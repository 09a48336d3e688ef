#include "widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vexo
{

void CenterOnScreen(QWidget &window)
{
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect box = window.frameGeometry();
    box.moveCenter(screen->availableGeometry().center());
    window.move(box.topLeft());
}

} // namespace vexo
