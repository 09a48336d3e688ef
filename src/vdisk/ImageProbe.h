#pragma once

#include <QString>

namespace vexo
{

// Why the disk image at `imagePath` cannot be mounted, found after the image
// library refused it: the system error in words (see SystemErrorText) when
// it is missing, a folder or cannot be read; "不是 FAT 磁盘映像" when its
// first sector is no FAT boot sector; otherwise (a boot sector the library
// still refused) "FAT 磁盘映像已损坏或不是 FAT12/FAT16". Reads at most the
// first sector; never writes.
QString ImageMountProblem(const QString &imagePath);

// The status line after a failed mount: "无法装载 <imagePath>：<problem>".
QString ImageMountFailedText(const QString &imagePath, const QString &problem);

} // namespace vexo
