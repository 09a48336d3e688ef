#pragma once

#include "platform/Prompter.h"

#include <QList>
#include <QQueue>

namespace vexo::test
{

// Answers questions from a script and records every question asked. With an
// empty script it answers Cancel (the safe choice) and browses nothing.
class ScriptedPrompter : public Prompter
{
public:
    struct Question {
        QString text;
        QString title;
        PromptButtons buttons;
        PromptIcon icon;
    };

    void answer(PromptAnswer a) { m_answers.enqueue(a); }
    void answerFolder(const QString &folder) { m_folders.enqueue(folder); }
    void answerText(const QString &text) { m_texts.enqueue(text); }
    const QList<Question> &questions() const { return m_questions; }
    QStringList texts() const
    {
        QStringList out;
        for (const Question &q : m_questions)
            out << q.text;
        return out;
    }

    PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        m_questions.append({text, title, buttons, icon});
        return m_answers.isEmpty() ? PromptAnswer::Cancel : m_answers.dequeue();
    }
    QString browseFolder(const QString &prompt, const QString &) override
    {
        m_questions.append({prompt, QString(), PromptButtons::OkCancel, PromptIcon::None});
        return m_folders.isEmpty() ? QString() : m_folders.dequeue();
    }

    // Without a scripted text the dialog counts as cancelled.
    QString promptText(const QString &title, const QString &prompt, const QString &) override
    {
        m_questions.append({prompt, title, PromptButtons::OkCancel, PromptIcon::None});
        return m_texts.isEmpty() ? QString() : m_texts.dequeue();
    }

private:
    QQueue<QString> m_texts;
    QQueue<PromptAnswer> m_answers;
    QQueue<QString> m_folders;
    QList<Question> m_questions;
};

} // namespace vexo::test
