#include "vortan/controller/networkwatcher.h"

#include <QDBusConnection>
#include <QNetworkInformation>

#include <utility>

namespace vortan {

NetworkLevel reachabilityLevel(int reachability)
{
    using Reachability = QNetworkInformation::Reachability;
    switch (Reachability(reachability)) {
    case Reachability::Local: return NetworkLevel::local;
    case Reachability::Site: return NetworkLevel::site;
    case Reachability::Online: return NetworkLevel::online;
    case Reachability::Unknown:
    case Reachability::Disconnected: break;
    }
    return NetworkLevel::none;
}

NetworkLevel networkManagerLevel(uint state)
{
    // NM_STATE_CONNECTED_LOCAL, _SITE, _GLOBAL; below them (asleep,
    // disconnected, connecting) no network is there yet.
    switch (state) {
    case 50: return NetworkLevel::local;
    case 60: return NetworkLevel::site;
    case 70: return NetworkLevel::online;
    default: return NetworkLevel::none;
    }
}

bool networkChangeReported(NetworkLevel previous, NetworkLevel now)
{
    return now != previous && now != NetworkLevel::none;
}

NetworkWatcher::NetworkWatcher(QObject* parent) : QObject(parent) {}

QString NetworkWatcher::start()
{
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation* information = QNetworkInformation::instance();
        m_last = reachabilityLevel(int(information->reachability()));
        connect(information, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    // Reported once a network is there again (or another one).
                    const NetworkLevel now = reachabilityLevel(int(reachability));
                    if (networkChangeReported(std::exchange(m_last, now), now))
                        emit changed();
                });
        return information->backendName();
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()
        && bus.connect(QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager"),
                       QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("StateChanged"), this,
                       SLOT(networkManagerStateChanged(uint))))
        return QStringLiteral("NetworkManager");
    return {};
}

void NetworkWatcher::networkManagerStateChanged(uint state)
{
    const NetworkLevel now = networkManagerLevel(state);
    if (networkChangeReported(std::exchange(m_last, now), now))
        emit changed();
}

}  // namespace vortan
