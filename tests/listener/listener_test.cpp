// The Listener on real sockets: its state reports and log lines, the restart
// cycle, replaced sockets, the bound on waiting handshakes and what it passes
// on from the connections it accepted.

#include "tests/peer/peertestsupport.h"
#include "vortan/framer/framer.h"
#include "vortan/listener/listener.h"
#include "vortan/util/ratelimitedlog.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace vortan;
using namespace vortan::test;
using Kind = SocketListenerState::Kind;

namespace {

constexpr std::chrono::milliseconds kShortRestart{50};

QString posixText(int code, const char* name)
{
    return QStringLiteral("POSIX error %1 (%2): %3")
        .arg(code)
        .arg(QLatin1String(name))
        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

class ListenerTest : public ::testing::Test {
protected:
    ListenerTest()
    {
        listener.setRestartDelay(kShortRestart);
        log.clear();  // the identities' creation
        RateLimitedLog::preAuthentication().setNow([this] { return now; });
    }
    ~ListenerTest() override { RateLimitedLog::preAuthentication().setNow({}); }

    void startOn(quint16 port)
    {
        listener.port = port;
        listener.started = true;
        listener.start();
    }
    bool waitForReady()
    {
        return waitFor([this] { return log.startingWith(QStringLiteral("Listener ready on ")).size() > m_readySeen; })
               && ++m_readySeen > 0;
    }
    quint16 boundPort() const { return listener.listener()->port(); }
    bool startReady()
    {
        startOn(0);
        return waitForReady();
    }
    // Whether a connection to port is refused (nothing listens there).
    static bool refusedAt(quint16 port)
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return waitFor([&] { return probe.error() == QAbstractSocket::ConnectionRefusedError; });
    }
    int linesStartingWith(const QString& prefix) const
    {
        return static_cast<int>(log.startingWith(prefix).size());
    }

    // The time of the rate limit on lines about refused connections.
    RateLimitedLog::TimePoint now{std::chrono::hours(1)};
    LogCapture log;
    Pair people;
    RecordingDelegate bob;
    Listener listener{*people.bob.keys, &bob};

private:
    qsizetype m_readySeen = 0;
};

}  // namespace

TEST_F(ListenerTest, StartWithoutAPortDoesNothing)
{
    listener.started = true;
    listener.start();
    settle();
    EXPECT_TRUE(bob.listenerStates.empty());
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(listener.listener(), nullptr);
}

TEST_F(ListenerTest, ReportsSetupThenReadyOnTheBoundPort)
{
    startOn(0);
    EXPECT_TRUE(bob.listenerStates.empty());  // nothing from inside start()
    ASSERT_TRUE(waitForReady());
    EXPECT_EQ(bob.listenerKinds(), (QList<Kind>{Kind::setup, Kind::ready}));
    ASSERT_NE(boundPort(), 0);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Listener ready on %1").arg(boundPort())});

    // Dual stack: reachable over IPv4 and, where the host has it, IPv6.
    QTcpSocket v4;
    v4.connectToHost(QHostAddress::LocalHost, boundPort());
    EXPECT_TRUE(waitFor([&] { return v4.state() == QAbstractSocket::ConnectedState; }));
    QTcpSocket v6;
    v6.connectToHost(QHostAddress::LocalHostIPv6, boundPort());
    waitFor([&] { return v6.state() != QAbstractSocket::ConnectingState && v6.state() != QAbstractSocket::HostLookupState; });
    // The connections it accepted end when the sockets close, with one line
    // each (they never said who they are).
    const int ended = v6.state() == QAbstractSocket::ConnectedState ? 2 : 1;
    v4.abort();
    v6.abort();
    EXPECT_TRUE(waitFor([&] { return bob.count(QStringLiteral("cancel")) == ended; }));
    EXPECT_EQ(linesStartingWith(QStringLiteral("Refused a connection from ")), ended);
    EXPECT_EQ(log.lines().size(), ended + 1);
}

TEST_F(ListenerTest, APortInUseFailsIsCancelledAndIsTriedAgainUntilStopped)
{
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::Any, 0));
    const quint16 port = blocker.serverPort();
    startOn(port);

    // Two rounds of the cycle: failed, cancelled, a new attempt.
    ASSERT_TRUE(waitFor([&] { return linesStartingWith(QStringLiteral("Listener failed with ")) >= 2; }));
    const QString failure = QStringLiteral("Listener failed with ") + posixText(EADDRINUSE, "EADDRINUSE");
    EXPECT_EQ(log.startingWith(QStringLiteral("Listener")).mid(0, 3),
              (QStringList{failure, QStringLiteral("Listener cancelled."), failure}));
    EXPECT_EQ(bob.listenerKinds().mid(0, 4), (QList<Kind>{Kind::setup, Kind::failed, Kind::cancelled, Kind::setup}));
    ASSERT_TRUE(bob.listenerStates[1].error.has_value());
    EXPECT_EQ(*bob.listenerStates[1].error, NetworkError::posix(EADDRINUSE));

    // Once the port is free the next attempt succeeds.
    blocker.close();
    ASSERT_TRUE(waitForReady());
    EXPECT_EQ(boundPort(), port);
    EXPECT_EQ(bob.listenerStates.back().kind, Kind::ready);
}

