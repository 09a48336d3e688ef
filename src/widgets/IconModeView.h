#pragma once

#include "widgets/OwnedItemView.h"

#include <QListView>

namespace vexo
{

// The icon and list styles of a FileListView. Drags and drops are handed to
// the owning list, which lets its owner decide.
class IconModeView : public OwnedItemView<QListView>
{
public:
    using OwnedItemView::OwnedItemView;
};

} // namespace vexo
