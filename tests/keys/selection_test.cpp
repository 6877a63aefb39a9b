// Choosing the key store when no Secret Service can be reached.

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"

#include "tests/keys/keystest.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;
using namespace std::chrono_literals;

namespace {

class SelectionWithoutServiceTest : public ::testing::Test, protected test::SupportFolder {
protected:
    // A bus address that leads nowhere.
    test::ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath(QStringLiteral("no-bus")))};

    KeyStoreOptions options(KeyStoreChoice choice = KeyStoreChoice::automatic) const
    {
        KeyStoreOptions o = SupportFolder::options(choice);
        o.secretService.timeout = 2000ms;
        return o;
    }
    void writeMarker(const QByteArray& word) const
    {
        ASSERT_TRUE(QDir().mkpath(support()));
        ASSERT_TRUE(test::writeFile(marker(), word));
    }
};

TEST_F(SelectionWithoutServiceTest, NewIdentityGoesToTheFileAndIsRecorded)
{
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options()));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Using key store: key file ") + keyFile()});
    EXPECT_FALSE(QFile::exists(marker()));

    const QByteArray publicKey = helper.publicKey();
    EXPECT_EQ(test::readFile(marker()), "file\n");

    // The next start stays with the file and finds the same identity.
    KeyHelper next(openSecretStore(options()));
    EXPECT_EQ(next.publicKey(), publicKey);
}

// Forcing the unreachable service, or a record naming a store this program
// does not know, stops start-up.
TEST_F(SelectionWithoutServiceTest, ForcingTheUnreachableServiceOrAnUnreadableRecordIsAnError)
{
    EXPECT_THROW(openSecretStore(options(KeyStoreChoice::secretService)), KeyStoreUnavailable);
    EXPECT_FALSE(QFile::exists(marker()));
    writeMarker("kwallet\n");
    EXPECT_THROW(openSecretStore(options()), KeyStoreUnavailable);
}

TEST_F(SelectionWithoutServiceTest, ForcingTheFileOverridesTheRecordOnceAKeyIsThere)
{
    writeMarker("secret-service\n");
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options(KeyStoreChoice::file)));
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("Using key store: key file ") + keyFile(),
                                        QStringLiteral("The identity key was kept in the Secret Service until now")}));
    EXPECT_EQ(test::readFile(marker()), "secret-service\n");
    helper.signingKey();
    EXPECT_EQ(test::readFile(marker()), "file\n");
}

TEST_F(SelectionWithoutServiceTest, NeverStartsABusAndWithoutOneUsesTheFile)
{
    {
        test::ScopedEnv autolaunch("DBUS_SESSION_BUS_ADDRESS", QByteArray("autolaunch:"));
        EXPECT_TRUE(SecretServiceStore::sessionBusAddress().isEmpty());
        QByteArray value;
        EXPECT_EQ(SecretServiceStore().read(QStringLiteral("x"), value).code, SecretStatus::kNotAvailable);
    }
    // Without an address GLib would look at $XDG_RUNTIME_DIR/bus, then
    // autolaunch; with no bus there the store is the file.
    test::ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    {
        test::ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_TRUE(SecretServiceStore::sessionBusAddress().isEmpty());
    }
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    EXPECT_TRUE(SecretServiceStore::sessionBusAddress().isEmpty());
    EXPECT_EQ(openSecretStore(options())->name(), QStringLiteral("key file ") + keyFile());
    test::SilentSocket socket(dir.filePath(QStringLiteral("bus")));
    ASSERT_TRUE(socket.ok());
    EXPECT_EQ(SecretServiceStore::sessionBusAddress(), QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("bus")));
}

TEST_F(SelectionWithoutServiceTest, SilentBusFallsBackToTheFileWithinTheBound)
{
    test::SilentSocket socket(dir.filePath(QStringLiteral("silent-bus")));
    ASSERT_TRUE(socket.ok());
    test::ScopedEnv silent("DBUS_SESSION_BUS_ADDRESS", socket.busAddress());
    KeyStoreOptions o = options();
    o.secretService.timeout = 300ms;
    QElapsedTimer timer;
    timer.start();
    auto store = openSecretStore(o);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(store->name(), QStringLiteral("key file ") + keyFile());
}

}  // namespace
