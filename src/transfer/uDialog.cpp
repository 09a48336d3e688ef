#include "transfer/uDialog.h"

#include "engine/DeviceAccess.h"
#include "engine/LanguageTable.h"
#include "engine/StatusTexts.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "transfer/PanePictures.h"
#include "transfer/TProcessThread.h"
#include "widgets/WindowPlacement.h"

#include <QLabel>
#include <QPushButton>

namespace vexo
{

TFormDialogReplace::TFormDialogReplace(const TransferContext &context, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_context(context)
{
    setObjectName(QStringLiteral("FormDialogReplace"));
    setWindowTitle(m_context.language.window(QStringLiteral("ReplaceTitle")));
    setFixedSize(ClientSize);
    setModal(true);

    const int left = 16;
    const int width = ClientSize.width() - 2 * left;
    auto label = [this](const char *name, const QRect &geometry) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(geometry);
        return l;
    };
    LabFilename = label("LabFilename", QRect(left, 12, width, 18));
    LabReplace = label("LabReplace", QRect(left, 34, width, 18));

    const int textLeft = left + PictureSize + 10;
    const int textWidth = ClientSize.width() - textLeft - left;
    const int factsHeight = 16;
    ImgSrc = label("ImgSrc", QRect(left, 66, PictureSize, PictureSize));
    LabSrc = label("LabSrc", QRect(textLeft, 66, textWidth, PictureSize));
    LabSrcFacts = label("LabSrcFacts", QRect(textLeft, 66 + PictureSize, textWidth, factsHeight));
    ImgDesc = label("ImgDesc", QRect(left, 132, PictureSize, PictureSize));
    LabDesc = label("LabDesc", QRect(textLeft, 132, textWidth, PictureSize));
    LabDescFacts = label("LabDescFacts", QRect(textLeft, 132 + PictureSize, textWidth, factsHeight));
    for (QLabel *path : {LabSrc, LabDesc}) {
        path->setWordWrap(true);
        path->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    const LanguageTable &t = m_context.language;
    const int gap = 10;
    const int buttonWidth = (width - 2 * gap) / 3;
    const int buttonHeight = 27;
    auto button = [&](const char *name, const QString &text, int row, int column,
                      void (TFormDialogReplace::*slot)()) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setGeometry(left + column * (buttonWidth + gap), 204 + row * (buttonHeight + 12), buttonWidth,
                       buttonHeight);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    // Chinese captions get their accelerators appended ("是(&Y)"); Latin
    // ones underline the letter in place ("&Yes").
    butYes = button("butYes", WithAccelerator(t.other(QStringLiteral("Yes")), u'Y'), 0, 0,
                    &TFormDialogReplace::butYesClick);
    butNo = button("butNo", WithAccelerator(t.other(QStringLiteral("No")), u'N'), 0, 1,
                   &TFormDialogReplace::butNoClick);
    butRename = button("butRename", WithAccelerator(t.msg(QStringLiteral("Rename")), u'R'), 0, 2,
                       &TFormDialogReplace::butRenameClick);
    butAllYes = button("butAllYes", WithAccelerator(t.other(QStringLiteral("YesAll")), u'A'), 1, 0,
                       &TFormDialogReplace::butAllYesClick);
    butAllNo = button("butAllNo", t.other(QStringLiteral("NoAll")), 1, 1, &TFormDialogReplace::butAllNoClick);
    butCancel = button("butCancel", WithAccelerator(t.other(QStringLiteral("Cancel")), u'C'), 1, 2,
                       &TFormDialogReplace::butCancelClick);
}

void TFormDialogReplace::SetDirection(TransferDirection direction)
{
    m_direction = direction;
}

ReplaceAnswer TFormDialogReplace::AskReplace(const QString &source, const QString &destination,
                                             const ReplaceFacts &facts)
{
    const LanguageTable &t = m_context.language;
    LabFilename->setText(Filled(t.window(QStringLiteral("ReplaceLine")), {PathFileName(source)}));
    LabReplace->setText(t.msg(QStringLiteral("YNReplacefile")));
    ImgSrc->setPixmap(PanePicture(GetPathKind(source)));
    ImgDesc->setPixmap(PanePicture(GetPathKind(destination)));
    LabSrc->setText(source);
    LabSrc->setToolTip(source);
    LabDesc->setText(destination);
    LabDesc->setToolTip(destination);
    showFacts(facts);
    m_answer = raNone;
    exec();
    return m_answer;
}

QString TFormDialogReplace::destination() const
{
    return LabDesc->text();
}

void TFormDialogReplace::answerWith(ReplaceAnswer answer)
{
    m_answer = answer;
    accept();
}

void TFormDialogReplace::showFacts(const ReplaceFacts &facts)
{
    const LanguageTable &t = m_context.language;
    m_facts = facts;
    LabSrcFacts->setText(facts.incomingLine(t));
    LabDescFacts->setText(facts.existingLine(t));
    // A side that could not tell shows nothing rather than an empty line.
    LabSrcFacts->setVisible(!LabSrcFacts->text().isEmpty());
    LabDescFacts->setVisible(!LabDescFacts->text().isEmpty());
}

QString TFormDialogReplace::askNewName(const QString &name)
{
    const LanguageTable &t = m_context.language;
    Prompter *prompter = m_context.prompter;
    QString offered = name;
    while (prompter) {
        const QString answer = prompter->promptText(t.msg(QStringLiteral("Rename")),
                                                    t.window(QStringLiteral("RenamePrompt")), offered);
        if (answer.isEmpty() || answer == name)
            return QString();
        // The device would refuse it after the question; say why now and let
        // the person shorten what he typed.
        if (m_direction != tdSend || CodePage::cp936Length(answer) <= MaxDeviceNameBytes)
            return answer;
        prompter->ask(StatusTexts::RenameTooLong(t, answer, MaxDeviceNameBytes),
                      t.message(QStringLiteral("WarningTitle")), PromptButtons::Ok, PromptIcon::Warning);
        offered = answer;
    }
    return QString();
}

void TFormDialogReplace::butRenameClick()
{
    const QString current = LabDesc->text();
    const QString answer = askNewName(PathFileName(current));
    if (answer.isEmpty())
        return;
    const QString renamed = PathFolderPart(current) + answer;
    LabDesc->setText(renamed);
    LabDesc->setToolTip(renamed);
    // A name that is taken as well stays on show, with the facts of the file
    // that holds it; the user answers again.
    if (!TransferDestinationExists(m_context.device, m_direction, renamed))
        answerWith(raRename);
    else
        showFacts({TransferDestinationFacts(m_context.device, m_direction, renamed), m_facts.incoming()});
}

void TFormDialogReplace::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

} // namespace vexo
