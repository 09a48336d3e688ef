#include "VDiskError.h"

#include "vexo/sys/CodeTable.h"

namespace vexo
{

namespace
{
const char *const kTexts[] = {
    "success",                              // None
    "no image file named",                  // NoImage
    "no image mounted",                     // NotMounted
    "input/output error on the image file", // Io
    "the image file is read-only",          // ReadOnly
    "not a valid FAT12/FAT16 image",        // BadImage
    "the image is damaged; run check",      // Corrupt
    "no such file in the image",            // NotFound
    "another file already has that name",   // Exists
    ("invalid name (1 to 17 CP936 bytes, no / \\ \" * : < > ? | or control characters, "
     "no trailing dot or space)"),                                   // BadName
    "the root folder is full",                                       // RootFull
    "the image is full",                                             // DiskFull
    "too large",                                                     // TooLarge
    "the image is too small",                                        // TooSmall
    "bad file handle",                                               // BadHandle
    "bad argument",                                                  // BadArgument
    "the file is being written",                                     // Busy
    "too many open files",                                           // TooManyOpen
    "out of memory",                                                 // NoMemory
    "the image is in use by another program",                        // InUse
    "another program has the image open: close the simulator first", // HeldOpen
};
} // namespace

const char *errorText(VDiskError error)
{
    return sys::textOf<VDiskError::HeldOpen>(kTexts, error, "unknown error");
}

} // namespace vexo
