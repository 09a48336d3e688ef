#pragma once

class QWidget;

namespace vexo
{

// Centres a top-level window on the screen it is on (the primary screen when
// it has none yet). Dialogs call it when they are shown.
void CenterOnScreen(QWidget &window);

} // namespace vexo
