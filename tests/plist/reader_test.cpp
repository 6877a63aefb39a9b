// The reader against hand-built input: what other writers legitimately
// produce, and hostile or broken files that must end in a FormatError.

#include "tests/plist/bplist_builder.h"
#include "tests/plist/value_printer.h"
#include "vortan/plist/value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace vortan::plist {
namespace {

using test::Builder;
using test::Bytes;

void expectRefused(const Bytes& bytes, std::string_view fragment, const ReadLimits& limits = {})
{
    try {
        const Value value = read(bytes, limits);
        ADD_FAILURE() << "accepted an input that should fail with \"" << fragment << "\"";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string_view(e.what()).find(fragment), std::string_view::npos)
            << "error \"" << e.what() << "\" does not mention \"" << fragment << "\"";
    }
}

#define EXPECT_REFUSED(...)            \
    do {                               \
        SCOPED_TRACE("refused input"); \
        expectRefused(__VA_ARGS__);    \
    } while (0)

// A file of one object: by default the string "x".
Bytes single(Builder b = {}, Bytes object = Builder::ascii("x"))
{
    b.add(std::move(object));
    return b.build();
}
Bytes single(Bytes object) { return single({}, std::move(object)); }

// A chain of depth arrays, each holding the next; the last is empty.
Bytes nestedArrays(std::size_t depth, std::size_t refSize = 1)
{
    Builder b;
    b.refSize = refSize;
    for (std::size_t i = 0; i + 1 < depth; ++i)
        b.add(b.array({i + 1}));
    b.add(b.array({}));
    return b.build();
}

TEST(PlistReaderTest, RefusesBadHeaderAndTrailer)
{
    EXPECT_REFUSED(Bytes{}, "too short");
    Bytes shortest = single();
    shortest.resize(41);
    EXPECT_REFUSED(shortest, "too short");

    Bytes magic = single();
    magic[7] = '1';
    EXPECT_REFUSED(magic, "bad header");
    magic = single();
    magic[0] = 'B';
    EXPECT_REFUSED(magic, "bad header");

    for (std::size_t size : {0, 9}) {
        Builder b;
        b.offsetSize = size;
        EXPECT_REFUSED(single(b), "offset size");
        b = {};
        b.refSize = size;
        EXPECT_REFUSED(single(b), "reference size");
    }

    Builder b;
    b.objectCount = 0;
    EXPECT_REFUSED(single(b), "no objects");
    // Object counts the offset table cannot hold: never trusted for allocation.
    for (std::uint64_t count : {std::uint64_t{2}, std::uint64_t{1} << 40, ~std::uint64_t{0}}) {
        b.objectCount = count;
        EXPECT_REFUSED(single(b), "object count");
    }

    b = {};
    b.add(Builder::ascii("x"));
    EXPECT_REFUSED(b.build(1), "top object");
    EXPECT_REFUSED(b.build(~std::uint64_t{0}), "top object");

    // The offset table must lie between the header and the trailer.
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{8}, std::uint64_t{500}, ~std::uint64_t{0}}) {
        b.tableOffset = offset;
        EXPECT_REFUSED(b.build(), "offset table");
    }
}

TEST(PlistReaderTest, RefusesOffsetsAndReferencesOutOfRange)
{
    Builder b;
    b.add(b.array({1}));
    b.add(Builder::ascii("x"));
    const std::uint64_t tableStart = b.build().size() - 32 - 2;
    EXPECT_REFUSED(b.build(0, {{1, 3}}), "outside the object area");           // inside the magic
    EXPECT_REFUSED(b.build(0, {{1, tableStart}}), "outside the object area");  // the offset table itself
    EXPECT_REFUSED(b.build(0, {{1, 255}}), "outside the object area");

    Builder refs;
    refs.add(refs.array({0x01, 0x02}));
    refs.add(Builder::ascii("x"));
    EXPECT_REFUSED(refs.build(), "reference to object 2 out of range");

    Builder wide;
    wide.refSize = 8;
    wide.add(wide.array({~std::uint64_t{0}}));
    EXPECT_REFUSED(wide.build(), "out of range");

    Builder keys;
    keys.add(keys.dictionary({7}, {1}));
    keys.add(Builder::ascii("v"));
    EXPECT_REFUSED(keys.build(), "reference to object 7 out of range");
}

