#pragma once

#include "platform/VDiskLibrary.h"

namespace vexo
{

// What transfers need of the disk image: the image library, and whether it
// has the image mounted. The image's mount session provides it.
class ImageAccess
{
public:
    virtual ~ImageAccess() = default;

    // Null without an image library.
    virtual VDiskLibrary *library() const = 0;
    virtual bool isMounted() const = 0;
    // The mount's consistency check found problems in the image's tables.
    virtual bool damaged() const { return false; }
};

} // namespace vexo
