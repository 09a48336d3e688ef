#include "NameCodec.h"
#include "DeviceFolder.h"

#include <gtest/gtest.h>

using namespace vexo::link;

namespace
{

TEST(NameCodecTest, DeviceNamesAreCheckedOnCp936Bytes)
{
    const std::string nihao = "\xC4\xE3\xBA\xC3"; // 你好 in CP936
    struct Case {
        std::string name;
        bool valid;
    } cases[] = {
        {"a.txt", true},
        {"1234567890123456", true},                          // 16 bytes
        {"12345678901234567", false},                        // 17 bytes
        {nihao + nihao + nihao + nihao, true},               // 8 characters, 16 bytes
        {nihao + nihao + nihao + nihao + "\xC4\xE3", false}, // 9 characters, 18 bytes
        {"\x81\x5C", true}, // a character whose second byte is a backslash in ASCII
        {"", false},
        {".", false},
        {"..", false},
        {"...", true},
        {"a/b", false},
        {"a\\b", false},
        {"tab\tname", false},
        {"del\x7F", false},
        {std::string("nul\0x", 5), false},
        {"\xC4", false}, // lead byte without its trail byte
        {"\xFF\xFF", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isValidDeviceName(c.name), c.valid) << ::testing::PrintToString(c.name);
}

TEST(NameCodecTest, Cp936AndUtf8ConvertBothWays)
{
    std::string utf8, back;
    ASSERT_TRUE(cp936ToUtf8("\xC4\xE3\xBA\xC3.txt", utf8));
    EXPECT_EQ(utf8, "\xE4\xBD\xA0\xE5\xA5\xBD.txt");
    ASSERT_TRUE(utf8ToCp936(utf8, back));
    EXPECT_EQ(back, "\xC4\xE3\xBA\xC3.txt");
    EXPECT_FALSE(utf8ToCp936("\xF0\x9F\x98\x80", back)); // an emoji has no CP936 form
    EXPECT_FALSE(utf8ToCp936("\xC3", back));             // broken UTF-8
}

TEST(NameCodecTest, ForbiddenNamesArePrintedQuotedOnOneLineWithoutTerminalCodes)
{
    const struct {
        std::string name;
        std::string printed;
    } cases[] = {
        {"a.txt", "\"a.txt\""},
        {"a \"b\"", "\"a \\\"b\\\"\""},
        {"a\\b", "\"a\\\\b\""},
        {"\x1B[2J\x1B]0;x\x07", "\"\\x1B[2J\\x1B]0;x\\x07\""},
        {"ok\nforged 1 B", "\"ok\\x0Aforged 1 B\""},
        {"\r\x7F", "\"\\x0D\\x7F\""},
        {"\xC4\xE3\xBA\xC3", "\"\xE4\xBD\xA0\xE5\xA5\xBD\""}, // 你好, decoded
        {"\xC4", "\"\\xC4\""},                                // a lead byte alone does not decode
        {"\xFF\x1B\"", "\"\\xFF\\x1B\\\"\""},
        {std::string(40, 'x'), "\"" + std::string(40, 'x') + "\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(quotedName(c.name), c.printed) << ::testing::PrintToString(c.name);
}

TEST(NameCodecTest, PatternsMatchLikeTheDevice)
{
    using vexo::deviced::matchPattern;
    EXPECT_TRUE(matchPattern("*.*", "README"));
    EXPECT_TRUE(matchPattern("*", "a.b.c"));
    EXPECT_TRUE(matchPattern("*.TXT", "notes.txt"));
    EXPECT_TRUE(matchPattern("a?c*", "abcdef"));
    EXPECT_FALSE(matchPattern("a?c", "ac"));
    EXPECT_FALSE(matchPattern("*.bin", "x.bin.txt"));
    EXPECT_TRUE(matchPattern("*a*b*", "xxaxxbxx"));
}

} // namespace
