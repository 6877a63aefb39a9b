// Compatibility with the standard format, both ways, against Python's
// plistlib: each case is the same value written as a Python expression and
// as a plist::Value. plistlib must load our bytes to exactly that value
// (types, key order, every bit of the reals), and we must read plistlib's
// bytes to exactly our value.

#include "tests/support/testsupport.h"
#include "tests/plist/value_printer.h"
#include "vortan/plist/value.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>

namespace vortan::plist {
namespace {

constexpr int kPythonTimeoutMs = 60000;

// argv[1]: our file; argv[2]: where plistlib writes the expected value.
// Prints "same", or "different: " and what plistlib loaded.
const char* const kScript = R"PY(
import datetime, math, plistlib, sys

def date(*fields):
    return datetime.datetime(*fields)

def same(a, b):
    if type(a) is not type(b):
        return False
    if type(a) is dict:
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if type(a) is list:
        return len(a) == len(b) and all(map(same, a, b))
    if type(a) is float:
        return a == b and math.copysign(1, a) == math.copysign(1, b)
    return a == b

expected = eval(sys.stdin.read())
with open(sys.argv[1], 'rb') as f:
    loaded = plistlib.load(f)
print('same' if same(loaded, expected) else 'different: ' + repr(loaded)[:2000])
with open(sys.argv[2], 'wb') as f:
    plistlib.dump(expected, f, fmt=plistlib.FMT_BINARY, sort_keys=False)
)PY";

struct Exchange {
    std::string verdict;                // plistlib on our bytes
    std::vector<std::uint8_t> ours;     // what we wrote
    std::vector<std::uint8_t> theirs;   // what plistlib wrote
};

// Writes value, has plistlib load it and compare it with pythonValue, and
// returns plistlib's own coding of pythonValue too.
Exchange exchange(const std::string& pythonValue, const Value& value)
{
    Exchange result;
    result.ours = write(value);
    QTemporaryDir dir;
    const QString oursPath = dir.filePath("ours.plist");
    const QString theirsPath = dir.filePath("theirs.plist");
    if (!dir.isValid() || !test::writeFile(oursPath, QByteArray(reinterpret_cast<const char*>(result.ours.data()),
                                                                 static_cast<qsizetype>(result.ours.size())))) {
        ADD_FAILURE() << "cannot write " << oursPath.toStdString();
        return result;
    }

    QProcess python;  // killed by its destructor if still running
    python.start(VORTAN_PYTHON3, {"-c", kScript, oursPath, theirsPath});
    if (python.waitForStarted(kPythonTimeoutMs)) {
        python.write(QByteArray::fromStdString(pythonValue));
        python.closeWriteChannel();
    }
    if (!python.waitForFinished(kPythonTimeoutMs) || python.exitStatus() != QProcess::NormalExit
        || python.exitCode() != 0) {
        ADD_FAILURE() << "python failed or did not finish: " << python.readAllStandardError().toStdString();
        return result;
    }
    result.verdict = python.readAllStandardOutput().trimmed().toStdString();
    const QByteArray theirs = test::readFile(theirsPath);
    result.theirs.assign(theirs.begin(), theirs.end());
    return result;
}

// Both ways; with sameBytes, also that our coding is plistlib's byte for
// byte (true when no scalar repeats, since plistlib merges equal scalars).
void expectCompatible(const std::string& pythonValue, const Value& value, bool sameBytes = false)
{
    SCOPED_TRACE(pythonValue.substr(0, 200));
    const Exchange e = exchange(pythonValue, value);
    EXPECT_EQ(e.verdict, "same");
    ASSERT_FALSE(e.theirs.empty());
    EXPECT_EQ(read(e.theirs), value);
    EXPECT_EQ(read(e.ours), value);
    if (sameBytes) {
        EXPECT_EQ(e.ours, e.theirs);
    }
}

// Values, each as Python writes it and as ours, gathered into one dictionary
// (keys "k0", "k1" ... in order) and exchanged whole, byte for byte.
void expectCompatibleValues(std::initializer_list<std::pair<std::string, Value>> values)
{
    std::string python = "{";
    Dictionary ours;
    for (const auto& [pythonValue, value] : values) {
        const std::string key = "k" + std::to_string(ours.size());
        python += "'" + key + "': " + pythonValue + ", ";
        ours.emplace_back(key, value);
    }
    expectCompatible(python + "}", ours, true);
}

// Seconds from 2001-01-01 UTC, the format's epoch.
double referenceSeconds(int y, int mo, int d, int h, int mi, int s)
{
    const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime t(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
    return static_cast<double>(epoch.secsTo(t));
}

TEST(PlistCompatTest, IntegersBooleansAndReals)
{
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    expectCompatibleValues({{"0", 0}, {"255", 255}, {"256", 256}, {"65535", 65535}, {"65536", 65536},
                            {"2**32 - 1", std::int64_t{4294967295}}, {"2**32", std::int64_t{4294967296}},
                            {"2**63 - 1", max}, {"-2**63", min}, {"-1", -1}, {"-300", -300}, {"True", true},
                            {"False", false}, {"0.1", 0.1}, {"-2.5e300", -2.5e300}, {"5e-324", 5e-324},
                            {"float('inf')", std::numeric_limits<double>::infinity()}, {"-0.0", -0.0}});
    expectCompatible("42", Value(42), true);
    expectCompatible("-2**63", Value(min), true);
}

TEST(PlistCompatTest, Strings)
{
    expectCompatibleValues({{"'E621E1F8-C36C-495A-93FC-0C247A3E6E5F'", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
                            {"''", ""}, {"'fifteen or more ascii'", "fifteen or more ascii"},
                            {"'Caf\\u00e9'", "Caf\u00e9"},
                            {"'\\u65e5\\u672c\\u8a9e\\u306e\\u30d5\\u30a1\\u30a4\\u30eb.txt'",
                             "\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb.txt"},
                            {"'go \\U0001F600\\U0001F389!'", "go \U0001F600\U0001F389!"},
                            {"'\\u00e9' * 20", QString(20, QChar(0xE9)).toStdString()},
                            {"'\\x00\\x01\\x7f'", std::string("\0\x01\x7f", 3)}});
    expectCompatible("{'cl\\u00e9 \\u9375': '\\U0001F511'}", Dictionary{{"cl\u00e9 \u9375", "\U0001F511"}}, true);
    expectCompatible("'just a string'", Value("just a string"), true);
}

TEST(PlistCompatTest, DataAndDates)
{
    std::vector<std::uint8_t> key(32), kilobyte(1024);
    std::iota(key.begin(), key.end(), std::uint8_t{0});
    std::iota(kilobyte.begin(), kilobyte.end(), std::uint8_t{0});  // 0 to 255, four times
    expectCompatibleValues({{"b''", Data{}}, {"b'\\x00\\x01\\xff'", Data{{0x00, 0x01, 0xFF}}},
                            {"bytes(range(32))", Data{key}}, {"bytes(range(256)) * 4", Data{kilobyte}},
                            {"date(2021, 3, 4, 5, 6, 7)", Date{referenceSeconds(2021, 3, 4, 5, 6, 7)}},
                            {"date(2001, 1, 1, 0, 0, 0, 500000)", Date{0.5}},
                            {"date(2000, 12, 31, 23, 59, 59)", Date{-1}},
                            {"date(2200, 1, 1)", Date{referenceSeconds(2200, 1, 1, 0, 0, 0)}}});
}

TEST(PlistCompatTest, ContainersEmptyAndNested)
{
    expectCompatible("[]", Array{}, true);
    expectCompatible("{}", Dictionary{}, true);
    expectCompatible("[[], {}, [[]], {'a': {}}, {'b': []}]",
                     Array{Array{}, Dictionary{}, Array{Array{}}, Dictionary{{"a", Dictionary{}}},
                           Dictionary{{"b", Array{}}}});
    expectCompatible(
        "[{'name': 'a.txt', 'blocks': {'indexes': [{'location': 0, 'length': 3}, {'location': 7, 'length': 1}]}},"
        " {'name': 'b.txt', 'blocks': {'indexes': []}, 'tags': [[1, 2], ['x', [True, b'\\x01']]]}]",
        Array{Dictionary{{"name", "a.txt"},
                         {"blocks", Dictionary{{"indexes", Array{Dictionary{{"location", 0}, {"length", 3}},
                                                                 Dictionary{{"location", 7}, {"length", 1}}}}}}},
              Dictionary{{"name", "b.txt"},
                         {"blocks", Dictionary{{"indexes", Array{}}}},
                         {"tags", Array{Array{1, 2}, Array{"x", Array{true, Data{{0x01}}}}}}}});
    // plistlib writes a list that occurs three times only once.
    expectCompatible("(lambda x: [x, x, {'again': x}])([1, 'two'])",
                     Array{Array{1, "two"}, Array{1, "two"}, Dictionary{{"again", Array{1, "two"}}}});
}

TEST(PlistCompatTest, LargeLists)
{
    // 301 objects: 2-byte references.
    Array counting;
    for (int i = 0; i < 300; ++i)
        counting.emplace_back(i);
    expectCompatible("list(range(300))", counting, true);

    // More than 65,535 objects: 4-byte references, offsets beyond 64 KiB.
    Array list;
    for (int i = 0; i < 70000; ++i)
        list.emplace_back(Dictionary{{"i", i}, {"s", "x" + std::to_string(i)}});
    expectCompatible("[{'i': i, 's': 'x%d' % i} for i in range(70000)]", list);
}

TEST(PlistCompatTest, RefusesPlistlibIntegersBeyondSigned64Bits)
{
    // plistlib writes 2^63 ... 2^64 - 1 as 16-byte integers.
    for (const char* python : {"2**63", "[2**64 - 1]", "{'big': 2**63 + 5}"}) {
        SCOPED_TRACE(python);
        const Exchange e = exchange(python, Value(0));
        ASSERT_FALSE(e.theirs.empty());
        try {
            read(e.theirs);
            ADD_FAILURE() << "accepted";
        } catch (const FormatError& error) {
            EXPECT_NE(std::string(error.what()).find("outside signed 64 bits"), std::string::npos) << error.what();
        }
    }
}

}  // namespace
}  // namespace vortan::plist
