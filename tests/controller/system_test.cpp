#include "tests/support/testsupport.h"
#include "vortan/directories.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/presence/localpresence.h"
#include "tests/controller/manualclock.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vortan {
namespace {

TEST(ComputerNameTest, PrefersPrettyHostNameThenHostName)
{
    QTemporaryDir dir;
    const QString info = dir.filePath("machine-info");
    ASSERT_TRUE(test::writeFile(info, "CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's Laptop\"\n"));
    EXPECT_EQ(computerName(info), "Ada's Laptop");

    ASSERT_TRUE(test::writeFile(info, "PRETTY_HOSTNAME=\n"));
    const QString fallback = computerName(info);
    EXPECT_FALSE(fallback.isEmpty());
    EXPECT_EQ(computerName(dir.filePath("missing")), fallback);
}

TEST(ComputerNameTest, TheAccountsFullNameIsTheFirstPartOfItsGecos)
{
    const struct {
        const char* gecos;
        const char* login;
        const char* name;
    } cases[] = {
        {"Ann Example,Room 2,555-0100,,", "ann", "Ann Example"},
        {"  Zo\xc3\xab  \xc3\x9cnal ", "zoe", "Zo\xc3\xab \xc3\x9cnal"},
        {"& Smith,,,", "bob", "Bob Smith"},
        {",,,", "vm", ""},
        {"", "vm", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gecosFullName(c.gecos, c.login), QString::fromUtf8(c.name)) << c.gecos;
}

// Inhibitors that logind (the mock on the private system bus) holds.
int heldInhibitors(QString* what = nullptr)
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "ListInhibitors");
    QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
    int count = 0;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString w, who, why, mode;
        uint uid = 0, pid = 0;
        arg.beginStructure();
        arg >> w >> who >> why >> mode >> uid >> pid;
        arg.endStructure();
        if (what)
            *what = QStringList{w, who, why, mode}.join('|');
        ++count;
    }
    arg.endArray();
    return count;
}

TEST(SleepInhibitorTest, HoldsLogindBlockInhibitorWhileAcquired)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS"))
        GTEST_SKIP() << "needs the private logind bus of with-logind.sh";
    ASSERT_EQ(heldInhibitors(), 0);

    Login1SleepInhibitor inhibitor;
    inhibitor.acquire();
    EXPECT_TRUE(inhibitor.isHeld());
    ASSERT_TRUE(test::waitFor([&] { return inhibitor.hasDescriptor(); }));
    QString what;
    ASSERT_TRUE(test::waitFor([&] { return heldInhibitors(&what) == 1; }));
    EXPECT_EQ(what, "sleep:idle|Brenvo|Transfers|block");

    inhibitor.acquire();  // already held: no second inhibitor
    EXPECT_EQ(heldInhibitors(), 1);

    inhibitor.release();
    EXPECT_FALSE(inhibitor.isHeld());
    EXPECT_TRUE(test::waitFor([&] { return heldInhibitors() == 0; }));
}

TEST(SleepInhibitorTest, ReleaseBeforeTheAnswerLeavesNothingHeld)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS"))
        GTEST_SKIP() << "needs the private logind bus of with-logind.sh";
    Login1SleepInhibitor inhibitor;
    inhibitor.acquire();
    inhibitor.release();
    // Wait for the answer to arrive and be dropped.
    test::waitFor([&] { return false; }, 300);
    EXPECT_FALSE(inhibitor.hasDescriptor());
    EXPECT_TRUE(test::waitFor([&] { return heldInhibitors() == 0; }));
}

// Where no mDNS responder runs (a system bus without avahi-daemon, or no
// system bus at all) presence says so at once and waits for nothing.
TEST(LocalPresenceTest, WithoutAResponderIsNoResponderAtOnce)
{
    test::ManualClock clock;
    for (const QDBusConnection& bus :
         {QDBusConnection::systemBus(),
          QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"))}) {
        LocalPresence presence(bus, clock);
        presence.setAnnouncement(QByteArray(32, 'k'), 54322);
        presence.setKnownKeys({QByteArray(32, 'b')});
        QElapsedTimer elapsed;
        elapsed.start();
        presence.start();
        ASSERT_TRUE(test::waitFor([&] { return presence.state() == LocalPresence::State::noResponder; }, 2000));
        EXPECT_LT(elapsed.elapsed(), 1000);
        EXPECT_TRUE(presence.instanceName().isEmpty());
    }
}

}  // namespace
}  // namespace vortan
