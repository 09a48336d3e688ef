#pragma once

#include <QGuiApplication>

namespace vexo
{

// The application's cursor for as long as the object lives: the hourglass
// while the window thread waits for a device or an image, the arrow for a
// question asked meanwhile.
class OverrideCursor
{
public:
    explicit OverrideCursor(Qt::CursorShape shape) { QGuiApplication::setOverrideCursor(shape); }
    ~OverrideCursor() { QGuiApplication::restoreOverrideCursor(); }
    OverrideCursor(const OverrideCursor &) = delete;
    OverrideCursor &operator=(const OverrideCursor &) = delete;
};

} // namespace vexo
