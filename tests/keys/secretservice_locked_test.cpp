// A locked keyring whose password prompt nobody answers: gnome-keyring asks
// a prompter on the bus that never replies (see with-keyring.sh).

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/keys/secretservicestore.h"

#include "tests/keys/keystest.h"
#include "tests/support/testsupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;
using namespace std::chrono_literals;

namespace {

const QString kAccount = QString::fromLatin1(KeyHelper::kAccount);
const SecretServiceOptions kBounds{2000ms, 500ms};

class LockedKeyringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The first test adds the key while the collection is still open.
        const int added = SecretServiceStore(kBounds).add(kAccount, QStringLiteral("Brenvo Application"), QByteArray(32, 'k')).code;
        ASSERT_TRUE(added == SecretStatus::kSuccess || added == SecretStatus::kDuplicateItem) << added;
        QDBusMessage lock = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"),
                                                           QStringLiteral("/org/freedesktop/secrets"),
                                                           QStringLiteral("org.freedesktop.Secret.Service"),
                                                           QStringLiteral("Lock"));
        lock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(lock, QDBus::Block, 5000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void TearDown() override
    {
        // The keyring daemon is still the one that holds the login collection:
        // giving up on the prompt did not bring it down (a daemon started anew
        // by bus activation would have no default collection).
        EXPECT_TRUE(SecretServiceStore(kBounds).probe().ok());
    }
};

TEST_F(LockedKeyringTest, ReadGivesUpWhenTheUnlockIsNotAnswered)
{
    SecretServiceStore store(kBounds);
    QElapsedTimer timer;
    timer.start();
    QByteArray value;
    const SecretStatus status = store.read(kAccount, value);
    EXPECT_EQ(status.code, SecretStatus::kNotAvailable);
    EXPECT_EQ(status.message, QStringLiteral("The Secret Service did not answer within 500 ms"));
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_TRUE(value.isEmpty());
}

TEST_F(LockedKeyringTest, StartUpStopsWithoutANewIdentity)
{
    test::SupportFolder folder;
    KeyStoreOptions options = folder.options();
    options.secretService = kBounds;
    ASSERT_TRUE(QDir().mkpath(folder.support()));
    ASSERT_TRUE(test::writeFile(folder.marker(), "secret-service\n"));

    test::LogCapture log;
    // The service itself answers, so the store is opened; reading the key is what fails.
    KeyHelper helper(openSecretStore(options));
    EXPECT_EQ(test::thrownMessage([&] { helper.signingKey(); }, KeyStoreError::Kind::load),
              QStringLiteral("Keychain read failed: -25291, The Secret Service did not answer within 500 ms"));
    EXPECT_FALSE(log.contains(test::kCreatingKey));
    // Adding for another account needs the collection unlocked: bounded too.
    EXPECT_EQ(SecretServiceStore(kBounds).add(QStringLiteral("other.account"), QString(), QByteArray(32, 'o')).code,
              SecretStatus::kNotAvailable);
}

}  // namespace
