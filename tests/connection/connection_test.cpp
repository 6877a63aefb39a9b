// A Connection over real loopback sockets: when it is ready, what each way of
// ending becomes, the order of reports, send completions and socket options.

#include "tests/connection/nettestsupport.h"
#include "vortan/util/ratelimitedlog.h"
#include "vortan/connection/connection.h"
#include "vortan/connection/socketutil.h"
#include "vortan/filerow.h"
#include "vortan/listener/socketlistener.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <map>

using namespace vortan;
using namespace vortan::test;
using Kind = ConnectionState::Kind;

namespace {

int intOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t size = sizeof value;
    ::getsockopt(fd, level, name, &value, &size);
    return value;
}

// Wraps every connection the server accepts in a Connection with the given
// key store, recorded.
class AcceptingServer {
public:
    explicit AcceptingServer(KeyHelper& keys, const QHostAddress& address = QHostAddress::LocalHost) : m_keys(keys)
    {
        server.listen(address, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                auto connection = std::make_unique<Connection>(m_keys, socket);
                auto recorder = std::make_unique<ConnectionRecorder>();
                recorder->attach(*connection);
                connection->start();
                connections.push_back(std::move(connection));
                recorders.push_back(std::move(recorder));
            }
        });
    }
    quint16 port() const { return server.serverPort(); }
    bool waitForConnection(int timeoutMs = 5000)
    {
        return waitFor([this] { return !connections.empty(); }, timeoutMs);
    }
    Connection& connection() { return *connections.front(); }
    ConnectionRecorder& recorder() { return *recorders.front(); }

    QTcpServer server;
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<std::unique_ptr<ConnectionRecorder>> recorders;

private:
    KeyHelper& m_keys;
};

// A connection to 127.0.0.1:port (or host), recorded and started.
struct Outgoing {
    Outgoing(KeyHelper& keys, quint16 port, const QString& host = QStringLiteral("127.0.0.1"))
        : connection(keys, host, port)
    {
        reports.attach(connection);
        connection.start();
    }
    Connection connection;
    ConnectionRecorder reports;
};

class ShortHandshakeTimeout {
public:
    explicit ShortHandshakeTimeout(std::chrono::milliseconds timeout) : m_saved(Connection::handshakeTimeout())
    {
        Connection::setHandshakeTimeout(timeout);
    }
    ~ShortHandshakeTimeout() { Connection::setHandshakeTimeout(m_saved); }

private:
    std::chrono::milliseconds m_saved;
};

class ConnectionTest : public ::testing::Test {
protected:
    // Each test starts with no refused connection logged yet.
    ConnectionTest() { RateLimitedLog::preAuthentication().setNow({}); }
    LogCapture log;
    Pair people;
};

// A FramedPeer (Alice) talking to an accepted Connection (Bob), both ready.
class ReadyConnectionTest : public ConnectionTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.connectTo(server.port()));
        ASSERT_TRUE(server.waitForConnection());
        ASSERT_TRUE(waitFor([this] { return peer.ready && server.recorder().has(Kind::ready); }));
    }
    Connection& bob() { return server.connection(); }
    ConnectionRecorder& bobReports() { return server.recorder(); }
    // Alice stops reading, so Bob's count sends of a mebibyte pile up behind
    // a full socket.
    template <typename Completions> void pileUp(Completions& completions, int count)
    {
        peer.socket->disconnect(&peer);
        peer.socket->setReadBufferSize(1);
        for (int i = 0; i < count; ++i)
            bob().send(MessageType::data, QByteArray(1 << 20, 'm'), completions.make(i));
    }

    AcceptingServer server{*people.bob.keys};
    FramedPeer peer{*people.alice.keys};
};

}  // namespace

