#include "vortan/util/machineaddresses.h"

#include <QNetworkInterface>

namespace vortan {

QHostAddress plainAddress(QHostAddress address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(ipv4);
    address.setScopeId(QString());
    return address;
}

QList<QNetworkAddressEntry> machineNetworks()
{
    QList<QNetworkAddressEntry> networks;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning)
            && !(flags & QNetworkInterface::IsLoopBack))
            networks += interface.addressEntries();
    }
    return networks;
}

QList<QString> callableAddresses(const QList<QNetworkAddressEntry>& networks, const QList<QHostAddress>& changing)
{
    QList<QString> addresses;
    for (const QNetworkAddressEntry& entry : networks) {
        const QHostAddress ip = plainAddress(entry.ip());
        if (ip.isNull() || ip.isLoopback() || ip.isLinkLocal() || ip.isMulticast() || changing.contains(ip))
            continue;
        if (!addresses.contains(ip.toString()))
            addresses.append(ip.toString());
    }
    return addresses;
}

bool isGlobalIpv6(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol && address.isGlobal()
        && !address.isUniqueLocalUnicast() && !address.isSiteLocal();
}

QList<QString> globalIpv6Addresses(const QList<QNetworkAddressEntry>& networks)
{
    QList<QString> addresses = callableAddresses(networks);
    addresses.removeIf([](const QString& address) { return !isGlobalIpv6(QHostAddress(address)); });
    return addresses;
}

}  // namespace vortan
