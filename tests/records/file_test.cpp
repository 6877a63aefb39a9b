#include "vortan/records/file.h"
#include "vortan/errors.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace vortan {
namespace {

const QByteArray kUser(32, '\x5a');

class File2AtTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

// A link is measured through to its target, the bytes that will be sent,
// and keeps its own name.
TEST_F(File2AtTest, SymbolicLinkKeepsItsNameAndTakesTheTargetsSize)
{
    ASSERT_TRUE(test::writeFile(path("target.bin"), QByteArray(300000, 'y')));
    ASSERT_TRUE(QFile::link(path("target.bin"), path("shared link")));
    File2 file = File2::at(QUrl::fromLocalFile(path("shared link")));
    EXPECT_EQ(file.name(), "shared link");
    EXPECT_EQ(file.location, QUrl::fromLocalFile(path("shared link")));
    EXPECT_EQ(file.length(), 300000);
    EXPECT_EQ(file.numberOfBlocks(), 3);
}

// A failed status query is a PosixError with its code; anything that is not
// a regular local file is a plain IoError.
TEST_F(File2AtTest, FailuresAreTyped)
{
    ASSERT_TRUE(QFile::link(path("nowhere"), path("dangling")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_TRUE(QFile::link(path("folder"), path("folder link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    const auto local = [&](const char* name) { return QUrl::fromLocalFile(path(name)); };
    const std::pair<QUrl, int> cases[] = {
        {local("missing"), ENOENT}, {local("dangling"), ENOENT}, {local("folder"), 0},
        {local("folder link"), 0},  {local("pipe"), 0},          {QUrl("https://example.com/file"), 0},
    };
    for (const auto& [url, posixCode] : cases) {
        SCOPED_TRACE(url.toString().toStdString());
        try {
            File2::at(url);
            ADD_FAILURE() << "no error";
        } catch (const PosixError& error) {
            EXPECT_EQ(error.code(), posixCode);
            EXPECT_EQ(error.toVortanError().otherError()->posixCode, posixCode);
        } catch (const IoError& error) {
            EXPECT_EQ(posixCode, 0) << "not a PosixError";
            if (url.fileName() == "pipe") {
                EXPECT_TRUE(error.description().contains("not a regular file"));
            }
        }
    }
}

TEST(FileTest, CopiesShareOneTransferBuffer)
{
    QTemporaryDir dir;
    File original(QStringLiteral("t.bin"), QUrl::fromLocalFile(dir.filePath("t.bin")), 131072, kUser);
    File copy = original;
    EXPECT_EQ(copy.buffer(), original.buffer());
    copy.writeBlock(QByteArray(16, 'a'), 0);
    EXPECT_TRUE(original.buffer()->isOpen());
    original.buffer()->closeBuffer();
    EXPECT_FALSE(copy.buffer()->isOpen());
    EXPECT_EQ(copy.partialPath(), dir.filePath("t.bin.downloading"));
}

TEST(VortanErrorTest, LocalizedDescriptions)
{
    EXPECT_EQ(VortanError::network(NetworkError::posix(ECONNREFUSED)).localizedDescription(),
              QString::fromLocal8Bit(std::strerror(ECONNREFUSED)));
    EXPECT_EQ(VortanError::network(NetworkError::dns(-2)).localizedDescription(), "dns error: -2");
    EXPECT_EQ(VortanError::network(NetworkError::tls(-9806, "bad record")).localizedDescription(),
              "network error: bad record");
    EXPECT_EQ(VortanError::other(QStringLiteral("disk full")).localizedDescription(), "disk full");
}

}  // namespace
}  // namespace vortan
