// PeerConnections over real loopback sockets: the four message kinds both
// ways, the user key, the delegate's calls and their order, send
// completions, and who keeps a connection alive.

#include "tests/peer/peertestsupport.h"
#include "vortan/listener/listener.h"
#include "vortan/peer/peerconnection.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cerrno>

using namespace vortan;
using namespace vortan::test;

namespace {

File offeredFile(const QString& name, std::int64_t length, const QByteArray& to)
{
    return File(File2(name, QUrl::fromLocalFile(QStringLiteral("/home/alice/") + name), length), to);
}

// Bob listens; Alice calls him.
class PeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        listener.port = 0;
        listener.started = true;
        listener.start();
        ASSERT_TRUE(waitFor([this] { return bob.listenerKinds().contains(SocketListenerState::Kind::ready); }));
        port = listener.listener()->port();
    }

    // Alice's connection to Bob, both ready.
    std::shared_ptr<PeerConnection> connectAlice()
    {
        std::shared_ptr<PeerConnection> peer = call(people.alice, port, people.bob.key(), &alice);
        if (!waitFor([this] { return alice.has("ready") && bob.has("ready"); }))
            return nullptr;
        return peer;
    }

    LogCapture log;
    Pair people;
    RecordingDelegate alice;
    RecordingDelegate bob;
    Listener listener{*people.bob.keys, &bob};
    quint16 port = 0;
};

}  // namespace

TEST_F(PeerTest, EveryMessageKindTravelsBothWays)
{
    std::shared_ptr<PeerConnection> toBob = connectAlice();
    ASSERT_TRUE(toBob);
    std::shared_ptr<PeerConnection> toAlice = bob.peer();
    ASSERT_TRUE(toAlice);
    EXPECT_EQ(toBob->user(), people.bob.key());
    EXPECT_EQ(toAlice->user(), people.alice.key());

    for (auto [from, to, receiver] : {std::tuple{toBob, toAlice, &bob}, std::tuple{toAlice, toBob, &alice}}) {
        const QByteArray senderKey = from == toBob ? people.alice.key() : people.bob.key();
        receiver->events.clear();

        from->sendListRequest();
        const File offered = offeredFile(QStringLiteral("notes.txt"), 200000, QByteArray(32, 'k'));
        from->sendList({offered});
        BlockSet blocks = BlockSet::range(0, 3);
        blocks.insert(7);
        const QUuid wantedID = QUuid::createUuid();
        from->sendWant(blocks, wantedID);
        std::vector<std::optional<NetworkError>> completions;
        const QByteArray block(131072, 'b');
        from->sendData(block, 1, offered.id(),
                       [&](const std::optional<NetworkError>& error) { completions.push_back(error); });

        ASSERT_TRUE(waitFor([&] { return receiver->events.size() == 4 && completions.size() == 1; }));
        EXPECT_EQ(receiver->kinds(), (QStringList{"listRequest", "list", "want", "data"}));
        for (const PeerEvent& event : receiver->events)
            EXPECT_EQ(event.peer, to.get());

        // What a received list becomes: wire_test.cpp.
        const QList<File>& files = receiver->events[1].files;
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(files[0].id(), offered.id());
        EXPECT_EQ(files[0].length(), 200000);
        EXPECT_EQ(files[0].user, senderKey);

        EXPECT_EQ(receiver->events[2].blocks, blocks);
        EXPECT_EQ(receiver->events[2].fileID, wantedID);
        EXPECT_EQ(receiver->events[3].data, block);
        EXPECT_EQ(receiver->events[3].block, 1);
        EXPECT_EQ(receiver->events[3].fileID, offered.id());
        EXPECT_EQ(completions, (std::vector<std::optional<NetworkError>>{std::nullopt}));
    }
}

