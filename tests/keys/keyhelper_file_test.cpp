#include "vortan/keys/filesecretstore.h"
#include "vortan/keys/keyhelper.h"

#include "tests/keys/keystest.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;
using namespace vortan::test;
using Kind = KeyStoreError::Kind;

namespace {

class KeyHelperFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString keyPath() const { return dir.filePath(QStringLiteral("support/identity.key")); }

    // One program start: a fresh helper over the same file.
    std::unique_ptr<KeyHelper> start(const QString& path = {}) const
    {
        return std::make_unique<KeyHelper>(
            std::make_unique<FileSecretStore>(path.isEmpty() ? keyPath() : path, QString::fromLatin1(KeyHelper::kAccount)));
    }
};

TEST_F(KeyHelperFileTest, FirstStartCreatesTheKeyAndTheNextFindsIt)
{
    QByteArray firstPublic;
    {
        test::LogCapture log;
        auto helper = start();
        firstPublic = helper->publicKey();
        EXPECT_EQ(log.lines(), QStringList{kCreatingKey});
        // The file holds the raw private key of that identity.
        EXPECT_EQ(test::readFile(keyPath()), bytesOf(helper->signingKey().raw()));
        // Later accesses use the cache and log nothing more.
        EXPECT_EQ(helper->publicKey(), firstPublic);
        EXPECT_EQ(log.lines().size(), 1);
    }
    test::LogCapture log;
    auto next = start();
    EXPECT_EQ(next->publicKey(), firstPublic);
    EXPECT_EQ(log.lines(), QStringList{kFoundKey});
    EXPECT_EQ(firstPublic.size(), 32);
}

TEST_F(KeyHelperFileTest, DeleteKeyTakesEffectAtTheNextStart)
{
    auto running = start();
    const QByteArray before = running->publicKey();
    const crypto::Signature signature = running->signingKey().sign(crypto::ByteView());

    running->deleteKey(running->account());
    EXPECT_FALSE(QFile::exists(keyPath()));
    // The running process keeps signing as before.
    EXPECT_EQ(running->publicKey(), before);
    EXPECT_EQ(running->signingKey().sign(crypto::ByteView()), signature);

    test::LogCapture log;
    auto next = start();
    EXPECT_NE(next->publicKey(), before);
    EXPECT_EQ(log.lines(), QStringList{kCreatingKey});
}

TEST_F(KeyHelperFileTest, StoredValueOfWrongLengthIsAnErrorNotANewKey)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("support"))));
    ASSERT_TRUE(test::writeFile(keyPath(), QByteArray(31, 'k')));
    QFile::setPermissions(keyPath(), QFile::ReadOwner | QFile::WriteOwner);

    test::LogCapture log;
    auto helper = start();
    thrownMessage([&] { helper->signingKey(); }, Kind::load);
    EXPECT_EQ(test::readFile(keyPath()), QByteArray(31, 'k'));
    EXPECT_FALSE(log.contains(kCreatingKey));
}

TEST_F(KeyHelperFileTest, ReadFailureCarriesStatusAndMessageAndIsRetried)
{
    // A folder where the key file should be: reading fails with an error,
    // which is not "not found", so no key is created.
    ASSERT_TRUE(QDir().mkpath(keyPath()));
    auto helper = start();
    EXPECT_EQ(thrownMessage([&] { helper->signingKey(); }, Kind::load),
              QStringLiteral("Keychain read failed: -36, %1 is not a regular file").arg(keyPath()));
    // Once the fault is gone, the next access loads again.
    ASSERT_TRUE(QDir().rmdir(keyPath()));
    test::LogCapture log;
    EXPECT_EQ(helper->publicKey().size(), 32);
    EXPECT_EQ(log.lines(), QStringList{kCreatingKey});
}

TEST_F(KeyHelperFileTest, StoreFailureIsAStoreError)
{
    // Nothing to read, and the support folder cannot be created: its name is
    // taken by a link to nowhere (the file store's I/O error, -36, with its reason).
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("support"))));
    auto helper = start();
    const QString message = thrownMessage([&] { helper->signingKey(); }, Kind::store);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Unable to store item: -36, "))) << message.toStdString();
    EXPECT_GT(message.size(), QStringLiteral("Unable to store item: -36, ").size()) << message.toStdString();
}

TEST_F(KeyHelperFileTest, EndpointTableKeepsTheLatestKeyPerPair)
{
    auto helper = start();
    const StorageKey endpoints{{QStringLiteral("10.0.0.1"), 54322}, {QStringLiteral("10.0.0.2"), 40000}};
    const StorageKey swapped{endpoints.remoteEndpoint, endpoints.localEndpoint};
    helper->setPeerKey(endpoints, QByteArray(32, '1'));
    helper->setPeerKey(endpoints, QByteArray(32, '2'));
    EXPECT_EQ(helper->peerKey(endpoints), QByteArray(32, '2'));
    EXPECT_FALSE(helper->peerKey(swapped).has_value());
}

}  // namespace
