#pragma once

namespace vexo
{

// Every failure inside the image library; the C functions map these to
// their own integer results.
enum class VDiskError {
    None = 0,
    NoImage,     // no image file named
    NotMounted,  // nothing mounted
    Io,          // the image file could not be read or written
    ReadOnly,    // the image file is open read-only
    BadImage,    // boot sector or geometry inconsistent, or image truncated
    Corrupt,     // a cluster chain or entry of the mounted image is damaged
    NotFound,    // no file of that name
    Exists,      // another file already has that name
    BadName,     // empty, too long, invalid CP936 or forbidden characters
    RootFull,    // no room left in the root folder
    DiskFull,    // no free cluster left
    TooLarge,    // file or image larger than supported
    TooSmall,    // image too small to format
    BadHandle,   // unknown file or search handle, or wrong direction
    BadArgument, // a NULL pointer, negative count or unknown mode
    Busy,        // the name is being written by another handle
    TooManyOpen, // the table of open files is full
    NoMemory,
    InUse,    // another opener held the image's lock for too long
    HeldOpen, // a program that takes no lock has the image open
};

// A short English description for messages ("no such file").
const char *errorText(VDiskError error);

} // namespace vexo
