#include "VDiskError.h"

#include "vexo/sys/CodeTable.h"

namespace vexo
{

namespace
{
const sys::CodeEntry<VDiskError, const char *> kTexts[] = {
    {VDiskError::None, "success"},
    {VDiskError::NoImage, "no image file named"},
    {VDiskError::NotMounted, "no image mounted"},
    {VDiskError::Io, "input/output error on the image file"},
    {VDiskError::ReadOnly, "the image file is read-only"},
    {VDiskError::BadImage, "not a valid FAT12/FAT16 image"},
    {VDiskError::Corrupt, "the image is damaged; run check"},
    {VDiskError::NotFound, "no such file in the image"},
    {VDiskError::Exists, "another file already has that name"},
    {VDiskError::BadName, "invalid name (1 to 17 CP936 bytes, no / \\ \" * : < > ? | or control characters, "
                          "no trailing dot or space)"},
    {VDiskError::RootFull, "the root folder is full"},
    {VDiskError::DiskFull, "the image is full"},
    {VDiskError::TooLarge, "too large"},
    {VDiskError::TooSmall, "the image is too small"},
    {VDiskError::BadHandle, "bad file handle"},
    {VDiskError::BadArgument, "bad argument"},
    {VDiskError::Busy, "the file is being written"},
    {VDiskError::TooManyOpen, "too many open files"},
    {VDiskError::NoMemory, "out of memory"},
};
} // namespace

const char *errorText(VDiskError error)
{
    return sys::lookup(kTexts, error, "unknown error");
}

} // namespace vexo