TEST_F(ListenerTest, StopDisarmsTheRestart)
{
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::Any, 0));
    startOn(blocker.serverPort());
    ASSERT_TRUE(waitFor([&] { return listener.restartArmed(); }));
    listener.stop();
    EXPECT_FALSE(listener.restartArmed());
    const int attempts = linesStartingWith(QStringLiteral("Listener failed with "));
    // Several restart delays pass without a new attempt.
    EXPECT_FALSE(waitFor([&] { return linesStartingWith(QStringLiteral("Listener failed with ")) > attempts; },
                         static_cast<int>(kShortRestart.count()) * 6));
}

TEST_F(ListenerTest, StopWhileReadyIsCancelledWithoutANewAttempt)
{
    ASSERT_TRUE(startReady());
    const quint16 port = boundPort();
    listener.stop();
    EXPECT_FALSE(log.contains(QStringLiteral("Listener cancelled.")));  // reported later
    ASSERT_TRUE(waitFor([&] { return log.contains(QStringLiteral("Listener cancelled.")); }));
    EXPECT_EQ(bob.listenerStates.back().kind, Kind::cancelled);
    EXPECT_FALSE(listener.restartArmed());
    EXPECT_FALSE(waitFor([&] { return linesStartingWith(QStringLiteral("Listener ready on ")) > 1; },
                         static_cast<int>(kShortRestart.count()) * 4));
    EXPECT_TRUE(refusedAt(port));
}

// A port change replaces the socket, with a stop first or by starting again
// at once: the old socket closes and its late "cancelled" is ignored.
class ReplacedSocketTest : public ListenerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReplacedSocketTest, TheOldSocketClosesAndItsLateReportIsIgnored)
{
    ASSERT_TRUE(startReady());
    const quint16 first = boundPort();
    if (GetParam())
        listener.stop();
    ASSERT_TRUE(startReady());
    settle();

    EXPECT_TRUE(log.contains(QStringLiteral("Listener ignored state cancelled of a replaced listener")));
    EXPECT_FALSE(log.contains(QStringLiteral("Listener cancelled.")));
    EXPECT_FALSE(listener.restartArmed());
    EXPECT_EQ(bob.listenerKinds(), (QList<Kind>{Kind::setup, Kind::ready, Kind::setup, Kind::ready}));
    EXPECT_TRUE(refusedAt(first));
}

INSTANTIATE_TEST_SUITE_P(StopFirst, ReplacedSocketTest, ::testing::Bool());

TEST_F(ListenerTest, ASocketThatCannotBeCreatedIsAFailureThatEntersTheRestartCycle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own while the limit is down";
#endif
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Room for no new descriptor at all: every number below the lowest free
    // one is taken. The socket is made from a posted call; the limit is
    // lowered by the call posted just before it and raised by the one just
    // after, so the event loop never polls under it (poll refuses more
    // descriptors than the limit).
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    QCoreApplication* app = QCoreApplication::instance();
    QMetaObject::invokeMethod(app, [&tight] { ::setrlimit(RLIMIT_NOFILE, &tight); }, Qt::QueuedConnection);
    startOn(0);
    QMetaObject::invokeMethod(app, [&saved] { ::setrlimit(RLIMIT_NOFILE, &saved); }, Qt::QueuedConnection);
    ASSERT_TRUE(waitFor([&] { return log.contains(QStringLiteral("Listener cancelled.")); }));
    EXPECT_EQ(log.lines().filter(QRegularExpression(QStringLiteral("^(Listener|Failed to create listener)"))).mid(0, 3),
              (QStringList{QStringLiteral("Failed to create listener"),
                           QStringLiteral("Listener failed with ") + posixText(EMFILE, "EMFILE"),
                           QStringLiteral("Listener cancelled.")}));
    // The restart succeeds once descriptors are available again.
    ASSERT_TRUE(waitForReady());
}

TEST_F(ListenerTest, APeerOutsideTheAllowedUsersFailsThenCancelsAndIsNeverReady)
{
    ASSERT_TRUE(startReady());
    Identity mallory(QStringLiteral("Mallory"));
    mallory.allow(people.bob);
    RecordingDelegate malloryReports;
    std::shared_ptr<PeerConnection> toBob = call(mallory, boundPort(), people.bob.key(), &malloryReports);

    ASSERT_TRUE(waitFor([&] { return bob.has("cancel"); }));
    EXPECT_EQ(bob.kinds(), (QStringList{"fail", "cancel"}));
    EXPECT_EQ(bob.events[0].error, NetworkError::posix(ECONNABORTED));
    EXPECT_FALSE(bob.events[0].user.has_value());  // nobody was authenticated
    // Bob's side logs that one line; Mallory's own connection logs as usual.
    const QStringList refused = log.startingWith(QStringLiteral("Refused a connection from 127.0.0.1 "));
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].endsWith(QStringLiteral(" after \"user not allowed\""))) << refused[0].toStdString();
    EXPECT_EQ(log.lines().count(QStringLiteral("user not allowed")), 0);
    // Mallory's side ends too, one way or the other.
    EXPECT_TRUE(waitFor([&] { return malloryReports.has("cancel"); }));
}

