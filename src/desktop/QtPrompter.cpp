#include "desktop/QtPrompter.h"

#include "dialogs/InputText.h"

#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>

#include <utility>

namespace vexo
{

namespace
{

// In the order of PromptIcon.
const QMessageBox::Icon BoxIcons[] = {QMessageBox::NoIcon, QMessageBox::Information, QMessageBox::Warning,
                                      QMessageBox::Critical, QMessageBox::Question};

// In the order of PromptButtons: the buttons shown, and the one that Escape
// and the close box give.
struct ButtonSet {
    QMessageBox::StandardButtons shown;
    QMessageBox::StandardButton escape;
};
const ButtonSet ButtonSets[] = {
    {QMessageBox::Ok, QMessageBox::Ok},
    {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
    {QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
    {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel}};

// What each button answers; any other (Cancel) answers Cancel.
const std::pair<QMessageBox::StandardButton, PromptAnswer> Answers[] = {{QMessageBox::Ok, PromptAnswer::Ok},
                                                                        {QMessageBox::Yes, PromptAnswer::Yes},
                                                                        {QMessageBox::No, PromptAnswer::No}};

// Closes a box once the window it watches is closed (hidden by the
// program, not merely minimised).
class ClosesWithWindow : public QObject
{
public:
    explicit ClosesWithWindow(QWidget *box) : QObject(box), m_box(box) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous())
            m_box->close();
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_box;
};

} // namespace

void QtPrompter::tell(const QString &text, const QString &title, PromptIcon icon)
{
    auto *box = new QMessageBox(BoxIcons[static_cast<int>(icon)], title, text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (m_parent)
        m_parent->window()->installEventFilter(new ClosesWithWindow(box));
    box->show();
}

PromptAnswer QtPrompter::ask(const QString &text, const QString &title, PromptButtons buttons,
                             PromptIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(BoxIcons[static_cast<int>(icon)]);
    const ButtonSet &set = ButtonSets[static_cast<int>(buttons)];
    box.setStandardButtons(set.shown);
    box.setEscapeButton(set.escape);
    int result = box.exec();
    if (box.clickedButton() == nullptr)
        result = set.escape;
    for (const auto &[button, answer] : Answers) {
        if (result == button)
            return answer;
    }
    return PromptAnswer::Cancel;
}

QString QtPrompter::browseFolder(const QString &prompt, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(m_parent, prompt, startFolder);
}

QString QtPrompter::promptText(const QString &title, const QString &prompt, const QString &initial)
{
    return PromptText(title, prompt, initial, m_parent, m_ok, m_cancel);
}

void QtPrompter::setInputButtonTexts(const QString &ok, const QString &cancel)
{
    m_ok = ok;
    m_cancel = cancel;
}

} // namespace vexo
