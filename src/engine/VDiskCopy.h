#pragma once

#include <QString>

namespace vexo
{

class ImageAccess;
class LanguageTable;
class Prompter;
class VDiskLibrary;

// Bytes passed to the image library per read or write.
constexpr int VDiskCopyPiece = 1024;
// Names in the image hold at most this many CP936 bytes.
constexpr int ImageNameBytes = 17;

// Copies one file between the PC and the mounted image, in pieces of
// VDiskCopyPiece bytes. An absolute path ("/...") is a PC file, any other
// text a name in the image's root; the source alone decides the direction.
// Returns 1 when copied and 0 when not; shows nothing.
//
// Asks zffind(destination) first: when that gives 1 and overwrite is false,
// nothing is touched (copying out, an existing PC file is kept as well).
//
// Into the image: the PC source, a regular file, is opened read-only and
// never changed. A source that cannot be opened or read leaves the image as
// it was: the image file is replaced only when its zfclose completes it.
//
// Out of the image: the PC destination's name must be a safe bare name
// (IsSafeBareName) in an existing folder. The copy goes to a temporary file
// beside it that replaces it only when complete, so a failed copy leaves an
// existing file intact. An existing destination must be a regular file
// (folders and symbolic links are refused) that the user may write, or one
// of the user's own files that is merely read-only (no write permission for
// its owner, no set-id or sticky bit); the new file keeps its mode. A
// negative zflen, a refused zfopen and a short or failed zfread fail the copy.
int CopyVDiskFile(VDiskLibrary &library, const QString &source, const QString &destination, bool overwrite);

// For a PC path: something other than a folder exists there. For an image
// name: zffind gives 1.
bool CopyTargetExists(VDiskLibrary &library, const QString &path);

// The message after a failed copy: the reason when one is known, else that
// the file may be in use.
void ShowCopyFailed(Prompter &prompter, const LanguageTable &language, const QString &reason = QString());

// Why a copy into or out of the image failed, when the image tells: another
// program holds it, or its tables are damaged; else empty.
QString ImageCopyFailureReason(const ImageAccess &image, const LanguageTable &language);

} // namespace vexo
