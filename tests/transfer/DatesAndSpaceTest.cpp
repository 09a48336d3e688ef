// The executor over the real image library and vexo-deviced on a
// pseudo-terminal: every direction keeps the source's time, and a copy that
// cannot fit is refused before anything is written.
#include "DevicedProcess.h"
#include "ScriptedPrompter.h"
#include "engine/DeviceSession.h"
#include "engine/ImageAccess.h"
#include "engine/ImageTime.h"
#include "engine/LanguageTable.h"
#include "engine/SpaceCheck.h"
#include "engine/TransferExecutor.h"
#include "engine/TransferProgress.h"
#include "engine/TransferWindow.h"
#include "platform/LibDeviceLink.h"
#include "platform/LibVDiskLibrary.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace vexo;

namespace
{

constexpr qint64 DeviceCapacity = 200000;

// Runs device pairs straight on the link, as the progress window's worker does.
class DirectWindow : public TransferWindow
{
public:
    explicit DirectWindow(DeviceAccess &device) : m_device(device) {}
    QStringList statuses;

    void runDevice(const QStringList &sources, const QStringList &destinations,
                   TransferDirection direction) override
    {
        for (qsizetype i = 0; i < sources.size(); ++i) {
            const DeviceResult r =
                direction == tdSend ? m_device.send(sources[i], destinations[i], nullptr, nullptr, true)
                                    : m_device.receive(sources[i], destinations[i], nullptr, nullptr, true);
            // Kept for the relay's box, as the progress window keeps it.
            if (!r.ok() && runFailuresHeld()) {
                keepRunFailures("not copied: " + sources[i]);
                continue;
            }
            ASSERT_TRUE(r.ok()) << sources[i].toStdString();
        }
    }
    void showStatus(const QString &text) override { statuses << text; }
    void showReason(const QString &, Pane) override {}
    void pushPointer(Pointer) override {}
    void popPointer() override {}
    bool idle() const override { return true; }
    void setIdle(bool) override {}
    QString localFolder() const override { return QString(); }
    QStringList localSelection() const override { return {}; }
    void relist(Pane) override {}
    void deviceLinkLost(const DeviceResult &) override {}

private:
    DeviceAccess &m_device;
};

// The device through a session of its own on the real link; the image library.
class RealSides : public ImageAccess
{
public:
    LibDeviceLink lib;
    DeviceSession device{&lib};
    mutable LibVDiskLibrary image;

    bool isMounted() const override { return true; }
    VDiskLibrary *library() const override { return &image; }
};

qint64 mtimeMs(const QString &path)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

void setMtimeMs(const QString &path, qint64 ms)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class DatesAndSpaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char *folder : {"pc", "device", "work"})
            ASSERT_TRUE(QDir().mkpath(m_dir.filePath(folder)));
        const std::string pty = m_dir.filePath("pty").toStdString();
        m_server = std::make_unique<link::test::DevicedProcess>(
            dev(QString()).toStdString(),
            std::vector<std::string>{"--pty", pty, "--capacity", std::to_string(DeviceCapacity)}, pty);
        ASSERT_TRUE(m_sides.device.beginAttempt());
        const bool connected = m_sides.device.OpenRpcLink(0, 0, QString::fromStdString(pty));
        m_sides.device.endAttempt();
        ASSERT_TRUE(connected);
    }
    void TearDown() override
    {
        m_sides.image.DestoryFileSystem();
        m_sides.device.release();
    }

    // A fresh image of `bytes`, mounted.
    void mountImage(qint64 bytes)
    {
        const QString path = m_dir.filePath("image.dat");
        QFile::remove(path);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(bytes));
        f.close();
        m_sides.image.SetVdiskFile(path);
        ASSERT_EQ(m_sides.image.FormatFileSystem(), 0);
        ASSERT_EQ(m_sides.image.InitFileSystem(), 0);
    }
    void putImageFile(const QString &name, const QByteArray &bytes)
    {
        const int file = m_sides.image.zfopen(name, "w+");
        ASSERT_NE(file, 0);
        ASSERT_EQ(m_sides.image.zfwrite(bytes.constData(), int(bytes.size()), 1, file), int(bytes.size()));
        ASSERT_EQ(m_sides.image.zfclose(file), 0);
    }
    qint64 imageTimeMs(const QString &name)
    {
        VDiskLibrary::FindRecord record;
        const int search = m_sides.image.OpenFindFile("/");
        for (int found = m_sides.image.FindFirst(&record, search); found != -1;
             found = m_sides.image.FindNext(&record, search))
            if (record.name == name)
                return UtcMsFromImageTime(record.time);
        return -1;
    }

    QString pc(const QString &name) const { return m_dir.filePath("pc/" + name); }
    QString dev(const QString &name) const { return m_dir.filePath("device/" + name); }
    TransferExecutor executor()
    {
        return TransferExecutor(
            {m_window, m_sides.device, m_sides, &m_prompter, m_language, m_settings, m_work});
    }

    QTemporaryDir m_dir;
    std::unique_ptr<link::test::DevicedProcess> m_server;
    RealSides m_sides;
    DirectWindow m_window{m_sides.device};
    test::ScriptedPrompter m_prompter;
    const LanguageTable m_language;
    const Settings m_settings;
    const QString m_work = m_dir.filePath("work");
};

} // namespace

