#include "platform/CodePage.h"

#include <gtest/gtest.h>

using vexo::CodePage;

TEST(CodePage, ConvertsAndCountsCp936Bytes)
{
    EXPECT_EQ(CodePage::toCp936(QStringLiteral("中文a")), QByteArray("\xD6\xD0\xCE\xC4"
                                                                     "a"));
    EXPECT_EQ(CodePage::fromCp936("\xD6\xD0\xCE\xC4"
                                  "a"),
              QStringLiteral("中文a"));
    EXPECT_EQ(CodePage::cp936Length(QString(9, u'中')), 18);
    EXPECT_EQ(CodePage::cp936Length(QStringLiteral("abc.txt")), 7);
    EXPECT_EQ(CodePage::cp936Length(QString()), 0);
    // The ideographic space of the dialog captions is A1 A1.
    EXPECT_EQ(CodePage::toCp936(QString(QChar(0x3000))), QByteArray("\xA1\xA1"));
}

TEST(CodePage, RefusesWhatCp936CannotHold)
{
    bool ok = true;
    EXPECT_TRUE(CodePage::toCp936(QString::fromUtf8("emoji \xF0\x9F\x98\x80"), &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(CodePage::cp936Length(QString::fromUtf8("\xF0\x9F\x98\x80")), -1);
    // Broken CP936 never fails to decode.
    EXPECT_FALSE(CodePage::fromCp936("\xD6").isEmpty());
}

TEST(CodePage, DecodesFilesAsUtf8WhenValidElseCp936)
{
    EXPECT_TRUE(CodePage::isValidUtf8("plain"));
    EXPECT_TRUE(CodePage::isValidUtf8(QStringLiteral("中文").toUtf8()));
    EXPECT_FALSE(CodePage::isValidUtf8("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(CodePage::decodeText(QStringLiteral("中文").toUtf8()), QStringLiteral("中文"));
    EXPECT_EQ(CodePage::decodeText("\xD6\xD0\xCE\xC4"), QStringLiteral("中文"));
    EXPECT_EQ(CodePage::decodeText("\xEF\xBB\xBFx"), QStringLiteral("x"));
    EXPECT_EQ(CodePage::decodeText(QByteArray("\xFF\xFE-N", 4)), QStringLiteral("中"));
    EXPECT_EQ(CodePage::decodeText(QByteArray("\xFE\xFFN-", 4)), QStringLiteral("中"));
}
