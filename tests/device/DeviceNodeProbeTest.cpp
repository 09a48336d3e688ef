#include "engine/DeviceNodeProbe.h"
#include "engine/SystemErrorText.h"

#include "engine/LanguageTable.h"

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

const LanguageTable English;

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
    EXPECT_EQ(text(DeviceNodeProblem(English, missing)), "does not exist");
    EXPECT_EQ(text(DeviceNodeProblem(English, QString())), "does not exist");
    EXPECT_EQ(text(DeviceConnectFailedText(English, missing, DeviceNodeProblem(English, missing))),
              text(QStringLiteral("Cannot open ") + missing + QStringLiteral(": does not exist")));

    // A [Ports] entry naming a plain file or a folder by mistake.
    const QString plain = dir.filePath("notes.txt");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(text(DeviceNodeProblem(English, plain)), "not a serial device");
    EXPECT_EQ(text(DeviceNodeProblem(English, dir.path())), "is a folder");

    // A link that points nowhere, as a pseudo-terminal link whose server has gone.
    const QString stale = dir.filePath("link");
    ASSERT_EQ(::symlink(QFile::encodeName(missing).constData(), QFile::encodeName(stale).constData()), 0);
    EXPECT_EQ(text(DeviceNodeProblem(English, stale)), "does not exist");
}

TEST(DeviceNodeProbe, ATerminalPassesAndKeepsItsLineSettings)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    EXPECT_EQ(text(DeviceNodeProblem(English, slave)), "");
    // Nothing was written into the line.
    char byte = 0;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    EXPECT_LT(::read(master, &byte, 1), 1);
    ::close(master);
    // The node answers, the device does not: the text says so, with the node.
    const QString noAnswer = DeviceConnectFailedText(English, slave, QString());
    EXPECT_TRUE(noAnswer.contains(slave));
    EXPECT_TRUE(noAnswer.contains(QStringLiteral("does not answer")));
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
    EXPECT_EQ(text(DeviceNodeProblem(English, node)), "permission denied");
}

TEST(SystemErrorText, OwnWordsForCommonErrorsAndTheNumberForOthers)
{
    EXPECT_EQ(text(SystemErrorText(English, ENOENT)), "does not exist");
    EXPECT_EQ(text(SystemErrorText(English, EACCES)), "permission denied");
    EXPECT_EQ(text(SystemErrorText(English, EBUSY)), "in use by another program");
    EXPECT_EQ(text(SystemErrorText(English, ENOEXEC)), text(QStringLiteral("system error %1").arg(ENOEXEC)));
}