// The state names are log texts and the status keys front ends show.
TEST(StateNamesTest, AreTheFixedTexts)
{
    EXPECT_EQ((QStringList{ConnectionState::setup().name(), ConnectionState::preparing().name(),
                           ConnectionState::ready().name(), ConnectionState::cancelled().name(),
                           ConnectionState{Kind::failed, {}}.name()}),
              (QStringList{"setup", "preparing", "ready", "cancelled", "failed"}));
    EXPECT_EQ((QStringList{SocketListenerState::setup().name(), SocketListenerState::ready().name(),
                           SocketListenerState::cancelled().name(), SocketListenerState{SocketListenerState::Kind::failed, {}}.name()}),
              (QStringList{"setup", "ready", "cancelled", "failed"}));
    using S = FileRow::Status;
    EXPECT_EQ((QStringList{statusName(S::queued), statusName(S::transferring), statusName(S::paused),
                           statusName(S::done), statusName(S::failed), statusName(S(99))}),
              (QStringList{"queued", "transferring", "paused", "done", "failed", ""}));
}

// --- becoming ready ---------------------------------------------------------

TEST_F(ConnectionTest, BothSidesReportSetupPreparingReadyAndLearnWhoIsTalking)
{
    AcceptingServer server(*people.bob.keys);
    Outgoing alice(*people.alice.keys, server.port());

    ASSERT_TRUE(server.waitForConnection());
    ASSERT_TRUE(waitFor([&] { return alice.reports.has(Kind::ready) && server.recorder().has(Kind::ready); }));
    const QList<Kind> expected{Kind::setup, Kind::preparing, Kind::ready};
    EXPECT_EQ(alice.reports.kinds(), expected);
    EXPECT_EQ(server.recorder().kinds(), expected);

    // Each side names the pair the same way round as the other sees it
    // reversed, and its key store knows who completed the handshake.
    const StorageKey a = *alice.connection.endpoints();
    const StorageKey b = *server.connection().endpoints();
    EXPECT_EQ(a.localEndpoint, b.remoteEndpoint);
    EXPECT_EQ(a.remoteEndpoint, b.localEndpoint);
    EXPECT_EQ(people.alice.keys->peerKey(a), people.bob.key());
    EXPECT_EQ(people.bob.keys->peerKey(b), people.alice.key());
}

