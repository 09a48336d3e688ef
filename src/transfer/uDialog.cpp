#include "transfer/uDialog.h"

#include "engine/DeviceAccess.h"
#include "engine/LanguageTable.h"
#include "engine/common.h"
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
    setFixedSize(ClientWidth, ClientHeight);
    setModal(true);

    const int left = 16;
    const int width = ClientWidth - 2 * left;
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
    const int textWidth = ClientWidth - textLeft - left;
    ImgSrc = label("ImgSrc", QRect(left, 66, PictureSize, PictureSize));
    LabSrc = label("LabSrc", QRect(textLeft, 66, textWidth, PictureSize));
    ImgDesc = label("ImgDesc", QRect(left, 124, PictureSize, PictureSize));
    LabDesc = label("LabDesc", QRect(textLeft, 124, textWidth, PictureSize));
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
        b->setGeometry(left + column * (buttonWidth + gap), 190 + row * (buttonHeight + 12), buttonWidth,
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

ReplaceAnswer TFormDialogReplace::AskReplace(const QString &source, const QString &destination)
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

void TFormDialogReplace::butRenameClick()
{
    const QString current = LabDesc->text();
    const QString name = PathFileName(current);
    const QString folder = PathFolderPart(current);
    Prompter *prompter = m_context.prompter;
    if (!prompter)
        return;
    const QString answer =
        prompter->promptText(m_context.language.msg(QStringLiteral("Rename")),
                             m_context.language.window(QStringLiteral("RenamePrompt")), name);
    if (answer.isEmpty() || answer == name)
        return;
    const QString renamed = folder + answer;
    LabDesc->setText(renamed);
    LabDesc->setToolTip(renamed);
    // A name that is taken as well stays on show; the user answers again.
    if (!TransferDestinationExists(m_context.device, m_direction, renamed))
        answerWith(raRename);
}

void TFormDialogReplace::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

} // namespace vexo
