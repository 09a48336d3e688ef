// Shared by the tests of the main window and its panes: the fakes each test
// starts from, and the list, file and tool helpers they all use.
#pragma once

#include "FakePlatform.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <array>
#include <initializer_list>
#include <memory>

namespace vexo::test
{

// The row captions in the list's order (sorted when asked).
inline QStringList captions(const FileRowModel *rows, bool sorted = false)
{
    QStringList out;
    for (int i = 0; i < rows->rowCount(); ++i)
        out << rows->caption(i);
    if (sorted)
        out.sort();
    return out;
}

// The row whose caption is `name`; -1 when there is none.
inline int rowOf(const FileRowModel *rows, const QString &name)
{
    return int(captions(rows).indexOf(name));
}

// Selects exactly `rows`.
inline void selectRows(FileListView *list, const QList<int> &rows)
{
    list->clearSelection();
    for (int row : rows)
        list->selectionModel()->select(list->indexOfRow(row),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Renames a row in place, as the user does: F2's editor, the new text, Enter.
inline void renameInPlace(FileListView *list, int row, const QString &text)
{
    list->setCurrentRow(row);
    list->currentView()->setFocus();
    list->editCurrent();
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!list->isEditing());
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Writes a file the test needs; a failure fails the test.
inline void putFile(const QString &path, const QByteArray &data)
{
    QVERIFY(writeFile(path, data));
}

// Every entry of a folder, hidden ones included, sorted: no temporary file may
// stay. The hidden partial an interrupted transfer keeps for the next one to
// continue (".vexo-keep" in its name) is left out: it stays on purpose.
inline QStringList entries(const QString &folder)
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeIf([](const QString &name) { return name.contains(QLatin1String(".vexo-keep")); });
    names.sort();
    return names;
}

inline QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : data)
        c = char(generator.generate());
    return data;
}

// A system tool by name, also from the administrators' folders; empty when missing.
inline QString tool(const char *name)
{
    QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QLatin1String(name), {"/usr/sbin", "/sbin"});
    return path;
}

// Runs a program; its exit code, -1 when it did not run to its end. Output
// (both channels) goes to *output.
inline int runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// A data function's two string columns and its rows, each {tag, first, second}.
inline void addStringRows(const char *first, const char *second,
                          std::initializer_list<std::array<const char *, 3>> rows)
{
    QTest::addColumn<QString>(first);
    QTest::addColumn<QString>(second);
    for (const auto &row : rows)
        QTest::addRow("%s", row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
}

// The fakes a window test starts each test function from: a test class
// derives from it and calls resetFakes() in init().
class WindowFakes
{
protected:
    void resetFakes()
    {
        m_fake = std::make_unique<FakePlatform>();
        m_files = &m_fake->files;
        m_prompter = &m_fake->prompter;
        m_shell = &m_fake->shell;
        m_ini = m_fake->ini();
    }
    // Opening a file no program takes: the shell was asked, and the status
    // line says so. The shell stays refusing.
    template <class Window, class Open> void expectNoProgramFor(Window *w, const QString &name, Open open)
    {
        m_shell->setCanOpen(false);
        const auto asked = m_shell->opened().size();
        open();
        QCOMPARE(w->statusText(), "No program can open " + name);
        QCOMPARE(m_shell->opened().size(), asked + 1);
    }
    void setIni(const QByteArray &content) { m_files->setContent(m_ini, content); }

    std::unique_ptr<FakePlatform> m_fake;
    MemoryProfileFiles *m_files = nullptr;
    ScriptedPrompter *m_prompter = nullptr;
    FakeDesktopShell *m_shell = nullptr;
    QString m_ini; // the settings file
};

} // namespace vexo::test
