#pragma once

#include <QString>

namespace vexo
{

class DesktopShell;
class LanguageTable;
class Prompter;
class StatusLine;
struct Settings;

// What a pane uses of the window that holds it: the services, the texts, the
// status line, the settings and the work folder. The references follow the
// window's values (a new language, the work folder made at start-up).
struct PaneContext {
    Prompter &prompter;
    DesktopShell &shell;
    const LanguageTable &language;
    StatusLine &status;
    const Settings &settings;
    const QString &workFolder; // empty when there is none
};

} // namespace vexo
