// Our coded records read by Python's plistlib, the reference reader of the
// format, and plistlib's output read by us.

#include "vortan/records/coding.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace vortan {
namespace {

// Prints the property list in a file as JSON that keeps what JSON would
// lose: dictionary key order (pairs), data (hex) and booleans versus integers.
const char* const kDump = R"PY(
import json, plistlib, sys
def conv(o):
    if isinstance(o, dict): return {"dict": [[k, conv(v)] for k, v in o.items()]}
    if isinstance(o, list): return [conv(x) for x in o]
    if isinstance(o, bytes): return {"data": o.hex()}
    if isinstance(o, bool): return {"bool": o}
    if isinstance(o, int): return {"int": o}
    return o
with open(sys.argv[1], "rb") as f:
    print(json.dumps(conv(plistlib.load(f)), separators=(",", ":"), ensure_ascii=False))
)PY";

// Runs a Python snippet with the given arguments; returns its standard output.
QByteArray python(const char* script, const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(VORTAN_PYTHON3), QStringList{"-c", QString::fromUtf8(script)} + args);
    EXPECT_TRUE(process.waitForFinished(20000)) << "python3 did not finish";
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().trimmed();
}

class PlistlibTest : public ::testing::Test {
protected:
    QByteArray dump(const QByteArray& bytes)
    {
        const QString path = dir.filePath("coded.plist");
        EXPECT_TRUE(test::writeFile(path, bytes));
        return python(kDump, {path});
    }
    QTemporaryDir dir;
};

TEST_F(PlistlibTest, FileReadsAsTheExpectedDictionary)
{
    File file(File2("report final.pdf", QUrl::fromLocalFile("/home/ana/report final.pdf"), 3 * 131072 + 5),
              QUuid("{0b7a4c1e-2f3d-4e5a-9b6c-7d8e9f0a1b2c}"), QByteArray(32, '\x01'));
    file.blocks = BlockSet::fromRuns({{0, 3}, {7, 1}});
    file.download = false;
    file.paused = true;
    const QByteArray expected =
        R"({"dict":[["id","0B7A4C1E-2F3D-4E5A-9B6C-7D8E9F0A1B2C"],)"
        R"(["file",{"dict":[["name","report final.pdf"],)"
        R"(["location",{"dict":[["relative","file:///home/ana/report%20final.pdf"]]}],)"
        R"(["length",{"int":393221}],["numberOfBlocks",{"int":4}]]}],)"
        R"(["download",{"bool":false}],)"
        R"(["user",{"data":"0101010101010101010101010101010101010101010101010101010101010101"}],)"
        R"(["blocks",{"dict":[["indexes",[{"dict":[["location",{"int":0}],["length",{"int":3}]]},)"
        R"({"dict":[["location",{"int":7}],["length",{"int":1}]]}]]]}],)"
        R"(["paused",{"bool":true}],["unavailable",{"bool":false}]]})";
    EXPECT_EQ(dump(toBytes(file)), expected);
}

TEST_F(PlistlibTest, UserReadsAsTheExpectedDictionary)
{
    User full(QStringLiteral("Ana Lúcia"), QStringLiteral("ana.example.org"), 54322, QByteArray(32, '\xab'));
    EXPECT_EQ(dump(toBytes(full)),
              QByteArray(R"({"dict":[["key",{"data":")") + QByteArray(32, '\xab').toHex() +
                  QByteArray(R"("}],["name","Ana Lúcia"],["address","ana.example.org"],["port",{"int":54322}]]})"));

    User bare(QStringLiteral("Bo"), std::nullopt, std::nullopt, QByteArray(32, '\0'));
    EXPECT_EQ(dump(toBytes(bare)),
              QByteArray(R"({"dict":[["key",{"data":")") + QByteArray(32, '\0').toHex() +
                  QByteArray(R"("}],["name","Bo"]]})"));
}

TEST_F(PlistlibTest, WeReadPlistlibsRecords)
{
    // plistlib sorts the keys and writes its own integer and string sizes.
    const char* write = R"PY(
import plistlib, sys
run = lambda a, b: {"location": a, "length": b}
files = [{
    "id": "0b7a4c1e-2f3d-4e5a-9b6c-7d8e9f0a1b2c",
    "file": {"name": "Übersicht ✓.txt", "length": 300000, "numberOfBlocks": 3,
             "location": {"relative": "file:///tmp/%C3%9Cbersicht.txt"}},
    "download": True, "user": bytes(range(32)), "paused": True, "unavailable": False,
    "blocks": {"indexes": [run(2, 1), run(0, 1)]},
    "extra": [1, 2, 3],
}]
with open(sys.argv[1], "wb") as f:
    plistlib.dump(files, f, fmt=plistlib.FMT_BINARY)
)PY";
    const QString path = dir.filePath("theirs.plist");
    python(write, {path});
    QList<File> files = fromBytes<QList<File>>(test::readFile(path));
    ASSERT_EQ(files.size(), 1);
    const File& file = files[0];
    EXPECT_EQ(file.id(), QUuid("{0b7a4c1e-2f3d-4e5a-9b6c-7d8e9f0a1b2c}"));
    EXPECT_EQ(file.name(), QStringLiteral("Übersicht ✓.txt"));
    EXPECT_EQ(file.location(), QUrl::fromLocalFile(QStringLiteral("/tmp/Übersicht.txt")));
    EXPECT_EQ(file.length(), 300000);
    EXPECT_EQ(file.numberOfBlocks(), 3);
    EXPECT_TRUE(file.download);
    EXPECT_TRUE(file.paused);
    EXPECT_EQ(file.user.size(), 32);
    EXPECT_EQ(file.user[31], '\x1f');
    EXPECT_EQ(file.blocks, BlockSet::fromRuns({{0, 1}, {2, 1}}));
}

}  // namespace
}  // namespace vortan
