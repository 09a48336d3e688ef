#pragma once

#include "platform/Prompter.h"

class QWidget;

namespace vexo
{

// Prompter on QMessageBox and QFileDialog, parented to a window.
class QtPrompter : public Prompter
{
public:
    explicit QtPrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                     PromptIcon icon) override;
    void tell(const QString &text, const QString &title, PromptIcon icon) override;
    QString browseFolder(const QString &prompt, const QString &startFolder) override;
    QString promptText(const QString &title, const QString &prompt, const QString &initial) override;
    void setInputButtonTexts(const QString &ok, const QString &cancel) override;

private:
    QWidget *m_parent;
    QString m_ok;
    QString m_cancel;
};

} // namespace vexo
