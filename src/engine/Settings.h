#pragma once

#include <QString>

namespace vexo
{

// The program-wide settings, with the values a first start gets.
struct Settings {
    QString Language = QStringLiteral("chs.lng"); // language file beside the settings
    int Comport = 1;                              // 0 = USB, 1..10 = COM1..COM10
    int Baudrate = 115200;                        // bit/s
    int Compress = 1;                             // 1 = compressed link requested
    int ReconnectSeconds = 30;                    // how long a run waits for a lost link; 0 = not at all
    bool AutoRpc = true;                          // connect the device at start-up
    bool AutoVDisk = true;                        // mount the image at start-up
    bool GridLines = false;                       // grid lines in the three lists
    int ViewMode = 0;      // 0 = not remembered (details), 1 large, 2 small, 3 list, 4 details
    bool Pathed = false;   // open the local pane at Path
    QString Path;          // start folder of the local pane
    bool LastPath = false; // remember the local pane's folder at exit
};

// The four list view styles, in toolbar order.
enum ViewStyle { vsIcon = 0, vsSmallIcon = 1, vsList = 2, vsReport = 3 };

// The view style a stored ViewMode opens with: 1..3 give large icons, small
// icons and list, 0 and 4 details; any other value gives -1 (keep the
// designed details view and press no view button).
int StartViewStyle(int viewMode);

// The ViewMode value a view style is remembered as (1..4).
int ViewModeOf(ViewStyle style);

// The local folder the local pane opens at: Path when Pathed or LastPath is
// on, Path is a local path and that folder exists; empty otherwise (the
// computer's top level).
QString StartFolder(const Settings &settings);

} // namespace vexo
