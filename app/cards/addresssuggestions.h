#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace brenvo {

// The machine's addresses others may reach: of interfaces up and running,
// never loopback, link-local or a temporary (privacy) IPv6 address.
QList<QHostAddress> machineHostAddresses();

// The addresses others may reach this machine at, best first: the router's
// external address (when the router forwards the port), the machine's
// network addresses (IPv4, then IPv6) and its host name. Offered as
// suggestions for the own card's address.
QStringList machineAddresses(const QString& forwardedExternalAddress);

// The one address proposed for the own card: the router's external address
// (when it forwards the port), else a global IPv6 address, else the address
// on the local network (IPv4 first); empty when there is none.
QString bestAddress(const QString& forwardedExternalAddress, const QList<QHostAddress>& machine);

}  // namespace brenvo
