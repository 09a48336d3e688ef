#include "widgets/DeleteSelectedRows.h"

#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

namespace vexo
{

void DeleteSelectedRows(FileListView &list, FileRowModel &rows,
                        const std::function<RowDelete(const QString &caption)> &remove)
{
    for (int row = 0; row < rows.rowCount();) {
        if (!list.isRowSelected(row)) {
            ++row;
            continue;
        }
        switch (remove(rows.caption(row))) {
        case RowDelete::Deleted:
            // The row below moves up into this place and is looked at next.
            rows.removeRows(row, 1);
            break;
        case RowDelete::Kept:
            ++row;
            break;
        case RowDelete::Stop:
            return;
        }
    }
}

} // namespace vexo
