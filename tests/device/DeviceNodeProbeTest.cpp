#include "device/DeviceNodeProbe.h"
#include "device/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexo;

namespace
{

std::string text(const QString &s)
{
    return s.toStdString();
}

} // namespace

TEST(DeviceNodeProbe, NamesWhatIsWrongWithTheNode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("ttyUSB9");
    EXPECT_EQ(text(DeviceNodeProblem(missing)), "不存在");
    EXPECT_EQ(text(DeviceNodeProblem(QString())), "不存在");
    EXPECT_EQ(text(DeviceConnectFailedText(missing, DeviceNodeProblem(missing))),
              text(QStringLiteral("无法打开 ") + missing + QStringLiteral("：不存在")));

    // A [Ports] entry naming a plain file or a folder by mistake.
    const QString plain = dir.filePath("notes.txt");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(text(DeviceNodeProblem(plain)), "不是串口设备");
    EXPECT_EQ(text(DeviceNodeProblem(dir.path())), "这是一个文件夹");

    // A link that points nowhere, as a pseudo-terminal link whose server has gone.
    const QString stale = dir.filePath("link");
    ASSERT_EQ(::symlink(QFile::encodeName(missing).constData(), QFile::encodeName(stale).constData()), 0);
    EXPECT_EQ(text(DeviceNodeProblem(stale)), "不存在");
}

TEST(DeviceNodeProbe, ATerminalPassesAndKeepsItsLineSettings)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    EXPECT_EQ(text(DeviceNodeProblem(slave)), "");
    // Nothing was written into the line.
    char byte = 0;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    EXPECT_LT(::read(master, &byte, 1), 1);
    ::close(master);
    // The node answers, the device does not: the text says so, with the node.
    const QString noAnswer = DeviceConnectFailedText(slave, QString());
    EXPECT_TRUE(noAnswer.contains(slave));
    EXPECT_TRUE(noAnswer.contains(QStringLiteral("没有应答")));
}

TEST(DeviceNodeProbe, RefusedPermissionIsNamed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens every node";
    QTemporaryDir dir;
    const QString node = dir.filePath("ttyS0");
    QFile f(node);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(node).constData(), 0), 0);
    // The file's group is one of ours, so no group is suggested.
    EXPECT_EQ(text(DeviceNodeProblem(node)), "权限不够");
}

TEST(SystemErrorText, OwnWordsForCommonErrorsAndTheNumberForOthers)
{
    EXPECT_EQ(text(SystemErrorText(ENOENT)), "不存在");
    EXPECT_EQ(text(SystemErrorText(EACCES)), "权限不够");
    EXPECT_EQ(text(SystemErrorText(EBUSY)), "正被其他程序占用");
    const QString other = SystemErrorText(ENOEXEC);
    EXPECT_TRUE(other.endsWith(QStringLiteral("(%1)").arg(ENOEXEC))) << text(other);
    EXPECT_GT(other.size(), 5);
}
