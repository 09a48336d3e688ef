#pragma once

namespace vexo
{

class VDiskLibrary;

// What transfers need of the disk image; the window provides it.
class ImageAccess
{
public:
    virtual ~ImageAccess() = default;

    virtual bool isMounted() const = 0;
    // Null without an image library.
    virtual VDiskLibrary *library() const = 0;
};

} // namespace vexo
