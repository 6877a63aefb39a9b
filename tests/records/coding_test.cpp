#include "vortan/records/coding.h"

#include <gtest/gtest.h>

#include <limits>

namespace vortan {
namespace {

using plist::Array;
using plist::Dictionary;
using plist::Value;

const QByteArray kKey(32, '\x07');
const QUuid kId("{0b7a4c1e-2f3d-4e5a-9b6c-7d8e9f0a1b2c}");

std::vector<std::string> keysOf(const Value& value)
{
    std::vector<std::string> keys;
    for (const auto& [key, item] : *value.as<Dictionary>())
        keys.push_back(key);
    return keys;
}

Value without(Value value, const std::string& key)
{
    auto& dict = *value.as<Dictionary>();
    std::erase_if(dict, [&](const auto& entry) { return entry.first == key; });
    return value;
}

Value with(Value value, const std::string& key, Value item)
{
    for (auto& [k, v] : *value.as<Dictionary>()) {
        if (k == key) {
            v = std::move(item);
            return value;
        }
    }
    value.as<Dictionary>()->emplace_back(key, std::move(item));
    return value;
}

template <typename T> void expectRefused(const Value& value, const QString& key = {})
{
    try {
        fromPlist<T>(value);
        ADD_FAILURE() << "decoded";
    } catch (const DecodeError& error) {
        if (!key.isEmpty()) {
            EXPECT_EQ(error.key(), key) << error.what();
        }
    }
}

File sampleFile()
{
    File file(File2("report:final.pdf", QUrl::fromLocalFile("/home/ana/Downloads/report final.pdf"), 3 * 131072 + 5),
              kId, kKey);
    file.blocks = BlockSet::fromRuns({{0, 2}});
    file.paused = false;
    return file;
}

// Stored records and users: plistlib_test.cpp; these go on the wire.
TEST(CodingTest, MessageKeysInTheirOrder)
{
    EXPECT_EQ(keysOf(toPlist(FileProxy{kId, File2("a", std::nullopt, 1)})), (std::vector<std::string>{"id", "file"}));
    EXPECT_EQ(keysOf(toPlist(WantMessage{kId, BlockSet::range(0, 5)})), (std::vector<std::string>{"fileID", "blocks"}));
}

// Fields outside the table are not coded: a record stored while a transfer
// ran comes back idle with a closed buffer of its own.
TEST(CodingTest, DecodedFileHasItsDefaults)
{
    File running = sampleFile();
    running.wantBlocks = BlockSet::range(2, 2);
    running.sending = true;
    running.error = VortanError::other(QStringLiteral("boom"));
    File decoded = fromPlist<File>(toPlist(running));
    EXPECT_TRUE(decoded.wantBlocks.empty());
    EXPECT_FALSE(decoded.sending);
    EXPECT_FALSE(decoded.error);
    EXPECT_NE(decoded.buffer(), running.buffer());
    EXPECT_FALSE(decoded.buffer()->isOpen());

    User connected("Ana", std::nullopt, std::nullopt, kKey);
    connected.state = User::State::connected;
    connected.error = VortanError::other(QStringLiteral("x"));
    User back = fromPlist<User>(toPlist(connected));
    EXPECT_EQ(back.state, User::State::notConnected);
    EXPECT_FALSE(back.error);
}

TEST(CodingTest, EachMissingRequiredKeyFails)
{
    const Value file = toPlist(sampleFile());
    for (const char* key : {"id", "file", "download", "user", "blocks", "paused", "unavailable"})
        expectRefused<File>(without(file, key), key);

    const Value file2 = toPlist(sampleFile().file);
    for (const char* key : {"name", "length", "numberOfBlocks"}) {
        expectRefused<File2>(without(file2, key), key);
        expectRefused<File>(with(file, "file", without(file2, key)), "file");
    }

    const Value proxy = toPlist(FileProxy{kId, sampleFile().file});
    for (const char* key : {"id", "file"})
        expectRefused<FileProxy>(without(proxy, key), key);

    const Value user = toPlist(User("Ana", QStringLiteral("h"), 1, kKey));
    for (const char* key : {"key", "name"})
        expectRefused<User>(without(user, key), key);

    const Value want = toPlist(WantMessage{kId, BlockSet::range(0, 1)});
    for (const char* key : {"fileID", "blocks"})
        expectRefused<WantMessage>(without(want, key), key);
}

TEST(CodingTest, WrongTypesAndValuesOutOfRangeFail)
{
    const Value file = toPlist(sampleFile());
    expectRefused<File>(with(file, "download", Value(std::int64_t{1})), "download");
    expectRefused<File>(with(file, "paused", Value("yes")), "paused");
    expectRefused<File>(with(file, "user", Value(std::string(32, 'k'))), "user");
    expectRefused<File>(with(file, "id", Value(std::int64_t{7})), "id");
    expectRefused<File>(Value(Array{}));
    expectRefused<File2>(with(toPlist(sampleFile().file), "length", Value(1.5)), "length");
    expectRefused<User>(with(toPlist(User("A", {}, {}, kKey)), "name", Value(plist::Data{})), "name");
    expectRefused<QList<File>>(Value(Array{toPlist(sampleFile()), Value("not a record")}));
    expectRefused<QList<User>>(Value(Dictionary{}));

    // Values of the right type but out of range: blocks past the file's end,
    // keys of other sizes than 32 bytes, ports outside 0...65535.
    File record = sampleFile();  // 4 blocks
    record.blocks = BlockSet::range(0, 4);
    EXPECT_EQ(fromPlist<File>(toPlist(record)).blocks.count(), 4);
    record.blocks.insert(4);
    expectRefused<File>(toPlist(record), "blocks");
    for (int size : {0, 31, 33}) {
        expectRefused<User>(toPlist(User("A", {}, {}, QByteArray(size, 'k'))), "key");
        record = sampleFile();
        record.user = QByteArray(size, 'k');
        expectRefused<File>(toPlist(record), "user");
    }
    const Value user = toPlist(User("A", {}, {}, kKey));
    for (std::int64_t port : {0, 65535})
        EXPECT_EQ(fromPlist<User>(with(user, "port", Value(port))).port, port);
    for (const Value& bad : {Value(std::int64_t{65536}), Value(std::int64_t{-1}), Value("54322")})
        expectRefused<User>(with(user, "port", bad), "port");
}

TEST(CodingTest, NumberOfBlocksAtTheEdges)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 0}, {1, 1}, {131071, 1}, {131072, 1}, {131073, 2}, {262144, 2}, {262145, 3},
    };
    for (auto [length, blocks] : cases) {
        Value coded = toPlist(File2("f", std::nullopt, length));
        EXPECT_EQ(*plist::find(*coded.as<Dictionary>(), "numberOfBlocks"), Value(blocks)) << length;
        EXPECT_EQ(fromPlist<File2>(coded).numberOfBlocks(), blocks);
        // A count that does not follow from the length is refused.
        expectRefused<File2>(with(coded, "numberOfBlocks", Value(blocks + 1)), "numberOfBlocks");
    }
    EXPECT_EQ(numberOfBlocksFor(std::numeric_limits<std::int64_t>::max()), maxBlockNumber + 1);
    expectRefused<File2>(with(with(toPlist(File2("f", std::nullopt, 0)), "length", Value(std::int64_t{-1})),
                              "numberOfBlocks", Value(std::int64_t{0})),
                         "length");
}

