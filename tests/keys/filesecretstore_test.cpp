#include "vortan/keys/filesecretstore.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

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
    QString folder() const { return dir.filePath(QStringLiteral("nested/support")); }
    QString path() const { return folder() + QStringLiteral("/identity.key"); }
    QStringList folderEntries() const
    {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    FileSecretStore store{path(), kAccount};
};

TEST_F(FileSecretStoreTest, AddCreatesPrivateFileWithExactBytesAndNeverReplacesIt)
{
    const QByteArray value = allBytes();
    const mode_t old = ::umask(0);  // private even under a permissive umask
    const SecretStatus status = store.add(kAccount, QStringLiteral("Brenvo Application"), value);
    ::umask(old);
    ASSERT_TRUE(status.ok());

    EXPECT_EQ(modeOf(path()), mode_t(S_IFREG | 0600));
    EXPECT_EQ(test::readFile(path()), value);
    // The temporary file has been renamed away, not left beside the key.
    EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("identity.key")});

    QByteArray read;
    ASSERT_TRUE(store.read(kAccount, read).ok());
    EXPECT_EQ(read, value);

    // A second add never replaces the key.
    EXPECT_EQ(store.add(kAccount, QString(), QByteArray(32, 'b')).code, SecretStatus::kDuplicateItem);
    EXPECT_EQ(test::readFile(path()), value);
    EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("identity.key")});
}

TEST_F(FileSecretStoreTest, FileOpenToOthersIsRestrictedAndLogged)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
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

// Whatever stands at the key's path instead of a private regular file of a
// key's size is an error, never a key. (The message for a folder: the key
// helper's ReadFailureCarriesStatusAndMessageAndIsRetried.)
TEST_F(FileSecretStoreTest, OnlyABoundedRegularFileIsRead)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray target = QFile::encodeName(path());
    const QByteArray other = QFile::encodeName(dir.filePath(QStringLiteral("other")));
    ASSERT_TRUE(test::writeFile(QFile::decodeName(other), QByteArray(32, 'o')));
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"a folder", [&] { return ::mkdir(target.constData(), 0700) == 0; }},
        {"a link to someone else's file", [&] { return ::symlink(other.constData(), target.constData()) == 0; }},
        {"a FIFO, which must not hang the read", [&] { return ::mkfifo(target.constData(), 0600) == 0; }},
        {"an oversized file", [&] {
             return test::writeFile(path(), QByteArray(FileSecretStore::kMaxFileSize + 1, 'x'))
                    && ::chmod(target.constData(), 0600) == 0;
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(make());
        QByteArray value;
        EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kIoError);
        EXPECT_TRUE(value.isEmpty());
        ASSERT_TRUE(::unlink(target.constData()) == 0 || ::rmdir(target.constData()) == 0);
    }
}

}  // namespace
