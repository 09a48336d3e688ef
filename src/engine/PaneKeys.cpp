#include "engine/PaneKeys.h"

#include <Qt>

#include <iterator>

namespace vexo
{

namespace
{

struct KeyAction {
    int key;
    std::function<void()> PaneKeyActions::*action;
};

const KeyAction kKeyActions[] = {{Qt::Key_Delete, &PaneKeyActions::remove},
                                 {Qt::Key_F5, &PaneKeyActions::refresh},
                                 {Qt::Key_Control, &PaneKeyActions::copy},
                                 {Qt::Key_V, &PaneKeyActions::paste},
                                 {Qt::Key_A, &PaneKeyActions::selectAll}};

} // namespace

void ReleasePaneKey(int key, const PaneKeyActions &actions)
{
    for (const KeyAction &entry : kKeyActions) {
        if (entry.key != key)
            continue;
        if (const std::function<void()> &action = actions.*entry.action)
            action();
        return;
    }
}

} // namespace vexo
