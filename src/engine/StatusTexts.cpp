#include "engine/StatusTexts.h"

#include "engine/LanguageTable.h"

namespace vexo
{

QString StatusText::filled(const LanguageTable &language, const QStringList &args) const
{
    return Filled(language.status(QLatin1String(m_key)), args);
}

} // namespace vexo