TEST(PlistReaderTest, SharedObjectsButNoCyclesNorBlowUps)
{
    Builder self;
    self.add(self.array({0}));
    EXPECT_REFUSED(self.build(), "reference cycle through object 0");

    // A loop below the top, closed through a dictionary value.
    Builder loop;
    loop.add(loop.array({1}));
    loop.add(loop.array({2}));
    loop.add(loop.dictionary({3}, {1}));
    loop.add(Builder::ascii("k"));
    EXPECT_REFUSED(loop.build(), "reference cycle through object 1");

    // Writers share equal strings and numbers, and plistlib shares a container
    // that appears several times in the value. That is a DAG, not a cycle:
    // decoded once per reference.
    Builder b;
    b.add(b.array({1, 1, 2, 2, 3}));  // 0
    b.add(Builder::ascii("shared"));  // 1
    b.add(b.array({1, 4}));           // 2
    b.add(b.dictionary({1}, {4}));    // 3: the same string as key
    b.add(Builder::integer(0, 7));    // 4
    const Value expected = Array{"shared", "shared", Array{"shared", 7}, Array{"shared", 7},
                                 Dictionary{{"shared", 7}}};
    EXPECT_EQ(read(b.build()), expected);

    // Sharing that expands far beyond the input, 2^40 leaves from a few
    // hundred bytes: fails as soon as the budget runs out.
    Builder doubling;
    for (std::uint64_t i = 0; i < 40; ++i)
        doubling.add(doubling.array({i + 1, i + 1}));
    doubling.add(Builder::ascii("leaf"));
    EXPECT_REFUSED(doubling.build(), "too large");

    // One 1000-byte string referenced 10,000 times: 10 MB out of 11 kB.
    Builder wide;
    std::vector<std::uint64_t> refs(10000, 1);
    wide.add(wide.array(refs));
    wide.add(Builder::ascii(std::string(1000, 'a')));
    EXPECT_REFUSED(wide.build(), "too large");

    // The same with modest sharing decodes.
    Builder modest;
    refs.assign(100, 1);
    modest.add(modest.array(refs));
    modest.add(Builder::ascii(std::string(1000, 'a')));
    EXPECT_EQ(read(modest.build()).as<Array>()->size(), 100u);
}

TEST(PlistReaderTest, LimitsNesting)
{
    EXPECT_NO_THROW(read(nestedArrays(64)));
    EXPECT_REFUSED(nestedArrays(65), "nesting deeper than 64 levels");
    EXPECT_NO_THROW(read(nestedArrays(3), ReadLimits{3}));
    EXPECT_REFUSED(nestedArrays(4), "nesting deeper than 3 levels", ReadLimits{3});

    // Dictionaries count as levels too.
    Builder mixed;
    mixed.add(Builder::ascii("k"));
    for (std::uint64_t i = 1; i <= 65; ++i)
        mixed.add(i % 2 ? mixed.dictionary({0}, {i + 1}) : mixed.array({i + 1}));
    mixed.add(Builder::integer(0, 1));
    EXPECT_REFUSED(mixed.build(1), "nesting deeper than 64 levels");

    // 100,000 levels: refused at level 65 without walking the rest.
    EXPECT_REFUSED(nestedArrays(100000, 4), "nesting deeper than 64 levels");
}

