#pragma once

#include <QStringList>

namespace vexo::test
{

// The recorded calls whose text starts with `prefix`, in the order made.
inline QStringList callsStartingWith(const QStringList &calls, const QString &prefix)
{
    QStringList out;
    for (const QString &call : calls) {
        if (call.startsWith(prefix))
            out << call;
    }
    return out;
}

} // namespace vexo::test
