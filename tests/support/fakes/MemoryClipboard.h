#pragma once

#include "platform/Clipboard.h"

#include <QMimeData>

#include <memory>

namespace vexo::test
{

// A clipboard of our own, as if no other program used it; counts the writes.
class MemoryClipboard : public Clipboard
{
public:
    const QMimeData *mimeData() override { return m_data.get(); }
    void setMimeData(QMimeData *data) override
    {
        m_data.reset(data);
        ++m_writes;
    }
    int writes() const { return m_writes; }

private:
    std::unique_ptr<QMimeData> m_data;
    int m_writes = 0;
};

} // namespace vexo::test
