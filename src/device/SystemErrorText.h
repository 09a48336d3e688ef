#pragma once

#include <QString>

namespace vexo
{

// A system error number (errno) in the program's own Chinese words, for the
// status line: short, no trailing punctuation. Numbers without a text of our
// own give the C library's text with the number, e.g. "Exec format error (8)".
QString SystemErrorText(int errorNumber);

} // namespace vexo