TEST(CodingTest, BlockSetRuns)
{
    BlockSet set;
    for (std::int64_t n : {7, 2, 0, 1})
        set.insert(n);
    Value expected = Dictionary{{"indexes", Array{Dictionary{{"location", 0}, {"length", 3}},
                                                  Dictionary{{"location", 7}, {"length", 1}}}}};
    EXPECT_EQ(blockSetToPlist(set), expected);
    EXPECT_EQ(blockSetFromPlist(expected), set);
    EXPECT_EQ(blockSetToPlist(BlockSet()), Value(Dictionary{{"indexes", Array{}}}));

    // Runs out of order or overlapping are inserted one by one.
    Value messy = Dictionary{{"indexes", Array{Dictionary{{"location", 7}, {"length", 1}},
                                               Dictionary{{"location", 1}, {"length", 2}},
                                               Dictionary{{"location", 0}, {"length", 2}}}}};
    EXPECT_EQ(blockSetFromPlist(messy), set);

    auto run = [](std::int64_t location, std::int64_t length) {
        return Value(Dictionary{{"indexes", Array{Dictionary{{"location", location}, {"length", length}}}}});
    };
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    EXPECT_THROW(blockSetFromPlist(run(-1, 2)), DecodeError);
    EXPECT_THROW(blockSetFromPlist(run(0, -2)), DecodeError);
    EXPECT_THROW(blockSetFromPlist(run(max, 1)), DecodeError);
    EXPECT_THROW(blockSetFromPlist(run(max - 5, max)), DecodeError);
    EXPECT_THROW(blockSetFromPlist(Value(Dictionary{{"indexes", Array{Value(std::int64_t{3})}}})), DecodeError);
    EXPECT_THROW(blockSetFromPlist(Value(Dictionary{{"runs", Array{}}})), DecodeError);
    EXPECT_EQ(blockSetFromPlist(run(max - 5, 5)).count(), 5);
}

