// The executor on its own, with no window at all: a recording stand-in for
// the window, the image in memory and a played device.
#include "engine/TransferExecutor.h"
#include "MemoryVDiskLibrary.h"
#include "ScriptedPrompter.h"
#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/LanguageTable.h"
#include "engine/TransferWindow.h"
#include "engine/common.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

// Logs what a run asks of the window. A device receive plays the device: it
// writes each middle file except those in `skips`.
class RecordingWindow : public TransferWindow
{
public:
    QStringList log;
    QStringList skips;
    QList<Pointer> pointers;
    bool idleFlag = true;

    void runDevice(const QStringList &sources, const QStringList &destinations,
                   TransferDirection direction) override
    {
        log << QStringLiteral("device %1 %2 pointer %3 idle %4")
                   .arg(direction == tdSend ? "send" : "receive")
                   .arg(sources.join(','))
                   .arg(pointers.isEmpty()                 ? "none"
                        : pointers.last() == Pointer::Busy ? "busy"
                                                           : "normal")
                   .arg(idleFlag);
        for (int i = 0; i < sources.size() && direction == tdReceive; ++i) {
            QFile out(destinations[i]);
            if (!skips.contains(PathFileName(sources[i])) && out.open(QIODevice::WriteOnly))
                out.write("data of " + PathFileName(sources[i]).toUtf8());
        }
    }
    void showStatus(const QString &text) override { log << "status " + text; }
    void showReason(const QString &text, Pane) override { log << "reason " + text; }
    void pushPointer(Pointer pointer) override { pointers << pointer; }
    void popPointer() override { pointers.removeLast(); }
    bool idle() const override { return idleFlag; }
    void setIdle(bool idle) override { idleFlag = idle; }
    QString localFolder() const override { return QString(); }
    QStringList localSelection() const override { return {}; }
    void relist(Pane) override { log << "relist"; }
    void deviceLinkLost(const DeviceResult &) override { log << "lost"; }
};

class PlayedSides : public DeviceAccess, public ImageAccess
{
public:
    bool deviceConnected = true;
    bool imageMounted = true;
    bool imageDamaged = false;
    test::MemoryVDiskLibrary image;

    bool RpcConnected() const override { return deviceConnected; }
    bool fileExists(const QString &) const override { return false; }
    DeviceResult send(const QString &, const QString &, int *, int *, bool) override { return {}; }
    DeviceResult receive(const QString &, const QString &, int *, int *, bool) override { return {}; }
    bool isMounted() const override { return imageMounted; }
    bool damaged() const override { return imageDamaged; }
    VDiskLibrary *library() const override { return const_cast<test::MemoryVDiskLibrary *>(&image); }
};

} // namespace

// A relay holds the window busy from start to end, with the normal pointer
// for the device stage and every message; it leaves the pointer and OpIdle
// as it found them. A plan whose side is missing runs nothing at all.
TEST(TransferExecutor, aRelayKeepsTheWindowBusyAndAMissingSideRunsNothing)
{
    QTemporaryDir work;
    const QString workFolder = work.path();
    RecordingWindow window;
    window.skips = {"B.TXT"};
    PlayedSides sides;
    sides.image.InitFileSystem();
    test::ScriptedPrompter prompter;
    const LanguageTable language;
    const Settings settings;
    TransferExecutor executor({window, sides, sides, &prompter, language, settings, workFolder});

    const TransferPlan relay = PlanPaste(Pane::VDisk, {"TVR:\\A.TXT", "TVR:\\B.TXT"}, QString());
    sides.imageMounted = false;
    EXPECT_FALSE(executor.run(relay));
    sides.imageMounted = true;
    sides.deviceConnected = false;
    EXPECT_FALSE(executor.run(relay));
    EXPECT_FALSE(executor.run(PlanPaste(Pane::Device, {"TVR:\\A.TXT"}, QString())));
    EXPECT_TRUE(window.log.isEmpty());

    sides.deviceConnected = true;
    ASSERT_TRUE(executor.run(relay));
    ASSERT_FALSE(window.log.isEmpty());
    EXPECT_EQ(window.log.first(), "device receive TVR:\\A.TXT,TVR:\\B.TXT pointer normal idle 0");
    EXPECT_EQ(sides.image.content("A.TXT").value_or(""), QByteArray("data of A.TXT"));
    EXPECT_FALSE(sides.image.content("B.TXT"));
    // B.TXT failed in the device run, which reported it: the image stage
    // does not try it again, so there is no second box for it.
    EXPECT_TRUE(prompter.texts().isEmpty());
    EXPECT_TRUE(window.pointers.isEmpty());
    EXPECT_TRUE(window.idleFlag);
    EXPECT_FALSE(QFileInfo::exists(executor.relayFolder()));

    // The other way: a file the image stage could not copy is reported
    // there once and never handed to the device.
    window.log.clear();
    sides.image.addFile("C.TXT", "c", 0);
    ASSERT_TRUE(executor.run(PlanPaste(Pane::Device, {"C.TXT", "GONE.TXT"}, QString())));
    EXPECT_EQ(prompter.texts().size(), 1);
    EXPECT_EQ(window.log.filter("device").join('|'),
              "device send " + executor.relayFolder() + "/C.TXT pointer normal idle 0");
}

