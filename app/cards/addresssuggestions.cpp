#include "app/cards/addresssuggestions.h"

#include "vortan/changingaddresses.h"

#include <QHostInfo>
#include <QNetworkInterface>

#include <algorithm>

namespace brenvo {

namespace {

bool isGlobalIpv6(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol && address.isGlobal()
        && !address.isUniqueLocalUnicast() && !address.isSiteLocal();
}

}  // namespace

QList<QHostAddress> machineHostAddresses()
{
    QList<QHostAddress> addresses;
    const QList<QHostAddress> changing = vortan::changingIpv6Addresses();
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            QHostAddress plain = ip;
            plain.setScopeId(QString());
            // Link-local addresses need the interface's name on the other
            // side, and privacy addresses change within a day: of no use on a card.
            if (ip.isLoopback() || ip.isLinkLocal() || ip.isNull() || ip.isMulticast() || changing.contains(plain))
                continue;
            addresses.append(plain);
        }
    }
    return addresses;
}

QStringList machineAddresses(const QString& forwardedExternalAddress)
{
    QStringList ipv4;
    QStringList ipv6;
    for (const QHostAddress& ip : machineHostAddresses())
        (ip.protocol() == QAbstractSocket::IPv4Protocol ? ipv4 : ipv6).append(ip.toString());
    QStringList result;
    if (!forwardedExternalAddress.isEmpty())
        result.append(forwardedExternalAddress);
    result += ipv4;
    result += ipv6;
    const QString host = QHostInfo::localHostName();
    if (!host.isEmpty() && host != QLatin1String("localhost"))
        result.append(host);
    result.removeDuplicates();
    return result;
}

QString bestAddress(const QString& forwardedExternalAddress, const QList<QHostAddress>& machine)
{
    if (!forwardedExternalAddress.isEmpty())
        return forwardedExternalAddress;
    const auto global = std::find_if(machine.cbegin(), machine.cend(), isGlobalIpv6);
    if (global != machine.cend())
        return global->toString();
    const auto ipv4 = std::find_if(machine.cbegin(), machine.cend(), [](const QHostAddress& address) {
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (ipv4 != machine.cend())
        return ipv4->toString();
    return machine.isEmpty() ? QString() : machine.front().toString();
}

}  // namespace brenvo