TEST(PlistReaderTest, RefusesNonStringAndRepeatedKeys)
{
    const std::vector<Bytes> keys = {Builder::integer(0, 1), {0x41, 'k'}, {0x09}, {0xA0}, {0x23, 0, 0, 0, 0, 0, 0, 0, 0}};
    for (const Bytes& key : keys) {
        Builder b;
        b.add(b.dictionary({1}, {2}));
        b.add(key);
        b.add(Builder::ascii("v"));
        EXPECT_REFUSED(b.build(), "is not a string");
    }
    // A container as key that is also an ancestor: still only "not a string".
    Builder ancestor;
    ancestor.add(ancestor.dictionary({0}, {0}));
    EXPECT_REFUSED(ancestor.build(), "is not a string");

    Builder sameObject;
    sameObject.add(sameObject.dictionary({1, 1}, {2, 2}));
    sameObject.add(Builder::ascii("k"));
    sameObject.add(Builder::integer(0, 1));
    EXPECT_REFUSED(sameObject.build(), "the same key appears twice");

    // Equal keys in different forms (ASCII and UTF-16) in a large dictionary:
    // objects 1...20 are "key0"..."key19", 21 is "key7" in UTF-16, 22 the value.
    Bytes dict = test::countedMarker(0xD0, 21);
    for (std::uint8_t r = 1; r <= 21; ++r)
        dict.push_back(r);
    dict.insert(dict.end(), 21, 22);
    Builder rebuilt;
    rebuilt.add(dict);
    for (int i = 0; i < 20; ++i)
        rebuilt.add(Builder::ascii("key" + std::to_string(i)));
    rebuilt.add(Builder::utf16({'k', 'e', 'y', '7'}));
    rebuilt.add(Builder::integer(0, 0));
    EXPECT_REFUSED(rebuilt.build(), "the same key appears twice");
}

TEST(PlistReaderTest, IntegersOfEveryWidth)
{
    struct Case {
        Bytes object;
        std::int64_t value;
    };
    const std::vector<Case> accepted = {
        {Builder::integer(0, 0xFF), 255},                 // narrow forms are unsigned
        {Builder::integer(1, 0xFFFF), 65535},
        {Builder::integer(2, 0xFFFFFFFF), 4294967295},
        {Builder::integer(3, ~std::uint64_t{0}), -1},     // 8 bytes are signed
        {Builder::integer(3, std::uint64_t{1} << 63), std::numeric_limits<std::int64_t>::min()},
        {Builder::integer(4, 5, 0), 5},                   // 16 bytes whose value fits
        {Builder::integer(4, static_cast<std::uint64_t>(-2), ~std::uint64_t{0}), -2},
        {Builder::integer(4, std::uint64_t{1} << 63, ~std::uint64_t{0}), std::numeric_limits<std::int64_t>::min()},
    };
    for (const Case& c : accepted)
        EXPECT_EQ(read(single(c.object)), Value(c.value)) << c.value;
}

TEST(PlistReaderTest, StringsRealsAndDates)
{
    EXPECT_EQ(read(single(Builder::utf16({0x0063, 0x00E9, 0x65E5, 0xD83D, 0xDE00}))),
              Value("c\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"));
    EXPECT_EQ(read(single(Builder::ascii(std::string("a\0b", 3)))), Value(std::string("a\0b", 3)));

    Builder b;
    b.add(b.array({1, 2, 3}));
    b.add(Bytes{0x22, 0x3F, 0xC0, 0x00, 0x00});                          // 1.5f
    b.add(Bytes{0x23, 0xC0, 0x04, 0, 0, 0, 0, 0, 0});                     // -2.5
    b.add(Bytes{0x33, 0xC1, 0x0C, 0x20, 0, 0, 0, 0, 0});                  // -230400 s
    EXPECT_EQ(read(b.build()), Value(Array{1.5, -2.5, Date{-230400}}));
}

