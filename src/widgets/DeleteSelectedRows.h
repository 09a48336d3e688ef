#pragma once

#include <functional>

class QString;

namespace vexo
{

class FileListView;
class FileRowModel;

// What became of the file of one selected row.
enum class RowDelete {
    Deleted, // the row goes
    Kept,    // the row stays
    Stop,    // no further row is tried (the rows may have changed meanwhile)
};

// Tries `remove` on the caption of every selected row of `list`, top down,
// each once; rows whose file was deleted leave the model.
void DeleteSelectedRows(FileListView &list, FileRowModel &rows,
                        const std::function<RowDelete(const QString &caption)> &remove);

} // namespace vexo
