#pragma once

#include <functional>

namespace vexo
{

// What a pane does for each key of its key-release table; an empty action
// leaves the key alone.
struct PaneKeyActions {
    std::function<void()> remove;    // Delete
    std::function<void()> refresh;   // F5
    std::function<void()> copy;      // Ctrl: releasing Ctrl ends every Ctrl chord with a copy
    std::function<void()> paste;     // V, with or without Ctrl
    std::function<void()> selectAll; // A, with or without Ctrl
};

// The panes act on released keys by their code alone; the modifier state is
// not consulted. Any other key does nothing.
void ReleasePaneKey(int key, const PaneKeyActions &actions);

} // namespace vexo
