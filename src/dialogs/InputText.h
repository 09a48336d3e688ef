#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vexo
{

// A small fixed-size modal dialog that asks for one line of text.
//
// Answers: OK, or releasing Enter in the edit box, gives the edit's text as
// typed (not trimmed, possibly empty); Cancel or Escape gives an empty text;
// closing with the close box gives the initial text unchanged. Enter acts on
// its release only, and only for an Enter that went down in the edit box, so
// the release of an Enter that opened the dialog does not close it.
class TFormInputText : public QDialog
{
    Q_OBJECT
public:
    static constexpr QSize ClientSize{340, 136};
    static constexpr int FieldWidth = 297;

    explicit TFormInputText(QWidget *parent = nullptr);

    // Shows the dialog modally, centred on the screen, with `title` as its
    // caption, `prompt` above the edit box and `initial` in it; returns the
    // answer once it has closed.
    QString AskText(const QString &title, const QString &prompt, const QString &initial);
    // The answer so far (the initial text until a button decides otherwise).
    QString answer() const { return m_answer; }
    // The captions of ButOk and ButCancel ("OK" and "Cancel" until set).
    void setButtonTexts(const QString &ok, const QString &cancel);

public slots:
    void ButOkClick();
    void ButCancelClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *LabCaption;
    QLineEdit *edtText;
    QPushButton *ButOk;
    QPushButton *ButCancel;
    QString m_answer;
    bool m_enterDownInEdit = false;
};

// Asks with a fresh TFormInputText and returns its answer; an empty answer
// means the user cancelled. Empty button texts keep the dialog's own. Call on
// the window thread.
QString PromptText(const QString &title, const QString &prompt, const QString &initial,
                   QWidget *parent = nullptr, const QString &okText = QString(),
                   const QString &cancelText = QString());

} // namespace vexo
