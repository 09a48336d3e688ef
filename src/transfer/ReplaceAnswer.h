#pragma once

namespace vexo
{

// The answers of the replace dialog.
enum ReplaceAnswer {
    raNone = 0,   // closed another way (close box, Escape)
    raYes = 1,    // replace this file
    raNo = 2,     // skip this file
    raRename = 3, // write to the new, free name shown as the destination
    raYesAll = 4, // replace this and every later file, ask no more
    raNoAll = 5,  // keep every existing destination, ask no more
    raCancel = 6, // end the run
};

} // namespace vexo
