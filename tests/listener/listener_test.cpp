// The Listener on real sockets: its state reports and log lines, the restart
// cycle, replaced sockets, the bound on waiting handshakes and what it passes
// on from the connections it accepted.

#include "tests/peer/peertestsupport.h"
#include "vortan/listener/listener.h"

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

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

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
    }

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
    int linesStartingWith(const QString& prefix) const
    {
        return static_cast<int>(log.startingWith(prefix).size());
    }

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
    // The connections it accepted end when the sockets close.
    const qsizetype ended = v6.state() == QAbstractSocket::ConnectedState ? 2 : 1;
    v4.abort();
    v6.abort();
    EXPECT_TRUE(waitFor([&] { return log.lines().count(QStringLiteral("PeerConnection deinit")) == ended; }));
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
    startOn(0);
    ASSERT_TRUE(waitForReady());
    const quint16 port = boundPort();
    listener.stop();
    EXPECT_FALSE(log.contains(QStringLiteral("Listener cancelled.")));  // reported later
    ASSERT_TRUE(waitFor([&] { return log.contains(QStringLiteral("Listener cancelled.")); }));
    EXPECT_EQ(bob.listenerStates.back().kind, Kind::cancelled);
    EXPECT_FALSE(listener.restartArmed());
    EXPECT_FALSE(waitFor([&] { return linesStartingWith(QStringLiteral("Listener ready on ")) > 1; },
                         static_cast<int>(kShortRestart.count()) * 4));

    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(waitFor([&] { return probe.error() == QAbstractSocket::ConnectionRefusedError; }));
}

TEST_F(ListenerTest, TheLateReportOfAReplacedSocketIsIgnored)
{
    startOn(0);
    ASSERT_TRUE(waitForReady());
    // A port change: stop, then start on the new port at once, before the
    // old socket's "cancelled" has arrived.
    listener.stop();
    startOn(0);
    ASSERT_TRUE(waitForReady());
    settle();

    EXPECT_TRUE(log.contains(QStringLiteral("Listener ignored state cancelled of a replaced listener")));
    EXPECT_FALSE(log.contains(QStringLiteral("Listener cancelled.")));
    EXPECT_FALSE(listener.restartArmed());
    EXPECT_EQ(bob.listenerKinds(), (QList<Kind>{Kind::setup, Kind::ready, Kind::setup, Kind::ready}));
}

TEST_F(ListenerTest, StartingAgainWithoutStopReplacesTheSocket)
{
    startOn(0);
    ASSERT_TRUE(waitForReady());
    const quint16 first = boundPort();
    listener.start();
    ASSERT_TRUE(waitForReady());
    settle();
    EXPECT_FALSE(listener.restartArmed());
    EXPECT_EQ(bob.listenerStates.back().kind, Kind::ready);
    // The first socket is closed.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, first);
    EXPECT_TRUE(waitFor([&] { return probe.error() == QAbstractSocket::ConnectionRefusedError; }));
}

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

TEST_F(ListenerTest, AcceptedConnectionsReportThroughTheListener)
{
    startOn(0);
    ASSERT_TRUE(waitForReady());
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob = PeerConnection::connect(
        *people.alice.keys, QStringLiteral("127.0.0.1"), boundPort(), people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return bob.has("ready"); }));
    EXPECT_EQ(bob.last("ready")->user, people.alice.key());

    toBob->sendListRequest();
    toBob->sendData("abc", 2, QUuid::createUuid(), {});
    ASSERT_TRUE(waitFor([&] { return bob.has("data"); }));
    toBob->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return bob.has("cancel"); }));
    EXPECT_EQ(bob.kinds(), (QStringList{"ready", "listRequest", "data", "cancel"}));
}

TEST_F(ListenerTest, APeerOutsideTheAllowedUsersFailsThenCancelsAndIsNeverReady)
{
    startOn(0);
    ASSERT_TRUE(waitForReady());
    Identity mallory(QStringLiteral("Mallory"));
    mallory.allow(people.bob);
    RecordingDelegate malloryReports;
    std::shared_ptr<PeerConnection> toBob = PeerConnection::connect(
        *mallory.keys, QStringLiteral("127.0.0.1"), boundPort(), people.bob.key(), &malloryReports);

    ASSERT_TRUE(waitFor([&] { return bob.has("cancel"); }));
    EXPECT_EQ(bob.kinds(), (QStringList{"fail", "cancel"}));
    EXPECT_EQ(bob.events[0].error, NetworkError::posix(ECONNABORTED));
    EXPECT_FALSE(bob.events[0].user.has_value());  // nobody was authenticated
    EXPECT_TRUE(log.contains(QStringLiteral("user not allowed")));
    // The accepted connection is released once cancelled.
    EXPECT_TRUE(waitFor([&] { return log.lines().contains(QStringLiteral("PeerConnection deinit")); }));
}

TEST_F(ListenerTest, AtMost32ConnectionsWaitForTheirHandshake)
{
    startOn(0);
    ASSERT_TRUE(waitForReady());
    constexpr int kLimit = HandshakeGate::kDefaultLimit;
    std::vector<bool> closed(kLimit + 1, false);
    std::vector<std::unique_ptr<QTcpSocket>> silent;  // destroyed first: they report to `closed`
    for (int i = 0; i <= kLimit; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QObject::connect(socket.get(), &QTcpSocket::disconnected, [&closed, i] { closed[i] = true; });
        socket->connectToHost(QHostAddress::LocalHost, boundPort());
        silent.push_back(std::move(socket));
    }
    ASSERT_TRUE(waitFor([&] { return listener.handshakeGate().waiting() == kLimit; }));
    ASSERT_TRUE(waitFor([&] { return std::count(closed.begin(), closed.end(), true) == 1; }));
    EXPECT_EQ(linesStartingWith(QStringLiteral("Listener closed a connection from ")), 1);

    // One waiting connection goes away; its place is free for the next.
    const auto open = std::find(closed.begin(), closed.end(), false);
    silent[static_cast<size_t>(open - closed.begin())]->abort();
    ASSERT_TRUE(waitFor([&] { return listener.handshakeGate().waiting() == kLimit - 1; }));
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob = PeerConnection::connect(
        *people.alice.keys, QStringLiteral("127.0.0.1"), boundPort(), people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return bob.has("ready") && alice.has("ready"); }));
    // A ready connection no longer counts.
    EXPECT_EQ(listener.handshakeGate().waiting(), kLimit - 1);
    EXPECT_EQ(linesStartingWith(QStringLiteral("Listener closed a connection from ")), 1);

    // The silent ones end when their sockets close.
    silent.clear();
    EXPECT_TRUE(waitFor([&] { return log.lines().count(QStringLiteral("PeerConnection deinit")) == kLimit; }));
}

TEST_F(ListenerTest, AListenerWhoseDelegateIsGoneStillServesItsConnections)
{
    auto gone = std::make_unique<RecordingDelegate>();
    listener.setDelegate(gone.get());
    startOn(0);
    ASSERT_TRUE(waitFor([&] { return gone->listenerKinds().contains(Kind::ready); }));
    gone.reset();
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob = PeerConnection::connect(
        *people.alice.keys, QStringLiteral("127.0.0.1"), boundPort(), people.bob.key(), &alice);
    ASSERT_TRUE(waitFor([&] { return alice.has("ready"); }));
    toBob->connection()->cancel();
    ASSERT_TRUE(waitFor([&] { return log.lines().filter(QStringLiteral("PeerConnection deinit")).size() == 1; }));
}
