// A contact who tells lies: it connects to another person through Tor with
// its real identity, as Brenvo does, then sends hints of its own making.
//
//   hostilepeer auth DATA_DIR CARD
//       prints the ONION_CLIENT_AUTH_ADD command that lets a tor reach the
//       onion service of the card's person as the identity of DATA_DIR
//   hostilepeer hints DATA_DIR CARD SOCKS STAY MESSAGE...
//       connects through the SOCKS socket of a tor to the card's person,
//       sends each MESSAGE as one hints message, 3 s apart, stays connected
//       STAY seconds after the last, then closes and exits 0 (1 when the
//       connection fails or is not ready within 60 s). A MESSAGE lists
//       entries separated by spaces: HOST/PORT, or *N for N entries of
//       198.18.0.200-249 port 54322 (addresses that would be called).
//
// DATA_DIR holds the identity in the file key store (brenvo-cli --key-store
// file --data-dir DATA_DIR).

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/records/coding.h"
#include "vortan/tor/onionkeys.h"
#include "vortan/tor/torservice.h"
#include "vortan/usercard.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace vortan {
namespace {

crypto::ByteView viewOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

void say(const QString& text)
{
    std::printf("hostilepeer: %s\n", qPrintable(text));
    std::fflush(stdout);
}

QByteArray message(const QString& text)
{
    plist::Array entries;
    for (const QString& entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (entry.startsWith(QLatin1Char('*'))) {
            const int count = entry.mid(1).toInt();
            for (int i = 0; i < count; ++i)
                entries.push_back(plist::Dictionary{{"host", QStringLiteral("198.18.0.%1").arg(200 + i % 50).toStdString()},
                                                    {"port", 54322}});
            continue;
        }
        const qsizetype slash = entry.lastIndexOf(QLatin1Char('/'));
        entries.push_back(plist::Dictionary{{"host", entry.left(slash).toStdString()}, {"port", entry.mid(slash + 1).toInt()}});
    }
    return plistToBytes(entries);
}

// Takes nothing the other end says; reports how the connection goes.
class QuietDelegate final : public PeerConnectionDelegate {
public:
    std::function<void()> ready;
    std::function<void(QString)> ended;

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>&) override { ready(); }
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveList(const QList<File>&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveWant(const BlockSet&, const QUuid&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveData(const QByteArray&, std::int64_t, const QUuid&,
                                      const std::shared_ptr<PeerConnection>&) override
    {
    }
    void peerConnectionDidReceiveHints(const QList<Endpoint>& hints, const std::shared_ptr<PeerConnection>&) override
    {
        say(QStringLiteral("told %1 hints").arg(hints.size()));
    }
    void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>&) override
    {
        ended(QStringLiteral("failed: %1").arg(VortanError::network(error).localizedDescription()));
    }
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override { ended(QStringLiteral("closed")); }
};

int run(const QStringList& args)
{
    if (args.size() < 4 || (args[1] != QLatin1String("auth") && (args[1] != QLatin1String("hints") || args.size() < 7))) {
        say(QStringLiteral("usage: hostilepeer auth DATA_DIR CARD | hints DATA_DIR CARD SOCKS STAY MESSAGE..."));
        return 2;
    }
    QFile cardFile(args[3]);
    if (!cardFile.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read %1").arg(args[3]));
        return 2;
    }
    const User contact = decodeCard(cardFile.readAll());
    KeyStoreOptions options;
    options.choice = KeyStoreChoice::file;
    options.supportDirectory = args[2];
    KeyHelper keys(openSecretStore(options));
    keys.setAllowedUsers({contact});
    const std::optional<QString> onion = onionAddressOf(viewOf(contact.key));
    if (!onion) {
        say(QStringLiteral("the card's key has no onion address"));
        return 2;
    }
    if (args[1] == QLatin1String("auth")) {
        const std::optional<crypto::Key32> key = keys.onionClientAuthKey(contact.key, OnionAuthRole::client);
        if (!key)
            return 2;
        QString service = *onion;
        service.chop(6);  // ".onion"
        std::printf("ONION_CLIENT_AUTH_ADD %s %s\n", qPrintable(service), qPrintable(torformat::clientAuthAddKey(*key)));
        return 0;
    }

    const int stay = args[5].toInt();
    const QStringList messages = args.mid(6);
    QuietDelegate delegate;
    int status = 1;
    bool sending = false;
    std::shared_ptr<PeerConnection> peer;
    delegate.ended = [&](const QString& how) {
        say(QStringLiteral("connection %1").arg(how));
        QCoreApplication::exit(sending ? status : 1);
    };
    delegate.ready = [&] {
        say(QStringLiteral("connected %1 through Tor").arg(contact.name));
        sending = true;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QTimer::singleShot(std::chrono::seconds(3 * i), [&, i] {
                if (!peer || !peer->connection())
                    return;
                peer->connection()->send(MessageType::hints, message(messages[i]));
                say(QStringLiteral("sent hints message %1").arg(i + 1));
            });
        }
        QTimer::singleShot(std::chrono::seconds(3 * (messages.size() - 1) + stay), [&] {
            say(QStringLiteral("still connected after %1 s: closing").arg(stay));
            status = 0;
            if (peer && peer->connection())
                peer->connection()->cancel();
        });
    };
    QTimer::singleShot(std::chrono::seconds(60), [&] {
        if (!sending) {
            say(QStringLiteral("not connected after 60 s"));
            QCoreApplication::exit(1);
        }
    });
    peer = PeerConnection::connectThroughTor(keys, args[4], *onion, TorService::kVirtualPort, contact.key, &delegate);
    const int result = QCoreApplication::exec();
    peer.reset();
    return result;
}

}  // namespace
}  // namespace vortan

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        return vortan::run(app.arguments());
    } catch (const std::exception& e) {
        std::printf("hostilepeer: %s\n", e.what());
        return 2;
    }
}
