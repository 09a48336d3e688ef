#include "app/main.h"

namespace vexo
{

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("VexoFileManager"));
    resize(712, 564);
    setMinimumSize(130, 50);
}

} // namespace vexo
