// The key store against a real Secret Service: gnome-keyring-daemon on a
// private session bus (see with-keyring.sh). One program for the three ways
// the keyring is started there (CMakeLists.txt picks the tests for each): a
// login collection, none at all, and a locked one whose unlock prompt nobody
// answers.

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
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vortan;
using namespace std::chrono_literals;

namespace {

const QString kAccount = QString::fromLatin1(KeyHelper::kAccount);

struct ToolResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
};

// Runs secret-tool, the keyring's own command-line client, as an outside view
// of what is stored.
ToolResult secretTool(const QStringList& arguments, const QByteArray& input = {})
{
    ToolResult result;
    QProcess process;  // killed by its destructor if it overruns
    process.start(QStringLiteral("secret-tool"), arguments);
    if (!process.waitForStarted(5000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(10000);
    result.exitCode = result.finished ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput() + process.readAllStandardError();
    return result;
}

class SecretServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty())
            << "secret-tool is missing (package libsecret-tools)";
        ASSERT_FALSE(SecretServiceStore::sessionBusAddress().isEmpty()) << "run this test through with-keyring.sh";
        store.remove(kAccount);
        secretTool({QStringLiteral("clear"), QStringLiteral("account"), kAccount});
    }
    void TearDown() override
    {
        EXPECT_TRUE(serviceAnswers());
        store.remove(kAccount);
    }

    std::unique_ptr<KeyHelper> start() const { return std::make_unique<KeyHelper>(std::make_unique<SecretServiceStore>()); }

    // GLib shares one session connection per process and lets go of it a
    // moment after its last user; after DBUS_SESSION_BUS_ADDRESS changes,
    // wait until calls use the new address.
    static bool serviceGone()
    {
        return test::waitFor(
            [] { return SecretServiceStore({300ms, 300ms}).probe().code == SecretStatus::kNotAvailable; }, 5000);
    }
    static bool serviceAnswers()
    {
        return test::waitFor([] { return SecretServiceStore().probe().ok(); }, 5000);
    }

    SecretServiceStore store;
};

TEST_F(SecretServiceTest, FirstStartCreatesTheItemAndTheNextFindsIt)
{
    QByteArray firstPublic;
    QByteArray firstPrivate;
    {
        test::LogCapture log;
        auto helper = start();
        firstPublic = helper->publicKey();
        firstPrivate = test::bytesOf(helper->signingKey().raw());
        EXPECT_EQ(log.lines(), QStringList{test::kCreatingKey});
    }

    // Seen from outside: one item with the label and the account, holding
    // the 32 raw bytes unchanged.
    const ToolResult search =
        secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("account"), kAccount});
    ASSERT_TRUE(search.finished);
    EXPECT_EQ(search.out.count("\nlabel = "), 1) << search.out.toStdString();
    EXPECT_TRUE(search.out.contains("\nlabel = Brenvo Application\n")) << search.out.toStdString();
    EXPECT_TRUE(search.out.contains("\nattribute.account = com.halvinor.brenvo.key\n")) << search.out.toStdString();
    const ToolResult lookup = secretTool({QStringLiteral("lookup"), QStringLiteral("account"), kAccount});
    ASSERT_TRUE(lookup.finished);
    EXPECT_EQ(lookup.exitCode, 0);
    EXPECT_EQ(lookup.out, firstPrivate);

    test::LogCapture log;
    auto next = start();
    EXPECT_EQ(next->publicKey(), firstPublic);
    EXPECT_EQ(log.lines(), QStringList{test::kFoundKey});
}

TEST_F(SecretServiceTest, AddNeverReplacesAndItemsOfOtherProgramsAreNotOurs)
{
    // Same account attribute, but not stored under our schema.
    const ToolResult stored = secretTool({QStringLiteral("store"), QStringLiteral("--label=Other"),
                                          QStringLiteral("account"), kAccount},
                                         QByteArray(32, 'x'));
    ASSERT_TRUE(stored.finished);
    ASSERT_EQ(stored.exitCode, 0) << stored.out.toStdString();

    QByteArray value;
    EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kItemNotFound);
    ASSERT_TRUE(store.add(kAccount, QStringLiteral("Brenvo Application"), QByteArray(32, 'a')).ok());
    // Add never replaces ours.
    EXPECT_EQ(store.add(kAccount, QStringLiteral("Brenvo Application"), QByteArray(32, 'b')).code,
              SecretStatus::kDuplicateItem);
    ASSERT_TRUE(store.read(kAccount, value).ok());
    EXPECT_EQ(value, QByteArray(32, 'a'));
    // Removing ours leaves theirs, and a second removal finds nothing.
    EXPECT_TRUE(store.remove(kAccount).ok());
    EXPECT_EQ(store.remove(kAccount).code, SecretStatus::kItemNotFound);
    const ToolResult lookup = secretTool({QStringLiteral("lookup"), QStringLiteral("account"), kAccount});
    EXPECT_EQ(lookup.out, QByteArray(32, 'x'));
    secretTool({QStringLiteral("clear"), QStringLiteral("account"), kAccount});
}

