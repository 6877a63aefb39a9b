// The path through Tor: the engine's TorService, the keys it is given and
// where calls through it go.

#include "vortan/controller/controller_p.h"

#include "vortan/keys/keyhelper.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/tor/onionkeys.h"
#include "vortan/tor/torservice.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>

namespace vortan {
namespace {

crypto::ByteView viewOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

template <std::size_t N> QByteArray bytesOf(const std::optional<std::array<std::uint8_t, N>>& key)
{
    return key ? QByteArray(reinterpret_cast<const char*>(key->data()), qsizetype(N)) : QByteArray();
}

}  // namespace

void ControllerPrivate::startTor()
{
    m_tor.reset();
    if (!m_started)
        return;
    TorService::Options options;
    options.enabled = m_options.useTor;
    options.controlSocket = m_options.torControlSocket;
    options.extraTorrc = m_options.torExtraConfig;
    options.directory = QDir(m_store.directory()).filePath(QStringLiteral("tor"));
    TorService::Keys torKeys{
        .serviceSecretKey = [this] { return bytesOf(keys().onionServiceKey()); },
        .onionAddressOf = [](const QByteArray& contact) { return onionAddressOf(viewOf(contact)).value_or(QString()); },
        .clientKeyFor = [this](const QByteArray& contact) {
            return bytesOf(keys().onionClientAuthKey(contact, OnionAuthRole::client));
        },
        .authorizedKeyOf = [this](const QByteArray& contact) {
            const std::optional<crypto::Key32> key = keys().onionClientAuthKey(contact, OnionAuthRole::serviceOwner);
            return key ? bytesOf(onionClientAuthPublicKey(*key)) : QByteArray();
        },
    };
    m_tor = std::make_unique<TorService>(std::move(options), std::move(torKeys), [this](QTcpSocket* socket) {
        // Admitted like any connection the listener accepts.
        if (Listener* listener = m_listening.listener())
            listener->accept(socket);
        else
            delete socket;
    });
    connect(m_tor.get(), &TorService::stateChanged, this, [this, ready = false]() mutable {
        // Calls that failed while tor could not take them are made again.
        const bool nowReady = m_tor && !m_tor->socksPath().isEmpty();
        if (nowReady && !ready)
            m_peers.networkChanged();
        ready = nowReady;
        emit reachabilityChanged();
    });
    updateTorContacts();
    m_tor->setPublishing(m_listening.listening());
    m_tor->start();
}

void ControllerPrivate::setTorEnabled(bool on)
{
    if (on == m_options.useTor)
        return;
    m_options.useTor = on;
    startTor();
    emit reachabilityChanged();
}

void ControllerPrivate::updateTorContacts()
{
    if (m_tor)
        m_tor->setContacts(m_directory.keys());
}

std::optional<Peers::OnionRoute> ControllerPrivate::onionRoute(const QByteArray& key) const
{
    if (!m_tor)
        return std::nullopt;
    const QString socks = m_tor->socksPath();
    const std::optional<QString> onion = onionAddressOf(viewOf(key));
    if (socks.isEmpty() || !onion)
        return std::nullopt;
    return Peers::OnionRoute{socks, *onion, TorService::kVirtualPort};
}

Reachability ControllerPrivate::reachability() const
{
    Reachability reachability = m_listening.reachability();
    if (m_tor) {
        reachability.tor = m_tor->state();
        reachability.torProgress = m_tor->progress();
        reachability.torError = m_tor->error();
    }
    return reachability;
}

}  // namespace vortan
