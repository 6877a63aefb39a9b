// The derived keys handed to a real tor, which never touches the network
// here (DisableNetwork, and only a directory authority on a closed local port).

#include "vortan/tor/onionkeys.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vortan {
namespace {

constexpr int kTimeoutMs = 20000;

QString torProgram()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("tor"));
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("tor"), {QStringLiteral("/usr/sbin")})
                           : found;
}

// A tor on a private control socket, and a blocking chat with it.
class TestTor {
public:
    // Starts tor and authenticates; on failure returns why.
    QString start(const QString& program)
    {
        if (!m_dir.isValid() || !QDir().mkdir(dataDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return QStringLiteral("no temporary directory");
        const QString torrc = m_dir.filePath(QStringLiteral("torrc"));
        const QString config = QStringLiteral(
            "DataDirectory %1\nDisableNetwork 1\nSocksPort 0\nControlPort unix:%2\nCookieAuthentication 1\n"
            "__OwningControllerProcess %3\nLog notice stdout\n"
            "DirAuthority none orport=1 no-v2 v3ident=0000000000000000000000000000000000000001 127.0.0.1:1 "
            "0000000000000000000000000000000000000002\n")
                                   .arg(dataDir(), controlPath())
                                   .arg(QCoreApplication::applicationPid());
        if (!test::writeFile(torrc, config.toUtf8()))
            return QStringLiteral("cannot write the torrc");
        m_tor.setProcessChannelMode(QProcess::MergedChannels);
        m_tor.start(program,
                    {QStringLiteral("-f"), torrc, QStringLiteral("--defaults-torrc"), QStringLiteral("/dev/null")});
        const QString cookiePath = QDir(dataDir()).filePath(QStringLiteral("control_auth_cookie"));
        test::waitFor([&] {
            return m_tor.state() == QProcess::NotRunning
                   || (QFile::exists(controlPath()) && QFile(cookiePath).size() == 32);
        }, kTimeoutMs);
        m_socket.connectToServer(controlPath());
        if (m_tor.state() != QProcess::Running || !m_socket.waitForConnected(kTimeoutMs))
            return QStringLiteral("tor did not open its control socket: ") + QString::fromUtf8(m_tor.readAll());
        const QByteArray reply = command("AUTHENTICATE " + test::readFile(cookiePath).toHex());
        return reply == "250 OK\r\n" ? QString() : QStringLiteral("AUTHENTICATE: ") + QString::fromUtf8(reply);
    }

    // Sends one command line; the whole reply, or what came before the timeout.
    QByteArray command(const QByteArray& line)
    {
        m_socket.write(line + "\r\n");
        QByteArray reply;
        const QDeadlineTimer deadline(kTimeoutMs);
        while (!deadline.hasExpired()) {
            // The last line of a reply has a space after its status code.
            if (reply.endsWith("\r\n")) {
                const qsizetype end = reply.size() - 2;
                const qsizetype previous = reply.lastIndexOf("\r\n", end - 1);
                const qsizetype lineStart = previous < 0 ? 0 : previous + 2;
                if (end - lineStart >= 4 && reply[lineStart + 3] == ' ')
                    return reply;
            }
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(int(deadline.remainingTime())))
                break;
            reply += m_socket.readAll();
        }
        return reply;
    }

    ~TestTor()
    {
        m_socket.abort();
        m_tor.terminate();
        if (!m_tor.waitForFinished(kTimeoutMs))
            m_tor.kill();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }
    QString controlPath() const { return m_dir.filePath(QStringLiteral("control")); }

    QTemporaryDir m_dir;
    QProcess m_tor;  // killed by its destructor
    QLocalSocket m_socket;
};

QByteArray latin1(const QString& text) { return text.toLatin1(); }

// Tor publishes each service under the address a contact computes from the
// identity public key alone, accepts the service's authorized client key,
// and takes the contact's private key for that address.
TEST(OnionKeysWithTor, TorAnswersTheAddressComputedFromTheCard)
{
    const QString program = torProgram();
    if (program.isEmpty())
        GTEST_SKIP() << "tor is not installed";
    TestTor tor;
    const QString failure = tor.start(program);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

    const crypto::SigningKey client = crypto::SigningKey::generate();
    for (int i = 0; i < 3; ++i) {
        const crypto::SigningKey owner = crypto::SigningKey::generate();
        const std::optional<crypto::Key32> service = onionServicePublicKey(owner.publicKey());
        const std::optional<OnionExpandedKey> secret = onionServiceSecretKey(owner.raw());
        const std::optional<crypto::Key32> ownerAuth =
            onionClientAuthKey(owner.raw(), client.publicKey(), OnionAuthRole::serviceOwner);
        const std::optional<crypto::Key32> clientAuth =
            onionClientAuthKey(client.raw(), owner.publicKey(), OnionAuthRole::client);
        ASSERT_TRUE(service && secret && ownerAuth && clientAuth);
        const std::optional<crypto::Key32> authorized = onionClientAuthPublicKey(*ownerAuth);
        ASSERT_TRUE(authorized);
        const QString id = torformat::serviceId(*service);

        const QByteArray added = tor.command(
            "ADD_ONION " + latin1(torformat::addOnionKey(*secret)) + " Flags=DiscardPK,V3Auth ClientAuthV3="
            + latin1(torformat::clientAuthV3(*authorized)) + " Port=9,unix:" + latin1(tor.path(QStringLiteral("svc"))));
        EXPECT_TRUE(added.startsWith("250-ServiceID=" + latin1(id) + "\r\n")) << added.toStdString();
        EXPECT_TRUE(added.endsWith("250 OK\r\n")) << added.toStdString();
        const QByteArray auth =
            tor.command("ONION_CLIENT_AUTH_ADD " + latin1(id) + " " + latin1(torformat::clientAuthAddKey(*clientAuth)));
        EXPECT_EQ(auth, "250 OK\r\n");
    }
}

}  // namespace
}  // namespace vortan
