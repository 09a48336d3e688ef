#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QMutex>

namespace vexo
{

// File icons by type from the desktop's icon theme, chosen by the file's
// name; safe to call from the file-system model's gatherer thread. The
// platform's own provider gives every file one icon when no desktop
// environment is running; placeholder files (empty) would also all look
// alike if judged by their contents.
class MimeIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;

private:
    mutable QMutex m_lock;
    mutable QHash<QString, QIcon> m_byMime;
};

} // namespace vexo
