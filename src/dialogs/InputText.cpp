#include "dialogs/InputText.h"
#include "widgets/WindowPlacement.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vexo
{

namespace
{

bool isEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

TFormInputText::TFormInputText(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormInputText"));
    setFixedSize(ClientSize);
    setModal(true);

    const int left = (ClientSize.width() - FieldWidth) / 2;
    LabCaption = new QLabel(this);
    LabCaption->setObjectName(QStringLiteral("LabCaption"));
    LabCaption->setGeometry(left, 14, FieldWidth, 20);
    LabCaption->setTextFormat(Qt::PlainText);

    edtText = new QLineEdit(this);
    edtText->setObjectName(QStringLiteral("edtText"));
    edtText->setGeometry(left, 40, FieldWidth, 24);
    // Names are typed in the plain keyboard layout; the input method stays off.
    edtText->setAttribute(Qt::WA_InputMethodEnabled, false);
    edtText->installEventFilter(this);

    const int buttonWidth = 80;
    const int buttonHeight = 27;
    const int buttonTop = ClientSize.height() - 16 - buttonHeight;
    ButCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButCancel->setObjectName(QStringLiteral("ButCancel"));
    ButCancel->setGeometry(left + FieldWidth - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    ButOk = new QPushButton(QStringLiteral("OK"), this);
    ButOk->setObjectName(QStringLiteral("ButOk"));
    ButOk->setGeometry(left + FieldWidth - 2 * buttonWidth - 10, buttonTop, buttonWidth, buttonHeight);
    // No default button: Enter must not close the dialog when it goes down.
    for (QPushButton *button : {ButOk, ButCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(ButOk, &QPushButton::clicked, this, &TFormInputText::ButOkClick);
    connect(ButCancel, &QPushButton::clicked, this, &TFormInputText::ButCancelClick);
    setTabOrder(edtText, ButOk);
    setTabOrder(ButOk, ButCancel);
}

QString TFormInputText::AskText(const QString &title, const QString &prompt, const QString &initial)
{
    m_answer = initial;
    m_enterDownInEdit = false;
    setWindowTitle(title);
    LabCaption->setText(prompt);
    edtText->setText(initial);
    edtText->selectAll();
    edtText->setFocus(Qt::OtherFocusReason);
    exec();
    return m_answer;
}

void TFormInputText::ButOkClick()
{
    m_answer = edtText->text();
    accept();
}

void TFormInputText::ButCancelClick()
{
    m_answer.clear();
    QDialog::reject();
}

bool TFormInputText::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtText) {
        switch (event->type()) {
        case QEvent::FocusIn:
            edtText->setAttribute(Qt::WA_InputMethodEnabled, false);
            break;
        case QEvent::KeyPress:
            if (isEnter(static_cast<QKeyEvent *>(event))) {
                m_enterDownInEdit = true;
                return true;
            }
            break;
        case QEvent::KeyRelease: {
            auto *key = static_cast<QKeyEvent *>(event);
            if (isEnter(key) && !key->isAutoRepeat()) {
                if (m_enterDownInEdit)
                    ButOkClick();
                m_enterDownInEdit = false;
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormInputText::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ButCancelClick();
        return;
    }
    // QDialog would treat Enter as a click on a default button; we have none.
    if (isEnter(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormInputText::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

void TFormInputText::setButtonTexts(const QString &ok, const QString &cancel)
{
    ButOk->setText(ok);
    ButCancel->setText(cancel);
}

QString PromptText(const QString &title, const QString &prompt, const QString &initial, QWidget *parent,
                   const QString &okText, const QString &cancelText)
{
    TFormInputText dialog(parent);
    if (!okText.isEmpty() && !cancelText.isEmpty())
        dialog.setButtonTexts(okText, cancelText);
    return dialog.AskText(title, prompt, initial);
}

} // namespace vexo
