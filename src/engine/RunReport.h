#pragma once

#include "engine/TransferContext.h"

#include <QString>
#include <QStringList>

namespace vexo
{

// The one box at the end of a copy: first its notes (the folders it left
// out), then the files that failed (a "not copied" list). Nothing waits on
// it: the program may be closed under it at any time. Neither part: no box.
void TellRunReport(const TransferContext &context, const QString &notes, const QString &failures);

// A "not copied" list (or none, when empty) with more of its lines after the
// ones it has, so that two stages of one copy end with one list.
QString WithFailureLines(const LanguageTable &language, const QString &failures, const QStringList &lines);

} // namespace vexo
