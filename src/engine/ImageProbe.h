#pragma once

#include <QString>

namespace vexo
{

class LanguageTable;

// Why the disk image at `imagePath` cannot be mounted, found after the image
// library refused it: the system error in words (see SystemErrorText) when
// it is missing, a folder or cannot be read; Status/NotFat when its first
// sector is no FAT boot sector; otherwise (a boot sector the library still
// refused) Status/BadFat. Reads at most the first sector; never writes.
QString ImageMountProblem(const LanguageTable &language, const QString &imagePath);

// The status line after a failed mount: Status/CannotMount
// ("Cannot mount <imagePath>: <problem>").
QString ImageMountFailedText(const LanguageTable &language, const QString &imagePath, const QString &problem);

} // namespace vexo
