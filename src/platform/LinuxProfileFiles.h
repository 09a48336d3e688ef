#pragma once

#include "platform/ProfileFiles.h"

namespace vexo
{

// Profile files on the local file system. A write goes to a temporary file in
// the same folder, is flushed to disk and renamed over the old file, so a
// crash leaves either the old or the new file, never a truncated one. A file
// or folder the user may not write, or one without any write permission (as a
// read-only file on Windows, even for root), is not written; nor is anything
// but a regular file replaced.
class LinuxProfileFiles : public ProfileFiles
{
public:
    bool exists(const QString &file) override;
    QStringList filesIn(const QString &folder, const QString &suffix) override;

protected:
    std::optional<QByteArray> load(const QString &file) override;
    bool store(const QString &file, const QByteArray &content) override;
};

} // namespace vexo
