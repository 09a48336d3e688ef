#pragma once

// What the windows show, written as JSON for the acceptance tests, which read
// the program from outside the way a person reads the screen.
//
// Built only into test builds and inert unless VEXO_STATE_FILE names a file.
// A test asks for a snapshot by writing a number into VEXO_STATE_FILE +
// ".request"; the window thread answers within about 50 ms (or when it is free
// again) by replacing VEXO_STATE_FILE with a snapshot carrying that number as
// "seq". The snapshot lists every visible window and, per visible widget, its
// object name, class, screen rectangle, focus, enabled state and texts; file
// lists add their rows with the selection and each row's screen rectangle.
//
// Installed by itself when the application object is created.

class QJsonObject;

namespace vexo
{

// The current snapshot, without "seq".
QJsonObject windowStateSnapshot();

} // namespace vexo
