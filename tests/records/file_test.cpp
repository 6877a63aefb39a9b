#include "vortan/records/file.h"
#include "vortan/errors.h"
#include "vortan/folderfiles.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// A folder is its regular files, named by their paths from the folder's own
// name on; nothing below it is followed out of it: links (to files and
// folders, inside or outside) and pipes are left out, each said in the log,
// and an empty folder adds nothing. The folder given may itself be a link.
TEST_F(File2AtTest, FilesOfFolderAreItsRegularFilesAndNothingItLinksTo)
{
    QTemporaryDir outside;
    ASSERT_TRUE(test::writeFile(outside.filePath("secret.txt"), "secret"));
    const QString root = path("Holiday");
    for (const QString& folder : {QStringLiteral("Holiday/2024/deep"), QStringLiteral("Holiday/caf\u00e9 \u2603"),
                                  QStringLiteral("Holiday/empty/emptier")})
        ASSERT_TRUE(QDir(dir.path()).mkpath(folder));
    const std::pair<QString, qint64> files[] = {
        {"Holiday/a.jpg", 300000}, {"Holiday/2024/deep/b.txt", 5},
        {QStringLiteral("Holiday/caf\u00e9 \u2603/\u00e9t\u00e9.txt"), 0}, {"Holiday/.hidden", 1}};
    for (const auto& [name, size] : files)
        ASSERT_TRUE(test::writeFile(path(name), QByteArray(size, 'x')));
    ASSERT_TRUE(QFile::link(outside.filePath("secret.txt"), path("Holiday/2024/to secret")));
    ASSERT_TRUE(QFile::link(outside.path(), path("Holiday/2024/to outside")));
    ASSERT_TRUE(QFile::link(path("Holiday/a.jpg"), path("Holiday/inner link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("Holiday/pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(root, path("Trip")));

    test::LogCapture log;
    const QList<File2> found = filesOfFolder(path("Trip"));
    QStringList names;
    for (const File2& file : found) {
        names.append(file.name());
        const QString relative = file.name().section(QLatin1Char('/'), 1);
        EXPECT_EQ(file.location, QUrl::fromLocalFile(path("Trip/" + relative)));
        EXPECT_EQ(file.length(), QFileInfo(path("Holiday/" + relative)).size());
    }
    EXPECT_EQ(names, (QStringList{"Trip/.hidden", "Trip/2024/deep/b.txt", "Trip/a.jpg",
                                  QStringLiteral("Trip/caf\u00e9 \u2603/\u00e9t\u00e9.txt")}));
    EXPECT_EQ(log.startingWith("Left out ").size(), 4) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(log.contains("Left out Trip/2024/to outside: a symbolic link"));

    EXPECT_TRUE(filesOfFolder(path("Holiday/empty")).isEmpty());
    EXPECT_THROW(filesOfFolder(path("Holiday/a.jpg")), IoError);
    EXPECT_THROW(filesOfFolder(path("missing")), PosixError);
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
