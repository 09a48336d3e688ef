#pragma once

#include <QString>

namespace vexo
{

class DeviceAccess;
class ImageAccess;
class LanguageTable;
class Prompter;
struct Settings;
class TransferWindow;

// What the transfer code works with in place of the main window. Filled once
// by the window; not owned.
struct TransferContext {
    TransferWindow *window = nullptr;
    DeviceAccess *device = nullptr;
    ImageAccess *image = nullptr;
    Prompter *prompter = nullptr;
    // The interface texts; the window's table, so a change of language shows.
    const LanguageTable *language = nullptr;
    const Settings *settings = nullptr;
    // The work folder; empty without one.
    const QString *workFolder = nullptr;
};

} // namespace vexo