TEST(CodingTest, Uuids)
{
    EXPECT_EQ(uuidToPlist(kId), Value("0B7A4C1E-2F3D-4E5A-9B6C-7D8E9F0A1B2C"));
    EXPECT_EQ(uuidFromPlist(Value("0b7a4c1e-2f3d-4e5a-9b6c-7d8e9f0a1b2c")), kId);
    EXPECT_EQ(uuidFromPlist(Value("0B7A4C1E-2F3D-4E5A-9B6C-7D8E9F0A1B2C")), kId);
    for (const char* bad : {"{0B7A4C1E-2F3D-4E5A-9B6C-7D8E9F0A1B2C}", "0B7A4C1E2F3D4E5A9B6C7D8E9F0A1B2C",
                            "0B7A4C1E-2F3D-4E5A-9B6C-7D8E9F0A1B2G", "0B7A4C1E-2F3D-4E5A-9B6C_7D8E9F0A1B2C", ""})
        EXPECT_THROW(uuidFromPlist(Value(bad)), DecodeError) << bad;
}

TEST(CodingTest, Urls)
{
    const QUrl url = QUrl::fromLocalFile("/home/ana/My Files/ü#1.txt");
    Value coded = urlToPlist(url);
    EXPECT_EQ(coded, Value(Dictionary{{"relative", "file:///home/ana/My%20Files/%C3%BC%231.txt"}}));
    EXPECT_EQ(urlFromPlist(coded), url);

    Value based = Dictionary{{"relative", "b/c.txt"}, {"base", Dictionary{{"relative", "file:///home/ana/"}}}};
    EXPECT_EQ(urlFromPlist(based), QUrl::fromLocalFile("/home/ana/b/c.txt"));
    EXPECT_THROW(urlFromPlist(Value(Dictionary{{"relative", "http://[::1"}})), DecodeError);
    EXPECT_THROW(urlFromPlist(Value(Dictionary{{"base", Dictionary{{"relative", "file:///"}}}})), DecodeError);

    // A file's location is a local file.
    expectRefused<File2>(with(toPlist(sampleFile().file), "location", Dictionary{{"relative", "https://x.example/a"}}),
                         "location");
}

TEST(CodingTest, UuidListsByKey)
{
    UuidListsByKey map;
    map[QByteArray(32, 'b')] = {kId};
    map[QByteArray(32, 'a')] = {kId, QUuid("{11111111-2222-3333-4444-555555555555}")};
    Value coded = toPlist(map);
    const Array& items = *coded.as<Array>();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], bytesToPlist(QByteArray(32, 'a')));
    EXPECT_EQ(items[1], Value(Array{uuidToPlist(kId), Value("11111111-2222-3333-4444-555555555555")}));
    EXPECT_EQ(items[2], bytesToPlist(QByteArray(32, 'b')));
    EXPECT_EQ(fromPlist<UuidListsByKey>(coded), map);
    EXPECT_EQ(fromBytes<UuidListsByKey>(toBytes(map)), map);

    Array odd = items;
    odd.pop_back();
    expectRefused<UuidListsByKey>(Value(odd));
    Array shortKey = items;
    shortKey[0] = bytesToPlist(QByteArray(31, 'a'));
    expectRefused<UuidListsByKey>(Value(shortKey));
    Array badId = items;
    badId[1] = Array{Value("nope")};
    expectRefused<UuidListsByKey>(Value(badId));
}

TEST(CodingTest, MalformedBytesAreADecodeError)
{
    EXPECT_THROW(fromBytes<File>(QByteArray()), DecodeError);
    EXPECT_THROW(fromBytes<File>(QByteArray("bplist00 definitely not")), DecodeError);
    QByteArray coded = toBytes(sampleFile());
    EXPECT_THROW(fromBytes<File>(coded.left(coded.size() - 1)), DecodeError);
    EXPECT_THROW(fromBytes<User>(coded), DecodeError);  // a File is not a User
}

}  // namespace
}  // namespace vortan
