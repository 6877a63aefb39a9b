#pragma once

#include "vortan/changingaddresses.h"
#include "vortan/keys/keyhelper.h"

#include <QList>
#include <QNetworkAddressEntry>
#include <QString>

#include <optional>

namespace vortan {

// Which of a contact's direct endpoints are worth a call from this machine.
// They come from the peer, so they may point anywhere: only numeric
// addresses are called, never loopback, multicast, broadcast, unspecified
// or link-local ones, and addresses of private ranges only when this
// machine is on such a network itself.
class HintFilter {
public:
    // The networks this machine is on: an address and prefix length each.
    explicit HintFilter(QList<QNetworkAddressEntry> ownNetworks) : m_networks(std::move(ownNetworks)) {}
    static HintFilter ofThisMachine();

    // Why the endpoint is not called; nothing when it may be.
    std::optional<QString> refusal(const Endpoint& hint) const;

    // This machine's addresses a contact may call: neither loopback nor
    // link-local nor those that change (changingIpv6Addresses()).
    static QList<QString> ownAddresses(const QList<QNetworkAddressEntry>& networks,
                                       const QList<QHostAddress>& changing = changingIpv6Addresses());
    static QList<QNetworkAddressEntry> machineNetworks();

private:
    QList<QNetworkAddressEntry> m_networks;
};

}  // namespace vortan
