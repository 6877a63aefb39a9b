#include "app/cards/addresssuggestions.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace brenvo {

QStringList machineAddresses(const QString& forwardedExternalAddress)
{
    QStringList ipv4;
    QStringList ipv6;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            // Link-local addresses need the interface's name on the other
            // side: of no use on a card.
            if (ip.isLoopback() || ip.isLinkLocal() || ip.isNull() || ip.isMulticast())
                continue;
            QHostAddress plain = ip;
            plain.setScopeId(QString());
            (ip.protocol() == QAbstractSocket::IPv4Protocol ? ipv4 : ipv6).append(plain.toString());
        }
    }
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

}  // namespace brenvo
