#pragma once

class QString;

namespace vexo
{

// The window's operation-status line, as the panes and the transfers use it.
class StatusLine
{
public:
    virtual ~StatusLine() = default;
    // Replaces the text.
    virtual void setStatusText(const QString &text) = 0;
    // Why a command did nothing: shown long enough to be read, unless a
    // newer text replaces it.
    virtual void showReason(const QString &text) = 0;
};

} // namespace vexo