TEST_F(ListenerTest, AFloodFromOneAddressNeitherLocksOutAnHonestPeerNorFloodsTheLog)
{
    ASSERT_TRUE(startReady());
    constexpr int kPerAddress = HandshakeGate::kDefaultPerAddressLimit;
    // 64 sockets from 127.0.0.2: idle ones, half a record, and random records.
    const QByteArray random = QByteArray(Framer::kHandshakeSize, 'r');
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    const auto send = [&](const QByteArray& bytes) {
        auto socket = std::make_unique<QTcpSocket>();
        ASSERT_TRUE(socket->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        socket->connectToHost(QHostAddress::LocalHost, boundPort());
        if (!bytes.isEmpty())
            socket->write(bytes);
        flood.push_back(std::move(socket));
    };
    for (int i = 0; i < 64; ++i)
        send(i % 3 == 0 ? QByteArray() : i % 3 == 1 ? random.left(60) : random);
    ASSERT_TRUE(waitFor([&] { return bob.count(QStringLiteral("cancel")) + bob.count(QStringLiteral("fail")) >= 64 - kPerAddress; }));
    EXPECT_LE(listener.handshakeGate().waitingFrom(QStringLiteral("127.0.0.2")), kPerAddress);

    // Meanwhile an honest peer on another address gets through.
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob = call(people.alice, boundPort(), people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return alice.has("ready") && bob.has("ready"); }));
    toBob->sendListRequest();
    ASSERT_TRUE(waitFor([&] { return bob.has("listRequest"); }));
    EXPECT_EQ(listener.handshakeGate().waitingFrom(QStringLiteral("127.0.0.1")), 0);  // authenticated

    // The flood cost one line for its address, however many it tried.
    EXPECT_EQ(log.lines().filter(QStringLiteral("127.0.0.2")).size(), 1);
    // A minute later its next refusal is logged again, with the count of the others.
    now += std::chrono::minutes(1);
    flood.front()->abort();
    send(random);
    ASSERT_TRUE(waitFor([&] { return log.lines().filter(QStringLiteral("127.0.0.2")).size() == 2; }));
    EXPECT_TRUE(log.lines().filter(QStringLiteral("127.0.0.2")).last().contains(QStringLiteral(" more from 127.0.0.2 not logged)")));
}

TEST_F(ListenerTest, WhenAllPlacesAreTakenTheOldestWaitingConnectionGoes)
{
    ASSERT_TRUE(startReady());
    constexpr int kLimit = HandshakeGate::kDefaultLimit;
    constexpr int kPerAddress = HandshakeGate::kDefaultPerAddressLimit;
    std::vector<bool> closed;
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    // Full places from kLimit / kPerAddress addresses, then one more address.
    for (int i = 0; i < kLimit + 1; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        ASSERT_TRUE(socket->bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(10 + i / kPerAddress)), 0));
        closed.push_back(false);
        QObject::connect(socket.get(), &QTcpSocket::disconnected, [&closed, i] { closed[size_t(i)] = true; });
        socket->connectToHost(QHostAddress::LocalHost, boundPort());
        ASSERT_TRUE(waitFor([&] { return listener.handshakeGate().waiting() == std::min(i + 1, kLimit); }));
        silent.push_back(std::move(socket));
    }
    ASSERT_TRUE(waitFor([&] { return closed[0]; }));
    EXPECT_EQ(std::count(closed.begin(), closed.end(), true), 1);
    EXPECT_EQ(linesStartingWith(QStringLiteral("Listener closed a connection from 127.0.1.10: ")), 1);
    silent.clear();
}

TEST_F(ListenerTest, AListenerWhoseDelegateIsGoneStillServesItsConnections)
{
    auto gone = std::make_unique<RecordingDelegate>();
    listener.setDelegate(gone.get());
    startOn(0);
    ASSERT_TRUE(waitFor([&] { return gone->listenerKinds().contains(Kind::ready); }));
    gone.reset();
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob = call(people.alice, boundPort(), people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return alice.has("ready"); }));
    toBob->sendListRequest();  // Bob's side trusts the connection from the first frame on
    ASSERT_TRUE(waitFor([&] { return listener.handshakeGate().waiting() == 0; }));
    toBob->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return log.lines().filter(QStringLiteral("PeerConnection deinit")).size() == 1; }));
}
