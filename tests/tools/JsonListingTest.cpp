// Listings for scripts: what a JSON parser gets for awkward names.
#include "JsonListing.h"

#include <gtest/gtest.h>

namespace vexo::cli
{
namespace
{

TEST(JsonListing, QuotesWhatJsonForbidsRaw)
{
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain.txt", "\"plain.txt\""},
        {"say \"hi\"\\now", "\"say \\\"hi\\\"\\\\now\""},
        {"a\nb\tc\rd", "\"a\\nb\\tc\\rd\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {std::string("nul\0end", 7), "\"nul\\u0000end\""},
        {"\xE4\xBD\xA0\xE5\xA5\xBD", "\"\xE4\xBD\xA0\xE5\xA5\xBD\""}, // UTF-8 stays as it is
    };
    for (const auto &c : cases)
        EXPECT_EQ(JsonListing::quote(c.in), c.out) << c.in;
}

TEST(JsonListing, DecodesCp936AndMarksBytesThatDoNot)
{
    const struct {
        std::string cp936, utf8;
        bool whole;
    } cases[] = {
        {"\xC4\xE3\xBA\xC3.txt", "\xE4\xBD\xA0\xE5\xA5\xBD.txt", true}, // 你好.txt
        {"\x81\x40", "\xE4\xB8\x82", true},                             // a trail byte in ASCII range
        {"ab\xFF", "ab\xEF\xBF\xBD", false},
        {"\xC4\xE3\x81", "\xE4\xBD\xA0\xEF\xBF\xBD", false}, // cut after a lead byte
        {"\x81\x7F"
         "x",
         "\xEF\xBF\xBD\x7Fx", false}, // one bad byte, then back in step
    };
    for (const auto &c : cases) {
        std::string utf8;
        EXPECT_EQ(JsonListing::decodeName(c.cp936, utf8), c.whole) << c.cp936;
        EXPECT_EQ(utf8, c.utf8) << c.cp936;
    }
}

TEST(JsonListing, OneObjectPerLineWithUtcTimes)
{
    EXPECT_EQ(JsonListing().finish(), "[]\n");
    EXPECT_EQ(JsonListing::isoUtc(0), "1970-01-01T00:00:00Z");

    JsonListing listing;
    listing.add("\xC4\xE3.txt", 70000, 1714571106);
    listing.add(std::string("a\x01\xFF", 3), 0, 1714571106);
    EXPECT_EQ(listing.finish(),
              "[\n"
              "  {\"name\": \"\xE4\xBD\xA0.txt\", \"size\": 70000, \"time\": \"2024-05-01T13:45:06Z\"},\n"
              "  {\"name\": \"a\\u0001\xEF\xBF\xBD\", \"name_bytes\": \"6101ff\", \"size\": 0, "
              "\"time\": \"2024-05-01T13:45:06Z\"}\n"
              "]\n");
}

} // namespace
} // namespace vexo::cli
