#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <functional>

namespace vexo::test
{

// What every probe of a path says, in the system's error words, of a path
// that is not there, of no path at all and of a folder; and that its failure
// line names the path and the problem after `failedPrefix`.
inline void
ExpectCommonPathProblems(const std::function<QString(const QString &)> &problem,
                         const std::function<QString(const QString &, const QString &)> &failedLine,
                         const QString &missing, const QString &folder, const QString &failedPrefix)
{
    EXPECT_EQ(problem(missing).toStdString(), "does not exist");
    EXPECT_EQ(problem(QString()).toStdString(), "does not exist");
    EXPECT_EQ(problem(folder).toStdString(), "is a folder");
    EXPECT_EQ(failedLine(missing, problem(missing)).toStdString(),
              (failedPrefix + missing + QStringLiteral(": does not exist")).toStdString());
}

} // namespace vexo::test
