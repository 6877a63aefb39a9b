// Connections through a SOCKS5 proxy on a Unix-domain socket, as tor offers
// one: the proxy's answers (untrusted), and a whole connection through a
// relaying proxy to a real listener.

#include "tests/connection/nettestsupport.h"
#include "vortan/connection/connection.h"
#include "vortan/connection/socksconnector.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cerrno>
#include <thread>

using namespace vortan;
using namespace vortan::test;

namespace {

UniqueFd listenAt(const QString& path)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(address.sun_path, bytes.constData(), std::size_t(bytes.size()));
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd.get(), 4) != 0)
        return {};
    return fd;
}

// Reads exactly n bytes (bounded wait), or fewer when the stream ends.
QByteArray readExactly(int fd, qsizetype n)
{
    QByteArray out;
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, std::size_t(std::min<qsizetype>(n - out.size(), sizeof buffer)), 0);
        if (got <= 0)
            break;
        out.append(buffer, got);
    }
    return out;
}

// A one-connection proxy on a thread: answers the greeting and the request
// with the given bytes and records the request; then, when relayTo is set,
// connects there and relays both ways until either side ends.
class FakeProxy {
public:
    FakeProxy(QByteArray greetingReply, QByteArray requestReply, quint16 relayTo = 0)
        : m_greetingReply(std::move(greetingReply)), m_requestReply(std::move(requestReply)), m_relayTo(relayTo)
    {
        m_listen = listenAt(path());
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeProxy()
    {
        ::shutdown(m_listen.get(), SHUT_RDWR);
        m_thread.join();
    }
    QString path() const { return m_dir.filePath(QStringLiteral("socks")); }
    QByteArray request;  // read after the destructor, or once the connector is done

private:
    void serve()
    {
        UniqueFd client(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client || readExactly(client.get(), 3).size() != 3)
            return;
        ::send(client.get(), m_greetingReply.constData(), std::size_t(m_greetingReply.size()), MSG_NOSIGNAL);
        const QByteArray head = readExactly(client.get(), 5);
        if (head.size() == 5)
            request = head + readExactly(client.get(), quint8(head[4]) + 2);
        ::send(client.get(), m_requestReply.constData(), std::size_t(m_requestReply.size()), MSG_NOSIGNAL);
        if (m_relayTo == 0)
            return;
        UniqueFd peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_relayTo);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(peer.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        pollfd fds[2] = {{client.get(), POLLIN, 0}, {peer.get(), POLLIN, 0}};
        while (::poll(fds, 2, 20000) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[65536];
                const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0 || ::send(fds[1 - i].fd, buffer, std::size_t(n), MSG_NOSIGNAL) != n)
                    return;
            }
        }
    }

    QTemporaryDir m_dir;
    QByteArray m_greetingReply;
    QByteArray m_requestReply;
    quint16 m_relayTo;
    UniqueFd m_listen;
    std::thread m_thread;
};

struct Outcome {
    bool done = false;
    std::optional<NetworkError> error;
    UniqueFd socket;
};

Outcome dial(const QString& proxy, const QString& host = QStringLiteral("abc.onion"))
{
    Outcome outcome;
    SocksConnector connector(
        proxy, host, 54322,
        [&](UniqueFd socket) {
            outcome.socket = std::move(socket);
            outcome.done = true;
        },
        [&](const NetworkError& error) {
            outcome.error = error;
            outcome.done = true;
        });
    connector.start();
    EXPECT_FALSE(outcome.done) << "reported from inside start()";
    EXPECT_TRUE(waitFor([&] { return outcome.done; }, 10000));
    return outcome;
}

const QByteArray kAccepted("\x05\x00", 2);
QByteArray reply(char code, QByteArray address = QByteArray("\x01\x00\x00\x00\x00", 5))
{
    return QByteArray("\x05", 1) + code + QByteArray(1, '\0') + address + QByteArray("\x00\x00", 2);
}

}  // namespace

TEST(Socks, RepliesBecomeTheErrorsTheyMean)
{
    const struct {
        const char* name;
        QByteArray greeting;
        QByteArray answer;
        int error;  // 0: connected
    } cases[] = {
        {"connected (IPv4 bound address)", kAccepted, reply(0), 0},
        {"connected (name as bound address)", kAccepted, reply(0, QByteArray("\x03\x03" "abc", 5)), 0},
        {"onion service not found", kAccepted, reply(char(0xF0)), EHOSTUNREACH},
        {"client authorization missing", kAccepted, reply(char(0xF4)), EACCES},
        {"introduction timed out", kAccepted, reply(char(0xF7)), ETIMEDOUT},
        {"refused", kAccepted, reply(0x05), ECONNREFUSED},
        {"unknown code", kAccepted, reply(0x42), EPROTO},
        {"asks for a password", QByteArray("\x05\x02", 2), {}, EPROTO},
        {"not SOCKS5", QByteArray("HTTP/1.1 400", 12), {}, EPROTO},
        {"unknown address type", kAccepted, QByteArray("\x05\x00\x00\x09\x00\x00\x00\x00\x00\x00", 10), EPROTO},
        {"closes before answering", kAccepted, {}, EPROTO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeProxy proxy(c.greeting, c.answer);
        const Outcome outcome = dial(proxy.path());
        if (c.error == 0) {
            EXPECT_FALSE(outcome.error);
            EXPECT_TRUE(outcome.socket.valid());
        } else {
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->code, c.error);
        }
    }
}

TEST(Socks, AsksForTheNameAndPortAndFailsWithoutAProxy)
{
    FakeProxy proxy(kAccepted, reply(0));
    const Outcome outcome = dial(proxy.path(), QStringLiteral("abcdef.onion"));
    ASSERT_TRUE(outcome.socket.valid());
    EXPECT_EQ(proxy.request, QByteArray("\x05\x01\x00\x03\x0c" "abcdef.onion\xd4\x32", 19));

    QTemporaryDir empty;
    const Outcome none = dial(empty.filePath(QStringLiteral("socks")));
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->code, ENOENT);
}

// The peer's handshake may follow the proxy's reply in one piece: it must
// stay for the connection, which then works as any other.
TEST(Socks, AConnectionThroughTheProxyIsReadyAndSaysSo)
{
    Pair pair;
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::unique_ptr<Connection> accepted;
    ConnectionRecorder acceptedRecorder;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        accepted = std::make_unique<Connection>(*pair.bob.keys, server.nextPendingConnection());
        acceptedRecorder.attach(*accepted);
        accepted->start();
    });
    FakeProxy proxy(kAccepted, reply(0), server.serverPort());
    Connection outgoing(*pair.alice.keys, QStringLiteral("bob.onion"), 54322, proxy.path());
    ConnectionRecorder recorder;
    recorder.attach(outgoing);
    outgoing.start();
    ASSERT_TRUE(waitFor([&] { return recorder.has(ConnectionState::Kind::ready) && accepted && accepted->isReady(); }))
        << recorder.events.join(' ').toStdString();
    EXPECT_TRUE(outgoing.throughTor());
    EXPECT_FALSE(accepted->throughTor());
    EXPECT_EQ(outgoing.remoteDescription(), "bob.onion:54322");
    outgoing.send(MessageType::listRequest, QByteArray());
    EXPECT_TRUE(waitFor([&] { return !acceptedRecorder.messages.empty(); }));
    // Through tor nobody acknowledges for the peer: what the proxy read counts.
    EXPECT_TRUE(waitFor([&] { return outgoing.bytesAcknowledged() == outgoing.bytesQueued(); }));
}