TEST_F(SecretServiceTest, SilentBusFailsWithinTheBound)
{
    QTemporaryDir dir;
    test::SilentSocket socket(dir.filePath(QStringLiteral("bus")));
    ASSERT_TRUE(socket.ok());
    test::ScopedEnv silent("DBUS_SESSION_BUS_ADDRESS", socket.busAddress());
    ASSERT_TRUE(serviceGone());

    SecretServiceStore bounded(SecretServiceOptions{300ms, 300ms});
    // Right after an abandoned call GLib may still hand out that call's
    // cancelled connection, which fails at once (for a while on a loaded
    // machine); a call that really reaches the silent bus gives up after
    // the bound.
    bool sawTimeout = false;
    QString lastMessage;
    QElapsedTimer trying;
    trying.start();
    while (!sawTimeout && trying.elapsed() < 15000) {
        QElapsedTimer timer;
        timer.start();
        QByteArray value;
        const SecretStatus read = bounded.read(kAccount, value);
        EXPECT_EQ(read.code, SecretStatus::kNotAvailable);
        EXPECT_LT(timer.elapsed(), 3000);
        lastMessage = read.message;
        sawTimeout = read.message == QStringLiteral("The Secret Service did not answer within 300 ms");
    }
    EXPECT_TRUE(sawTimeout) << lastMessage.toStdString();

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(bounded.add(kAccount, QString(), QByteArray(32, 'a')).code, SecretStatus::kNotAvailable);
    EXPECT_EQ(bounded.remove(kAccount).code, SecretStatus::kNotAvailable);
    EXPECT_EQ(bounded.probe().code, SecretStatus::kNotAvailable);
    // Three calls of 300 ms each, with room for a loaded machine.
    EXPECT_LT(timer.elapsed(), 6000);
}

class SelectionWithServiceTest : public SecretServiceTest, protected test::SupportFolder {};

TEST_F(SelectionWithServiceTest, NewIdentityGoesToTheServiceAndIsRecorded)
{
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options()));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Using key store: Secret Service")});
    const QByteArray publicKey = helper.publicKey();
    EXPECT_EQ(test::readFile(marker()), "secret-service\n");
    EXPECT_FALSE(QFile::exists(keyFile()));

    KeyHelper next(openSecretStore(options()));
    EXPECT_EQ(next.publicKey(), publicKey);
}

TEST_F(SelectionWithServiceTest, ServiceGoneAfterHoldingTheIdentityStopsStartUp)
{
    QByteArray publicKey;
    {
        KeyHelper helper(openSecretStore(options()));
        publicKey = helper.publicKey();
    }
    ASSERT_EQ(test::readFile(marker()), "secret-service\n");
    {
        test::ScopedEnv nowhere("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath(QStringLiteral("gone"))));
        ASSERT_TRUE(serviceGone());
        const QString message = test::thrownMessage<KeyStoreUnavailable>([&] { openSecretStore(options()); });
        EXPECT_TRUE(message.contains(QStringLiteral("kept in the Secret Service, which cannot be reached")))
            << message.toStdString();
        EXPECT_FALSE(QFile::exists(keyFile()));
    }
    // Back again: the same identity.
    ASSERT_TRUE(serviceAnswers());
    KeyHelper helper(openSecretStore(options()));
    EXPECT_EQ(helper.publicKey(), publicKey);
}

TEST_F(SelectionWithServiceTest, ExistingKeyFileIsKeptEvenWithTheServiceAround)
{
    // An identity created earlier on this machine without a keyring.
    QByteArray publicKey;
    {
        KeyHelper helper(openSecretStore(options(KeyStoreChoice::file)));
        publicKey = helper.publicKey();
    }
    ASSERT_TRUE(QFile::remove(marker()));
    test::LogCapture log;
    KeyHelper helper(openSecretStore(options()));
    EXPECT_EQ(helper.publicKey(), publicKey);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("Using key store: key file "))) << log.lines().join('\n').toStdString();
    QByteArray value;
    EXPECT_EQ(store.read(kAccount, value).code, SecretStatus::kItemNotFound);
}

// --- gnome-keyring without a login keyring, as on a machine where it was never set up

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

// --- a locked keyring whose password prompt nobody answers: gnome-keyring
// asks a prompter on the bus that never replies

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