TEST_F(PeerTest, TheLogLinesNameWhatIsSentAndReceived)
{
    std::shared_ptr<PeerConnection> toBob = connectAlice();
    ASSERT_TRUE(toBob);
    const QUuid id = QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff"));
    const QString idText = QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff");
    BlockSet blocks = BlockSet::range(0, 3);
    blocks.insert(7);

    toBob->sendListRequest();
    toBob->sendWant(blocks, id);
    toBob->sendData("12345", 3, id, {});
    ASSERT_TRUE(waitFor([&] { return bob.events.size() == 4; }));  // ready + three

    const quint16 alicePort = toBob->connection()->endpoints()->localEndpoint.port;
    for (const QString& line :
         {QStringLiteral("send list request"), QStringLiteral("received list request from 127.0.0.1:%1").arg(alicePort),
          QStringLiteral("send want: [0..2, 7], id: ") + idText,
          QStringLiteral("received want: [0..2, 7], id: ") + idText,
          QStringLiteral("send data: 5, block: 3, id: ") + idText,
          QStringLiteral("received data: 5, block: 3, id: ") + idText}) {
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
    }
    EXPECT_TRUE(log.contains(toBob->connection()->description() + QStringLiteral(" established")));

    // A list is logged by its entries, without their locations.
    const File offered = offeredFile(QStringLiteral("a.txt"), 10, people.bob.key());
    toBob->sendList({offered});
    EXPECT_TRUE(log.contains(QStringLiteral("send files: [FileProxy(id: %1, file: File2(name: \"a.txt\", length: 10, "
                                            "numberOfBlocks: 1))]")
                                 .arg(offered.id().toString(QUuid::WithoutBraces))));
}

TEST_F(PeerTest, AListTooLargeForOneMessageIsRefusedNotDropped)
{
    std::shared_ptr<PeerConnection> toBob = connectAlice();
    ASSERT_TRUE(toBob);
    QList<File> many;
    const QString longName(2000, QLatin1Char('n'));
    for (int i = 0; i < 9000; ++i)  // about 18 MB of names
        many.append(offeredFile(longName, 1, people.bob.key()));
    EXPECT_THROW(toBob->sendList(many), plist::FormatError);
    EXPECT_TRUE(log.startingWith(QStringLiteral("send files: ")).isEmpty());

    toBob->sendList(many.mid(0, 10));  // the connection is still usable
    ASSERT_TRUE(waitFor([&] { return bob.has("list"); }));
}

TEST_F(PeerTest, ALargeListIsDecodedAsideAndTheMessagesBehindItKeepTheirOrder)
{
    std::shared_ptr<PeerConnection> toBob = connectAlice();
    ASSERT_TRUE(toBob);
    QList<File> many;
    for (int i = 0; i < 3000; ++i)  // well above kBackgroundListBytes
        many.append(offeredFile(QStringLiteral("file %1.bin").arg(i), i, people.bob.key()));
    const QUuid wantedID = QUuid::createUuid();
    toBob->sendList(many);
    toBob->sendWant(BlockSet::range(0, 2), wantedID);
    toBob->sendList(many.mid(0, 1));
    toBob->sendList(many.mid(1000));
    ASSERT_TRUE(waitFor([&] { return bob.events.size() == 5; }));
    EXPECT_EQ(bob.kinds(), (QStringList{"ready", "list", "want", "list", "list"}));
    const QList<File>& whole = bob.events[1].files;
    ASSERT_EQ(whole.size(), 3000);
    for (qsizetype i = 0; i < whole.size(); ++i) {
        ASSERT_EQ(whole[i].id(), many[i].id());
        ASSERT_EQ(whole[i].length(), i);
        ASSERT_FALSE(whole[i].location());
        ASSERT_EQ(whole[i].user, people.alice.key());
    }
    EXPECT_EQ(bob.events[2].fileID, wantedID);
    EXPECT_EQ(bob.events[3].files.size(), 1);
    ASSERT_EQ(bob.events[4].files.size(), 2000);
    EXPECT_EQ(bob.events[4].files.first().id(), many[1000].id());
    EXPECT_TRUE(log.contains(QStringLiteral("received files: [3000 entries]")));
}

