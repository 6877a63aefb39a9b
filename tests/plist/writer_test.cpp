// The writer's refusals and its round trip through the reader on values
// whose depth sits at the limit (large lists: compat_test.cpp).

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

}  // namespace
}  // namespace vortan::plist
