#pragma once

#include <QString>

namespace vexo
{

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// Message boxes and the folder browse dialog. Engine code asks through this
// interface and never opens a window itself; only the window thread calls it.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // A modal message box; closing it without a button gives Cancel (or No
    // when there is no Cancel button, Ok for an Ok-only box).
    virtual PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                             PromptIcon icon) = 0;
    // A message box with an OK button that nothing waits on: the call
    // returns at once, and the box closes by itself when its window does.
    // For reports at the end of a task, which must never hold up a shut-down.
    virtual void tell(const QString &text, const QString &title, PromptIcon icon)
    {
        ask(text, title, PromptButtons::Ok, icon);
    }
    // A folder chooser; empty when the user cancelled.
    virtual QString browseFolder(const QString &prompt, const QString &startFolder) = 0;
    // The one-line text input dialog; empty when the user cancelled or
    // entered nothing, the initial text when the window was closed.
    virtual QString promptText(const QString &title, const QString &prompt, const QString &initial) = 0;
    // The captions of the text input dialog's two buttons, in the interface
    // language; until set, the dialog's own.
    virtual void setInputButtonTexts(const QString &ok, const QString &cancel)
    {
        Q_UNUSED(ok);
        Q_UNUSED(cancel);
    }
};

} // namespace vexo
