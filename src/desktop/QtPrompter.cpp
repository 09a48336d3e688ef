#include "desktop/QtPrompter.h"

#include "dialogs/InputText.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vexo
{

PromptAnswer QtPrompter::ask(const QString &text, const QString &title, PromptButtons buttons,
                             PromptIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case PromptIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case PromptIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case PromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
    case PromptButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case PromptButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
    case PromptButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        escape = QMessageBox::No;
        break;
    case PromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
    }
    box.setEscapeButton(escape);
    int result = box.exec();
    if (box.clickedButton() == nullptr)
        result = escape;
    switch (result) {
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        return PromptAnswer::Cancel;
    }
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