// A far side that never sends its record: both ways the handshake times
// out and the socket is aborted.
TEST_F(ConnectionTest, ASilentFarSideTimesOutTheHandshakeBothWays)
{
    ShortHandshakeTimeout shortTimeout(std::chrono::milliseconds(300));
    AcceptingServer server(*people.bob.keys);
    QTcpSocket silentClient;
    silentClient.connectToHost(QHostAddress::LocalHost, server.port());
    QTcpServer silentServer;
    ASSERT_TRUE(silentServer.listen(QHostAddress::LocalHost, 0));
    Outgoing alice(*people.alice.keys, silentServer.serverPort());
    ASSERT_TRUE(server.waitForConnection());

    ASSERT_TRUE(waitFor([&] { return server.recorder().has(Kind::failed) && alice.reports.has(Kind::failed); }));
    EXPECT_EQ(server.recorder().kinds(), (QList<Kind>{Kind::setup, Kind::preparing, Kind::failed}));
    EXPECT_EQ(server.recorder().failure(), NetworkError::posix(ETIMEDOUT));
    EXPECT_FALSE(alice.reports.has(Kind::ready));
    EXPECT_EQ(alice.reports.failure(), NetworkError::posix(ETIMEDOUT));
    EXPECT_TRUE(waitFor([&] { return silentClient.state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(ConnectionTest, FramesInTheReadOfTheHandshakeRecordComeAfterReady)
{
    AcceptingServer server(*people.bob.keys);
    FramedPeer peer(*people.alice.keys);
    // Alice's record and her first frames leave in one write.
    peer.holdOutput = true;
    ASSERT_TRUE(peer.connectTo(server.port()));
    ASSERT_TRUE(waitFor([&] { return peer.ready; }));
    ASSERT_TRUE(peer.send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(peer.send(MessageType::want, "w"));
    ASSERT_TRUE(peer.send(MessageType::data, "d"));
    peer.flushHeld();

    ASSERT_TRUE(server.waitForConnection());
    ASSERT_TRUE(waitFor([&] { return server.recorder().messages.size() == 3; }));
    EXPECT_EQ(server.recorder().events, (QStringList{"state:setup", "state:preparing", "state:ready", "message:1",
                                                     "message:3", "message:4"}));
}

// --- connect failures ---------------------------------------------------------

// A listener whose queue is full drops the SYNs of a new connect, as a
// firewall does: the kernel would go on trying for two minutes.
TEST_F(ConnectionTest, AConnectNobodyAnswersTimesOut)
{
    ShortHandshakeTimeout shortTimeout(std::chrono::milliseconds(300));
    QTcpServer full;
    ASSERT_TRUE(full.listen(QHostAddress::LocalHost, 0));
    ASSERT_EQ(::listen(int(full.socketDescriptor()), 0), 0);
    full.pauseAccepting();
    QTcpSocket queued;
    queued.connectToHost(QHostAddress::LocalHost, full.serverPort());
    ASSERT_TRUE(queued.waitForConnected(5000));
    Outgoing alice(*people.alice.keys, full.serverPort());
    ASSERT_TRUE(waitFor([&] { return alice.reports.has(Kind::failed); }, 5000));
    EXPECT_EQ(alice.reports.failure(), NetworkError::posix(ETIMEDOUT));
}

TEST_F(ConnectionTest, UnresolvableNameFailsWithADnsError)
{
    Outgoing alice(*people.alice.keys, 54322, QStringLiteral("no-such-host.invalid"));
    ASSERT_TRUE(waitFor([&] { return alice.reports.has(Kind::failed); }, 20000));
    ASSERT_TRUE(alice.reports.failure().has_value());
    EXPECT_EQ(alice.reports.failure()->kind, NetworkError::Kind::dns);
}

// Cancelled while the connect it started was completing: the connect's
// result, already on its way, is dropped (it used to reach the connection).
TEST_F(ConnectionTest, ACancelWhileTheConnectCompletesEndsItCancelled)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    Outgoing alice(*people.alice.keys, listener.serverPort());
    // The listener hears of the connection in the same turn of the event
    // loop as the connector does, and first.
    QObject::connect(&listener, &QTcpServer::newConnection, [&] { alice.connection.cancel(); });
    ASSERT_TRUE(waitFor([&] { return alice.reports.has(Kind::cancelled); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(alice.reports.kinds(), (QList<Kind>{Kind::setup, Kind::preparing, Kind::cancelled}));
}

// --- ways of ending -----------------------------------------------------------

TEST_F(ReadyConnectionTest, OrderlyCloseByThePeerEndsCancelledWithoutErrorAfterItsLastMessage)
{
    ASSERT_TRUE(peer.send(MessageType::listRequest, "hello"));
    peer.socket->disconnectFromHost();

    ASSERT_TRUE(waitFor([&] { return bobReports().has(Kind::cancelled); }));
    EXPECT_FALSE(bobReports().has(Kind::failed));
    EXPECT_EQ(bobReports().events.mid(2), (QStringList{"state:ready", "message:1", "state:cancelled"}));
}

TEST_F(ReadyConnectionTest, AFrameTheFramerRefusesFailsWithConnectionAbortedAndClosesTheSocket)
{
    peer.socket->write(QByteArray(4, '\0'));  // a frame of length 0
    ASSERT_TRUE(waitFor([&] { return bobReports().has(Kind::failed); }));
    EXPECT_EQ(bobReports().failure(), NetworkError::posix(ECONNABORTED));
    EXPECT_TRUE(waitFor([&] { return peer.closedByPeer; }));
}

TEST_F(ConnectionTest, APeerThatClosesDuringTheHandshakeHasRefusedUs)
{
    AcceptingServer server(*people.bob.keys);
    QTcpSocket quitter;
    quitter.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(server.waitForConnection());
    quitter.disconnectFromHost();

    ASSERT_TRUE(waitFor([&] { return server.recorder().has(Kind::failed); }));
    EXPECT_FALSE(server.recorder().has(Kind::ready));
    EXPECT_EQ(server.recorder().failure(), NetworkError::posix(ECONNRESET));
}

TEST_F(ReadyConnectionTest, CancelReportsLaterAndDropsUndeliveredMessages)
{
    ASSERT_TRUE(peer.send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(waitFor([&] { return bobReports().messages.size() == 1; }));

    // Alice sends another, which may already be waiting for delivery when
    // Bob cancels; either way it must not reach him afterwards.
    ASSERT_TRUE(peer.send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(waitFor([&] { return peer.socket->bytesToWrite() == 0; }));
    bob().cancel();
    EXPECT_FALSE(bobReports().has(Kind::cancelled));
    const size_t delivered = bobReports().messages.size();

    ASSERT_TRUE(waitFor([&] { return bobReports().has(Kind::cancelled); }));
    settle();
    EXPECT_EQ(bobReports().messages.size(), delivered);
    EXPECT_EQ(bobReports().states.back().kind, Kind::cancelled);
    EXPECT_FALSE(bobReports().has(Kind::failed));
    bob().cancel();  // a second cancel changes nothing
    settle();
    EXPECT_EQ(std::count_if(bobReports().states.begin(), bobReports().states.end(),
                            [](const ConnectionState& s) { return s.kind == Kind::cancelled; }),
              1);
    EXPECT_TRUE(waitFor([&] { return peer.closedByPeer; }));
}

// --- send completions ------------------------------------------------------

namespace {

struct CompletionLog {
    std::map<int, std::vector<std::optional<NetworkError>>> calls;
    bool inCall = false;
    bool calledSynchronously = false;

    Connection::SendCompletion make(int index)
    {
        return [this, index](const std::optional<NetworkError>& error) {
            if (inCall)
                calledSynchronously = true;
            calls[index].push_back(error);
        };
    }
    bool allCalled(int count) const { return static_cast<int>(calls.size()) == count; }
    // Each of count sends completed once: some succeeded, then the rest were
    // cancelled (never a success after a cancelled one).
    void expectSuccessesThenCancelled(int count)
    {
        bool seenCancelled = false;
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(calls[i].size(), 1u) << "send " << i;
            if (const std::optional<NetworkError>& error = calls[i][0]) {
                EXPECT_EQ(*error, NetworkError::posix(ECANCELED)) << "send " << i;
                seenCancelled = true;
            } else {
                EXPECT_FALSE(seenCancelled) << "send " << i << " succeeded after a cancelled one";
            }
        }
        EXPECT_TRUE(seenCancelled);
    }
};

}  // namespace

TEST_F(ReadyConnectionTest, ACompletionComesOnceAfterTheBytesAreHandedOver)
{
    CompletionLog completions;
    completions.inCall = true;
    bob().send(MessageType::data, QByteArray(1000, 'x'), completions.make(0));
    completions.inCall = false;
    EXPECT_TRUE(completions.calls.empty());

    ASSERT_TRUE(waitFor([&] { return completions.allCalled(1); }));
    ASSERT_TRUE(waitFor([&] { return peer.received.size() == 1; }));
    settle();
    ASSERT_EQ(completions.calls[0].size(), 1u);
    EXPECT_EQ(completions.calls[0][0], std::nullopt);
    EXPECT_EQ(peer.received[0].first, MessageType::data);
    EXPECT_EQ(peer.received[0].second, QByteArray(1000, 'x'));
}

TEST_F(ReadyConnectionTest, CancelCompletesEveryQueuedAndLaterSendExactlyOnce)
{
    constexpr int kCount = 48;
    CompletionLog completions;
    pileUp(completions, kCount);
    ASSERT_TRUE(waitFor([&] { return !completions.calls.empty(); }));
    completions.inCall = true;
    bob().cancel();
    bob().send(MessageType::data, "late", completions.make(kCount));
    completions.inCall = false;

    ASSERT_TRUE(waitFor([&] { return completions.allCalled(kCount + 1); }));
    settle();
    EXPECT_FALSE(completions.calledSynchronously);
    completions.expectSuccessesThenCancelled(kCount);
    // A send after the cancel completes with "cancelled" too.
    EXPECT_EQ(completions.calls[kCount], (std::vector<std::optional<NetworkError>>{NetworkError::posix(ECANCELED)}));
}

TEST_F(ReadyConnectionTest, SendsAfterTheEndCompleteWithTheReasonOfTheEnd)
{
    peer.reset();
    ASSERT_TRUE(waitFor([&] { return bobReports().has(Kind::failed); }));
    EXPECT_EQ(bobReports().failure(), NetworkError::posix(ECONNRESET));
    CompletionLog completions;
    bob().send(MessageType::data, "late", completions.make(0));
    bob().cancel();
    bob().send(MessageType::data, "later", completions.make(1));
    EXPECT_TRUE(completions.calls.empty());

    ASSERT_TRUE(waitFor([&] { return completions.allCalled(2); }));
    EXPECT_EQ(completions.calls[0], (std::vector<std::optional<NetworkError>>{NetworkError::posix(ECONNRESET)}));
    EXPECT_EQ(completions.calls[1], (std::vector<std::optional<NetworkError>>{NetworkError::posix(ECONNRESET)}));
}

TEST_F(ConnectionTest, ASendBeforeReadyIsNotWrittenAndCompletesWithNotConnected)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    Outgoing alice(*people.alice.keys, silent.serverPort());
    CompletionLog completions;
    alice.connection.send(MessageType::listRequest, "hello", completions.make(0));
    ASSERT_TRUE(waitFor([&] { return completions.allCalled(1); }));
    EXPECT_EQ(completions.calls[0], (std::vector<std::optional<NetworkError>>{NetworkError::posix(ENOTCONN)}));
}

TEST_F(ReadyConnectionTest, CompletionsOutliveADestroyedConnection)
{
    constexpr int kCount = 48;
    CompletionLog completions;
    pileUp(completions, kCount);
    server.connections.clear();

    ASSERT_TRUE(waitFor([&] { return completions.allCalled(kCount); }));
    settle();
    completions.expectSuccessesThenCancelled(kCount);
}

// --- socket ---------------------------------------------------------------

// Keep-alive and the user timeout are on with the program's settings on both sockets, and the
// IPv4 peer of a dual-stack socket is named in IPv4.
TEST_F(ConnectionTest, KeepAliveBothWaysAndIPv4NamesOnADualStackSocket)
{
    AcceptingServer server(*people.bob.keys, QHostAddress::Any);
    Outgoing alice(*people.alice.keys, server.port());
    ASSERT_TRUE(server.waitForConnection());
    ASSERT_TRUE(waitFor([&] { return alice.connection.isReady() && server.connection().isReady(); }));

    for (const Connection* connection : {&alice.connection, &server.connection()}) {
        const int fd = connection->socketDescriptor();
        ASSERT_GE(fd, 0);
        EXPECT_EQ(intOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
        // A vanished peer is found out within about 30 s, busy or idle.
        EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPIDLE), 15);
        EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPINTVL), 5);
        EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_KEEPCNT), 3);
        EXPECT_EQ(intOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT), 30000);
    }

    const StorageKey accepted = *server.connection().endpoints();
    EXPECT_EQ(accepted.localEndpoint.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(accepted.remoteEndpoint.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(accepted.remoteEndpoint, alice.connection.endpoints()->localEndpoint);
    EXPECT_EQ(people.bob.keys->peerKey(accepted), people.alice.key());
}
