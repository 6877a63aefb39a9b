// A Secret Service without a default collection: gnome-keyring started
// without a login keyring, as on a machine where it was never set up.

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/keys/secretservicestore.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;

namespace {

class NoDefaultCollectionTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString support() const { return dir.filePath(QStringLiteral("Brenvo")); }
    KeyStoreOptions options(KeyStoreChoice choice) const
    {
        KeyStoreOptions o;
        o.choice = choice;
        o.supportDirectory = support();
        return o;
    }
};

TEST_F(NoDefaultCollectionTest, ProbeTellsItApartFromAnUnreachableService)
{
    EXPECT_EQ(SecretServiceStore().probe().code, SecretStatus::kNoDefaultKeychain);
}

TEST_F(NoDefaultCollectionTest, NewIdentityGoesToTheFile)
{
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options(KeyStoreChoice::automatic)));
    helper.signingKey();
    EXPECT_EQ(log.lines().first(), QStringLiteral("Using key store: key file ") + QDir(support()).filePath(QStringLiteral("identity.key")));
    EXPECT_EQ(test::readFile(QDir(support()).filePath(QString::fromLatin1(kKeyStoreMarkerFileName))), "file\n");
}

TEST_F(NoDefaultCollectionTest, ForcedServiceCannotStoreAndSaysWhy)
{
    KeyHelper helper(openSecretStore(options(KeyStoreChoice::secretService)));
    try {
        helper.signingKey();
        FAIL() << "a key was stored";
    } catch (const KeyStoreError& error) {
        EXPECT_EQ(error.kind(), KeyStoreError::Kind::store);
        EXPECT_EQ(error.message(), QStringLiteral("Unable to store item: -25307, The Secret Service has no default collection"));
    }
    EXPECT_FALSE(QFile::exists(QDir(support()).filePath(QString::fromLatin1(kKeyStoreMarkerFileName))));
}

}  // namespace
