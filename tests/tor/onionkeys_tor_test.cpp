// The derived keys handed to a real tor, which never touches the network
// here (DisableNetwork, and only a directory authority on a closed local port).

#include "vortan/tor/onionkeys.h"
#include "vortan/tor/torcontrol.h"
#include "vortan/tor/torprocess.h"
#include "vortan/tor/torreply.h"

#include "tests/support/testsupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vortan {
namespace {

constexpr int kTimeoutMs = 30000;

// A tor of our own on a private control socket (started and spoken to as
// TorService does: torservice_test.cpp), and a blocking chat with it.
class TestTor {
public:
    explicit TestTor(const QString& program)
        : m_process(program, m_dir.filePath(QStringLiteral("tor")),
                    QStringLiteral("DisableNetwork 1\n"
                                   "DirAuthority none orport=1 no-v2 v3ident=0000000000000000000000000000000000000001 "
                                   "127.0.0.1:1 0000000000000000000000000000000000000002\n"))
    {
        QObject::connect(&m_process, &TorProcess::controlReady, [this] {
            m_control = std::make_unique<TorControl>(m_process.controlPath());
            m_control->start();
        });
        m_process.start();
    }
    ~TestTor() { m_process.stop(); }

    bool ready() { return test::waitFor([this] { return m_control && m_control->isReady(); }, kTimeoutMs); }
    // Sends one command line; its reply (status 0 when none came).
    TorReply command(const QByteArray& line)
    {
        std::optional<TorReply> reply;
        m_control->send(line, [&](const TorReply& r) { reply = r; });
        test::waitFor([&] { return reply.has_value(); }, kTimeoutMs);
        return reply.value_or(TorReply{});
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    TorProcess m_process;
    std::unique_ptr<TorControl> m_control;
};

QByteArray latin1(const QString& text) { return text.toLatin1(); }

// Tor publishes each service under the address a contact computes from the
// identity public key alone, accepts the service's authorized client key,
// and takes the contact's private key for that address.
TEST(OnionKeysWithTor, TorAnswersTheAddressComputedFromTheCard)
{
    const QString program = TorProcess::find(QStringLiteral("tor"));
    if (program.isEmpty())
        GTEST_SKIP() << "tor is not installed";
    TestTor tor(program);
    ASSERT_TRUE(tor.ready()) << "tor's control port did not become ready";

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

        const TorReply added = tor.command(
            "ADD_ONION " + latin1(torformat::addOnionKey(*secret)) + " Flags=DiscardPK,V3Auth ClientAuthV3="
            + latin1(torformat::clientAuthV3(*authorized)) + " Port=9,unix:" + latin1(tor.path(QStringLiteral("svc"))));
        EXPECT_TRUE(added.ok()) << added.text().toStdString();
        EXPECT_EQ(added.value("ServiceID"), latin1(id)) << added.text().toStdString();
        const TorReply auth =
            tor.command("ONION_CLIENT_AUTH_ADD " + latin1(id) + " " + latin1(torformat::clientAuthAddKey(*clientAuth)));
        EXPECT_TRUE(auth.ok()) << auth.text().toStdString();
    }
}

}  // namespace
}  // namespace vortan
