// The writer's refusals and its round trip through the reader on values
// whose size and depth sit at the limits.

#include "tests/plist/value_printer.h"
#include "vortan/plist/value.h"

#include <gtest/gtest.h>

#include <string>

namespace vortan::plist {
namespace {

Value nested(std::size_t depth)
{
    Value value = Array{};
    for (std::size_t i = 1; i < depth; ++i)
        value = Array{std::move(value), static_cast<int>(i)};
    return value;
}

TEST(PlistWriterTest, RefusesStringsThatAreNotUtf8)
{
    const char* const bad[] = {
        "\xC3",              // cut after the lead byte
        "caf\xC3",           // cut at the end
        "\xC0\xAF",          // overlong "/"
        "\xE0\x80\xAF",      // overlong, 3 bytes
        "\xED\xA0\x80",      // a UTF-16 surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\x80",              // lone continuation byte
        "\xE6\x97",          // cut 3-byte sequence
        "\xFF",
        "a\xC3(",  // continuation byte missing
    };
    for (const char* s : bad) {
        EXPECT_THROW(write(Value(s)), FormatError) << testing::PrintToString(std::string(s));
        EXPECT_THROW(write(Dictionary{{s, 1}}), FormatError) << "as a key";
    }
    const std::string limits = "\x7F\xC2\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(read(write(Value(limits))), Value(limits));
}

TEST(PlistWriterTest, WritesOnlyWhatTheReaderAccepts)
{
    const Value deepest = nested(64);
    EXPECT_EQ(read(write(deepest)), deepest);
    EXPECT_THROW(write(nested(65)), FormatError);
    EXPECT_THROW(write(Dictionary{{"a", nested(64)}}), FormatError);
}

TEST(PlistWriterTest, LargeListRoundTrips)
{
    // 10,000 dictionaries shaped like transfer records: 130,000 objects, so
    // references take 4 bytes.
    Array list;
    list.reserve(10000);
    for (std::int64_t i = 0; i < 10000; ++i) {
        Dictionary blocks{{"indexes", Array{Dictionary{{"location", 0}, {"length", i % 7}}}}};
        list.push_back(Dictionary{{"id", "E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + i)},
                                  {"file", Dictionary{{"name", "file " + std::to_string(i) + ".txt"},
                                                      {"length", i * 131072 + 1},
                                                      {"numberOfBlocks", i + 1}}},
                                  {"download", i % 2 == 0},
                                  {"user", Data{std::vector<std::uint8_t>(32, static_cast<std::uint8_t>(i))}},
                                  {"blocks", std::move(blocks)}});
    }
    const Value value(std::move(list));
    EXPECT_EQ(read(write(value)), value);
}

}  // namespace
}  // namespace vortan::plist
