#include "vortan/keys/filesecretstore.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vortan;

namespace {

const QString kAccount = QStringLiteral("com.halvinor.brenvo.key");

// Every byte value once: what a text conversion would mangle.
QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode;
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("nested/support/identity.key")); }
    FileSecretStore store{path(), kAccount};
};

TEST_F(FileSecretStoreTest, AddCreatesPrivateFileWithExactBytesAndNothingElse)
{
    const QByteArray value = allBytes();
    const mode_t old = ::umask(0);  // private even under a permissive umask
    const SecretStatus status = store.add(kAccount, QStringLiteral("Brenvo Application"), value);
    ::umask(old);
    ASSERT_TRUE(status.ok());

    EXPECT_EQ(modeOf(path()), mode_t(S_IFREG | 0600));
    EXPECT_EQ(test::readFile(path()), value);
    // The temporary file has been renamed away, not left beside the key.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("nested/support"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("identity.key")});

    QByteArray read;
    ASSERT_TRUE(store.read(kAccount, read).ok());
    EXPECT_EQ(read, value);
}

TEST_F(FileSecretStoreTest, AddNeverReplacesAnExistingKey)
{
    ASSERT_TRUE(store.add(kAccount, QString(), QByteArray(32, 'a')).ok());
    const SecretStatus second = store.add(kAccount, QString(), QByteArray(32, 'b'));
    EXPECT_EQ(second.code, SecretStatus::kDuplicateItem);
    EXPECT_EQ(test::readFile(path()), QByteArray(32, 'a'));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("nested/support"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
}

TEST_F(FileSecretStoreTest, FileOpenToOthersIsRestrictedAndLogged)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("nested/support"))));
    ASSERT_TRUE(test::writeFile(path(), QByteArray(32, 'k')));
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);

    test::LogCapture log;
    QByteArray value;
    ASSERT_TRUE(store.read(kAccount, value).ok());
    EXPECT_EQ(value, QByteArray(32, 'k'));
    EXPECT_EQ(modeOf(path()), mode_t(S_IFREG | 0600));
    EXPECT_TRUE(log.contains(QStringLiteral("Key file %1 was open to other users (mode 644); restricted it to 600").arg(path())))
        << log.lines().join('\n').toStdString();
}

TEST_F(FileSecretStoreTest, OnlyARegularFileIsRead)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("nested/support"))));
    const QByteArray target = QFile::encodeName(path());
    QByteArray value;

    // A folder in its place.
    ASSERT_TRUE(QDir().mkpath(path()));
    SecretStatus status = store.read(kAccount, value);
    EXPECT_EQ(status.code, SecretStatus::kIoError);
    EXPECT_TRUE(status.message.contains(QStringLiteral("not a regular file"))) << status.message.toStdString();
    ASSERT_TRUE(QDir().rmdir(path()));

    // A link to someone else's file is not followed.
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(test::writeFile(other, QByteArray(32, 'o')));
    ASSERT_EQ(::symlink(QFile::encodeName(other).constData(), target.constData()), 0);
    EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kIoError);
    ASSERT_EQ(::unlink(target.constData()), 0);

    // A FIFO neither hangs the read nor counts as a key.
    ASSERT_EQ(::mkfifo(target.constData(), 0600), 0);
    EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kIoError);
    ASSERT_EQ(::unlink(target.constData()), 0);

    EXPECT_TRUE(value.isEmpty());
}

TEST_F(FileSecretStoreTest, OversizedFileIsAnErrorNotALoad)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("nested/support"))));
    ASSERT_TRUE(test::writeFile(path(), QByteArray(FileSecretStore::kMaxFileSize + 1, 'x')));
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0600), 0);
    QByteArray value;
    EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kIoError);
    EXPECT_TRUE(value.isEmpty());
}

TEST_F(FileSecretStoreTest, UncreatableFolderIsAnError)
{
    // The parent of the key's folder is a file.
    ASSERT_TRUE(test::writeFile(dir.filePath(QStringLiteral("nested")), "plain file"));
    const SecretStatus status = store.add(kAccount, QString(), QByteArray(32, 'a'));
    EXPECT_EQ(status.code, SecretStatus::kIoError);
    EXPECT_FALSE(status.message.isEmpty());
}

}  // namespace
