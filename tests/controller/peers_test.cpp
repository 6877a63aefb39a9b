// Connections to peers: both directions over 127.0.0.1, each user's state and error.

#include "tests/controller/controllertestsupport.h"
#include "vortan/connection/connection.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/controller/networkwatcher.h"
#include "vortan/controller/peers.h"
#include "vortan/framer/framer.h"

#include <QNetworkInformation>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using test::LogCapture;
using test::Node;
using test::waitFor;

// The users a node has reported ready, listing and gone, in order.
struct Reports {
    QList<QByteArray> ready, lists, gone;
    QObject context;  // goes before the lists
    explicit Reports(Node& node)
    {
        Controller* c = node.controller.get();
        QObject::connect(c, &Controller::peerReady, &context, [this](const QByteArray& key) { ready.append(key); });
        QObject::connect(c, &Controller::listReceived, &context, [this](const QByteArray& key) { lists.append(key); });
        QObject::connect(c, &Controller::peerDisconnected, &context, [this](const QByteArray& key) { gone.append(key); });
    }
};

User::State stateOf(Node& node, const QByteArray& key)
{
    const std::optional<User> user = node.user(key);
    return user ? user->state : User::State::notConnected;
}

TEST(ControllerPeersTest, ConnectingAsksEachSideForTheOthersList)
{
    LogCapture log;
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    a.listen();
    b.listen();
    test::introduce(a, b);
    Reports ra(a), rb(b);

    a->connectTo(b.key());
    EXPECT_EQ(stateOf(a, b.key()), User::State::connecting);
    EXPECT_EQ(a.engine().peers().connecting().size(), 1);
    ASSERT_TRUE(waitFor([&] { return test::connected(a, b) && !ra.lists.isEmpty() && !rb.lists.isEmpty(); }));
    EXPECT_TRUE(a.engine().peers().connecting().isEmpty());
    EXPECT_EQ(a.engine().peers().ready().size(), 1);
    EXPECT_EQ(b.engine().peers().ready().size(), 1);  // accepted through the listener
    EXPECT_EQ(ra.ready, QList<QByteArray>{b.key()});
    EXPECT_EQ(ra.lists, QList<QByteArray>{b.key()});
    EXPECT_EQ(log.lines().count("send list request"), 2);

    log.clear();
    a->connectTo(b.key());
    EXPECT_EQ(log.lines(), QStringList{"Already connected to Bea."});
    b->connectTo(a.key());  // b's connection is the accepted one: no card port needed
    EXPECT_TRUE(log.contains("Already connected to Ada."));

    EXPECT_TRUE(ra.gone.isEmpty());
    a->disconnectFrom(b.key());
    ASSERT_TRUE(waitFor([&] { return stateOf(a, b.key()) == User::State::notConnected; }));
    EXPECT_TRUE(waitFor([&] { return stateOf(b, a.key()) == User::State::notConnected; }));
    EXPECT_EQ(ra.gone, QList<QByteArray>{b.key()});
    EXPECT_TRUE(a.engine().peers().ready().isEmpty());

    // Ada holds Bea disconnected: Bea's calls are refused until Ada calls her.
    b->connectTo(a.key());
    ASSERT_TRUE(waitFor([&] { return b.user(a.key())->failure && b.engine().peers().connecting().isEmpty(); }));
    EXPECT_EQ(b.user(a.key())->failure->reason, ConnectFailure::Reason::notAccepted);
    EXPECT_EQ(stateOf(a, b.key()), User::State::notConnected);
    EXPECT_TRUE(test::connectPair(a, b));
}

