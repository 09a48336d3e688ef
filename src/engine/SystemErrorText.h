#pragma once

#include <QString>

namespace vexo
{

class LanguageTable;

// A system error number (errno) in the program's own words (section "Error"
// of the language table), for the status line: short, no trailing
// punctuation. Numbers without a text of their own give "system error <n>".
QString SystemErrorText(const LanguageTable &language, int errorNumber);

} // namespace vexo
