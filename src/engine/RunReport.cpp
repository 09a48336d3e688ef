#include "engine/RunReport.h"

namespace vexo
{

void TellRunReport(const TransferContext &context, const QString &notes, const QString &failures)
{
    QString report = notes;
    if (!failures.isEmpty())
        report += (report.isEmpty() ? QString() : QStringLiteral("\n\n")) + failures;
    const bool failed = !failures.isEmpty();
    if (Prompter *prompter = context.prompter; prompter && !report.isEmpty())
        prompter->tell(
            report,
            context.language.message(failed ? QStringLiteral("ErrorTitle") : QStringLiteral("PromptTitle")),
            failed ? PromptIcon::Error : PromptIcon::Information);
}

QString WithFailureLines(const LanguageTable &language, const QString &failures, const QStringList &lines)
{
    if (lines.isEmpty())
        return failures;
    if (failures.isEmpty())
        return language.message(QStringLiteral("NotCopied")) + QStringLiteral("\n\n") + lines.join(u'\n');
    return failures + u'\n' + lines.join(u'\n');
}

} // namespace vexo