// A copy keeps the source's time in all six directions, the relay's through
// its folder on the PC too. The image holds even seconds: a PC time of an odd
// second, whole or and a half, arrives there rounded down, never later than
// the source.
TEST_F(DatesAndSpaceTest, everyDirectionKeepsTheSourcesTime)
{
    mountImage(1024 * 1024);
    const qint64 base = QDateTime(QDate(2011, 3, 4), QTime(5, 6, 8)).toMSecsSinceEpoch();
    const qint64 precise = base + 1500;
    struct Row {
        Pane from, to;
        qint64 expected;   // the destination's time
        qint64 source = 0; // a PC's or the palmtop's source time; 0: precise
    };
    const Row rows[] = {
        {Pane::Local, Pane::Device, precise},
        {Pane::Device, Pane::Local, precise},
        {Pane::Local, Pane::VDisk, base},
        {Pane::VDisk, Pane::Local, base},
        {Pane::Device, Pane::VDisk, base},
        {Pane::VDisk, Pane::Device, base},
        {Pane::Local, Pane::VDisk, base, base + 1000},
    };
    int n = 0;
    for (const Row &row : rows) {
        const QString name = QStringLiteral("D%1.TXT").arg(++n);
        SCOPED_TRACE(name.toStdString());
        const qint64 source = row.source != 0 ? row.source : precise;
        QString item = name;
        switch (row.from) {
        case Pane::Local:
            putFile(pc(name), "from the PC");
            setMtimeMs(pc(name), source);
            item = pc(name);
            break;
        case Pane::Device:
            putFile(dev(name), "from the palmtop");
            setMtimeMs(dev(name), source);
            break;
        case Pane::VDisk:
            putImageFile(name, "from the image");
            ASSERT_EQ(m_sides.image.zsettime(name, ImageTimeFromUtcMs(base)), 1);
            break;
        }
        ASSERT_TRUE(executor().run(PlanDrag(row.from, row.to, {item}, pc(QString()))));
        const qint64 got = row.to == Pane::Local    ? mtimeMs(pc(name))
                           : row.to == Pane::Device ? mtimeMs(dev(name))
                                                    : imageTimeMs(name);
        EXPECT_EQ(got, row.expected);
    }
    EXPECT_TRUE(m_prompter.questions().isEmpty());
}

