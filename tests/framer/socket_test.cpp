// Two framers with their own identities on the two ends of a real TCP
// connection over the loopback interface.

#include "tests/framer/framertestsupport.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace vortan::test {
namespace {

Endpoint numeric(const QHostAddress& address, quint16 port)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return {isV4 ? QHostAddress(v4).toString() : address.toString(), port};
}

// One end: a socket with a framer on top, reporting what arrived.
struct SocketEnd {
    crypto::SigningKey identity = crypto::SigningKey::generate();
    std::unique_ptr<KeyHelper> keys = makeKeyHelper(identity);
    std::unique_ptr<Framer> framer = std::make_unique<Framer>(*keys);
    QTcpSocket* socket = nullptr;
    Recorder seen;

    QByteArray publicKey() const { return toQByteArray(identity.publicKey()); }

    StorageKey endpoints() const
    {
        return {numeric(socket->localAddress(), socket->localPort()),
                numeric(socket->peerAddress(), socket->peerPort())};
    }

    void attach(QTcpSocket* s)
    {
        socket = s;
        seen.attach(*framer);
        framer->setOutputHandler([this](QByteArrayView bytes) { socket->write(bytes.data(), bytes.size()); });
        framer->setFailedHandler([this] {
            ++seen.failedCount;
            socket->abort();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { framer->input(socket->readAll()); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket,
                         [this] { framer->input(socket->readAll(), /*isComplete=*/true); });
        framer->setEndpoints(endpoints());
        framer->start();
    }
};

struct Connection {
    QTcpServer listener;
    SocketEnd client;
    SocketEnd server;
    QTcpSocket outgoing;

    ~Connection()
    {
        // No slot may run while the sockets go away.
        outgoing.disconnect();
        if (server.socket)
            server.socket->disconnect();
    }

    Connection(bool serverAllowsClient = true)
    {
        client.keys->setAllowedUsers({User(QStringLiteral("Server"), std::nullopt, std::nullopt, server.publicKey())});
        if (serverAllowsClient)
            server.keys->setAllowedUsers(
                {User(QStringLiteral("Client"), std::nullopt, std::nullopt, client.publicKey())});
    }

    bool open()
    {
        if (!listener.listen(QHostAddress::LocalHost, 0))
            return false;
        QObject::connect(&listener, &QTcpServer::newConnection, &listener, [this] {
            QTcpSocket* accepted = listener.nextPendingConnection();
            accepted->setParent(&listener);
            server.attach(accepted);
        });
        QObject::connect(&outgoing, &QTcpSocket::connected, &outgoing, [this] { client.attach(&outgoing); });
        outgoing.connectToHost(QHostAddress::LocalHost, listener.serverPort());
        return waitFor([this] { return client.socket && server.socket; });
    }
};

TEST(FramerOverTcp, HandshakeAndTypedMessagesBothWays)
{
    Connection c;
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(waitFor([&] { return c.client.seen.readyCount == 1 && c.server.seen.readyCount == 1; }));

    // Each side recorded who is on the other end, under the same numeric pair.
    const StorageKey clientPair = c.client.endpoints();
    const StorageKey serverPair = c.server.endpoints();
    EXPECT_EQ(clientPair.localEndpoint, serverPair.remoteEndpoint);
    EXPECT_EQ(clientPair.remoteEndpoint, serverPair.localEndpoint);
    EXPECT_EQ(clientPair.localEndpoint.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c.client.keys->peerKey(clientPair), c.server.publicKey());
    EXPECT_EQ(c.server.keys->peerKey(serverPair), c.client.publicKey());

    QByteArray block(131072 + 20, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(c.client.framer->send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(c.server.framer->send(MessageType::list, "list bytes"));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(c.server.framer->send(MessageType::data, block));
    ASSERT_TRUE(c.client.framer->send(MessageType::want, QByteArray()));

    ASSERT_TRUE(waitFor([&] { return c.client.seen.messages.size() == 4 && c.server.seen.messages.size() == 2; }));
    EXPECT_EQ(c.server.seen.messages[0], std::make_pair(MessageType::listRequest, QByteArray("hello")));
    EXPECT_EQ(c.server.seen.messages[1], std::make_pair(MessageType::want, QByteArray()));
    EXPECT_EQ(c.client.seen.messages[0], std::make_pair(MessageType::list, QByteArray("list bytes")));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(c.client.seen.messages[static_cast<std::size_t>(i)], std::make_pair(MessageType::data, block));
    EXPECT_EQ(c.client.seen.failedCount + c.server.seen.failedCount, 0);
}

TEST(FramerOverTcp, RefusedPeerNeverBecomesReady)
{
    LogCapture log;
    Connection c(/*serverAllowsClient=*/false);
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(waitFor([&] { return c.server.seen.failedCount == 1; }));
    ASSERT_TRUE(waitFor([&] { return c.outgoing.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(log.contains(QStringLiteral("user not allowed")));
    EXPECT_EQ(c.server.seen.readyCount, 0);
    EXPECT_TRUE(c.server.seen.messages.empty());
    // The client may have accepted the server's record before the abort
    // arrived, but it never received a message.
    EXPECT_TRUE(c.client.seen.messages.empty());
}

}  // namespace
}  // namespace vortan::test
