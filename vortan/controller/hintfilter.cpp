#include "vortan/controller/hintfilter.h"

#include "vortan/util/machineaddresses.h"

#include <QHostAddress>

namespace vortan {

namespace {

// Ranges that mean something only on one network: RFC 1918, shared address
// space (carrier-grade NAT) and IPv6 unique local addresses.
bool isPrivate(const QHostAddress& address)
{
    static const std::pair<QHostAddress, int> ranges[] = {
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("100.64.0.0/10")),
    };
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return address.isUniqueLocalUnicast() || address.isSiteLocal();
    for (const auto& [network, prefix] : ranges) {
        if (address.isInSubnet(network, prefix))
            return true;
    }
    return false;
}

}  // namespace

HintFilter HintFilter::ofThisMachine()
{
    return HintFilter(machineNetworks());
}

QList<QNetworkAddressEntry> HintFilter::machineNetworks()
{
    return vortan::machineNetworks();
}

QList<QString> HintFilter::ownAddresses(const QList<QNetworkAddressEntry>& networks, const QList<QHostAddress>& changing)
{
    return callableAddresses(networks, changing);
}

std::optional<QString> HintFilter::refusal(const Endpoint& hint) const
{
    QHostAddress address;
    if (!address.setAddress(hint.host))
        return QStringLiteral("not a numeric address");
    address = plainAddress(address);
    if (hint.port == 0)
        return QStringLiteral("no port");
    if (address.isNull() || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6
        || (address.protocol() == QAbstractSocket::IPv4Protocol && (address.toIPv4Address() >> 24) == 0))
        return QStringLiteral("unspecified");
    if (address.isLoopback())
        return QStringLiteral("loopback");
    if (address.isMulticast())
        return QStringLiteral("multicast");
    if (address.isBroadcast())
        return QStringLiteral("broadcast");
    if (address.isLinkLocal())
        return QStringLiteral("link-local");
    bool onThatNetwork = false;
    for (const QNetworkAddressEntry& entry : m_networks) {
        if (address == plainAddress(entry.ip()))
            return QStringLiteral("this machine");
        if (entry.prefixLength() < 0 || !address.isInSubnet(plainAddress(entry.ip()), entry.prefixLength()))
            continue;
        if (!entry.broadcast().isNull() && address == plainAddress(entry.broadcast()))
            return QStringLiteral("broadcast");
        onThatNetwork = true;
    }
    if (isPrivate(address) && !onThatNetwork)
        return QStringLiteral("a private address of another network");
    return std::nullopt;
}

}  // namespace vortan
