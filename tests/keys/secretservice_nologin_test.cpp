// A Secret Service without a default collection: gnome-keyring started
// without a login keyring, as on a machine where it was never set up.

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/keys/secretservicestore.h"

#include "tests/keys/keystest.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;

namespace {

class NoDefaultCollectionTest : public ::testing::Test, protected test::SupportFolder {};

TEST_F(NoDefaultCollectionTest, ProbeTellsItApartFromAnUnreachableService)
{
    EXPECT_EQ(SecretServiceStore().probe().code, SecretStatus::kNoDefaultKeychain);
}

TEST_F(NoDefaultCollectionTest, NewIdentityGoesToTheFile)
{
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options()));
    helper.signingKey();
    EXPECT_EQ(log.lines().first(), QStringLiteral("Using key store: key file ") + keyFile());
    EXPECT_EQ(test::readFile(marker()), "file\n");
}

TEST_F(NoDefaultCollectionTest, ForcedServiceCannotStoreAndSaysWhy)
{
    KeyHelper helper(openSecretStore(options(KeyStoreChoice::secretService)));
    EXPECT_EQ(test::thrownMessage([&] { helper.signingKey(); }, KeyStoreError::Kind::store),
              QStringLiteral("Unable to store item: -25307, The Secret Service has no default collection"));
    EXPECT_FALSE(QFile::exists(marker()));
}

}  // namespace