// Objects that lack bytes (each is the last one before the offset table),
// integers beyond signed 64 bits, broken strings and types the format
// reserves or this reader leaves out; each as the top object and inside an
// array.
TEST(PlistReaderTest, RefusesBrokenObjects)
{
    const std::vector<std::pair<Bytes, std::string_view>> cases = {
        {{0x13, 1, 2, 3}, "truncated"},                                  // 8-byte integer
        {{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "truncated"},             // 16-byte integer
        {{0x23, 0x3F, 0xF0}, "truncated"},                               // 8-byte real
        {{0x22, 0x3F}, "truncated"},                                     // 4-byte real
        {{0x33, 0x41, 0xC0, 0, 0}, "truncated"},                         // date
        {{0x5A, 'a', 'b', 'c'}, "truncated"},                            // ASCII string of 10
        {{0x65, 0, 'a', 0, 'b', 0, 'c', 0, 'd', 0}, "truncated"},        // UTF-16 string of 5
        {{0x4F, 0x13, 0x40, 0, 0, 0, 0, 0, 0, 0, 1}, "truncated"},       // data of 2^62 bytes
        {{0x4F, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "negative count"},
        {{0x5F}, "truncated"},                                           // count marker missing
        {{0x5F, 0x12, 0, 0}, "truncated"},                               // count cut short
        {{0x5F, 0x50, 'a'}, "bad count"},                                // count is not an integer
        {{0x5F, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "bad count"},
        {{0xAF, 0x11, 0x03, 0xE8, 0, 0}, "1000 elements claimed"},       // array of 1000 refs
        {{0xDF, 0x13, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "truncated"},
        {Builder::integer(4, std::uint64_t{1} << 63, 0), "outside signed 64 bits"},  // 2^63, as plistlib writes it
        {Builder::integer(4, ~std::uint64_t{0}, 0), "outside signed 64 bits"},       // 2^64 - 1
        {Builder::integer(4, 5, 1), "outside signed 64 bits"},
        {Builder::integer(4, 5, ~std::uint64_t{0}), "outside signed 64 bits"},       // below INT64_MIN
        {Builder::integer(5, 0), "outside signed 64 bits"},                          // 32-byte integer
        {Builder::utf16({'a', 0xD83D}), "unpaired surrogate"},     // high at the end
        {Builder::utf16({0xD83D, 'a'}), "unpaired surrogate"},     // high then not low
        {Builder::utf16({0xDE00, 'a'}), "unpaired surrogate"},     // lone low
        {Builder::utf16({0xDE00, 0xD83D}), "unpaired surrogate"},
        {{0x54, 'c', 'a', 'f', 0xE9}, "byte above 127"},
        {{0x21, 0, 0}, "real of 2 bytes"},
        {{0x24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "real of 16 bytes"},
        {{0x32, 0, 0, 0, 0}, "date"},
        {{0x00}, "null"},
        {{0x0F}, "fill"},
        {{0x0C}, "unknown object type 0x0C"},
        {{0x80, 0x01}, "UIDs"},
        {{0xB0}, "sets"},
        {{0x70}, "unknown object type 0x70"},
        {{0xFF}, "unknown object type 0xFF"},
    };
    for (const auto& [object, fragment] : cases) {
        SCOPED_TRACE(testing::PrintToString(object));
        EXPECT_REFUSED(single(object), fragment);
        Builder inArray;
        inArray.add(inArray.array({1}));
        EXPECT_REFUSED(single(inArray, object), fragment);
    }
}

TEST(PlistReaderTest, ReadsOddOffsetAndReferenceWidths)
{
    // Other writers use exactly as many bytes as needed: 3-byte references
    // and offsets for 70,000 objects.
    Builder b;
    b.refSize = 3;
    std::vector<std::uint64_t> refs;
    for (std::uint64_t i = 1; i <= 70000; ++i)
        refs.push_back(i);
    b.add(b.array(refs));
    for (std::uint64_t i = 1; i <= 70000; ++i)
        b.add(Builder::integer(2, i * 1000));
    const Bytes bytes = b.build();
    ASSERT_EQ(bytes[bytes.size() - 32 + 6], 3);  // offset size
    const Value value = read(bytes);
    const Array& array = *value.as<Array>();
    ASSERT_EQ(array.size(), 70000u);
    EXPECT_EQ(array.front(), Value(1000));
    EXPECT_EQ(array.back(), Value(std::int64_t{70000000}));

    // And wider than needed.
    Builder wide;
    wide.refSize = 8;
    wide.offsetSize = 8;
    wide.add(wide.dictionary({1}, {2}));
    wide.add(Builder::ascii("k"));
    wide.add(Bytes{0x09});
    EXPECT_EQ(read(wide.build()), Value(Dictionary{{"k", true}}));
}

}  // namespace
}  // namespace vortan::plist