// A run that cannot fit copies nothing and says so once, with the sizes. The
// image counts clusters: one-byte files that fit by bytes but not by
// clusters are refused. A copy that fails on a full image names the reason,
// not a file in use. The palmtop checks bytes against its Space answer, and
// refuses a file that does not fit itself, which the library reports as such.
TEST_F(DatesAndSpaceTest, aCopyThatCannotFitIsRefusedBeforeItStarts)
{
    mountImage(128 * 1024);
    quint32 freeClusters = 0, totalClusters = 0, clusterBytes = 0;
    ASSERT_EQ(m_sides.image.zdiskspace(&freeClusters, &totalClusters, &clusterBytes), 0);
    QStringList tiny;
    for (quint32 i = 0; i <= freeClusters; ++i) {
        tiny << pc(QStringLiteral("T%1").arg(i));
        putFile(tiny.last(), "x");
    }
    m_window.setRunNotes("the folders left out"); // told by nobody: the refusal is the one box
    ASSERT_TRUE(executor().run(PlanDrag(Pane::Local, Pane::VDisk, tiny, pc(QString()))));
    ASSERT_EQ(m_prompter.texts().size(), 1);
    EXPECT_TRUE(m_window.takeRunNotes().isEmpty());
    const QString expected =
        Filled(m_language.message("NoSpaceImage"),
               {TransferProgress::sizeText(m_language, qint64(tiny.size()) * clusterBytes),
                TransferProgress::sizeText(m_language, qint64(freeClusters) * clusterBytes)});
    EXPECT_EQ(m_prompter.texts().first(), expected);
    EXPECT_EQ(m_window.statuses, QStringList{expected});
    VDiskLibrary::FindRecord record;
    EXPECT_EQ(m_sides.image.FindFirst(&record, m_sides.image.OpenFindFile("/")), -1);
    // From the palmtop: one box, the refusal and then what the palmtop failed.
    putFile(dev("BIG.BIN"), QByteArray(int(freeClusters + 1) * int(clusterBytes), 'b'));
    ASSERT_TRUE(executor().run(PlanPaste(Pane::VDisk, {"TVR:\\BIG.BIN", "TVR:\\GONE.BIN"}, QString())));
    ASSERT_EQ(m_prompter.texts().size(), 2);
    EXPECT_EQ(m_prompter.texts().last().toStdString(),
              (expected + "\n\nnot copied: TVR:\\GONE.BIN").toStdString());
    QFile::remove(dev("BIG.BIN"));

    // Past the check, the image fills midway: the reason is still the space.
    putFile(pc("big.bin"), QByteArray(int(freeClusters + 1) * int(clusterBytes), 'b'));
    executor().RunVDiskCopy({pc("big.bin")}, {"BIG.BIN"});
    ASSERT_EQ(m_prompter.texts().size(), 3);
    EXPECT_TRUE(m_prompter.texts().last().startsWith(m_language.message("NoSpaceImage").section('%', 0, 0)));
    EXPECT_EQ(m_sides.image.zffind("BIG.BIN"), 0);

    // The palmtop: sent nothing; asked directly, it refuses the file itself.
    putFile(pc("huge.bin"), QByteArray(int(DeviceCapacity) + 1, 'h'));
    ASSERT_TRUE(executor().run(PlanDrag(Pane::Local, Pane::Device, {pc("huge.bin")}, pc(QString()))));
    ASSERT_EQ(m_prompter.texts().size(), 4);
    EXPECT_TRUE(m_prompter.texts().last().startsWith(m_language.message("NoSpaceDevice").section('%', 0, 0)));
    EXPECT_FALSE(QFile::exists(dev("huge.bin")));
    EXPECT_EQ(m_sides.device.send(pc("huge.bin"), "huge.bin", nullptr, nullptr, true).kind(),
              DeviceResult::Kind::NoSpace);
    EXPECT_EQ(QDir(dev(QString())).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A file of exactly the palmtop's free space fits, and goes.
    qint64 freeBytes = 0, totalBytes = 0;
    ASSERT_TRUE(m_sides.device.freeSpace(&freeBytes, &totalBytes).ok());
    putFile(pc("fits.bin"), QByteArray(int(freeBytes), 'f'));
    ASSERT_TRUE(executor().run(PlanDrag(Pane::Local, Pane::Device, {pc("fits.bin")}, pc(QString()))));
    EXPECT_EQ(m_prompter.texts().size(), 4);
    EXPECT_EQ(QFileInfo(dev("fits.bin")).size(), freeBytes);
}
