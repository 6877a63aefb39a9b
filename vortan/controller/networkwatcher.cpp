#include "vortan/controller/networkwatcher.h"

#include <QDBusConnection>
#include <QNetworkInformation>

#include <utility>

namespace vortan {

NetworkWatcher::NetworkWatcher(QObject* parent) : QObject(parent) {}

QString NetworkWatcher::start()
{
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation* information = QNetworkInformation::instance();
        m_lastReachability = int(information->reachability());
        connect(information, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    // Reported once a network is there again (or another one).
                    const int previous = std::exchange(m_lastReachability, int(reachability));
                    if (previous != int(reachability)
                        && int(reachability) >= int(QNetworkInformation::Reachability::Local))
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
    // NM_STATE_CONNECTED_LOCAL (50) and above: a network is there.
    if (std::exchange(m_lastState, state) != state && state >= 50)
        emit changed();
}

}  // namespace vortan
