#pragma once

#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/LanguageTable.h"
#include "engine/Settings.h"
#include "engine/TransferWindow.h"
#include "platform/Prompter.h"

#include <QString>

namespace vexo
{

// What the transfer code works with in place of the main window. The window
// fills it once and outlives every copy of it; the language table, the
// settings and the work folder are the window's own, so later changes show.
struct TransferContext {
    TransferWindow &window;
    DeviceAccess &device;
    ImageAccess &image;
    // The window's prompter, as it was given one.
    Prompter *prompter;
    const LanguageTable &language;
    const Settings &settings;
    // Empty without a work folder.
    const QString &workFolder;
};

} // namespace vexo
