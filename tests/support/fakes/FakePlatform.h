#pragma once

#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "ScriptedPrompter.h"
#include "platform/PlatformServices.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace vexo::test
{

// The services every window test needs, as fakes over a private temporary
// folder that serves as the program folder (VexoFile.ini) and, below "tmp/",
// as the system temporary folder. Device, image, registry and clipboard
// fakes are added to services() by the tests that use them.
class FakePlatform
{
    QTemporaryDir m_dir; // first: the folders below live in it

public:
    FakePlatform() { QDir().mkpath(m_dir.path() + "/tmp"); }

    QString folder() const { return m_dir.path(); }
    QString ini() const { return m_dir.path() + "/VexoFile.ini"; }
    PlatformServices services() { return PlatformServices{&files, &paths, &prompter, &shell}; }

    MemoryProfileFiles files;
    FakeSystemPaths paths{m_dir.path() + "/", m_dir.path() + "/tmp/"};
    ScriptedPrompter prompter;
    FakeDesktopShell shell;
};

// Shows a main window at a fixed size and waits until it has the keyboard,
// so key presses reach its lists.
inline void showActive(QWidget &window)
{
    window.resize(1000, 700);
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window))
        qWarning("window not active");
}

} // namespace vexo::test
