#include "engine/PaneKeys.h"

#include <Qt>

namespace vexo
{

void ReleasePaneKey(int key, const PaneKeyActions &actions)
{
    const std::function<void()> *action = nullptr;
    switch (key) {
    case Qt::Key_Delete:
        action = &actions.remove;
        break;
    case Qt::Key_F5:
        action = &actions.refresh;
        break;
    case Qt::Key_Control:
        action = &actions.copy;
        break;
    case Qt::Key_V:
        action = &actions.paste;
        break;
    case Qt::Key_A:
        action = &actions.selectAll;
        break;
    default:
        return;
    }
    if (*action)
        (*action)();
}

} // namespace vexo
