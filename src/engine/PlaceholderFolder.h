#pragma once

#include <QString>

namespace vexo
{

// The empty placeholder files of one listing, in one local folder: each
// listed name gets an empty file whose type gives the row its icon.
//
// Where the file system allows it, every new placeholder is a link to one
// anonymous empty file, which costs a directory entry instead of a new file
// (ten times cheaper on ext4 for a 10,000-file listing); otherwise each is
// created on its own. Placeholders are never written to.
class PlaceholderFolder
{
public:
    // Opens `folder`, creating it (one level) when missing.
    explicit PlaceholderFolder(const QString &folder);
    ~PlaceholderFolder();
    PlaceholderFolder(const PlaceholderFolder &) = delete;
    PlaceholderFolder &operator=(const PlaceholderFolder &) = delete;

    // False when the folder could not be opened: make() then always fails.
    bool isOpen() const { return m_dirFd >= 0; }
    // The placeholder's path (folder + "/" + name).
    QString pathOf(const QString &name) const;
    // Makes `name` an empty file in the folder, or empties the file of that
    // name. Never follows a symbolic link. `name` must be a safe bare name
    // (see IsSafeBareName). False when no empty file could be made.
    bool make(const QString &name);

private:
    QString m_folder;
    int m_dirFd = -1;
    int m_emptyFd = -1; // the anonymous empty file, -1 when linking is not possible
};

} // namespace vexo