namespace
{

// The executor over an empty image and a PC folder, answering every question
// with Cancel (the prompter's default).
struct ImageRun {
    QTemporaryDir pc;
    RecordingWindow window;
    PlayedSides sides;
    test::ScriptedPrompter prompter;
    const LanguageTable language;
    const Settings settings;
    const QString workFolder;
    TransferExecutor executor{{window, sides, sides, &prompter, language, settings, workFolder}};

    ImageRun() { sides.image.InitFileSystem(); }
    QString pcFile(const QString &name, const QByteArray &data, const QDateTime &modified = {})
    {
        QFile f(pc.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(data);
        f.flush(); // a later write would stamp its own time
        if (modified.isValid())
            f.setFileTime(modified, QFileDevice::FileModificationTime);
        return f.fileName();
    }
};

} // namespace

// The image route's Yes/No/Cancel question carries both files' size and
// date, the newer one marked, both ways. The image keeps its wall-clock time,
// which shows as it is; the PC's time shows in the PC's zone.
TEST(TransferExecutor, theImageQuestionTellsBothFilesAndTheNewer)
{
    for (const bool intoImage : {true, false}) {
        ImageRun run;
        const QString pcPath = run.pcFile("a.txt", "pc data!!", QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
        const QDateTime imageClock(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        run.sides.image.addFile("A.TXT", "image", static_cast<qint32>(imageClock.toSecsSinceEpoch()));
        if (intoImage)
            run.executor.RunVDiskCopy({pcPath}, {"A.TXT"});
        else
            run.executor.RunVDiskCopy({"A.TXT"}, {pcPath});

        const QString image = "5 bytes, 2026-03-01 12:00:00 (newer)";
        const QString pc = "9 bytes, 2026-03-01 10:00:00";
        const QString destination = intoImage ? "A.TXT" : pcPath;
        const QString asked = destination + " already exists. Do you want to replace it?\n\nExisting file: " +
                              (intoImage ? image : pc) + "\nReplace with: " + (intoImage ? pc : image);
        EXPECT_EQ(run.prompter.texts().join("|").toStdString(), asked.toStdString());
        EXPECT_EQ(run.sides.image.content("A.TXT").value_or(""), QByteArray("image"));
    }
}

// Names too long for the image (over 17 CP936 bytes) are not copied and are
// named together in one box at the end; the others are copied.
TEST(TransferExecutor, namesTooLongForTheImageAreListedOnce)
{
    ImageRun run;
    QStringList sources;
    for (const char *name : {"a", "b", "c"})
        sources << run.pcFile(name, name);
    run.executor.RunVDiskCopy(sources, {"eighteen-bytes.txt", "seventeen-bytes.a", "九个汉字的文件名字"});
    EXPECT_EQ(run.prompter.texts().join("|").toStdString(),
              "These files were not copied:\n\n"
              "eighteen-bytes.txt: the name is longer than 17 bytes\n"
              "九个汉字的文件名字: the name is longer than 17 bytes");
    EXPECT_EQ(run.sides.image.content("seventeen-bytes.a").value_or(""), QByteArray("b"));
    EXPECT_FALSE(run.sides.image.content("eighteen-bytes.txt"));
}

// A copy out of an image whose tables the mount found damaged says so, not
// that the file may be in use.
TEST(TransferExecutor, aFailedCopyOutOfADamagedImageNamesTheDamage)
{
    ImageRun run;
    run.sides.imageDamaged = true;
    run.executor.RunVDiskCopy({"GONE.TXT"}, {run.pc.filePath("gone.txt")});
    EXPECT_EQ(run.prompter.texts().join("|"), run.language.status("ImageDamaged"));
}