TEST(ControllerPeersTest, AnAcceptedConnectionReplacesTheOutgoingOne)
{
    test::ManualClock clock;
    test::Pair pair(&clock);
    Node &a = pair.a, &b = pair.b;
    b.listen();
    a->addUsers({b.card()});  // with the port she listens on now
    ASSERT_TRUE(test::connectPair(a, b));
    clock.advance(Peers::kCrossingWindow);  // a later call, not a crossing one
    const std::weak_ptr<PeerConnection> outgoing = a.engine().peers().ready().first();
    Reports reports(a);

    // Bea's identity calls in on its own, from a program that is not her controller.
    test::RawPeer delegate(QStringLiteral("unused"));
    auto incoming = PeerConnection::connect(*b.keys, QStringLiteral("127.0.0.1"), *a->me()->port, a.key(), &delegate);
    ASSERT_TRUE(waitFor([&] { return delegate.ready; }));
    ASSERT_TRUE(waitFor([&] { return outgoing.expired(); }));
    ASSERT_EQ(a.engine().peers().ready().size(), 1);
    EXPECT_NE(a.engine().peers().ready().first(), nullptr);
    EXPECT_EQ(stateOf(a, b.key()), User::State::connected);
    EXPECT_TRUE(reports.gone.isEmpty());
    incoming->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return delegate.cancelled; }));
    EXPECT_TRUE(waitFor([&] { return stateOf(a, b.key()) == User::State::notConnected; }));
}

// Both call each other at once, over and over: each side ends up with one
// connection, the same one on both sides, and stays connected.
TEST(ControllerPeersTest, CrossingCallsLeaveOneConnectionBothSidesKeep)
{
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    a.listen();
    b.listen();
    test::introduce(a, b);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        a->connectTo(b.key());
        b->connectTo(a.key());
        ASSERT_TRUE(waitFor([&] {
            const Peers &pa = a.engine().peers(), &pb = b.engine().peers();
            return test::connected(a, b) && pa.ready().size() == 1 && pb.ready().size() == 1
                && pa.connecting().isEmpty() && pb.connecting().isEmpty() && pa.pending().isEmpty()
                && pb.pending().isEmpty();
        }));
        const std::optional<StorageKey>& ea = a.engine().peers().ready().first()->connection()->endpoints();
        const std::optional<StorageKey>& eb = b.engine().peers().ready().first()->connection()->endpoints();
        ASSERT_TRUE(ea && eb);
        EXPECT_EQ(ea->localEndpoint, eb->remoteEndpoint);
        // Still so once everything in flight has arrived.
        EXPECT_FALSE(waitFor([&] { return !test::connected(a, b); }, 200));
        a->disconnectFrom(b.key());  // her next call lifts the hold
        ASSERT_TRUE(
            waitFor([&] { return a.engine().peers().ready().isEmpty() && b.engine().peers().ready().isEmpty(); }));
    }
}

