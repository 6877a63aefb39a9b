// The user directory: adding, editing and removing users, the own card.

#include "tests/controller/controllertestsupport.h"
#include "vortan/listener/listener.h"

#include <gtest/gtest.h>

namespace vortan {
namespace {

using test::LogCapture;
using test::Node;
using test::waitFor;

bool allowed(KeyHelper& keys, const QByteArray& key)
{
    const std::vector<User> users = keys.allowedUsers();
    return std::any_of(users.begin(), users.end(), [&](const User& u) { return u.key == key; });
}

TEST(ControllerUsersTest, RemovingAConnectedUserEndsEverythingOfIt)
{
    LogCapture log;
    test::Pair pair;
    Node &a = pair.a, &b = pair.b;
    b.listen();
    ASSERT_TRUE(pair.connect());
    a.share("offer.bin", 1000, {b.key()});
    const QString other = test::makeFile(b.downloads.path(), QStringLiteral("other.bin"), 1000);
    b->shareFiles({File2::at(other), File2::at(other)}, {a.key()});
    ASSERT_TRUE(waitFor([&] { return a.engine().files().size() == 3 && b.engine().files().size() == 3; }));
    a->removeFiles({a.engine().files().last().id()}, b.key());
    ASSERT_TRUE(a.engine().catalogue().deletedFileIDs().contains(b.key()));

    a->removeUser(b.key());
    EXPECT_FALSE(a.user(b.key()));
    EXPECT_FALSE(allowed(*a.keys, b.key()));
    EXPECT_TRUE(a.engine().files().isEmpty());
    EXPECT_TRUE(waitFor([&] { return a->fileRows().isEmpty(); }));
    EXPECT_FALSE(a.engine().catalogue().deletedFileIDs().contains(b.key()));
    EXPECT_TRUE(a.engine().peers().ready().isEmpty());
    ASSERT_TRUE(waitFor([&] { return b.user(a.key())->state == User::State::notConnected; }));

    // Bea calling again is refused by the handshake.
    log.clear();
    b->connectTo(a.key());
    EXPECT_TRUE(waitFor([&] {
        return !log.startingWith("Refused a connection from 127.0.0.1 ").filter("\"user not allowed\"").isEmpty()
               && b.engine().peers().connecting().isEmpty() && b.engine().peers().ready().isEmpty()
               && b.user(a.key())->state == User::State::notConnected;
    }));
    EXPECT_TRUE(a->users().isEmpty());
    EXPECT_TRUE(a.engine().peers().ready().isEmpty());

    // A key that is nobody's card: its records go all the same.
    const QByteArray stranger(32, 'z');
    a.share("f", 10, {stranger});
    ASSERT_EQ(a.engine().files().size(), 1);
    a->removeUser(stranger);
    EXPECT_TRUE(a.engine().files().isEmpty());
}

TEST(ControllerUsersTest, AddingAKnownCardUpdatesTheUserAndANewCardLetsItIn)
{
    test::Pair pair;
    Node &a = pair.a, &b = pair.b;
    ASSERT_TRUE(pair.connect());

    a->addUsers({User(QStringLiteral("Bea Two"), QStringLiteral("bea.example"), std::nullopt, b.key())});
    const std::optional<User> bea = a.user(b.key());
    EXPECT_EQ(bea->name, "Bea Two");
    EXPECT_EQ(bea->address, std::optional<QString>("bea.example"));
    EXPECT_FALSE(bea->port);  // a card without a port clears it
    EXPECT_EQ(bea->state, User::State::connected);
    EXPECT_EQ(a->users().size(), 1);

    test::RawPeer newcomer(QStringLiteral("New"));
    newcomer.connectTo(a);  // not known yet: refused
    EXPECT_TRUE(waitFor([&] { return newcomer.cancelled; }));
    EXPECT_TRUE(a.engine().peers().ready().size() == 1);
    a->addUsers({newcomer.card()});
    EXPECT_EQ(a->users().last().name, "New");
    EXPECT_EQ(a->users().last().state, User::State::notConnected);
    EXPECT_TRUE(newcomer.connectTo(a));
    EXPECT_TRUE(waitFor([&] { return a.user(newcomer.key())->state == User::State::connected; }));

    // Only the first entry counts in an edit, and the allow-list stays.
    a->editUsers({User(QStringLiteral("Edited"), std::nullopt, 1, newcomer.key()),
                  User(QStringLiteral("Ignored"), std::nullopt, 1, b.key())});
    EXPECT_EQ(a.user(newcomer.key())->name, "Edited");
    EXPECT_EQ(a.user(b.key())->name, "Bea Two");
}

TEST(ControllerUsersTest, ANewPortRestartsListeningAndMapping)
{
    LogCapture log;
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    const quint16 first = test::unusedPort();
    ASSERT_TRUE(test::writeFile(a.supportPath("me.plist"),
                                toBytes(User(QStringLiteral("Ada"), std::nullopt, first, QByteArray(32, 'a')))));
    ASSERT_FALSE(a->start(true, true));
    ASSERT_TRUE(waitFor([&] { return a->listenerState() == ListenerState::ready(); }));

    log.clear();
    a->editMe(User(QStringLiteral("Ada Renamed"), std::nullopt, first, {}));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(a.mapper.unmaps, 0);

    const quint16 second = test::unusedPort();
    a->editMe(User(QStringLiteral("Ada"), std::nullopt, second, {}));
    EXPECT_EQ(log.lines().mid(0, 2),
              (QStringList{"Stopped port mapping.", QStringLiteral("Mapped port %1.").arg(second)}));
    EXPECT_EQ(a.mapper.unmaps, 1);
    EXPECT_EQ(a.mapper.blockingUnmaps, 0);  // the old mapping goes in the background
    EXPECT_EQ(a.mapper.mapped, (std::vector<std::uint16_t>{first, second}));
    ASSERT_TRUE(waitFor([&] { return log.contains(QStringLiteral("Listener ready on %1").arg(second)); }));
    EXPECT_EQ(a.engine().listening().listener()->port, std::optional<std::uint16_t>(second));

    b.start();
    test::introduce(a, b);
    EXPECT_TRUE(test::connectPair(b, a));
}

}  // namespace
}  // namespace vortan
