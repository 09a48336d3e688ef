#pragma once

class QMimeData;

namespace vexo
{

// The desktop's clipboard, shared with every other program. Only the window
// thread uses it.
class Clipboard
{
public:
    virtual ~Clipboard() = default;

    // What the clipboard holds now, in every format offered; null when it is
    // empty or cannot be read. Owned by the clipboard and valid until the
    // next change of its content (by us or by another program).
    virtual const QMimeData *mimeData() = 0;
    // Replaces the content with `data`, which the clipboard takes over.
    virtual void setMimeData(QMimeData *data) = 0;
};

} // namespace vexo
