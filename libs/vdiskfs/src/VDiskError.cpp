#include "VDiskError.h"

namespace vexo
{

const char *errorText(VDiskError error)
{
    switch (error) {
    case VDiskError::None:
        return "success";
    case VDiskError::NoImage:
        return "no image file named";
    case VDiskError::NotMounted:
        return "no image mounted";
    case VDiskError::Io:
        return "input/output error on the image file";
    case VDiskError::ReadOnly:
        return "the image file is read-only";
    case VDiskError::BadImage:
        return "not a valid FAT12/FAT16 image";
    case VDiskError::Corrupt:
        return "the image is damaged; run check";
    case VDiskError::NotFound:
        return "no such file in the image";
    case VDiskError::Exists:
        return "another file already has that name";
    case VDiskError::BadName:
        return "invalid name (1 to 17 CP936 bytes, no / \\ \" * : < > ? | or control characters, "
               "no trailing dot or space)";
    case VDiskError::RootFull:
        return "the root folder is full";
    case VDiskError::DiskFull:
        return "the image is full";
    case VDiskError::TooLarge:
        return "too large";
    case VDiskError::TooSmall:
        return "the image is too small";
    case VDiskError::BadHandle:
        return "bad file handle";
    case VDiskError::BadArgument:
        return "bad argument";
    case VDiskError::Busy:
        return "the file is being written";
    case VDiskError::TooManyOpen:
        return "too many open files";
    case VDiskError::NoMemory:
        return "out of memory";
    }
    return "unknown error";
}

} // namespace vexo
