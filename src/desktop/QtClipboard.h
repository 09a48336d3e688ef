#pragma once

#include "platform/Clipboard.h"

namespace vexo
{

// The desktop clipboard through QClipboard (the selection clipboard of X11
// is left alone). Needs a running QGuiApplication.
class QtClipboard : public Clipboard
{
public:
    const QMimeData *mimeData() override;
    void setMimeData(QMimeData *data) override;
};

} // namespace vexo
