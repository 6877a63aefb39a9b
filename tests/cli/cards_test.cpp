// Card files: the fingerprint people compare, and the file format, checked
// against Python's plistlib as an independent reader and writer.

#include "cli/cards.h"
#include "cli/clierror.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace brenvo::cli;
using vortan::User;

namespace {

QByteArray sequentialKey()
{
    QByteArray key(32, '\0');
    for (int i = 0; i < 32; ++i)
        key[i] = char(i * 9 + 1);
    return key;
}

// Runs a Python snippet with the card path as argv[1]; returns its output.
QByteArray python(const QString& script, const QString& path)
{
    QProcess process;
    process.start(QStringLiteral(VORTAN_PYTHON3), {"-c", script, path});
    EXPECT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().trimmed();
}

TEST(Fingerprint, FourLowerCaseHexDigitsPerTwoBytes)
{
    const QString text = fingerprint(QByteArray::fromHex("00ff10abcdef7f80"));
    EXPECT_EQ(text, "00ff 10ab cdef 7f80");
    EXPECT_EQ(fingerprint(sequentialKey()), "010a 131c 252e 3740 4952 5b64 6d76 7f88 919a a3ac b5be c7d0 d9e2 ebf4 fd06 0f18");
    EXPECT_EQ(fingerprint(QByteArray()), QString());
    EXPECT_EQ(cardFileName(User("a/b", std::nullopt, std::nullopt, QByteArray(32, 'k'))), "a:b.bcard");
}

TEST(CardFile, WrittenCardIsOneUserForPlistlib)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Ada.bcard");
    writeCard(path, User("Ada Lovelace", "ada.example.org", 54322, sequentialKey()));
    const QByteArray out = python(QStringLiteral("import plistlib,sys\n"
                                                 "d = plistlib.load(open(sys.argv[1], 'rb'), fmt=plistlib.FMT_BINARY)\n"
                                                 "print(sorted(d), d['name'], d['address'], d['port'], d['key'].hex())"),
                                  path);
    EXPECT_EQ(out, QByteArray("['address', 'key', 'name', 'port'] Ada Lovelace ada.example.org 54322 ")
                       + sequentialKey().toHex());

    // Without address and port, neither key is written.
    writeCard(path, User("Bo", std::nullopt, std::nullopt, sequentialKey()));
    EXPECT_EQ(python("import plistlib,sys\nprint(sorted(plistlib.load(open(sys.argv[1], 'rb'))))", path),
              QByteArray("['key', 'name']"));
}

TEST(CardFile, ReadsACardMadeElsewhere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.bcard");
    python(QStringLiteral("import plistlib,sys\n"
                          "plistlib.dump({'name': 'Cy', 'key': bytes(range(32)), 'port': 4000, 'colour': 'blue'},"
                          " open(sys.argv[1], 'wb'), fmt=plistlib.FMT_BINARY)"),
           path);
    const User user = readCard(path);
    EXPECT_EQ(user.name, "Cy");
    EXPECT_EQ(user.port, std::optional<std::uint16_t>(4000));
    EXPECT_FALSE(user.address);
    EXPECT_EQ(user.key.size(), 32);
    EXPECT_EQ(user.state, User::State::notConnected);
}

TEST(CardFile, RefusesWhatIsNotACardNamingTheFile)
{
    QTemporaryDir dir;
    const auto written = [&](const QString& name, const QByteArray& bytes) {
        vortan::test::writeFile(dir.filePath(name), bytes);
        return dir.filePath(name);
    };
    // Only regular files are opened: a FIFO with no writer would hang the import.
    const QString fifo = dir.filePath("pipe.bcard");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QString path;
        QString message;
    } cases[] = {
        // What the card decoder refuses (sizes, keys, nesting): app/cards; here the CLI's error.
        {written("text.bcard", "just some text"), "is not a card"},
        {written("huge.bcard", QByteArray(kMaxCardSize + 1, 'b')), "is not a card: it is larger than"},
        {dir.filePath("missing.bcard"), "cannot read "},
        {fifo, "is not a card: it is not a regular file"},
        {dir.path(), "is not a card: it is not a regular file"},
    };
    for (const auto& c : cases) {
        try {
            readCard(c.path);
            ADD_FAILURE() << c.path.toStdString() << " was read as a card";
        } catch (const CliError& e) {
            EXPECT_EQ(e.status(), kExitFailure);
            EXPECT_TRUE(e.message().contains(c.message)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QFileInfo(c.path).fileName())) << e.message().toStdString();
        }
    }
}

}  // namespace
