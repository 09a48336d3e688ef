#pragma once

#include "engine/ReplaceFacts.h"
#include "engine/TransferContext.h"
#include "engine/TransferDirection.h"
#include "transfer/ReplaceAnswer.h"

#include <QDialog>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;

namespace vexo
{

// The modal question asked when a transfer's destination exists: it names
// the file, shows source and destination with a picture of the pane each
// belongs to, each with its size and date (the newer one marked), and offers
// Yes, Yes to all, No, No to all, Rename and Cancel. Rename asks for a new
// name and closes only when that name is free (on the device when sending,
// among the PC's files when receiving); otherwise the dialog stays open
// showing the new destination. A name too long for the device is refused
// with its limit and asked for again. A fresh dialog serves one question.
class TFormDialogReplace : public QDialog
{
    Q_OBJECT
public:
    static constexpr QSize ClientSize{380, 300};
    static constexpr int PictureSize = 41;

    explicit TFormDialogReplace(const TransferContext &context, QWidget *parent = nullptr);

    // Where a new name is looked for; tdSend until set.
    void SetDirection(TransferDirection direction);
    // Fills the dialog for (source, destination) and the facts of both files,
    // shows it modally, centred on the screen, and returns the answer once it
    // has closed.
    ReplaceAnswer AskReplace(const QString &source, const QString &destination,
                             const ReplaceFacts &facts = ReplaceFacts());
    // The destination to use: the one given, or the last name entered by Rename.
    QString destination() const;
    ReplaceAnswer answer() const { return m_answer; }

    QLabel *LabFilename = nullptr;
    QLabel *LabReplace = nullptr;
    QLabel *ImgSrc = nullptr;
    QLabel *LabSrc = nullptr;
    QLabel *LabSrcFacts = nullptr;
    QLabel *ImgDesc = nullptr;
    QLabel *LabDesc = nullptr;
    QLabel *LabDescFacts = nullptr;
    QPushButton *butYes = nullptr;
    QPushButton *butNo = nullptr;
    QPushButton *butRename = nullptr;
    QPushButton *butAllYes = nullptr;
    QPushButton *butAllNo = nullptr;
    QPushButton *butCancel = nullptr;

public slots:
    void butYesClick() { answerWith(raYes); }
    void butNoClick() { answerWith(raNo); }
    void butAllYesClick() { answerWith(raYesAll); }
    void butAllNoClick() { answerWith(raNoAll); }
    void butCancelClick() { answerWith(raCancel); }
    void butRenameClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void answerWith(ReplaceAnswer answer);
    void showFacts(const ReplaceFacts &facts);
    // The new name the person settles on; empty when he gives up.
    QString askNewName(const QString &name);

    const TransferContext m_context;
    TransferDirection m_direction = tdSend;
    ReplaceFacts m_facts;
    ReplaceAnswer m_answer = raNone;
};

} // namespace vexo