TEST_F(PeerTest, TheUserIsTheCalledKeyUntilReadyThenTheAuthenticatedOne)
{
    // Alice calls "Carol" at Bob's address; Bob answers.
    Identity carol(QStringLiteral("Carol"));
    std::shared_ptr<PeerConnection> peer = call(people.alice, port, carol.key(), &alice);
    EXPECT_EQ(peer->user(), carol.key());
    ASSERT_TRUE(waitFor([&] { return alice.has("ready"); }));
    EXPECT_EQ(alice.last("ready")->user, people.bob.key());
    EXPECT_EQ(peer->user(), people.bob.key());
}

TEST_F(PeerTest, AClosedPortFailsThenCancelsAndNeverBecomesReady)
{
    const quint16 closed = unusedPort();

    std::weak_ptr<PeerConnection> weak = call(people.alice, closed, people.bob.key(), &alice);
    EXPECT_TRUE(alice.events.empty());
    ASSERT_TRUE(waitFor([&] { return alice.has("cancel"); }));
    EXPECT_EQ(alice.kinds(), (QStringList{"fail", "cancel"}));
    EXPECT_EQ(alice.events[0].error, NetworkError::posix(ECONNREFUSED));
    EXPECT_TRUE(log.contains(QStringLiteral("failed with POSIX error %1 (ECONNREFUSED): %2")
                                 .arg(ECONNREFUSED)
                                 .arg(QString::fromLocal8Bit(std::strerror(ECONNREFUSED)))));
    // Nobody else held it: it goes once cancelled.
    EXPECT_TRUE(waitFor([&] { return weak.expired(); }));
    EXPECT_EQ(log.lines().filter(QStringLiteral("PeerConnection deinit")).size(), 1);
    const QStringList order = log.lines();
    EXPECT_LT(order.indexOf("setup"), order.indexOf("preparing"));
    EXPECT_LT(order.indexOf("preparing"), order.indexOf("cancelled"));
}

TEST_F(PeerTest, AConnectionKeepsItselfWhileOpenAndGoesAfterCancel)
{
    std::weak_ptr<PeerConnection> outgoing = call(people.alice, port, people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return alice.has("ready") && bob.has("ready"); }));
    // Only the delegates (like the controller's lists) and the open
    // connections hold them now.
    std::weak_ptr<PeerConnection> accepted = bob.peer();
    alice.peers.clear();
    bob.peers.clear();
    settle();
    ASSERT_FALSE(outgoing.expired());
    ASSERT_FALSE(accepted.expired());
    EXPECT_FALSE(log.contains(QStringLiteral("PeerConnection deinit")));

    // Still working while held by nothing but itself.
    outgoing.lock()->sendListRequest();
    ASSERT_TRUE(waitFor([&] { return bob.has("listRequest"); }));

    // Alice closes: her side is cancelled, Bob's sees an orderly end.
    outgoing.lock()->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return alice.has("cancel") && bob.has("cancel"); }));
    EXPECT_FALSE(bob.has("fail"));
    EXPECT_TRUE(waitFor([&] { return outgoing.expired() && accepted.expired(); }));
    EXPECT_EQ(log.lines().filter(QStringLiteral("PeerConnection deinit")).size(), 2);
}

TEST_F(PeerTest, ADelegateThatIsGoneIsNotCalled)
{
    auto gone = std::make_unique<RecordingDelegate>();
    std::weak_ptr<PeerConnection> peer = call(people.alice, port, people.bob.key(), gone.get());
    gone.reset();
    ASSERT_TRUE(waitFor([&] { return bob.has("ready"); }));
    bob.peer()->sendListRequest();
    bob.peer()->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return peer.expired(); }));
}

TEST_F(PeerTest, ABlockIndexBeyondThirtyTwoBitsIsNotSent)
{
    std::shared_ptr<PeerConnection> toBob = connectAlice();
    ASSERT_TRUE(toBob);
    std::vector<std::optional<NetworkError>> completions;
    toBob->sendData("x", std::int64_t{1} << 31, QUuid::createUuid(),
                    [&](const std::optional<NetworkError>& error) { completions.push_back(error); });
    toBob->sendListRequest();
    ASSERT_TRUE(waitFor([&] { return completions.size() == 1 && bob.has("listRequest"); }));
    EXPECT_EQ(completions[0], NetworkError::posix(EOVERFLOW));
    EXPECT_FALSE(bob.has("data"));
}