TEST(ControllerPeersTest, DisconnectEndsAConnectionStillBeingMade)
{
    QTcpServer silent;  // accepts, never answers the handshake
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    Node a(QStringLiteral("Ada"));
    a.start();
    const QByteArray key(32, 's');
    a->addUsers({User(QStringLiteral("Silent"), QStringLiteral("127.0.0.1"), silent.serverPort(), key)});
    Reports reports(a);
    a->connectTo(key);
    ASSERT_TRUE(waitFor([&] { return silent.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> accepted(silent.nextPendingConnection());
    EXPECT_EQ(stateOf(a, key), User::State::connecting);

    a->disconnectFrom(key);
    EXPECT_EQ(stateOf(a, key), User::State::connecting);  // until the cancellation is reported
    ASSERT_TRUE(waitFor([&] { return stateOf(a, key) == User::State::notConnected; }));
    EXPECT_TRUE(a.engine().peers().connecting().isEmpty());
    EXPECT_TRUE(reports.gone.isEmpty());  // it never was connected
}

TEST(ControllerPeersTest, AnotherUserAnsweringAtTheAddressIsNotTakenForTheCalledOne)
{
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    a.start();
    b.listen();
    test::introduce(a, b);
    // Cy's card points at Bea's machine.
    const QByteArray cy(32, 'c');
    a->addUsers({User(QStringLiteral("Cy"), QStringLiteral("127.0.0.1"), b->me()->port, cy)});

    Reports reports(a);
    a->connectTo(cy);
    ASSERT_TRUE(waitFor([&] { return !a.engine().peers().ready().isEmpty(); }));
    const std::optional<User> called = a.user(cy);
    EXPECT_EQ(called->state, User::State::notConnected);
    ASSERT_TRUE(called->error);
    EXPECT_TRUE(called->error->localizedDescription().startsWith("Bea answered at 127.0.0.1:"))
        << called->error->localizedDescription().toStdString();
    EXPECT_EQ(stateOf(a, b.key()), User::State::connected);
    EXPECT_FALSE(reports.ready.contains(cy));
}

TEST(ControllerPeersTest, AnUndecodableListShowsAnErrorAndKeepsTheConnection)
{
    test::NodeAndPeer n;
    auto& [a, peer] = n;
    ASSERT_TRUE(n.connect());

    peer.peer->connection()->send(MessageType::list, QByteArray("definitely not a property list"));
    ASSERT_TRUE(waitFor([&] { return a.user(peer.key())->error.has_value(); }));
    EXPECT_FALSE(a.user(peer.key())->error->isNetwork());
    EXPECT_EQ(a.user(peer.key())->state, User::State::connected);

    // Still talking.
    peer.peer->sendList({test::listed("x", 5, peer.key())});
    EXPECT_TRUE(waitFor([&] { return a.engine().files().size() == 1; }));
}

TEST(ControllerPeersTest, AReplayedHandshakeRecordNeverCutsOffTheUser)
{
    // A record the sender signed, as anyone on the path may have seen it.
    struct ShortTimeout {
        std::chrono::milliseconds saved = Connection::handshakeTimeout();
        ShortTimeout() { Connection::setHandshakeTimeout(std::chrono::milliseconds(1000)); }
        ~ShortTimeout() { Connection::setHandshakeTimeout(saved); }
    } shortTimeout;
    LogCapture log;
    // One want per block received, as the test serves them.
    test::OneDownload d(12 * blockSize, QStringLiteral("x.bin"), [](Node& n) { n.maxRequestWindow = 5; });
    Node& b = d.node;
    test::RawPeer& sender = d.peer;
    // The download runs slowly: blocks only come when the test sends them.
    ASSERT_TRUE(d.request());
    const std::shared_ptr<PeerConnection> real = d.nodeSide();
    Reports reports(b);
    d.send(0);
    ASSERT_TRUE(waitFor([&] { return sender.wants.size() == 2; }));  // block 5, for block 0

    QByteArray record;
    Framer signer(sender.keys);
    signer.setOutputHandler([&](QByteArrayView out) { record.append(out.data(), out.size()); });
    signer.start();
    ASSERT_EQ(record.size(), Framer::kHandshakeSize);
    std::vector<std::unique_ptr<QTcpSocket>> replayers;
    for (int i = 0; i < 3; ++i) {
        replayers.push_back(std::make_unique<QTcpSocket>());
        replayers.back()->connectToHost(QHostAddress::LocalHost, *b->me()->port);
        replayers.back()->write(record);
    }
    // Bea took each record and sent her list request, which nobody can read.
    for (const auto& replayer : replayers)
        ASSERT_TRUE(waitFor([&] { return replayer->bytesAvailable() > Framer::kHandshakeSize; }));

    sender.serving.insert(d.x.id(), d.bytes);
    for (std::int64_t block = 1; block <= 5; ++block)
        d.send(block);
    ASSERT_TRUE(b.finishedCount(1));
    EXPECT_EQ(test::readFile(b.downloadsPath("x.bin")), d.bytes);
    EXPECT_FALSE(sender.cancelled);
    EXPECT_EQ(b.engine().peers().ready(), QList<std::shared_ptr<PeerConnection>>{real});
    EXPECT_TRUE(reports.gone.isEmpty());
    // The replayers never get past the handshake: closed once their time is up.
    for (const auto& replayer : replayers)
        EXPECT_TRUE(waitFor([&] { return replayer->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(b.user(sender.key())->state, User::State::connected);
    EXPECT_FALSE(b.user(sender.key())->error);
}

// A block arrives on the old connection and the new one proves itself in the
// same turn of Bea's event loop: the wants that block makes room for go out
// on the new connection, not on the old one, which is closing and would
// never answer them.
TEST(ControllerPeersTest, WantsDueWhenAConnectionIsReplacedGoOutOnTheNewOne)
{
    test::OneDownload d(12 * blockSize);
    Node& b = d.node;
    ASSERT_TRUE(d.request());  // blocks 0 to 4, on the first connection
    const std::shared_ptr<PeerConnection> old = d.nodeSide();
    const std::shared_ptr<PeerConnection> oldRaw = d.peer.peer;
    // A second connection that says nothing yet: Bea waits for its first frame.
    d.peer.askAtReady = false;
    d.peer.answerWith.reset();
    ASSERT_TRUE(d.peer.connectTo(b.card()));
    ASSERT_TRUE(waitFor([&] { return b.engine().peers().pending().size() == 1; }));
    const std::shared_ptr<PeerConnection> fresh = b.engine().peers().pending().first();

    d.peer.serving.insert(d.x.id(), d.bytes);
    b.engine().events().peerConnectionDidReceiveData(d.bytes.left(blockSize), 0, d.x.id(), old);
    b.engine().events().peerConnectionDidReceiveListRequest(fresh);
    EXPECT_EQ(b.engine().peers().peerFor(d.peer.key()), fresh);
    ASSERT_TRUE(b.finishedCount(1, 5000));  // well before a stalled download is looked into
    EXPECT_EQ(test::readFile(b.downloadsPath("x.bin")), d.bytes);
}

// Each reason a call can fail for, from the situation itself.
TEST(ControllerPeersTest, AFailedCallSaysWhyInTermsTheUserCanActOn)
{
    using Reason = ConnectFailure::Reason;
    struct Case {
        const char* situation;
        std::function<void(Node& a, Node& b)> arrange;
        Reason reason;
        std::optional<int> code;  // the system's error, when one helps
    };
    const QList<Case> cases{
        {"Bea is offline: her port is closed",
         [](Node& a, Node& b) {
             test::introduce(a, b);
             b->setSettings(false, false);
             ASSERT_TRUE(waitFor([&] { return b->listenerState() == ListenerState::stopped(); }));
         },
         Reason::unreachable, ECONNREFUSED},
        {"Bea has not imported Ada's card", [](Node& a, Node& b) { a->addUsers({b.card()}); }, Reason::notAccepted, {}},
        {"Bea's card has no address",
         [](Node& a, Node& b) {
             User card = b.card();
             card.address.reset();
             a->addUsers({card});
         },
         Reason::noAddress, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
        a.start();
        const quint16 port = b.listen();
        c.arrange(a, b);
        QList<QByteArray> strangers;  // whom Bea refused, as her window is told
        QObject::connect(b.controller.get(), &Controller::strangerRefused,
                         [&](const QByteArray& key) { strangers.append(key); });
        a->connectTo(b.key());
        ASSERT_TRUE(waitFor([&] { return a.user(b.key())->failure && a.engine().peers().connecting().isEmpty(); }));
        if (c.reason == Reason::notAccepted) {
            // Told once per caller, however often they call.
            a->connectTo(b.key());
            ASSERT_TRUE(waitFor([&] { return a.engine().peers().connecting().isEmpty(); }));
            EXPECT_EQ(strangers, QList<QByteArray>{a.key()});
        } else {
            EXPECT_TRUE(strangers.isEmpty());
        }
        const User bea = *a.user(b.key());
        EXPECT_EQ(bea.state, User::State::notConnected);
        EXPECT_EQ(bea.failure->reason, c.reason);
        EXPECT_EQ(bea.failure->host, c.reason == Reason::noAddress ? QString() : QStringLiteral("127.0.0.1"));
        EXPECT_EQ(bea.failure->port, c.reason == Reason::noAddress ? 0 : port);
        if (c.code) {
            ASSERT_TRUE(bea.failure->error && bea.failure->error->networkError());
            EXPECT_EQ(bea.failure->error->networkError()->code, *c.code);
        }
        EXPECT_FALSE(bea.failure->retryAt);  // nothing to transfer: nothing retries
        if (c.reason != Reason::unreachable)
            continue;
        // The error stays shown while the next call is made, until a connection is ready.
        ASSERT_TRUE(bea.error && bea.error->networkError());
        EXPECT_EQ(bea.error->networkError()->code, ECONNREFUSED);
        b->setSettings(true, false);
        ASSERT_TRUE(waitFor([&] { return b->listenerState() == ListenerState::ready(); }));
        a->connectTo(b.key());
        EXPECT_EQ(a.user(b.key())->state, User::State::connecting);
        EXPECT_TRUE(a.user(b.key())->error);
        ASSERT_TRUE(waitFor([&] { return test::connected(a, b); }));
        EXPECT_FALSE(a.user(b.key())->error);
    }
}

// Where a user was seen this session comes first; the card's address is the
// fallback within the same call. Neither sighting is ever stored.
TEST(ControllerPeersTest, ACallTriesWhereTheUserWasSeenThenTheCard)
{
    LogCapture log;
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    a.listen();
    const quint16 port = b.listen();
    test::introduce(a, b);
    a->save();
    const QByteArray storedUsers = test::readFile(a.supportPath("users.plist"));
    const quint16 closed = test::unusedPort();
    using Source = Peers::EndpointSource;

    // The card is stale, the sighting right.
    User stale = b.card();
    stale.port = closed;
    a->editUsers({stale});
    a.engine().peers().learnEndpoint(b.key(), QStringLiteral("127.0.0.1"), port, Source::presence);
    ASSERT_TRUE(test::connectPair(a, b));
    a->disconnectFrom(b.key());
    ASSERT_TRUE(waitFor([&] { return a.user(b.key())->state == User::State::notConnected; }));

    // The sighting is stale, the card right: one failed connection, then the card.
    a->editUsers({b.card()});
    a.engine().peers().learnEndpoint(b.key(), QStringLiteral("127.0.0.1"), closed, Source::presence);
    log.clear();
    ASSERT_TRUE(test::connectPair(a, b));
    EXPECT_EQ(log.startingWith(QStringLiteral("Trying Bea at 127.0.0.1:%1").arg(port)).size(), 1);
    EXPECT_FALSE(a.user(b.key())->failure);
    b->disconnectFrom(a.key());
    ASSERT_TRUE(waitFor([&] { return a.user(b.key())->state == User::State::notConnected; }));

    // A card without address: where Bea called from, with her card's port.
    User noAddress = b.card();
    noAddress.address.reset();
    a->editUsers({noAddress});
    ASSERT_TRUE(test::connectPair(b, a));
    a->disconnectFrom(b.key());
    ASSERT_TRUE(waitFor([&] { return a.user(b.key())->state == User::State::notConnected; }));
    ASSERT_TRUE(test::connectPair(a, b));

    a->editUsers({b.card()});
    a->save();
    EXPECT_EQ(test::readFile(a.supportPath("users.plist")), storedUsers);

    // The sighting leads to someone else: that costs one connection (to Cy,
    // as herself), then Bea is called at her card's address.
    a->disconnectFrom(b.key());
    ASSERT_TRUE(waitFor([&] { return a.user(b.key())->state == User::State::notConnected; }));
    Node c(QStringLiteral("Cy"));
    const quint16 cyPort = c.listen();
    test::introduce(a, c);
    a.engine().peers().learnEndpoint(b.key(), QStringLiteral("127.0.0.1"), cyPort, Source::presence);
    ASSERT_TRUE(test::connectPair(a, b));
    EXPECT_TRUE(waitFor([&] { return test::connected(a, c); }));
}

// Automatic connection: Ada has an offer for Bea, whose port is closed.
struct Unreachable {
    Unreachable()
    {
        ada.start();
        ada.controller->setConnectAutomatically(true);
        User card = bea.card();
        card.port = test::unusedPort();
        ada->addUsers({card});
    }
    void fail()
    {
        ASSERT_TRUE(waitFor([&] { return ada.engine().peers().connecting().isEmpty() && ada.user(key)->failure; }));
    }
    // How long until the next call; -1 for none.
    qint64 wait()
    {
        const std::optional<Clock::TimePoint> next = ada.engine().peers().policy().nextCall(key);
        return next ? std::chrono::duration_cast<std::chrono::milliseconds>(*next - clock.now()).count() / 1000 : -1;
    }
    // Lets the next call come and fail; returns the wait that preceded it.
    qint64 next()
    {
        const qint64 seconds = wait();
        clock.advance(std::chrono::seconds(seconds));
        EXPECT_EQ(ada.engine().peers().connecting().size(), 1);
        fail();
        return seconds;
    }

    test::ManualClock clock;
    Node ada{QStringLiteral("Ada"), &clock};
    Node bea{QStringLiteral("Bea")};
    QByteArray key = [this] {
        bea.start();
        return bea.key();
    }();
};

TEST(ControllerPeersTest, AutomaticConnectionCallsWhenThereIsWorkAndWaitsLongerAfterEachFailure)
{
    Unreachable u;
    Node& ada = u.ada;
    // Nothing to transfer: no call, whatever happens.
    u.clock.advance(std::chrono::minutes(10));
    ada.engine().peers().networkChanged();
    ada.engine().peers().learnEndpoint(u.key, QStringLiteral("127.0.0.1"), *ada.user(u.key)->port,
                                       Peers::EndpointSource::presence);
    EXPECT_TRUE(ada.engine().peers().connecting().isEmpty());
    EXPECT_FALSE(ada.user(u.key)->failure);

    // A new offer calls at once; each failure waits twice as long, up to 5 min.
    ada.share(QStringLiteral("a.bin"), 1000, {u.key});
    EXPECT_EQ(ada.engine().peers().connecting().size(), 1);
    u.fail();
    ASSERT_TRUE(ada.user(u.key)->failure->retryAt);
    const qint64 announced = QDateTime::currentDateTimeUtc().secsTo(*ada.user(u.key)->failure->retryAt);
    EXPECT_TRUE(announced >= 4 && announced <= 5) << announced;
    QList<qint64> waits;
    for (int i = 0; i < 8; ++i)
        waits.append(u.next());
    EXPECT_EQ(waits, (QList<qint64>{5, 10, 20, 40, 80, 160, 300, 300}));

    // A network change, or Bea seen on the network, calls at once and starts
    // over; seen again within a minute, nothing changes.
    for (const auto& trigger : std::vector<std::function<void()>>{
             [&] { ada.engine().peers().networkChanged(); },
             [&] {
                 ada.engine().peers().learnEndpoint(u.key, QStringLiteral("127.0.0.1"), *ada.user(u.key)->port,
                                                    Peers::EndpointSource::presence);
             }}) {
        trigger();
        EXPECT_EQ(ada.engine().peers().connecting().size(), 1);
        u.fail();
        EXPECT_EQ(u.next(), 5);
        EXPECT_EQ(u.wait(), 10);
    }
    ada.engine().peers().learnEndpoint(u.key, QStringLiteral("127.0.0.1"), *ada.user(u.key)->port,
                                       Peers::EndpointSource::presence);
    EXPECT_TRUE(ada.engine().peers().connecting().isEmpty());
    EXPECT_EQ(u.wait(), 10);
    // Someone else coming into view leaves her wait as it is; she is called
    // when she comes into view.
    ada.controller->setKeptConnected({QByteArray(32, 'z')});
    EXPECT_TRUE(ada.engine().peers().connecting().isEmpty());
    ada.controller->setKeptConnected({QByteArray(32, 'z'), u.key});
    EXPECT_EQ(ada.engine().peers().connecting().size(), 1);
    u.fail();
    ada.controller->setKeptConnected({});

    // Disconnect holds Bea until she is called by hand, also after a
    // restart; so does turning it off.
    ada->disconnectFrom(u.key);
    EXPECT_EQ(u.wait(), -1);
    ada.restart();
    ada.controller->setConnectAutomatically(true);
    ada.engine().peers().networkChanged();
    u.clock.advance(std::chrono::minutes(10));
    EXPECT_TRUE(ada.engine().peers().connecting().isEmpty());
    ada->connectTo(u.key);
    u.fail();
    EXPECT_EQ(u.wait(), 5);  // the network change started the waits over
    ada.controller->setConnectAutomatically(false);
    EXPECT_EQ(u.wait(), -1);
    ada.engine().peers().networkChanged();
    u.clock.advance(std::chrono::minutes(10));
    EXPECT_TRUE(ada.engine().peers().connecting().isEmpty());
}

TEST(ControllerPeersTest, AConnectionThatWorkedStartsTheWaitsOver)
{
    Unreachable u;
    Node &ada = u.ada, &bea = u.bea;
    ada.controller->setKeptConnected({u.key});
    u.fail();
    u.next();
    ASSERT_EQ(u.wait(), 10);
    // Bea can be reached now: the next call connects.
    bea->addUsers({ada.card()});
    User card = *ada.user(u.key);
    card.port = bea.listen();
    ada->editUsers({card});
    u.clock.advance(std::chrono::seconds(10));
    ASSERT_TRUE(waitFor([&] { return test::connected(ada, bea); }));
    // A drop soon after waits the first wait again, not the one after 10 s.
    bea->disconnectFrom(ada.key());
    ASSERT_TRUE(waitFor([&] { return u.wait() != -1; }));
    EXPECT_EQ(u.wait(), 5);
}

// Which changes of the network the watcher reports: a network there (a
// local-only one too) that was not there or was another.
TEST(NetworkWatcherTest, ReportsEveryNetworkThatComesAndNoneThatGoes)
{
    using L = NetworkLevel;
    using R = QNetworkInformation::Reachability;
    EXPECT_EQ(reachabilityLevel(int(R::Unknown)), L::none);
    EXPECT_EQ(reachabilityLevel(int(R::Disconnected)), L::none);
    EXPECT_EQ(reachabilityLevel(int(R::Local)), L::local);
    EXPECT_EQ(reachabilityLevel(int(R::Site)), L::site);
    EXPECT_EQ(reachabilityLevel(int(R::Online)), L::online);
    const struct {
        uint state;
        L level;
    } states[] = {{0, L::none}, {10, L::none}, {20, L::none}, {30, L::none}, {40, L::none},
                  {50, L::local}, {60, L::site}, {70, L::online}};
    for (const auto& s : states)
        EXPECT_EQ(networkManagerLevel(s.state), s.level) << s.state;
    const struct {
        L previous, now;
        bool reported;
    } changes[] = {
        {L::none, L::local, true},   {L::none, L::online, true}, {L::local, L::online, true},
        {L::online, L::local, true}, {L::site, L::online, true}, {L::online, L::none, false},
        {L::local, L::none, false},  {L::local, L::local, false}, {L::online, L::online, false},
        {L::none, L::none, false},
    };
    for (const auto& c : changes)
        EXPECT_EQ(networkChangeReported(c.previous, c.now), c.reported) << int(c.previous) << " " << int(c.now);
}

}  // namespace
}  // namespace vortan
